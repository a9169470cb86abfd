#include "engine/lzh_file.h"

#include <cstring>
#include <new>

CLzhFile::CLzhFile()
    : m_handle(INVALID_HANDLE_VALUE), m_buffer(nullptr), m_fill(0),
      m_bufferStart(0), m_pos(0), m_regionEnd(0), m_bitBuffer(0),
      m_bitCount(0) {}

// The handle is deliberately left open: the owner closes its streams.
CLzhFile::~CLzhFile() { delete[] m_buffer; }

bool CLzhFile::Open(const char* path, DWORD access, DWORD disposition) {
    Close();
    m_handle = CreateFileA(path, access, FILE_SHARE_READ, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_handle == INVALID_HANDLE_VALUE) return false;
    m_buffer = new (std::nothrow) uint8_t[kBufferSize];
    if (m_buffer == nullptr) {
        CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
        return false;
    }
    return true;
}

// No position field is reset: a reader calls SetRegion before reading.
bool CLzhFile::OpenRead(const char* path) {
    return Open(path, GENERIC_READ, OPEN_EXISTING);
}

bool CLzhFile::OpenWrite(const char* path) {
    if (!Open(path, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS)) return false;
    m_pos = 0;
    return true;
}

// Buffered output is discarded: an owner that wants it calls Flush first.
void CLzhFile::Close() {
    if (m_handle == INVALID_HANDLE_VALUE) return;
    CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
    delete[] m_buffer;
    m_buffer = nullptr;
}

// Positions by a relative move from wherever the handle stands, so raw reads
// through m_handle between regions disturb nothing.
void CLzhFile::SetRegion(int32_t offset, int32_t length) {
    DWORD here = SetFilePointer(m_handle, 0, nullptr, FILE_CURRENT);
    if (here == INVALID_SET_FILE_POINTER) throw CFileException();
    int64_t move = (int64_t)offset - (int64_t)here;
    if (move != 0) {
        if (move < INT32_MIN || move > INT32_MAX) throw CFileException();
        if (SetFilePointer(m_handle, (LONG)move, nullptr, FILE_CURRENT) ==
            INVALID_SET_FILE_POINTER)
            throw CFileException();
    }
    m_bufferStart = offset;
    m_fill = 0;
    m_pos = 0;
    m_regionEnd = (int32_t)((int64_t)offset + length > INT32_MAX
                                ? INT32_MAX
                                : (int64_t)offset + length);
    m_bitBuffer = 0;
    m_bitCount = 0;
}

// Loads whole bytes below the look-ahead. At most 16 + 7 unconsumed bits
// are held between calls, so nothing unconsumed leaves the 32-bit
// accumulator when a byte is shifted in. Past the region's end zero bits.
void CLzhFile::LoadBytes() {
    while (m_bitCount < 0) {
        m_bitCount += 8;
        m_bitBuffer <<= 8;
        if (m_pos >= m_fill) Refill();
        if (m_pos < m_fill) m_bitBuffer |= m_buffer[m_pos++];
    }
}

void CLzhFile::Refill() {
    if (m_handle == INVALID_HANDLE_VALUE) return;
    if (m_pos > 0) {
        if (m_fill > m_pos) memmove(m_buffer, m_buffer + m_pos, (size_t)(m_fill - m_pos));
        m_fill -= m_pos;
        m_bufferStart += m_pos;
        m_pos = 0;
    }
    int64_t want = (int64_t)m_bufferStart + kBufferSize > m_regionEnd
                       ? (int64_t)m_regionEnd - m_bufferStart - m_fill
                       : (int64_t)kBufferSize - m_fill;
    if (want <= 0) return;
    DWORD got = 0;
    if (!ReadFile(m_handle, m_buffer + m_fill, (DWORD)want, &got, nullptr))
        throw CFileException();
    if ((int64_t)got < want) throw CExceptionLZH();
    m_fill += (int32_t)want;
}

// Reads whole 16 KB chunks from the current file position, beyond the
// region if need be; a short count means the end of the file.
int32_t CLzhFile::ReadBlock(void* destination, int32_t n) {
    uint8_t* dst = static_cast<uint8_t*>(destination);
    int32_t copied = 0;
    while (n > 0) {
        if (m_pos >= m_fill) {
            if (m_handle == INVALID_HANDLE_VALUE) break;
            m_bufferStart += m_fill;
            m_pos = 0;
            DWORD got = 0;
            if (!ReadFile(m_handle, m_buffer, kBufferSize, &got, nullptr))
                throw CFileException();
            m_fill = (int32_t)got;
            if (m_pos >= m_fill) break;
        }
        int32_t k = n < m_fill - m_pos ? n : m_fill - m_pos;
        memcpy(dst, m_buffer + m_pos, (size_t)k);
        dst += k;
        m_pos += k;
        copied += k;
        n -= k;
    }
    return copied;
}

// A full buffer waits until more bytes arrive or Flush is called.
void CLzhFile::WriteBlock(const void* source, int32_t n) {
    if (n > 0 && m_buffer == nullptr) throw CFileException();
    const uint8_t* src = static_cast<const uint8_t*>(source);
    while (n > 0) {
        if (m_pos >= kBufferSize) Flush();
        int32_t k = n < kBufferSize - m_pos ? n : kBufferSize - m_pos;
        memcpy(m_buffer + m_pos, src, (size_t)k);
        m_pos += k;
        src += k;
        n -= k;
    }
}

void CLzhFile::Flush() {
    if (m_handle == INVALID_HANDLE_VALUE || m_pos <= 0) return;
    DWORD written = 0;
    if (!WriteFile(m_handle, m_buffer, (DWORD)m_pos, &written, nullptr))
        throw CFileException();
    m_pos = 0;
}
