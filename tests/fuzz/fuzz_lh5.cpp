// The -lh5- decoder on arbitrary block streams behind a valid level-2
// header. Input: 2 bytes of data CRC, 2 bytes of original size (taken
// modulo 20000: past the 16 KB window, yet quick when damaged data leaves
// only zero bits, whose blocks of one code rebuild the tables every step),
// then the packed data.
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/lzh_builder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CLzhExtractor engine;
    if (size < 4 || size > (1 << 20)) return 0;
    lzhtest::Member m;
    m.name = "f.bin";
    m.method = "-lh5-";
    m.crc = data[0] | data[1] << 8;
    m.originalSize = (data[2] | data[3] << 8) % 20000;
    m.data.assign(data + 4, data + size);
    const lzhtest::Bytes file = lzhtest::Archive({m}, 2);
    fuzz::CheckedRun(engine, fuzz::WriteArchive(file.data(), file.size()), file.size());
    return 0;
}
