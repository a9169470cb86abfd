// The extraction driver: archive scan, destination folder, member walk,
// stored members, CRC check and time stamps.
#include "engine/lzh_extractor.h"

#include <cstring>

namespace {

// Index of the last single-byte backslash, -1 if none.
int LastBackslash(const char* text) {
    int last = -1;
    for (int i = 0; text[i] != 0; i += CharLength(text, i))
        if (text[i] == '\\' && CharLength(text, i) == 1) last = i;
    return last;
}

bool EndsWithBackslash(const char* text) {
    return LastBackslash(text) >= (int)strlen(text) - 1;
}

}  // namespace

CLzhExtractor::CLzhExtractor()
    : m_crcTable(new uint16_t[kCrcSlices * 256]), m_window(new uint8_t[kWindowAlloc]),
      m_headerPos(0), m_folder(), m_filter(), m_outPath(), m_compressed(false),
      m_remaining(0), m_windowPos(0), m_crc(0), m_error(EXTRACT_OK),
      m_blockLeft(0), m_headerSize(0), m_method(0), m_packedSize(0),
      m_originalSize(0), m_time(0), m_name(), m_noCrc(false), m_expectedCrc(0) {
    BuildCrcTable();
}

CLzhExtractor::~CLzhExtractor() {
    delete[] m_window;
    delete[] m_crcTable;
}

// Ends the run: the archive file is closed.
bool CLzhExtractor::Fail(int32_t error) {
    m_in.Close();
    m_error = error;
    return false;
}

// Ends the run inside a member: its output file is closed and deleted too.
bool CLzhExtractor::FailMember(int32_t error) {
    m_out.Close();
    RemoveFile(m_outPath);
    return Fail(error);
}

bool CLzhExtractor::Begin(const char* archivePath, const char* folder,
                          const char* filter) {
    if (!OpenArchive(archivePath)) return false;
    if (!PrepareFolder(folder ? folder : "")) return false;

    memset(m_filter, 0, sizeof m_filter);
    if (filter != nullptr) {
        // Member names have at most 259 bytes: a longer filter names none.
        if (strlen(filter) >= sizeof m_filter) return Fail(EXTRACT_ERR_NO_ARCHIVE);
        strcpy(m_filter, filter);
    }

    for (;;) {
        if (m_headerSize <= 0) return Fail(EXTRACT_ERR_NO_ARCHIVE);
        if (m_filter[0] == 0 || EqualAsciiNoCase(m_filter, m_name)) break;
        int32_t error = ReadNextHeader();
        if (error != EXTRACT_OK) return Fail(error);
    }
    return OpenMember();
}

bool CLzhExtractor::OpenArchive(const char* archivePath) {
    Abort();  // a run still in progress ends here, its partial member deleted
    m_error = EXTRACT_OK;
    if (!m_in.OpenRead(archivePath ? archivePath : "")) {
        m_error = EXTRACT_ERR_OPEN_ARCHIVE;
        return false;
    }
    if (!ScanForArchive()) return Fail(EXTRACT_ERR_NO_ARCHIVE);
    return true;
}

// Tests every file offset in turn for the first valid member header. The
// window holds `avail` bytes from file offset `base`; a position i is tested
// while `need` bytes from it are in the window: 512 while the file goes on,
// then the last bytes of the file down to the 22 a header needs. A refill
// keeps the 511 untested bytes. Failed reads count as 0 bytes.
bool CLzhExtractor::ScanForArchive() {
    m_headerPos = -1;
    int32_t base = 0;
    int32_t i = 0;
    int32_t need = kHeaderRead;
    DWORD got = 0;
    if (!ReadFile(m_in.m_handle, m_window, kWindowSize, &got, nullptr)) got = 0;
    int32_t avail = (int32_t)got;
    for (;;) {
        for (; need + i <= avail; ++i) {
            if (m_window[i + 2] == '-' && m_window[i + 6] == '-' &&
                ParseHeader(m_window + i, avail - i) && m_headerSize > 0) {
                m_headerPos = base + i;
                return true;
            }
        }
        if (avail == kWindowSize) {
            // File offsets are signed 32-bit: the scan ends before 2 GB.
            if ((int64_t)base + i > INT32_MAX - kWindowSize) return false;
            base += i;
            memmove(m_window, m_window + i, (size_t)(avail - i));
            avail -= i;
            i = 0;
            if (!ReadFile(m_in.m_handle, m_window + avail, (DWORD)(kWindowSize - avail),
                          &got, nullptr))
                got = 0;
            avail += (int32_t)got;
        } else if (need == kHeaderRead) {
            need = 22;
        } else {
            return false;
        }
    }
}

