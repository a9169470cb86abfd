// Linux side of the platform layer: see win32_posix.h for what the Win32
// stand-ins promise.
#include "platform/platform.h"
#include "platform/fault_injection.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <iconv.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace {

// Open files of this process with their Win32 access and share modes, so
// that a second open that Windows would refuse is refused here too.
struct OpenFile {
    int fd;
    dev_t device;
    ino_t inode;
    DWORD access;
    DWORD share;
};
std::vector<OpenFile> g_openFiles;

int FdOf(HANDLE h) { return (int)(intptr_t)h; }

bool Convert(const char* from, const char* to, const char* in, char* out,
             int outSize) {
    iconv_t cd = iconv_open(to, from);
    if (cd == (iconv_t)-1) return false;
    char* src = const_cast<char*>(in);
    size_t srcLeft = strlen(in);
    char* dst = out;
    size_t dstLeft = outSize > 0 ? (size_t)outSize - 1 : 0;
    size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (r == (size_t)-1 || srcLeft != 0 || outSize <= 0) return false;
    *dst = 0;
    return true;
}

bool SharingAllows(const struct stat& st, DWORD access, DWORD share) {
    for (const OpenFile& f : g_openFiles) {
        if (f.device != st.st_dev || f.inode != st.st_ino) continue;
        if ((access & GENERIC_READ) && !(f.share & FILE_SHARE_READ)) return false;
        if ((access & GENERIC_WRITE) && !(f.share & FILE_SHARE_WRITE)) return false;
        if ((f.access & GENERIC_READ) && !(share & FILE_SHARE_READ)) return false;
        if ((f.access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return false;
    }
    return true;
}

// 100 ns intervals between 1601-01-01 and 1970-01-01.
const int64_t kEpochDelta = 116444736000000000LL;

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = (unsigned)(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + (int64_t)doe - 719468;
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

struct timespec ToTimespec(const FILETIME* ft) {
    int64_t ticks = ((int64_t)ft->dwHighDateTime << 32) | ft->dwLowDateTime;
    ticks -= kEpochDelta;
    struct timespec ts;
    ts.tv_sec = (time_t)(ticks / 10000000);
    ts.tv_nsec = (long)(ticks % 10000000) * 100;
    if (ts.tv_nsec < 0) {
        ts.tv_sec -= 1;
        ts.tv_nsec += 1000000000L;
    }
    return ts;
}

int32_t ToTime32(time_t t) {
    if (t < INT32_MIN || t > INT32_MAX) return -1;
    return (int32_t)t;
}

#ifdef LZH_FAULT_INJECTION
long g_faultCounter = 0;
long g_faultAt = -1;
FaultAction g_faultAction = FAULT_FAIL;
bool g_faultFired = false;
std::vector<FaultRecord> g_faultTrace;

// Records the call; the action to take on it, or -1 for none.
int FaultHit(FaultCall call, int fd, unsigned size, const char* path) {
    g_faultTrace.push_back({call, fd, size, path ? path : ""});
    if (call == FAULT_CALL_CLOSE) return -1;
    long n = g_faultCounter++;
    if (n != g_faultAt) return -1;
    if (g_faultAction != FAULT_FAIL && call != FAULT_CALL_READ) return -1;
    g_faultFired = true;
    return g_faultAction;
}

// The trace names the descriptor an opened file got.
void FaultNoteOpened(int fd) {
    if (!g_faultTrace.empty() && g_faultTrace.back().call == FAULT_CALL_CREATE)
        g_faultTrace.back().fd = fd;
}
#else
int FaultHit(FaultCall, int, unsigned, const char*) { return -1; }
void FaultNoteOpened(int) {}
#endif

}  // namespace

#ifdef LZH_FAULT_INJECTION
void FaultArm(long n, FaultAction action) {
    g_faultCounter = 0;
    g_faultAt = n;
    g_faultAction = action;
    g_faultFired = false;
    g_faultTrace.clear();
}

void FaultDisarm() { g_faultAt = -1; }
bool FaultFired() { return g_faultFired; }
const std::vector<FaultRecord>& FaultTrace() { return g_faultTrace; }
#endif

// ---- drives ----

namespace {

struct DriveMapping {
    char folder[PATH_MAX];  // empty when the letter is not mapped
    UINT type;
};
DriveMapping g_drives[26];

int DriveIndex(char letter) {
    if (letter >= 'a' && letter <= 'z') return letter - 'a';
    if (letter >= 'A' && letter <= 'Z') return letter - 'A';
    return -1;
}

// The mapping of a path that starts with "X:\" or "X:/", else null.
const DriveMapping* MappedDriveOf(const char* path) {
    int k = DriveIndex(path[0]);
    if (k < 0 || path[1] != ':' || (path[2] != '\\' && path[2] != '/')) return nullptr;
    return g_drives[k].folder[0] != 0 ? &g_drives[k] : nullptr;
}

}  // namespace

bool SetDriveMapping(char letter, const char* folder, UINT type) {
    int k = DriveIndex(letter);
    if (k < 0) return false;
    if (folder == nullptr) {
        g_drives[k].folder[0] = 0;
        return true;
    }
    size_t n = strlen(folder);
    while (n > 1 && folder[n - 1] == '/') --n;  // kept without its last slash
    if (n == 0 || n >= sizeof g_drives[k].folder) return false;
    memcpy(g_drives[k].folder, folder, n);
    g_drives[k].folder[n] = 0;
    g_drives[k].type = type;
    return true;
}

void ClearDriveMappings() {
    for (DriveMapping& d : g_drives) d.folder[0] = 0;
}

DWORD GetLogicalDrives() {
    DWORD mask = 0;
    for (int k = 0; k < 26; ++k)
        if (g_drives[k].folder[0] != 0) mask |= 1u << k;
    return mask;
}

UINT GetDriveTypeA(const char* root) {
    if (root == nullptr) return DRIVE_NO_ROOT_DIR;
    const DriveMapping* d = MappedDriveOf(root);
    if (d == nullptr || root[3] != 0) return DRIVE_NO_ROOT_DIR;
    return d->type;
}

bool AnsiPathToNative(const char* ansi, char* out, int outSize) {
    // Backslashes first, on the code page 932 bytes, where a trail byte
    // 0x5C can be told apart from a separator.
    std::vector<char> text(ansi, ansi + strlen(ansi) + 1);
    for (int i = 0; text[i] != 0;) {
        int n = CharLength(text.data(), i);
        if (n == 1 && text[i] == '\\') text[i] = '/';
        i += n;
    }
    const DriveMapping* drive = MappedDriveOf(text.data());
    if (drive == nullptr) return Convert("CP932", "UTF-8", text.data(), out, outSize);
    // "X:/rest" becomes "<folder>/rest".
    int prefix = (int)strlen(drive->folder);
    if (prefix >= outSize) return false;
    memcpy(out, drive->folder, (size_t)prefix);
    return Convert("CP932", "UTF-8", text.data() + 2, out + prefix, outSize - prefix);
}

bool NativePathToAnsi(const char* native, char* out, int outSize) {
    if (!Convert("UTF-8", "CP932", native, out, outSize)) return false;
    // A '/' (0x2F) is never a trail byte in code page 932.
    for (char* p = out; *p; ++p)
        if (*p == '/') *p = '\\';
    return true;
}

HANDLE CreateFileA(const char* path, DWORD access, DWORD share, void*,
                   DWORD disposition, DWORD, HANDLE) {
    if (FaultHit(FAULT_CALL_CREATE, -1, 0, path) >= 0) return INVALID_HANDLE_VALUE;
    char name[PATH_MAX];
    if (!AnsiPathToNative(path, name, sizeof name)) return INVALID_HANDLE_VALUE;
    int flags = (access & GENERIC_WRITE) ? O_RDWR : O_RDONLY;
    struct stat st;
    bool exists = stat(name, &st) == 0;
    if (disposition == OPEN_EXISTING) {
        if (!exists || S_ISDIR(st.st_mode)) return INVALID_HANDLE_VALUE;
    } else if (disposition == CREATE_ALWAYS) {
        if (exists && S_ISDIR(st.st_mode)) return INVALID_HANDLE_VALUE;
        flags |= O_CREAT;
    } else {
        return INVALID_HANDLE_VALUE;
    }
    if (exists && !SharingAllows(st, access, share)) return INVALID_HANDLE_VALUE;
    int fd = open(name, flags | O_CLOEXEC, 0644);
    if (fd < 0) return INVALID_HANDLE_VALUE;
    if (fstat(fd, &st) != 0 || !SharingAllows(st, access, share)) {
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    // Truncate only once sharing is settled, as Windows does.
    if (disposition == CREATE_ALWAYS && ftruncate(fd, 0) != 0) {
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    g_openFiles.push_back({fd, st.st_dev, st.st_ino, access, share});
    FaultNoteOpened(fd);
    return (HANDLE)(intptr_t)fd;
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, LPDWORD read, void*) {
    DWORD total = 0;
    switch (FaultHit(FAULT_CALL_READ, FdOf(file), toRead, nullptr)) {
    case FAULT_FAIL:
        if (read) *read = 0;
        return FALSE;
    case FAULT_SHORT_HALF: toRead /= 2; break;
    case FAULT_SHORT_ZERO: toRead = 0; break;
    default: break;
    }
    char* dst = static_cast<char*>(buffer);
    while (total < toRead) {
        ssize_t n = ::read(FdOf(file), dst + total, toRead - total);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (read) *read = total;
            return FALSE;
        }
        if (n == 0) break;
        total += (DWORD)n;
    }
    if (read) *read = total;
    return TRUE;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite,
               LPDWORD written, void*) {
    DWORD total = 0;
    if (FaultHit(FAULT_CALL_WRITE, FdOf(file), toWrite, nullptr) >= 0) {
        if (written) *written = 0;
        return FALSE;
    }
    const char* src = static_cast<const char*>(buffer);
    while (total < toWrite) {
        ssize_t n = ::write(FdOf(file), src + total, toWrite - total);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (written) *written = total;
            return FALSE;
        }
        total += (DWORD)n;
    }
    if (written) *written = total;
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh,
                     DWORD method) {
    if (FaultHit(FAULT_CALL_SEEK, FdOf(file), 0, nullptr) >= 0)
        return INVALID_SET_FILE_POINTER;
    if (distanceHigh != nullptr) return INVALID_SET_FILE_POINTER;
    int whence = method == FILE_BEGIN ? SEEK_SET
               : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
    off_t here = lseek(FdOf(file), 0, SEEK_CUR);
    if (here < 0) return INVALID_SET_FILE_POINTER;
    off_t base = whence == SEEK_SET ? 0 : here;
    if (whence == SEEK_END) {
        struct stat st;
        if (fstat(FdOf(file), &st) != 0) return INVALID_SET_FILE_POINTER;
        base = st.st_size;
    }
    int64_t target = (int64_t)base + distance;
    if (target < 0 || target >= (int64_t)INVALID_SET_FILE_POINTER)
        return INVALID_SET_FILE_POINTER;
    if (lseek(FdOf(file), (off_t)target, SEEK_SET) < 0)
        return INVALID_SET_FILE_POINTER;
    return (DWORD)target;
}

BOOL CloseHandle(HANDLE handle) {
    int fd = FdOf(handle);
    FaultHit(FAULT_CALL_CLOSE, fd, 0, nullptr);
    for (size_t i = 0; i < g_openFiles.size(); ++i) {
        if (g_openFiles[i].fd == fd) {
            g_openFiles.erase(g_openFiles.begin() + (long)i);
            break;
        }
    }
    return close(fd) == 0 ? TRUE : FALSE;
}

BOOL SetFileTime(HANDLE file, const FILETIME*, const FILETIME* access,
                 const FILETIME* write) {
    struct timespec times[2];
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_nsec = UTIME_OMIT;
    if (access) times[0] = ToTimespec(access);
    if (write) times[1] = ToTimespec(write);
    return futimens(FdOf(file), times) == 0 ? TRUE : FALSE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, FILETIME* ft) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (st->wYear < 1601 || st->wYear > 30827 || st->wMonth < 1 ||
        st->wMonth > 12 || st->wDay < 1 || st->wHour > 23 ||
        st->wMinute > 59 || st->wSecond > 59 || st->wMilliseconds > 999)
        return FALSE;
    int days = kDays[st->wMonth - 1] + (st->wMonth == 2 && IsLeapYear(st->wYear));
    if (st->wDay > days) return FALSE;
    int64_t secs = DaysFromCivil(st->wYear, st->wMonth, st->wDay) * 86400 +
                   st->wHour * 3600 + st->wMinute * 60 + st->wSecond;
    int64_t ticks = secs * 10000000 + st->wMilliseconds * 10000LL + kEpochDelta;
    ft->dwLowDateTime = (DWORD)ticks;
    ft->dwHighDateTime = (DWORD)(ticks >> 32);
    return TRUE;
}

// ---- runtime services ----

bool PathExists(const char* path) {
    char name[PATH_MAX];
    if (!AnsiPathToNative(path, name, sizeof name) || name[0] == 0) return false;
    return access(name, F_OK) == 0;
}

bool MakeFolder(const char* path) {
    if (FaultHit(FAULT_CALL_MKDIR, -1, 0, path) >= 0) return false;
    char name[PATH_MAX];
    if (!AnsiPathToNative(path, name, sizeof name) || name[0] == 0) return false;
    return mkdir(name, 0755) == 0;
}

bool QueryIsFolder(const char* path, bool* isFolder) {
    char name[PATH_MAX];
    struct stat st;
    if (!AnsiPathToNative(path, name, sizeof name) || stat(name, &st) != 0)
        return false;
    *isFolder = S_ISDIR(st.st_mode);
    return true;
}

bool RemoveFile(const char* path) {
    char name[PATH_MAX];
    if (!AnsiPathToNative(path, name, sizeof name)) return false;
    return unlink(name) == 0;
}

bool EqualAsciiNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        unsigned char x = (unsigned char)*a, y = (unsigned char)*b;
        if (x >= 'A' && x <= 'Z') x = (unsigned char)(x + 32);
        if (y >= 'A' && y <= 'Z') y = (unsigned char)(y + 32);
        if (x != y) return false;
        if (x == 0) return true;
    }
}

