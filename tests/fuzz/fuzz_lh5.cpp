// The -lh5- decoder on arbitrary block streams behind a valid level-2
// header. Input: 2 bytes of data CRC, 2 bytes of original size (taken
// modulo 20000: past the 16 KB window, yet quick when damaged data leaves
// only zero bits, whose blocks of one code rebuild the tables every step),
// then the packed data.
#include <vector>

#include "tests/fuzz/fuzz_support.h"

namespace {

uint16_t Crc16(const uint8_t* p, size_t n) {
    uint16_t crc = 0;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (uint16_t)((crc >> 1) ^ 0xA001) : (uint16_t)(crc >> 1);
    }
    return crc;
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back((uint8_t)v);
    out.push_back((uint8_t)(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CLzhExtractor engine;
    if (size < 4 || size > (1 << 20)) return 0;
    const uint32_t dataCrc = data[0] | data[1] << 8;
    const uint32_t original = (data[2] | data[3] << 8) % 20000;
    const uint8_t* packed = data + 4;
    const size_t packedSize = size - 4;

    std::vector<uint8_t> file;
    Put16(file, 0);  // header size, below
    for (char c : std::string("-lh5-")) file.push_back((uint8_t)c);
    Put32(file, (uint32_t)packedSize);
    Put32(file, original);
    Put32(file, 0x5f5e1000);
    file.push_back(0x20);
    file.push_back(2);
    Put16(file, dataCrc);
    file.push_back('w');
    Put16(file, 8);  // name record: type, "f.bin", next size
    file.push_back(1);
    for (char c : std::string("f.bin")) file.push_back((uint8_t)c);
    Put16(file, 5);  // header CRC record
    file.push_back(0);
    const size_t crcAt = file.size();
    Put16(file, 0);
    Put16(file, 0);
    file[0] = (uint8_t)file.size();
    file[1] = (uint8_t)(file.size() >> 8);
    const uint16_t headerCrc = Crc16(file.data(), file.size());
    file[crcAt] = (uint8_t)headerCrc;
    file[crcAt + 1] = (uint8_t)(headerCrc >> 8);
    file.insert(file.end(), packed, packed + packedSize);
    file.push_back(0);

    fuzz::CheckedRun(engine, fuzz::WriteArchive(file.data(), file.size()), file.size());
    return 0;
}
