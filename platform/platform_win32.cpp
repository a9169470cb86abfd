// Windows side of the platform layer: the file calls are the real Win32 ones
// from <windows.h>; the runtime services come from the C runtime, with the
// ANSI code page's byte classes from the system.
#include "platform/platform.h"

#include <cstring>
#include <ctime>
#include <direct.h>
#include <io.h>
#include <sys/stat.h>

bool PathExists(const char* path) { return _access(path, 0) == 0; }

bool MakeFolder(const char* path) { return _mkdir(path) == 0; }

bool QueryIsFolder(const char* path, bool* isFolder) {
    struct _stat st;
    if (_stat(path, &st) != 0) return false;
    *isFolder = (st.st_mode & _S_IFDIR) != 0;
    return true;
}

bool RemoveFile(const char* path) { return remove(path) == 0; }

bool EqualAsciiNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        unsigned char x = (unsigned char)*a, y = (unsigned char)*b;
        if (x >= 'A' && x <= 'Z') x = (unsigned char)(x + 32);
        if (y >= 'A' && y <= 'Z') y = (unsigned char)(y + 32);
        if (x != y) return false;
        if (x == 0) return true;
    }
}

bool IsLeadByte(unsigned char b) { return IsDBCSLeadByte(b) != 0; }

// Trail bytes of the double-byte code pages: 932 leaves out 0xFD-0xFF, the
// others take 0x40-0xFE; none takes 0x7F.
bool IsTrailByte(unsigned char b) {
    if (GetACP() == 932) return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
    return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

bool UtcCalendar(int32_t time, SYSTEMTIME* out) {
    if (time < 0) return false;
    time_t t = time;
    struct tm* tm = gmtime(&t);
    if (tm == nullptr) return false;
    out->wYear = (WORD)(tm->tm_year + 1900);
    out->wMonth = (WORD)(tm->tm_mon + 1);
    out->wDayOfWeek = (WORD)tm->tm_wday;
    out->wDay = (WORD)tm->tm_mday;
    out->wHour = (WORD)tm->tm_hour;
    out->wMinute = (WORD)tm->tm_min;
    out->wSecond = (WORD)tm->tm_sec;
    out->wMilliseconds = 0;
    return true;
}

bool LocalDate(int32_t time, int* year, int* month, int* day) {
    if (time < 0) return false;
    time_t t = time;
    struct tm* tm = localtime(&t);
    if (tm == nullptr) return false;
    *year = tm->tm_year + 1900;
    *month = tm->tm_mon + 1;
    *day = tm->tm_mday;
    return true;
}

int32_t TimeFromLocalFields(int year, int month, int day, int hour,
                            int minute, int second) {
    struct tm tm = {};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    time_t t = mktime(&tm);
    if (t == (time_t)-1 || t < 0 || t > INT32_MAX) return -1;
    return (int32_t)t;
}

namespace {

void CopyEntry(const struct _finddata32_t& d, FolderEntry* entry) {
    entry->attributes = d.attrib;
    entry->creationTime = (int32_t)d.time_create;
    entry->accessTime = (int32_t)d.time_access;
    entry->writeTime = (int32_t)d.time_write;
    entry->size = d.size;
    memcpy(entry->name, d.name, sizeof entry->name);
    entry->name[sizeof entry->name - 1] = 0;
}

}  // namespace

intptr_t StartListing(const char* pattern, FolderEntry* entry) {
    struct _finddata32_t d;
    intptr_t h = _findfirst32(pattern, &d);
    if (h == -1) return -1;
    CopyEntry(d, entry);
    return h;
}

bool NextListing(intptr_t handle, FolderEntry* entry) {
    struct _finddata32_t d;
    if (_findnext32(handle, &d) != 0) return false;
    CopyEntry(d, entry);
    return true;
}

void CloseListing(intptr_t handle) { _findclose(handle); }