// Code page 932: lead bytes 0x81-0x9F and 0xE0-0xFC, trail bytes 0x40-0x7E
// and 0x80-0xFC.
bool IsLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

bool IsTrailByte(unsigned char b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

bool UtcCalendar(int32_t time, SYSTEMTIME* out) {
    if (time < 0) return false;
    time_t t = time;
    struct tm tm;
    if (gmtime_r(&t, &tm) == nullptr) return false;
    out->wYear = (WORD)(tm.tm_year + 1900);
    out->wMonth = (WORD)(tm.tm_mon + 1);
    out->wDayOfWeek = (WORD)tm.tm_wday;
    out->wDay = (WORD)tm.tm_mday;
    out->wHour = (WORD)tm.tm_hour;
    out->wMinute = (WORD)tm.tm_min;
    out->wSecond = (WORD)tm.tm_sec;
    out->wMilliseconds = 0;
    return true;
}

bool LocalDate(int32_t time, int* year, int* month, int* day) {
    if (time < 0) return false;
    time_t t = time;
    struct tm tm;
    if (localtime_r(&t, &tm) == nullptr) return false;
    *year = tm.tm_year + 1900;
    *month = tm.tm_mon + 1;
    *day = tm.tm_mday;
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
    // Like the 32-bit runtime on Windows: only times from 1970 on exist.
    if (t == (time_t)-1 || t < 0) return -1;
    return ToTime32(t);
}

// ---- folder listing ----

namespace {

struct Listing {
    DIR* dir;
    bool driveRoot;  // a drive root lists no "." and "..", as on Windows
    char folder[PATH_MAX];
    char pattern[PATH_MAX];
};

// DOS attributes kept in the extended attribute Wine uses for them: a
// hexadecimal number such as "0x2". Zero when there is none.
uint32_t StoredDosAttributes(const char* path) {
    char value[32];
    ssize_t n = getxattr(path, "user.DOSATTRIB", value, sizeof value - 1);
    if (n <= 0) return 0;
    value[n] = 0;
    return (uint32_t)strtoul(value, nullptr, 16);
}

bool FillEntry(Listing* l, FolderEntry* entry) {
    for (;;) {
        struct dirent* d = readdir(l->dir);
        if (d == nullptr) return false;
        if (l->driveRoot &&
            (strcmp(d->d_name, ".") == 0 || strcmp(d->d_name, "..") == 0))
            continue;
        char ansiName[260];
        if (!NativePathToAnsi(d->d_name, ansiName, sizeof ansiName)) continue;
        if (fnmatch(l->pattern, d->d_name, 0) != 0 &&
            strcmp(l->pattern, "*.*") != 0)
            continue;
        char full[PATH_MAX];
        if ((size_t)snprintf(full, sizeof full, "%s/%s", l->folder, d->d_name) >=
            sizeof full)
            continue;
        struct stat st;
        if (lstat(full, &st) != 0) continue;
        if (S_ISLNK(st.st_mode) && stat(full, &st) != 0) continue;
        memset(entry, 0, sizeof *entry);
        entry->attributes = S_ISDIR(st.st_mode) ? (uint32_t)FOLDER_ATTR_DIRECTORY : 0u;
        // Dot names are hidden, as Wine shows them to Windows programs.
        if (d->d_name[0] == '.') entry->attributes |= FOLDER_ATTR_HIDDEN;
        entry->attributes |= StoredDosAttributes(full) & FOLDER_ATTR_HIDDEN;
        entry->creationTime = -1;
        entry->accessTime = ToTime32(st.st_atime);
        entry->writeTime = ToTime32(st.st_mtime);
        entry->size = st.st_size > (off_t)UINT32_MAX ? UINT32_MAX : (uint32_t)st.st_size;
        strcpy(entry->name, ansiName);
        return true;
    }
}

}  // namespace

intptr_t StartListing(const char* pattern, FolderEntry* entry) {
    char native[PATH_MAX];
    if (!AnsiPathToNative(pattern, native, sizeof native)) return -1;
    char* slash = strrchr(native, '/');
    if (slash == nullptr) return -1;
    Listing* l = new Listing;
    l->driveRoot = MappedDriveOf(pattern) != nullptr;
    for (int i = 3; l->driveRoot && pattern[i] != 0; i += CharLength(pattern, i))
        if (pattern[i] == '\\') l->driveRoot = false;
    size_t folderLen = (size_t)(slash - native);
    memcpy(l->folder, native, folderLen);
    l->folder[folderLen] = 0;
    if (folderLen == 0) strcpy(l->folder, "/");
    strcpy(l->pattern, slash + 1);
    l->dir = opendir(l->folder);
    if (l->dir == nullptr || !FillEntry(l, entry)) {
        if (l->dir) closedir(l->dir);
        delete l;
        return -1;
    }
    return (intptr_t)l;
}

bool NextListing(intptr_t handle, FolderEntry* entry) {
    return FillEntry(reinterpret_cast<Listing*>(handle), entry);
}

void CloseListing(intptr_t handle) {
    Listing* l = reinterpret_cast<Listing*>(handle);
    closedir(l->dir);
    delete l;
}
