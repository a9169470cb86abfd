// Builds LZH archives from bytes for tests: member headers of levels 0, 1
// and 2 with their checksums, stored members, and a bit writer for hand-made
// -lh5- block streams.
#ifndef TESTS_SUPPORT_LZH_BUILDER_H
#define TESTS_SUPPORT_LZH_BUILDER_H

#include <cstdint>
#include <string>
#include <vector>

namespace lzhtest {

using Bytes = std::vector<uint8_t>;

uint16_t Crc16(const uint8_t* data, size_t size, uint16_t crc = 0);
inline uint16_t Crc16(const Bytes& data) { return Crc16(data.data(), data.size()); }

void Put16(Bytes& out, uint32_t v);
void Put32(Bytes& out, uint32_t v);
void Set16(Bytes& out, size_t at, uint32_t v);

// One extended record: type and data (the size fields are added).
struct Record {
    uint8_t type;
    Bytes data;
};

// What a member header says. Defaults describe a stored member whose data
// CRC is filled in by the Add functions below.
struct Member {
    std::string name = "a.txt";
    std::string method = "-lh0-";
    Bytes data;                     // packed bytes as stored in the archive
    int64_t originalSize = -1;      // -1: data.size()
    int64_t packedSize = -1;        // -1: data.size()
    uint32_t time = 0x5f5e1000;     // level 2: seconds since 1970 (UTC)
    uint16_t dosTime = 0x6000;      // level 0/1: 12:00:00
    uint16_t dosDate = 0x5221;      // level 0/1: 2021-01-01
    int64_t crc = -1;               // -1: CRC-16 of data
    std::vector<Record> extra;      // additional records (levels 1 and 2)
};

// Level 2: name record (type 1), extra records, header-CRC record (type 0).
Bytes Level2Header(const Member& m);
// Level 0: name in the base header, data CRC after it.
Bytes Level0Header(const Member& m);
// Level 1: base header with the name, data CRC, OS id, then the records;
// withHeaderCrc adds a type-0 record.
Bytes Level1Header(const Member& m, bool withHeaderCrc = false);

// header + data for a whole member of the given level.
Bytes MemberBytes(const Member& m, int level);

// Members of one level, ended by a single 0 byte.
Bytes Archive(const std::vector<Member>& members, int level = 2);

// Writes bits most significant first, as the -lh5- stream is read.
class BitWriter {
public:
    void Put(uint32_t value, int bits);
    Bytes Finish();  // pads the last byte with zero bits
private:
    Bytes m_bytes;
    uint32_t m_acc = 0;
    int m_count = 0;
};

// Files and folders for tests, under a fresh temporary folder.
std::string MakeTempDir();
void WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadFile(const std::string& path);
bool FileExists(const std::string& path);
Bytes RandomBytes(size_t size, uint32_t seed);

}  // namespace lzhtest

#endif
