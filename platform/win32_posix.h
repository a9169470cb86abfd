// Linux stand-ins for the Win32 file calls the engine makes. Only included
// through platform.h, never on Windows.
//
// What they give, and nothing more:
// - ANSI paths are code page 932 bytes; they are converted to the UTF-8
//   names Linux uses, and a single-byte backslash becomes '/' (a 0x5C that
//   is the trail byte of a double-byte character stays part of it).
// - Access (GENERIC_READ, GENERIC_WRITE), share (FILE_SHARE_READ and
//   FILE_SHARE_WRITE, checked among the handles of this process) and
//   creation (OPEN_EXISTING, CREATE_ALWAYS) modes.
// - SetFilePointer moves by a signed 32-bit distance; positions that do not
//   fit in 32 bits fail with INVALID_SET_FILE_POINTER.
// - ReadFile fails (FALSE) on an I/O error and succeeds with a short count
//   at the end of the file.
// - SetFileTime sets the access and modification times (Linux keeps no
//   creation time).
#ifndef PLATFORM_WIN32_POSIX_H
#define PLATFORM_WIN32_POSIX_H

#include <cstdint>

typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef void* HANDLE;
typedef DWORD* LPDWORD;
typedef LONG* PLONG;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INVALID_SET_FILE_POINTER ((DWORD)0xFFFFFFFF)

enum : DWORD {
    GENERIC_READ = 0x80000000u,
    GENERIC_WRITE = 0x40000000u,
    FILE_SHARE_READ = 0x1,
    FILE_SHARE_WRITE = 0x2,
    CREATE_ALWAYS = 2,
    OPEN_EXISTING = 3,
    FILE_ATTRIBUTE_NORMAL = 0x80,
    FILE_BEGIN = 0,
    FILE_CURRENT = 1,
    FILE_END = 2,
};

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

HANDLE CreateFileA(const char* path, DWORD access, DWORD share,
                   void* security, DWORD disposition, DWORD attributes,
                   HANDLE templateFile);
BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, LPDWORD read,
              void* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite,
               LPDWORD written, void* overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh,
                     DWORD method);
BOOL CloseHandle(HANDLE handle);
BOOL SetFileTime(HANDLE file, const FILETIME* creation,
                 const FILETIME* access, const FILETIME* write);
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);

// Drives. A test maps a drive letter to a Linux folder and gives it a type;
// GetLogicalDrives reports the mapped letters, GetDriveTypeA their types
// (DRIVE_NO_ROOT_DIR for an unmapped root), and a path "X:\..." on a mapped
// drive names a path below that folder. Unmapped drive paths stay as they
// are, relative to the working folder.
typedef unsigned int UINT;
enum : UINT {
    DRIVE_UNKNOWN = 0,
    DRIVE_NO_ROOT_DIR = 1,
    DRIVE_REMOVABLE = 2,
    DRIVE_FIXED = 3,
    DRIVE_REMOTE = 4,
    DRIVE_CDROM = 5,
    DRIVE_RAMDISK = 6,
};
DWORD GetLogicalDrives();
UINT GetDriveTypeA(const char* root);
// Maps a letter (either case) to a folder; a null folder unmaps it. False
// for a letter outside A-Z or a folder name that does not fit.
bool SetDriveMapping(char letter, const char* folder, UINT type);
void ClearDriveMappings();

// The Linux name of an ANSI path, as the calls above use it. False when the
// bytes are not valid code page 932 or the result does not fit.
bool AnsiPathToNative(const char* ansi, char* out, int outSize);

// The reverse, for tools that take UTF-8 paths from a command line: UTF-8
// to code page 932 with '/' turned into a backslash. False when a character
// has no code page 932 form or the result does not fit.
bool NativePathToAnsi(const char* native, char* out, int outSize);

#endif
