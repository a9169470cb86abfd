// CLzhFile: the engine's buffered file stream. One 16 KB buffer, used either
// to read a region of a file (as a most-significant-bit-first bit stream or
// in blocks) or to collect output that goes to the file 16 KB at a time.
#ifndef ENGINE_LZH_FILE_H
#define ENGINE_LZH_FILE_H

#include <cstdint>

#include "platform/platform.h"

// Corrupt or truncated archive data.
class CExceptionLZH {};

// A failing system file call.
class CFileException {};

class CLzhFile {
public:
    static const int32_t kBufferSize = 0x4000;

    CLzhFile();
    ~CLzhFile();
    CLzhFile(const CLzhFile&) = delete;
    CLzhFile& operator=(const CLzhFile&) = delete;

    bool OpenRead(const char* path);
    bool OpenWrite(const char* path);
    void Close();
    bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }

    void SetRegion(int32_t offset, int32_t length);
    // Consumes n bits. The common cases are inline: bits already loaded,
    // or the one or two bytes that n <= 16 needs already in the buffer.
    void SkipBits(int32_t n) {
        m_bitCount -= n;
        if (m_bitCount >= 0) return;
        if (m_bitCount >= -16 && m_fill - m_pos >= 2) {
            do {
                m_bitCount += 8;
                m_bitBuffer = m_bitBuffer << 8 | m_buffer[m_pos++];
            } while (m_bitCount < 0);
            return;
        }
        LoadBytes();
    }
    uint16_t PeekWord() const { return (uint16_t)(m_bitBuffer >> m_bitCount); }
    // The next n bits (1..16), consumed; a larger n gives the look-ahead.
    uint16_t ReadBits(int32_t n) {
        uint16_t w = PeekWord();
        if (n <= 0) return 0;
        SkipBits(n);
        return n >= 16 ? w : (uint16_t)(w >> (16 - n));
    }
    void Refill();
    int32_t ReadBlock(void* destination, int32_t n);
    void WriteBlock(const void* source, int32_t n);
    void Flush();

    // Public: the driver reads headers through m_handle, and the decoder
    // takes its look-ahead straight from m_bitBuffer and m_bitCount.
    HANDLE m_handle;
    uint8_t* m_buffer;
    int32_t m_fill;         // reading: valid bytes in the buffer
    int32_t m_bufferStart;  // reading: file offset of buffer byte 0
    int32_t m_pos;          // reading: next unread byte; writing: bytes waiting
    int32_t m_regionEnd;    // reading: file offset one past the region
    uint32_t m_bitBuffer;   // accumulator, earliest stream bit highest
    int32_t m_bitCount;     // loaded bits below the 16-bit look-ahead (0..7)

private:
    void LoadBytes();
    bool Open(const char* path, DWORD access, DWORD disposition);
};

#endif
