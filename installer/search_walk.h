// The walk of the fixed drives for an installed copy of the application.
//
// Portable: everything it needs from the system goes through platform.h, so
// the same walk runs in the installer and in native tests over real trees.
//
// Order: drives from A upwards, each drive depth first. Every entry of a
// folder is tested before any of its subfolders is entered, and subfolders
// are found by listing the folder a second time, so memory holds one frame
// per level of depth and nothing else. Between two steps the top frame is
// in its first pass (testing entries) and every frame below it in its
// second pass (looking for the next subfolder); no pass flag is stored.
#ifndef INSTALLER_SEARCH_WALK_H
#define INSTALLER_SEARCH_WALK_H

#include <cstdint>

#include "platform/platform.h"

// One folder level of the walk, alive while the folder is being walked.
struct SearchFrame {
    SearchFrame* next;    // parent folder's frame; null for a drive root
    char path[260];       // ends in a backslash; a root is "X:\"
    intptr_t findHandle;  // open listing, -1 for none
    FolderEntry findData; // entry at which the listing stands
};

// A release of the executable as shipped: only size and date are compared;
// the time of day is kept for reference.
struct KnownRelease {
    int32_t size;
    int32_t year;  // minus 1900
    int32_t month; // 1 to 12
    int32_t day;
    int32_t hour;
    int32_t minute;
    int32_t second;
};

extern const KnownRelease g_knownReleases[10];

// Seven groups of nine middle dots (0xA5 in code page 932) and one arrow.
extern const char g_marqueeText[71];

// Walk state.
extern SearchFrame* g_searchTop;
extern uint32_t g_drivesLeft;   // bit k: drive 'A' + k not yet taken
extern uint32_t g_driveBit;     // bit of the drive taken last, 0 before
extern char g_driveLetter;
extern bool g_foundExact;
extern int g_marqueePhase;      // 0 to 9

// Owned by the main flow: the result folder and the scratch text.
extern char g_folder[260];
extern char g_text[1024];

// Starts the walk of the next fixed drive; false when no drive is left.
bool SearchNextDrive();

// Enters a folder (path ending in a backslash) and tests its first entry;
// false, with the stack as it was, when the folder cannot be listed.
bool SearchPushFolder(const char* path);

// One step of the current drive's walk; false when that drive is done.
bool SearchStep();

// Tests the top frame's current entry; records finds in g_folder and
// g_foundExact.
void SearchCheckEntry();

// Closes and frees every frame.
void SearchFreeAll();

// The search as the dialog runs it. SearchStart resets the whole state and
// begins the first drive; SearchAdvance does one step of the whole search.
// Both return false when the search is over: every drive walked, or an
// exact release found (the frames are then already freed).
bool SearchStart();
bool SearchAdvance();

// Puts the marquee picture of g_marqueePhase into g_text.
void FormSearchMarquee();

#endif
