// The one door between the engine and the operating system.
//
// On Windows the file calls are the real Win32 ones from <windows.h>. On
// Linux, win32_posix.h declares stand-ins with the same names and the
// behaviour the engine relies on, so that the engine and its tools build,
// run and are tested here unchanged.
//
// The runtime services below are the small set of C-runtime facilities the
// engine and the front end use (existence test, folder creation, calendar
// conversion, code-page byte classes, folder listing). Every path and text
// is a NUL-terminated byte string in the ANSI code page (932 on the systems
// the installer is written for; always 932 on Linux).
#ifndef PLATFORM_PLATFORM_H
#define PLATFORM_PLATFORM_H

#include <cstdint>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include "platform/win32_posix.h"
#endif

// True when something (file or folder) exists at the path.
bool PathExists(const char* path);

// Creates one folder level; true on success.
bool MakeFolder(const char* path);

// Status query: false when the status cannot be read; otherwise true, with
// *isFolder telling whether the path names a folder.
bool QueryIsFolder(const char* path, bool* isFolder);

// Deletes a file; true on success. Callers that ignore failures may.
bool RemoveFile(const char* path);

// Equality of two texts with the ASCII letters A-Z compared without regard
// to case; every other byte compares exactly.
bool EqualAsciiNoCase(const char* a, const char* b);

// Byte classes of the ANSI code page.
bool IsLeadByte(unsigned char b);
bool IsTrailByte(unsigned char b);

// Length in bytes of the character that starts at text[i] (1 or 2): a lead
// byte followed by a valid trail byte is one character; anything else,
// including a lead byte in the last position, is one byte.
inline int CharLength(const char* text, int i) {
    if (IsLeadByte((unsigned char)text[i]) && text[i + 1] != 0 &&
        IsTrailByte((unsigned char)text[i + 1]))
        return 2;
    return 1;
}

// Breaks a time (seconds since 1970-01-01 00:00 UTC) into UTC calendar
// fields. False when the time has no calendar form (negative times).
bool UtcCalendar(int32_t time, SYSTEMTIME* out);

// Local calendar date of a time. False when it has none.
bool LocalDate(int32_t time, int* year, int* month, int* day);

// Converts local calendar fields into a time; fields out of range carry
// into neighbouring units, daylight saving is left to the conversion.
// -1 when the result cannot be represented as a signed 32-bit time.
int32_t TimeFromLocalFields(int year, int month, int day, int hour,
                            int minute, int second);

// One entry of a folder listing.
struct FolderEntry {
    uint32_t attributes;     // FOLDER_ATTR_* bits
    int32_t creationTime;    // seconds since 1970 UTC, -1 when unknown
    int32_t accessTime;
    int32_t writeTime;
    uint32_t size;
    char name[260];
};

enum : uint32_t {
    FOLDER_ATTR_HIDDEN = 0x02,
    FOLDER_ATTR_DIRECTORY = 0x10,
};

// Folder listing by pattern (a folder path followed by "*.*"). Start returns
// -1 when the listing cannot be started, else a handle with the first entry
// in *entry. Next returns false at the end of the listing.
intptr_t StartListing(const char* pattern, FolderEntry* entry);
bool NextListing(intptr_t handle, FolderEntry* entry);
void CloseListing(intptr_t handle);

#endif
