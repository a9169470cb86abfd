#include "installer/search_walk.h"

#include <cstdio>
#include <cstring>
#include <new>

const KnownRelease g_knownReleases[10] = {
    {1015808, 99, 11, 1, 14, 41, 6},
    {1015808, 100, 1, 29, 11, 12, 38},
    {1085440, 100, 2, 17, 11, 35, 34},
    {1085440, 100, 3, 3, 10, 54, 38},
    {1228800, 100, 4, 13, 12, 57, 8},
    {1302528, 100, 6, 13, 17, 46, 24},
    {1540096, 101, 2, 7, 1, 13, 8},
    {1564672, 101, 5, 26, 2, 52, 4},
    {1724416, 102, 5, 15, 10, 14, 37},
    {1912832, 103, 3, 30, 20, 8, 11},
};

#define MARQUEE_GROUP "\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5>"
const char g_marqueeText[71] = MARQUEE_GROUP MARQUEE_GROUP MARQUEE_GROUP
    MARQUEE_GROUP MARQUEE_GROUP MARQUEE_GROUP MARQUEE_GROUP;
#undef MARQUEE_GROUP
static_assert(sizeof g_marqueeText == 71, "seven groups of ten bytes");

SearchFrame* g_searchTop = nullptr;
uint32_t g_drivesLeft = 0;
uint32_t g_driveBit = 0;
char g_driveLetter = 0;
bool g_foundExact = false;
int g_marqueePhase = 0;

namespace {

const char kExecutableName[] = "Quorval.exe";
const char kPattern[] = "*.*";
const size_t kPathSize = sizeof(SearchFrame::path);

enum class Entered { Yes, NotListed, NoMemory };

// Enters a folder. A path that leaves no room for the listing pattern is
// never listed under a cut name: it counts as a folder that cannot be listed.
Entered EnterFolder(const char* path) {
    size_t length = strlen(path);
    if (length + sizeof kPattern > kPathSize) return Entered::NotListed;
    SearchFrame* frame = new (std::nothrow) SearchFrame;
    if (frame == nullptr) return Entered::NoMemory;
    frame->next = g_searchTop;
    memcpy(frame->path, path, length + 1);
    char pattern[kPathSize];
    memcpy(pattern, path, length);
    memcpy(pattern + length, kPattern, sizeof kPattern);
    frame->findHandle = StartListing(pattern, &frame->findData);
    if (frame->findHandle == -1) {
        delete frame;
        return Entered::NotListed;
    }
    g_searchTop = frame;
    SearchCheckEntry();
    return Entered::Yes;
}

bool IsFolderToEnter(const FolderEntry& entry) {
    return entry.name[0] != '.' && (entry.attributes & FOLDER_ATTR_DIRECTORY) &&
           !(entry.attributes & FOLDER_ATTR_HIDDEN);
}

// Enters the top frame's current entry when it is a folder to enter.
// A subfolder whose path would not fit with its pattern is passed over.
Entered EnterCurrentEntry() {
    const SearchFrame* top = g_searchTop;
    if (!IsFolderToEnter(top->findData)) return Entered::NotListed;
    size_t parent = strlen(top->path);
    size_t name = strlen(top->findData.name);
    if (parent + name + 1 + sizeof kPattern > kPathSize) return Entered::NotListed;
    char path[kPathSize];
    memcpy(path, top->path, parent);
    memcpy(path + parent, top->findData.name, name);
    path[parent + name] = '\\';
    path[parent + name + 1] = 0;
    return EnterFolder(path);
}

void PopFrame() {
    SearchFrame* frame = g_searchTop;
    g_searchTop = frame->next;
    if (frame->findHandle != -1) CloseListing(frame->findHandle);
    delete frame;
}

bool Matches(const KnownRelease& release, const FolderEntry& entry, int year,
             int month, int day) {
    return (int64_t)entry.size == release.size && year - 1900 == release.year &&
           month == release.month && day == release.day;
}

}  // namespace

bool SearchNextDrive() {
    if (g_driveBit == 0) {
        g_driveBit = 1;
        g_driveLetter = 'A';
    } else {
        g_driveBit <<= 1;
        ++g_driveLetter;
    }
    while (g_drivesLeft != 0) {
        if (g_drivesLeft & g_driveBit) {
            g_drivesLeft &= ~g_driveBit;
            snprintf(g_text, sizeof g_text, "%c:\\", g_driveLetter);
            if (GetDriveTypeA(g_text) == DRIVE_FIXED) {
                SearchFreeAll();
                // A root without memory for its frame is passed over like
                // one that cannot be listed.
                if (EnterFolder(g_text) == Entered::Yes) return true;
            }
        }
        g_driveBit <<= 1;
        ++g_driveLetter;
    }
    return false;
}

bool SearchPushFolder(const char* path) {
    return EnterFolder(path) == Entered::Yes;
}

bool SearchStep() {
    if (g_searchTop == nullptr) return false;
    SearchFrame* top = g_searchTop;
    if (NextListing(top->findHandle, &top->findData)) {
        SearchCheckEntry();
        return true;
    }

    // First pass over: list the folder again to find its subfolders.
    CloseListing(top->findHandle);
    // The path fitted with its pattern when the folder was entered.
    char pattern[kPathSize];
    size_t length = strlen(top->path);
    memcpy(pattern, top->path, length);
    memcpy(pattern + length, kPattern, sizeof kPattern);
    top->findHandle = StartListing(pattern, &top->findData);
    if (top->findHandle == -1) {
        SearchFreeAll();
        return false;
    }
    for (bool fresh = true; g_searchTop != nullptr; fresh = false) {
        top = g_searchTop;
        if (!fresh && !NextListing(top->findHandle, &top->findData)) {
            PopFrame();
            continue;
        }
        switch (EnterCurrentEntry()) {
        case Entered::Yes:
            return true;
        case Entered::NoMemory:
            // Going on would skip the folder in silence; give the drive up.
            SearchFreeAll();
            return false;
        case Entered::NotListed:
            break;
        }
    }
    return false;
}

void SearchCheckEntry() {
    const SearchFrame* top = g_searchTop;
    const FolderEntry& entry = top->findData;
    if (entry.attributes & FOLDER_ATTR_DIRECTORY) return;
    if (!EqualAsciiNoCase(entry.name, kExecutableName)) return;
    // A time without a local date matches no release, yet it is still a
    // copy of the executable.
    int year, month, day;
    if (LocalDate(entry.writeTime, &year, &month, &day)) {
        for (const KnownRelease& release : g_knownReleases) {
            if (Matches(release, entry, year, month, day)) {
                strcpy(g_folder, top->path);
                g_foundExact = true;
                return;
            }
        }
    }
    if (g_folder[0] == 0) strcpy(g_folder, top->path);
}

void SearchFreeAll() {
    while (g_searchTop != nullptr) PopFrame();
}

bool SearchStart() {
    SearchFreeAll();
    g_folder[0] = 0;
    g_drivesLeft = GetLogicalDrives();
    g_driveBit = 0;
    g_foundExact = false;
    if (!SearchNextDrive()) return false;
    if (g_foundExact) {
        SearchFreeAll();
        return false;
    }
    return true;
}

bool SearchAdvance() {
    if (!SearchStep() && !SearchNextDrive()) return false;
    if (g_foundExact) {
        SearchFreeAll();
        return false;
    }
    return true;
}

void FormSearchMarquee() {
    const int kShown = 45;
    int phase = g_marqueePhase;
    if (phase < 0 || phase > 9) phase = 0;
    memcpy(g_text, g_marqueeText + 9 - phase, kShown);
    g_text[kShown] = 0;
}