// Makes m_folder the destination folder ending in one backslash, creating
// missing levels from the root outward. Every walk over the text treats a
// lead byte and its trail byte as one character.
bool CLzhExtractor::PrepareFolder(const char* folder) {
    size_t len = strlen(folder);
    if (len >= sizeof m_folder) return Fail(EXTRACT_ERR_CREATE_FOLDER);
    memcpy(m_folder, folder, len + 1);
    // A drive root such as C:\ keeps its backslash; a longer text loses one.
    if (len > 3 && LastBackslash(m_folder) == (int)len - 1) m_folder[--len] = 0;
    const bool appendBackslash = !EndsWithBackslash(m_folder);
    if (appendBackslash && len + 1 >= sizeof m_folder)
        return Fail(EXTRACT_ERR_CREATE_FOLDER);

    if (PathExists(m_folder)) {
        bool isFolder = false;
        if (!QueryIsFolder(m_folder, &isFolder) || !isFolder)
            return Fail(EXTRACT_ERR_CREATE_FOLDER);
    } else {
        char level[kTextSize];
        for (int i = 0; m_folder[i] != 0; i += CharLength(m_folder, i)) {
            if (m_folder[i] != '\\' || CharLength(m_folder, i) != 1) continue;
            memcpy(level, m_folder, (size_t)i);
            level[i] = 0;
            if (!PathExists(level)) MakeFolder(level);  // failures show below
        }
        if (!MakeFolder(m_folder)) return Fail(EXTRACT_ERR_CREATE_FOLDER);
    }
    if (appendBackslash) {
        m_folder[len] = '\\';
        m_folder[len + 1] = 0;
    }
    return true;
}

// Reads the header that follows the current member with one positioned
// 512-byte read. No bytes at all (the end of the file) is the end of the
// archive; a failing read or move is a failure, not an end.
int32_t CLzhExtractor::ReadNextHeader() {
    int64_t next = (int64_t)m_headerPos + m_headerSize + m_packedSize;
    if (next > INT32_MAX) return EXTRACT_ERR_BAD_HEADER;
    m_headerPos = (int32_t)next;
    DWORD here = SetFilePointer(m_in.m_handle, 0, nullptr, FILE_CURRENT);
    if (here == INVALID_SET_FILE_POINTER) return EXTRACT_ERR_FILE_ACCESS;
    int64_t move = next - (int64_t)here;
    if (move != 0 &&
        SetFilePointer(m_in.m_handle, (LONG)move, nullptr, FILE_CURRENT) ==
            INVALID_SET_FILE_POINTER)
        return EXTRACT_ERR_FILE_ACCESS;
    DWORD got = 0;
    if (!ReadFile(m_in.m_handle, m_window, kHeaderRead, &got, nullptr))
        return EXTRACT_ERR_FILE_ACCESS;
    // A file that ends right after a member ends the archive (not every
    // writer adds the end mark); one that ends inside the next header was
    // cut short, and success would hide the members it lost.
    if (got > 0 && got < 22 && m_window[0] != 0) return EXTRACT_ERR_BAD_HEADER;
    if (!ParseHeader(m_window, (int32_t)got)) return EXTRACT_ERR_BAD_HEADER;
    return EXTRACT_OK;
}

