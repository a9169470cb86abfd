// The installer front end: its globals, its messages and its dialogs.
// Everything runs on the one UI thread; the globals carry the flow state
// between the main flow and the modal dialogs.
#ifndef INSTALLER_INSTALLER_H
#define INSTALLER_INSTALLER_H

#include <windows.h>

#include "engine/lzh_extractor.h"
#include "installer/path_text.h"
#include "installer/work_slice.h"

// Posted by a dialog's timer to itself to run one slice of work.
const UINT WM_WORK_STEP = WM_USER + 101;

// Scratch texts: message texts, loaded strings, paths being built. Every
// ShowError and AskYesNo call overwrites both.
const int kTextSize = 1024;

extern HINSTANCE g_instance;
extern char g_text[kTextSize];
extern char g_caption[kTextSize];

// Flow state.
extern char g_modulePath[kPathSize];
extern char g_folder[kPathSize];
extern char g_member[kPathSize];
extern bool g_addStartMenu;
extern bool g_addDesktop;

// The open work dialog's timer; 0 when none.
extern UINT_PTR g_timerId;

extern CLzhExtractor g_extractor;

// File names the flow works with.
extern const char kReadMeMember[];
extern const char kExeName[];

// Messages.
void ShowError(HWND owner, UINT id);
bool AskYesNo(HWND owner, UINT id, const char* path);
void ReportExtractError();

// Shortcut file at `linkPath` pointing at `target`; true when saved.
bool CreateShortcut(const char* target, const char* linkPath, const char* description);

// Work pacing for the slices of dialogs 102 and 104: a slice paced by the
// performance counter, and whether any message waits in the thread's queue
// (looked at without removing it).
CWorkSlice NewWorkSlice(int unitsPerClockRead);
bool MessageWaiting();

// Dialog 102's display: the bar at `percent`, painted at once; at 0 also
// the current member's name.
void ShowProgress(HWND window, int percent);

// Dialog procedures, one per dialog.
INT_PTR CALLBACK MenuDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ExtractDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FolderDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SearchDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
