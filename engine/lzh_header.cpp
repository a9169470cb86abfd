// Member headers of levels 0, 1 and 2, the CRC-16 and the header sum.
#include <cstring>

#include "engine/lzh_extractor.h"

const char g_methodIds[9][5] = {
    {'-', 'l', 'h', '0', '-'}, {'-', 'l', 'h', '1', '-'},
    {'-', 'l', 'h', '2', '-'}, {'-', 'l', 'h', '3', '-'},
    {'-', 'l', 'h', '4', '-'}, {'-', 'l', 'h', '5', '-'},
    {'-', 'l', 'z', 's', '-'}, {'-', 'l', 'z', '5', '-'},
    {'-', 'l', 'z', '4', '-'},
};

namespace {

uint16_t Get16(const uint8_t* p) { return (uint16_t)(p[0] | p[1] << 8); }

int32_t Get32(const uint8_t* p) {
    return (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 |
                     (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24);
}

// The base header up to and including the level byte and name length.
const int32_t kBaseHeader = 22;
// Level 2: the base header and the first record-size field.
const int32_t kLevel2Minimum = 26;
// A record holds at least its type byte and the next record's size.
const int32_t kMinRecord = 3;
// A header-CRC record also holds the two CRC bytes.
const int32_t kMinCrcRecord = 5;

enum : uint8_t { RECORD_HEADER_CRC = 0, RECORD_FILE_NAME = 1 };

}  // namespace

// CRC-16/ARC: reflected polynomial 0x8005, initial value 0, no final XOR.
// Table k gives the CRC of a byte followed by k zero bytes.
void CLzhExtractor::BuildCrcTable() {
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xA001 : c >> 1;
        m_crcTable[i] = (uint16_t)c;
    }
    for (int32_t k = 1; k < kCrcSlices; ++k) {
        for (uint32_t i = 0; i < 256; ++i) {
            uint16_t c = m_crcTable[(k - 1) * 256 + i];
            m_crcTable[k * 256 + i] = (uint16_t)(m_crcTable[c & 0xFF] ^ (c >> 8));
        }
    }
}

