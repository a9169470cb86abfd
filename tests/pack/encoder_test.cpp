// The -lh5- encoder, judged by the engine that has to read its output:
// every case is packed, extracted with ExtractAll and compared.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "engine/lzh_extractor.h"
#include "tests/pack/pack_support.h"
#include "tests/support/engine_run.h"

using namespace lzhtest;
using lzhpack::CEncoderOptions;

namespace {

Bytes Text(size_t size, uint32_t seed) {
    static const char* const kWords[] = {"member", "header", "window", "folder", "the",
                                         "of", "install", "archive", "code", "length",
                                         "distance", "block", "\r\n", ", ", "1.22"};
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < size) {
        const char* w = kWords[rng() % 15];
        out.insert(out.end(), w, w + strlen(w));
        out.push_back(' ');
    }
    out.resize(size);
    return out;
}

// Bytes 0..n-1 with Fibonacci counts, shuffled: an unlimited Huffman code
// for them would be far deeper than 16 bits.
Bytes Fibonacci(int n, uint32_t seed) {
    Bytes out;
    uint32_t a = 1, b = 1;
    for (int s = 0; s < n; ++s) {
        out.insert(out.end(), a, (uint8_t)s);
        uint32_t c = a + b;
        a = b;
        b = c;
    }
    std::shuffle(out.begin(), out.end(), std::mt19937(seed));
    return out;
}

Bytes Repeat(const Bytes& unit, size_t size) {
    Bytes out;
    while (out.size() < size) out.insert(out.end(), unit.begin(), unit.end());
    out.resize(size);
    return out;
}

struct Case {
    const char* name;
    std::function<Bytes()> data;
};

const Case kCases[] = {
    {"empty", [] { return Bytes(); }},
    {"one_byte", [] { return Bytes{0x41}; }},
    {"two_bytes", [] { return Bytes{0, 0}; }},
    {"zeros_100k", [] { return Bytes(100000, 0); }},
    {"text_16383", [] { return Text(16383, 1); }},
    {"text_16384", [] { return Text(16384, 2); }},
    {"text_16385", [] { return Text(16385, 3); }},
    {"text_200k", [] { return Text(200000, 4); }},
    {"random_70k", [] { return RandomBytes(70000, 5); }},
    // Matches exactly 8192 back, the farthest the format reaches.
    {"period_8192", [] { return Repeat(RandomBytes(8192, 6), 40000); }},
    {"period_8193", [] { return Repeat(RandomBytes(8193, 7), 40000); }},
    {"period_3", [] { return Repeat(Bytes{1, 2, 3}, 50000); }},
    {"fibonacci", [] { return Fibonacci(22, 8); }},
    {"text_then_random", [] {
         Bytes b = Text(30000, 9);
         Bytes r = RandomBytes(30000, 10);
         b.insert(b.end(), r.begin(), r.end());
         Bytes t = Text(30000, 9);
         b.insert(b.end(), t.begin(), t.end());
         return b;
     }},
};

struct Mode {
    const char* name;
    CEncoderOptions options;
};

CEncoderOptions Options(bool optimal, int32_t block) {
    CEncoderOptions o;
    o.optimal = optimal;
    if (block) o.blockCodes = o.blockBytes = block;
    return o;
}

// Block sizes of 1 and 3 put every single-value form and many block
// headers into one member.
const Mode kModes[] = {
    {"optimal", Options(true, 0)},
    {"lazy", Options(false, 0)},
    {"optimal_block1", Options(true, 1)},
    {"lazy_block3", Options(false, 3)},
    {"optimal_block65535", Options(true, 65535)},
};

class RoundTrip : public ::testing::TestWithParam<std::tuple<Case, Mode>> {};

