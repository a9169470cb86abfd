#include "tests/support/lzh_builder.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <sys/stat.h>

namespace lzhtest {

uint16_t Crc16(const uint8_t* data, size_t size, uint16_t crc) {
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

void Put16(Bytes& out, uint32_t v) {
    out.push_back((uint8_t)v);
    out.push_back((uint8_t)(v >> 8));
}

void Put32(Bytes& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void Set16(Bytes& out, size_t at, uint32_t v) {
    out[at] = (uint8_t)v;
    out[at + 1] = (uint8_t)(v >> 8);
}

namespace {

uint32_t Packed(const Member& m) {
    return (uint32_t)(m.packedSize >= 0 ? m.packedSize : (int64_t)m.data.size());
}
uint32_t Original(const Member& m) {
    return (uint32_t)(m.originalSize >= 0 ? m.originalSize : (int64_t)m.data.size());
}
uint16_t DataCrc(const Member& m) {
    return (uint16_t)(m.crc >= 0 ? m.crc : Crc16(m.data));
}

void PutMethodAndSizes(Bytes& h, const Member& m, uint32_t packed) {
    if (m.method.size() != 5) throw std::invalid_argument("method id has 5 bytes");
    h.insert(h.end(), m.method.begin(), m.method.end());
    Put32(h, packed);
    Put32(h, Original(m));
}

void AppendRecord(Bytes& h, uint8_t type, const Bytes& data) {
    // The record is preceded by its size field, already in h.
    Set16(h, h.size() - 2, (uint32_t)(data.size() + 3));
    h.push_back(type);
    h.insert(h.end(), data.begin(), data.end());
    Put16(h, 0);
}

}  // namespace

Bytes Level2Header(const Member& m) {
    Bytes h;
    Put16(h, 0);  // header size, set below
    PutMethodAndSizes(h, m, Packed(m));
    Put32(h, m.time);
    h.push_back(0x20);
    h.push_back(2);
    Put16(h, DataCrc(m));
    h.push_back('w');
    Put16(h, 0);
    AppendRecord(h, 1, Bytes(m.name.begin(), m.name.end()));
    for (const Record& r : m.extra) AppendRecord(h, r.type, r.data);
    AppendRecord(h, 0, Bytes{0, 0});
    size_t crcAt = h.size() - 4;
    Set16(h, 0, (uint32_t)h.size());
    Set16(h, crcAt, Crc16(h));
    return h;
}

Bytes Level0Header(const Member& m) {
    Bytes h;
    h.push_back(0);  // H, set below
    h.push_back(0);  // header sum
    PutMethodAndSizes(h, m, Packed(m));
    Put16(h, m.dosTime);
    Put16(h, m.dosDate);
    h.push_back(0x20);
    h.push_back(0);
    h.push_back((uint8_t)m.name.size());
    h.insert(h.end(), m.name.begin(), m.name.end());
    Put16(h, DataCrc(m));
    h[0] = (uint8_t)(h.size() - 2);
    uint8_t sum = 0;
    for (size_t i = 2; i < h.size(); ++i) sum = (uint8_t)(sum + h[i]);
    h[1] = sum;
    return h;
}

Bytes Level1Header(const Member& m, bool withHeaderCrc) {
    std::vector<Record> records = m.extra;
    if (withHeaderCrc) records.push_back({0, Bytes{0, 0}});
    uint32_t recordBytes = 0;
    for (const Record& r : records) recordBytes += (uint32_t)r.data.size() + 3;

    Bytes h;
    h.push_back(0);
    h.push_back(0);
    PutMethodAndSizes(h, m, Packed(m) + recordBytes);
    Put16(h, m.dosTime);
    Put16(h, m.dosDate);
    h.push_back(0x20);
    h.push_back(1);
    h.push_back((uint8_t)m.name.size());
    h.insert(h.end(), m.name.begin(), m.name.end());
    Put16(h, DataCrc(m));
    h.push_back('w');
    Put16(h, 0);  // size of the first record
    const size_t base = h.size();
    h[0] = (uint8_t)(base - 2);
    size_t crcAt = 0;
    for (const Record& r : records) {
        if (r.type == 0) crcAt = h.size() + 1;
        AppendRecord(h, r.type, r.data);
    }
    // The sum covers the base header, whose last field is the first
    // record's size; the header CRC covers everything.
    uint8_t sum = 0;
    for (size_t i = 2; i < base; ++i) sum = (uint8_t)(sum + h[i]);
    h[1] = sum;
    if (withHeaderCrc) Set16(h, crcAt, Crc16(h));
    return h;
}

Bytes MemberBytes(const Member& m, int level) {
    Bytes out = level == 0 ? Level0Header(m) : level == 1 ? Level1Header(m) : Level2Header(m);
    out.insert(out.end(), m.data.begin(), m.data.end());
    return out;
}

Bytes Archive(const std::vector<Member>& members, int level) {
    Bytes out;
    for (const Member& m : members) {
        Bytes b = MemberBytes(m, level);
        out.insert(out.end(), b.begin(), b.end());
    }
    out.push_back(0);
    return out;
}

void BitWriter::Put(uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
        m_acc = (m_acc << 1) | ((value >> i) & 1);
        if (++m_count == 8) {
            m_bytes.push_back((uint8_t)m_acc);
            m_acc = 0;
            m_count = 0;
        }
    }
}

Bytes BitWriter::Finish() {
    Bytes out = m_bytes;
    if (m_count > 0) out.push_back((uint8_t)(m_acc << (8 - m_count)));
    return out;
}

std::string MakeTempDir() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/lzhtest.XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return std::string(buf.data());
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), (std::streamsize)bytes.size());
    if (!f) throw std::runtime_error("cannot write " + path);
}

Bytes ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

Bytes RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out(size);
    for (auto& b : out) b = (uint8_t)rng();
    return out;
}

}  // namespace lzhtest