// Byte by byte each step waits for the previous one; eight bytes at a time
// only the first two depend on the running CRC.
void CLzhExtractor::UpdateCrc(const uint8_t* bytes, int32_t count) {
    const uint16_t* t = m_crcTable;
    uint32_t crc = m_crc;
    for (; count >= 8; count -= 8, bytes += 8) {
        const uint32_t low = crc ^ (bytes[0] | (uint32_t)bytes[1] << 8);
        crc = t[7 * 256 + (low & 0xFF)] ^ t[6 * 256 + (low >> 8)] ^
              t[5 * 256 + bytes[2]] ^ t[4 * 256 + bytes[3]] ^ t[3 * 256 + bytes[4]] ^
              t[2 * 256 + bytes[5]] ^ t[1 * 256 + bytes[6]] ^ t[bytes[7]];
    }
    for (int32_t i = 0; i < count; ++i) crc = t[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    m_crc = (uint16_t)crc;
}

uint8_t CLzhExtractor::HeaderSum(const uint8_t* bytes, int32_t count) {
    uint8_t sum = 0;
    for (int32_t i = 0; i < count; ++i) sum = (uint8_t)(sum + bytes[i]);
    return sum;
}

// Separators are single-byte '\', '/', ':' and 0xFF; a 0x5C that is the
// trail byte of a double-byte character is part of that character.
const char* CLzhExtractor::StripPath(const char* name) {
    const char* tail = name;
    for (int i = 0; name[i] != 0;) {
        int n = CharLength(name, i);
        unsigned char c = (unsigned char)name[i];
        i += n;
        if (n == 1 && (c == '\\' || c == '/' || c == ':' || c == 0xFF)) tail = name + i;
    }
    return tail;
}

// A name ends at its first NUL; only the part after the last separator is
// kept. A name that does not fit m_name makes the header invalid.
bool CLzhExtractor::TakeName(const uint8_t* bytes, int32_t count) {
    int32_t len = 0;
    while (len < count && bytes[len] != 0) ++len;
    if (len > kTextSize - 1) return false;
    memcpy(m_name, bytes, (size_t)len);
    m_name[len] = 0;
    const char* tail = StripPath(m_name);
    memmove(m_name, tail, strlen(tail) + 1);
    return true;
}

// The CRC of the whole header, computed with the CRC field set to zero.
bool CLzhExtractor::CheckHeaderCrc(uint8_t* header, uint8_t* crcField) {
    uint16_t stored = Get16(crcField);
    crcField[0] = 0;
    crcField[1] = 0;
    m_crc = 0;
    UpdateCrc(header, m_headerSize);
    return m_crc == stored;
}

// Header offsets, little-endian:
//    0  level 0/1: H (bytes after offset 1), then the header sum at 1
//       level 2:   16-bit size of the whole header
//    2  method id (5)      7  packed size (4)     11  original size (4)
//   15  time (4): DOS time and date, or level 2 seconds since 1970 UTC
//   19  attribute / unused 20  level
//   level 0/1: 21 name length N, 22 name, 22+N data CRC (2)
//   level 2:   21 data CRC (2), 23 OS id, 24 size of the first record
bool CLzhExtractor::ParseHeader(uint8_t* header, int32_t available) {
    m_headerSize = 0;
    m_method = 0;
    m_packedSize = 0;
    m_originalSize = 0;
    memset(m_name, 0, sizeof m_name);
    m_noCrc = true;
    m_expectedCrc = 0;

    if (available < kBaseHeader || header[0] == 0) return true;  // end of archive

    int32_t method = -1;
    for (int32_t i = 0; i < 9 && method < 0; ++i)
        if (memcmp(header + 2, g_methodIds[i], 5) == 0) method = i;
    if (method < 0) return false;
    m_method = method;

    m_packedSize = Get32(header + 7);
    m_originalSize = Get32(header + 11);
    // A negative packed size would move the member walk backwards without
    // end; neither size can be negative in a 32-bit archive.
    if (m_packedSize < 0 || m_originalSize < 0) return false;

    switch (header[20]) {
    case 0:
    case 1:
        return ParseLevel01(header, available);
    case 2:
        return ParseLevel2(header, available);
    default:
        return false;
    }
}

// Records follow the first size field at offset 24: each is a type byte,
// data, and the 16-bit size of the next record (0 ends the chain). Every
// record must end inside the header.
bool CLzhExtractor::ParseLevel2(uint8_t* header, int32_t available) {
    m_headerSize = Get16(header);
    if (m_headerSize < kLevel2Minimum || available < m_headerSize) return false;
    m_time = Get32(header + 15);
    m_expectedCrc = Get16(header + 21);
    m_noCrc = false;

    uint8_t* crcField = nullptr;
    // Invariant: cursor + 2 <= m_headerSize, so the size field is inside.
    for (int32_t cursor = 24;;) {
        int32_t size = Get16(header + cursor);
        if (size == 0) break;
        if (size < kMinRecord || cursor + 2 + size > m_headerSize) return false;
        uint8_t* record = header + cursor + 2;
        if (record[0] == RECORD_HEADER_CRC) {
            if (size < kMinCrcRecord) return false;
            crcField = record + 1;
        } else if (record[0] == RECORD_FILE_NAME) {
            if (!TakeName(record + 1, size - 3)) return false;
        }
        cursor += size;
    }
    if (crcField == nullptr) return false;
    return CheckHeaderCrc(header, crcField);
}

// Level 1 records start at the end of the base header; their sizes count
// in the packed size, so each is moved from there to the header size.
bool CLzhExtractor::ParseLevel01(uint8_t* header, int32_t available) {
    m_headerSize = header[0] + 2;
    if (available < m_headerSize) return false;
    if (HeaderSum(header + 2, header[0]) != header[1]) return false;

    uint16_t dosTime = Get16(header + 15);
    uint16_t dosDate = Get16(header + 17);
    m_time = TimeFromLocalFields(1980 + (dosDate >> 9), (dosDate >> 5) & 15,
                                 dosDate & 31, dosTime >> 11,
                                 (dosTime >> 5) & 63, 2 * (dosTime & 31));

    // The name must lie inside the base header.
    int32_t nameLength = header[21];
    if (kBaseHeader + nameLength > m_headerSize) return false;
    if (!TakeName(header + kBaseHeader, nameLength)) return false;

    int32_t beyondName = m_headerSize - nameLength;
    if (beyondName >= 24) {
        m_noCrc = false;
        m_expectedCrc = Get16(header + kBaseHeader + nameLength);
    }
    if (header[20] == 0 || beyondName < 24) return true;
    if (beyondName < 26) return false;

    uint8_t* crcField = nullptr;
    for (;;) {
        int32_t size = Get16(header + m_headerSize - 2);
        if (size == 0) break;
        if (size < kMinRecord || available - m_headerSize < size) return false;
        uint8_t* record = header + m_headerSize;
        if (record[0] == RECORD_HEADER_CRC) {
            if (size < kMinCrcRecord) return false;
            crcField = record + 1;
        } else if (record[0] == RECORD_FILE_NAME) {
            if (!TakeName(record + 1, size - 3)) return false;
        }
        m_headerSize += size;
        m_packedSize -= size;
    }
    // Records that claim more than the member holds.
    if (m_packedSize < 0) return false;
    if (crcField == nullptr) return true;
    return CheckHeaderCrc(header, crcField);
}
