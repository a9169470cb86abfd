#include "tools/lzhpack/archive_writer.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace lzhpack {

uint16_t CCrc16::Of(const uint8_t* bytes, size_t size) {
    m_engine.m_crc = 0;
    while (size > 0) {
        int32_t n = size > 0x40000000 ? 0x40000000 : (int32_t)size;
        m_engine.UpdateCrc(bytes, n);
        bytes += n;
        size -= (size_t)n;
    }
    return m_engine.m_crc;
}

uint64_t FileTimeOf(int64_t unixTime) {
    const int64_t kEpochDifference = 11644473600LL;  // 1601-01-01 to 1970-01-01
    return (uint64_t)(unixTime + kEpochDifference) * 10000000ULL;
}

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back((uint8_t)v);
    out.push_back((uint8_t)(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void Put64(std::vector<uint8_t>& out, uint64_t v) {
    Put32(out, (uint32_t)v);
    Put32(out, (uint32_t)(v >> 32));
}

enum : uint8_t {
    RECORD_HEADER_CRC = 0x00,
    RECORD_FILE_NAME = 0x01,
    RECORD_WINDOWS_TIMES = 0x41,
};

const uint8_t kOsWindows = 'W';
const uint8_t kAttributeArchive = 0x20;

}  // namespace

// Level-2 header:
//   0  2  header size, records included
//   2  5  method id
//   7  4  packed size          11 4  original size
//   15 4  modification time (seconds since 1970 UTC)
//   19 1  attribute            20 1  level (2)
//   21 2  data CRC-16          23 1  OS id
//   24 2  size of the first record, then the records:
//         type, data, size of the next record (0 after the last)
std::vector<uint8_t> CHeaderWriter::Build(const CMemberInfo& m, std::string* error) {
    if (m.name.empty() || m.name.size() > (size_t)kMaxNameBytes ||
        m.name.find('\0') != std::string::npos) {
        *error = "member name must be 1 to 259 bytes";
        return {};
    }
    if (m.packedSize > 0x7FFFFFFF || m.originalSize > 0x7FFFFFFF) {
        *error = "member larger than 2 GB";
        return {};
    }
    if (m.writeTime < INT32_MIN || m.writeTime > INT32_MAX) {
        *error = "time stamp outside 1901-2038";
        return {};
    }
    std::vector<uint8_t> h;
    Put16(h, 0);  // header size, filled in below
    const char* method = m.compressed ? "-lh5-" : "-lh0-";
    h.insert(h.end(), method, method + 5);
    Put32(h, m.packedSize);
    Put32(h, m.originalSize);
    Put32(h, (uint32_t)(int32_t)m.writeTime);
    h.push_back(kAttributeArchive);
    h.push_back(2);
    Put16(h, m.dataCrc);
    h.push_back(kOsWindows);

    Put16(h, 5);
    h.push_back(RECORD_HEADER_CRC);
    const size_t crcAt = h.size();
    Put16(h, 0);

    Put16(h, (uint32_t)(3 + m.name.size()));
    h.push_back(RECORD_FILE_NAME);
    h.insert(h.end(), m.name.begin(), m.name.end());

    Put16(h, 27);
    h.push_back(RECORD_WINDOWS_TIMES);
    Put64(h, FileTimeOf(m.creationTime));
    Put64(h, FileTimeOf(m.writeTime));
    Put64(h, FileTimeOf(m.accessTime));
    Put16(h, 0);

    // Readers take a first byte of 0 for the end of the archive, so a size
    // with a low byte of 0 gets one byte of padding after the records.
    if ((h.size() & 0xFF) == 0) h.push_back(0);
    h[0] = (uint8_t)h.size();
    h[1] = (uint8_t)(h.size() >> 8);

    uint16_t crc = m_crc.Of(h.data(), h.size());
    h[crcAt] = (uint8_t)crc;
    h[crcAt + 1] = (uint8_t)(crc >> 8);
    return h;
}

CArchiveWriter::~CArchiveWriter() { Discard(); }

bool CArchiveWriter::Open(const std::string& path, std::string* error) {
    Discard();
    m_path = path;
    m_tempPath = path + ".part" + std::to_string((long)getpid());
    m_file = fopen(m_tempPath.c_str(), "wb");
    if (!m_file) {
        *error = "cannot create " + m_tempPath + ": " + strerror(errno);
        return false;
    }
    return true;
}

bool CArchiveWriter::Write(const std::vector<uint8_t>& bytes, std::string* error) {
    if (!bytes.empty() && fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size()) {
        *error = "cannot write " + m_tempPath + ": " + strerror(errno);
        return false;
    }
    return true;
}

bool CArchiveWriter::Commit(std::string* error) {
    if (!Write(std::vector<uint8_t>(1, 0), error)) return false;
    FILE* file = m_file;
    m_file = nullptr;
    if (fclose(file) != 0) {
        *error = "cannot write " + m_tempPath + ": " + strerror(errno);
        remove(m_tempPath.c_str());
        return false;
    }
    if (rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
        *error = "cannot rename " + m_tempPath + " to " + m_path + ": " + strerror(errno);
        remove(m_tempPath.c_str());
        return false;
    }
    m_tempPath.clear();
    return true;
}

void CArchiveWriter::Discard() {
    if (m_file) {
        fclose(m_file);
        m_file = nullptr;
    }
    if (!m_tempPath.empty()) {
        remove(m_tempPath.c_str());
        m_tempPath.clear();
    }
}

}  // namespace lzhpack