// Creates the member's output file and makes its data the archive stream's
// region; shared by Begin and Step.
bool CLzhExtractor::OpenMember() {
    const int64_t dataStart = (int64_t)m_headerPos + m_headerSize;
    if (dataStart + m_packedSize > INT32_MAX) return Fail(EXTRACT_ERR_BAD_HEADER);
    size_t folderLength = strlen(m_folder);
    size_t nameLength = strlen(m_name);
    if (folderLength + nameLength >= sizeof m_outPath)
        return Fail(EXTRACT_ERR_CREATE_FILE);
    memcpy(m_outPath, m_folder, folderLength);
    memcpy(m_outPath + folderLength, m_name, nameLength + 1);
    if (!m_out.OpenWrite(m_outPath)) return Fail(EXTRACT_ERR_CREATE_FILE);

    try {
        m_in.SetRegion((int32_t)dataStart, m_packedSize);
        if (m_method == METHOD_LH0 || m_method == METHOD_LZ4) {
            m_compressed = false;
        } else if (m_method == METHOD_LH5) {
            m_compressed = true;
            m_blockLeft = 0;
            memset(m_window, 0x20, kWindowSize);
            m_in.SkipBits(16);
            m_windowPos = 0;
        } else {
            return FailMember(EXTRACT_ERR_METHOD);
        }
    } catch (CFileException&) {
        return FailMember(EXTRACT_ERR_FILE_ACCESS);
    } catch (CExceptionLZH&) {
        return FailMember(EXTRACT_ERR_BAD_DATA);
    }
    // Cleared only now: ParseHeader used m_crc for the header CRC.
    m_crc = 0;
    m_remaining = m_originalSize;
    return true;
}

bool CLzhExtractor::Step(bool* done) {
    *done = false;
    if (!m_in.IsOpen()) return false;  // no run in progress: nothing is touched

    bool ok = m_compressed ? StepLh5(m_in, m_out, done)
                           : StepStored(m_in, m_out, done);
    if (!ok) return FailMember(m_error);
    if (!*done) return true;

    if (!m_noCrc && m_crc != m_expectedCrc) return FailMember(EXTRACT_ERR_CRC);
    StampOutput();
    m_out.Close();
    *done = false;

    if (m_filter[0] != 0) {  // the one named member is done
        m_in.Close();
        *done = true;
        return true;
    }
    int32_t error = ReadNextHeader();
    if (error != EXTRACT_OK) return Fail(error);
    if (m_headerSize <= 0) {
        m_in.Close();
        *done = true;
        return true;
    }
    return OpenMember();
}

// Creation, last-access and last-write times all become the member's time,
// taken as UTC. A time with no calendar form leaves the file's times alone.
void CLzhExtractor::StampOutput() {
    SYSTEMTIME st;
    if (!UtcCalendar(m_time, &st)) return;
    FILETIME ft;
    if (!SystemTimeToFileTime(&st, &ft)) return;
    SetFileTime(m_out.m_handle, &ft, &ft, &ft);
}

// Only a run in progress has anything to end; a finished run's last file
// is never touched.
void CLzhExtractor::Abort() {
    if (m_out.IsOpen()) {
        m_out.Close();
        RemoveFile(m_outPath);
    }
    m_in.Close();
}

// The progress dialog asks after every step, and in 32-bit code a 64-bit
// division is a library call dearer than the step: it is kept for members
// whose product would not fit in 32 bits.
int CLzhExtractor::Progress() const {
    if (m_originalSize <= 0) return 0;
    const int32_t produced = m_originalSize - m_remaining;
    if (produced <= INT32_MAX / 100) return produced * 100 / m_originalSize;
    return (int)((int64_t)produced * 100 / m_originalSize);
}

// A stored member is copied 16 KB per step. A file that ends inside the
// member's data is damage, not a short member: nothing is written from
// bytes the file did not deliver.
bool CLzhExtractor::StepStored(CLzhFile& in, CLzhFile& out, bool* done) {
    *done = false;
    try {
        int32_t n = m_remaining < kWindowSize ? m_remaining : kWindowSize;
        if (n > 0) {
            if (in.ReadBlock(m_window, n) < n) throw CExceptionLZH();
            UpdateCrc(m_window, n);
            out.WriteBlock(m_window, n);
            m_remaining -= n;
        }
        if (m_remaining <= 0) {
            out.Flush();
            *done = true;
        }
    } catch (CFileException&) {
        m_error = EXTRACT_ERR_FILE_ACCESS;
        return false;
    } catch (CExceptionLZH&) {
        m_error = EXTRACT_ERR_BAD_DATA;
        return false;
    }
    return true;
}
