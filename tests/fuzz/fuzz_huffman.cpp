// CHuffmanTable::Build, BuildSingle and Decode on arbitrary lengths and
// words. A table that builds must decode every word to the symbol whose
// canonical code is that word's prefix.
#include <vector>

#include "engine/huffman_table.h"
#include "engine/lzh_file.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// Reads bytes from the input, zeros once it is used up.
struct Input {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    uint32_t Byte() { return pos < size ? data[pos++] : 0; }
};

void BuildAndCheck(CHuffmanTable& table, Input& in) {
    const uint32_t mode = in.Byte();
    const int32_t count = (int32_t)(1 + ((in.Byte() << 8 | in.Byte()) % 600));
    const int32_t bits = (int32_t)(1 + in.Byte() % 16);
    if (mode % 4 == 0) {
        const int32_t value = (int32_t)(in.Byte() << 8 | in.Byte());
        table.BuildSingle(count, bits, value);
        const int32_t expected = value < count ? value : 0;
        for (uint32_t w = 0; w < 0x10000; w += 0x101) {
            int32_t s = -1;
            FUZZ_CHECK(table.Decode(w, &s) == 0);
            FUZZ_CHECK(s == expected);
        }
        return;
    }
    // Mostly short lengths, sometimes beyond 16 (which must be refused).
    std::vector<int32_t> lengths((size_t)count);
    for (int32_t& l : lengths) {
        const uint32_t b = in.Byte();
        l = (int32_t)(b < 0xF0 ? b % 17 : b - 0xF0 + 14);
    }
    try {
        table.Build(count, bits, lengths.data());
    } catch (CExceptionLZH&) {
        return;
    }
    std::vector<uint32_t> codes((size_t)count);
    uint32_t code = 0;
    uint64_t space = 0;
    for (int32_t len = 1; len <= 16; ++len) {
        for (int32_t s = 0; s < count; ++s)
            if (lengths[s] == len) {
                codes[s] = code++;
                space += 1u << (16 - len);
            }
        code <<= 1;
    }
    FUZZ_CHECK(space == 0x10000);  // only complete codes build
    for (uint32_t w = 0; w < 0x10000; ++w) {
        int32_t s = -1;
        const int32_t len = table.Decode(w, &s);
        FUZZ_CHECK(s >= 0 && s < count);
        FUZZ_CHECK(len == lengths[s] && len >= 1 && len <= 16);
        FUZZ_CHECK((w >> (16 - len)) == codes[s]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, size};
    // Two builds on one table: arrays sized by the first serve the second.
    CHuffmanTable table;
    BuildAndCheck(table, in);
    BuildAndCheck(table, in);
    return 0;
}
