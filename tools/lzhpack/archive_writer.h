// Level-2 member headers and the archive file that holds them.
//
// Each header carries a header-CRC record (type 0), the file-name record
// (type 1) and a Windows time-stamp record (type 0x41); the archive ends with
// one 0 byte. The archive is written to a temporary file beside its final
// name and renamed into place only when complete.
#ifndef TOOLS_LZHPACK_ARCHIVE_WRITER_H
#define TOOLS_LZHPACK_ARCHIVE_WRITER_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/lzh_extractor.h"

namespace lzhpack {

const int kMaxNameBytes = 259;  // what the installer's name buffer holds

// CRC-16 of member data and headers, through the engine's own table.
class CCrc16 {
public:
    uint16_t Of(const uint8_t* bytes, size_t size);

private:
    CLzhExtractor m_engine;
};

// What one member's header says.
struct CMemberInfo {
    std::string name;             // code page 932 bytes, no path
    bool compressed = true;       // "-lh5-", else "-lh0-"
    uint32_t packedSize = 0;
    uint32_t originalSize = 0;
    uint16_t dataCrc = 0;
    int64_t writeTime = 0;        // seconds since 1970 UTC
    int64_t creationTime = 0;
    int64_t accessTime = 0;
};

class CHeaderWriter {
public:
    // The header bytes, or an empty vector with *error set when the member
    // does not fit the format.
    std::vector<uint8_t> Build(const CMemberInfo& member, std::string* error);

private:
    CCrc16 m_crc;
};

class CArchiveWriter {
public:
    ~CArchiveWriter();  // an archive that was not committed is removed
    bool Open(const std::string& path, std::string* error);
    bool Write(const std::vector<uint8_t>& bytes, std::string* error);
    // Writes the end mark, closes and renames the archive into place.
    bool Commit(std::string* error);
    void Discard();

private:
    std::string m_path;
    std::string m_tempPath;
    FILE* m_file = nullptr;
};

// FILETIME ticks (100 ns since 1601) of a time in seconds since 1970.
uint64_t FileTimeOf(int64_t unixTime);

}  // namespace lzhpack

#endif
