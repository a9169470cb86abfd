#include "installer/installer.h"

HINSTANCE g_instance;
char g_text[kTextSize];
char g_caption[kTextSize];

char g_modulePath[kPathSize];
char g_folder[kPathSize];
char g_member[kPathSize];
bool g_addStartMenu;
bool g_addDesktop;

UINT_PTR g_timerId;

CLzhExtractor g_extractor;

const char kReadMeMember[] = "ReadMe.txt";
const char kExeName[] = "Quorval.exe";