TEST_P(RoundTrip, EngineExtractsTheSameBytes) {
    const Case& c = std::get<0>(GetParam());
    const Mode& mode = std::get<1>(GetParam());
    Bytes data = c.data();
    if (mode.options.blockBytes < 4 && data.size() > 20000) data.resize(20000);
    std::string dir = MakeTempDir();
    WriteFile(dir + "/a.lzh", packtest::PackArchive({{"m.bin", data}}, mode.options));
    CLzhExtractor engine;
    ASSERT_EQ(ExtractAll(engine, dir + "/a.lzh", dir + "/out"), EXTRACT_OK);
    EXPECT_EQ(ReadFile(dir + "/out/m.bin"), data);
}

INSTANTIATE_TEST_SUITE_P(
    Data, RoundTrip, ::testing::Combine(::testing::ValuesIn(kCases), ::testing::ValuesIn(kModes)),
    [](const ::testing::TestParamInfo<RoundTrip::ParamType>& info) {
        return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
    });

TEST(Encoder, ManyMembersExtractInOrder) {
    std::vector<packtest::File> files;
    for (int i = 0; i < 120; ++i)
        files.push_back({"f" + std::to_string(i) + ".txt", Text((size_t)i * 97, 100 + i)});
    std::string dir = MakeTempDir();
    WriteFile(dir + "/a.lzh", packtest::PackArchive(files));
    CLzhExtractor engine;
    ASSERT_EQ(ExtractAll(engine, dir + "/a.lzh", dir + "/out"), EXTRACT_OK);
    for (const auto& f : files) EXPECT_EQ(ReadFile(dir + "/out/" + f.name), f.data) << f.name;
}

// Packed sizes where a broken coder would not notice: runs must collapse,
// random data must not grow by more than the block headers.
TEST(Encoder, PackedSizesAreSane) {
    lzhpack::CLh5Encoder encoder;
    Bytes zeros(100000, 0);
    EXPECT_LT(encoder.Encode(zeros.data(), zeros.size()).size(), 100u);
    Bytes random = RandomBytes(100000, 11);
    EXPECT_LT(encoder.Encode(random.data(), random.size()).size(), 100000u * 101 / 100);
    Bytes text = Text(100000, 12);
    EXPECT_LT(encoder.Encode(text.data(), text.size()).size(), 100000u / 3);
    EXPECT_TRUE(encoder.Encode(nullptr, 0).empty());
}

TEST(HuffmanCode, LengthsAreLimitedAndComplete) {
    struct Row {
        std::vector<uint32_t> freq;
        int maxLength;
    };
    std::vector<uint32_t> fib(30);
    fib[0] = fib[1] = 1;
    for (int i = 2; i < 30; ++i) fib[i] = fib[i - 1] + fib[i - 2];
    std::vector<uint32_t> flat(510, 7);
    std::vector<uint32_t> sparse(19, 0);
    sparse[4] = 1;
    sparse[17] = 1000000;
    const Row rows[] = {{fib, 16}, {fib, 7}, {flat, 16}, {sparse, 16}};
    for (const Row& row : rows) {
        int n = (int)row.freq.size();
        std::vector<uint8_t> lengths(n);
        lzhpack::CHuffmanCode::BuildLengths(row.freq.data(), n, row.maxLength, lengths.data());
        uint64_t kraft = 0;
        for (int s = 0; s < n; ++s) {
            EXPECT_LE(lengths[s], row.maxLength);
            EXPECT_EQ(lengths[s] == 0, row.freq[s] == 0) << "symbol " << s;
            if (lengths[s]) kraft += 1ull << (16 - lengths[s]);
        }
        EXPECT_EQ(kraft, 1ull << 16) << "code of " << n << " symbols is not complete";
    }
}

TEST(HuffmanCode, OneUsedSymbolGetsNoCode) {
    uint32_t freq[14] = {};
    freq[9] = 5;
    uint8_t lengths[14];
    lzhpack::CHuffmanCode::BuildLengths(freq, 14, 16, lengths);
    for (uint8_t l : lengths) EXPECT_EQ(l, 0);
}

}  // namespace
