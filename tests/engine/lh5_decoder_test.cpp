// The -lh5- decoder on hand-made block streams: one code per Step, the
// window's flush and wrap points, block headers at their limits, and
// corrupt tables refused as bad data.
#include <gtest/gtest.h>

#include <string>

#include "engine/lzh_extractor.h"
#include "tests/engine/lh5_writer.h"
#include "tests/support/engine_run.h"
#include "tests/support/lzh_builder.h"

using namespace lzhtest;

namespace {

Member Stored(const std::string& name, Bytes data) {
    Member m;
    m.name = name;
    m.data = std::move(data);
    return m;
}

Member Lh5(const Bytes& packed, const Bytes& expected, const std::string& name = "m.bin") {
    Member m;
    m.name = name;
    m.method = "-lh5-";
    m.data = packed;
    m.originalSize = (int64_t)expected.size();
    m.crc = Crc16(expected);
    return m;
}

class Lh5Test : public ::testing::Test {
protected:
    void SetUp() override {
        dir = MakeTempDir();
        archive = dir + "/setup.exe";
        out = dir + "/out";
    }
    // Extracts a one-member archive; the number of Steps it took in *steps.
    int Extract(const Member& m, int* steps = nullptr) {
        WriteFile(archive, Archive({m}));
        if (!e.Begin(archive.c_str(), out.c_str(), nullptr)) return e.m_error;
        for (int n = 1;; ++n) {
            bool done = false;
            if (!e.Step(&done)) return e.m_error;
            if (done) {
                if (steps) *steps = n;
                return EXTRACT_OK;
            }
        }
    }
    Bytes Output() { return ReadFile(out + "/m.bin"); }

    // Sets up the engine to run StepLh5 directly on a stream, with the
    // window position and contents a test chooses.
    void StartStream(const Bytes& packed) {
        WriteFile(archive, packed);
        ASSERT_TRUE(e.m_in.OpenRead(archive.c_str()));
        ASSERT_TRUE(e.m_out.OpenWrite((dir + "/direct.bin").c_str()));
        e.m_in.SetRegion(0, (int32_t)packed.size());
        e.m_in.SkipBits(16);
        e.m_blockLeft = 0;
        e.m_crc = 0;
        e.m_remaining = 100000;
    }

    std::string dir, archive, out;
    CLzhExtractor e;
};

TEST_F(Lh5Test, TokenStreamsDecodeOneCodePerStep) {
    const struct {
        const char* what;
        std::vector<Token> tokens;
    } cases[] = {
        {"literal and a run at distance 1", {Lit(0x41), Match(10, 1)}},
        {"match before the first byte copies spaces", {Match(5, 100), Lit('x')}},
        {"repeated 3-byte pattern", {Lit('a'), Lit('b'), Lit('c'), Match(9, 3), Match(256, 8192)}},
        {"all distance classes",
         {Lit(1), Lit(2), Match(3, 1), Match(4, 2), Match(5, 3), Match(6, 4), Match(7, 7),
          Match(8, 100), Match(3, 1000), Match(200, 4097), Match(256, 8192), Lit(255)}},
        {"single literal symbol", {Lit('z'), Lit('z'), Lit('z')}},
    };
    for (auto& c : cases) {
        Bytes expected = DecodeReference(c.tokens);
        int steps = 0;
        ASSERT_EQ(Extract(Lh5(EncodeLh5(c.tokens), expected), &steps), EXTRACT_OK) << c.what;
        EXPECT_EQ(Output(), expected) << c.what;
        EXPECT_EQ(steps, (int)c.tokens.size()) << c.what;
    }
    EXPECT_EQ(DecodeReference({Lit(0x41), Match(10, 1)}), Bytes(11, 0x41));
}

TEST_F(Lh5Test, ManyBlocksAcrossSeveralWindowCycles) {
    // Long matches at every distance class over 60 KB, in blocks of
    // varying size, with the dictionary reaching into the previous cycle.
    std::vector<Token> all;
    BitWriter w;
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    size_t produced = 0;
    while (produced < 60000) {
        std::vector<Token> block;
        const int codes = 1 + (int)next(3000);
        for (int i = 0; i < codes; ++i) {
            if (next(3) == 0 || produced < 10) {
                block.push_back(Lit((int)next(256)));
                produced += 1;
            } else {
                int length = 3 + (int)next(254);
                int distance = 1 + (int)next(produced < 8192 ? (uint32_t)produced : 8192u);
                block.push_back(Match(length, distance));
                produced += (size_t)length;
            }
        }
        PutBlock(w, block);
        all.insert(all.end(), block.begin(), block.end());
    }
    Bytes expected = DecodeReference(all);
    int steps = 0;
    ASSERT_EQ(Extract(Lh5(w.Finish(), expected), &steps), EXTRACT_OK);
    EXPECT_EQ(Output(), expected);
    EXPECT_EQ(steps, (int)all.size());
}

TEST_F(Lh5Test, MatchThatFillsTheWindowWritesItOut) {
    BitWriter w;
    PutBlock(w, {Match(10, 1), Lit(0)});
    StartStream(w.Finish());
    for (int i = 0; i < 0x4000; ++i) e.m_window[i] = (uint8_t)(i * 7);
    e.m_windowPos = 16380;
    const uint8_t last = e.m_window[16379];
    Bytes expected(e.m_window, e.m_window + 16380);
    expected.insert(expected.end(), 4, last);

    bool done = true;
    ASSERT_TRUE(e.StepLh5(e.m_in, e.m_out, &done));
    EXPECT_FALSE(done);
    EXPECT_EQ(e.m_windowPos, 6);
    EXPECT_EQ(e.m_remaining, 100000 - 10);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(e.m_window[i], last);
    EXPECT_EQ(e.m_out.m_pos, 16384);  // the whole window went out
    EXPECT_EQ(Bytes(e.m_out.m_buffer, e.m_out.m_buffer + 16384), expected);
    EXPECT_EQ(e.m_crc, Crc16(expected));
    e.m_out.Close();
    e.m_in.Close();
}

TEST_F(Lh5Test, MatchSourceWrapsAroundTheWindowEnd) {
    BitWriter w;
    PutBlock(w, {Match(200, 101), Lit(0)});
    StartStream(w.Finish());
    for (int i = 0; i < 0x4000; ++i) e.m_window[i] = (uint8_t)(i * 13 + 1);
    e.m_windowPos = 5;
    // Byte by byte, sources 16288..16383 then 0.. including fresh bytes.
    Bytes model(e.m_window, e.m_window + 0x4000);
    for (int k = 0; k < 200; ++k) model[5 + k] = model[(5 + k - 101 + 0x4000) % 0x4000];

    bool done = true;
    ASSERT_TRUE(e.StepLh5(e.m_in, e.m_out, &done));
    EXPECT_EQ(e.m_windowPos, 205);
    EXPECT_EQ(Bytes(e.m_window, e.m_window + 0x4000), model);
    EXPECT_EQ(e.m_out.m_pos, 0);  // nothing written
    EXPECT_EQ(e.m_crc, 0);
    e.m_out.Close();
    e.m_in.Close();
}

// Whatever pieces the copy works in, it must equal a copy of one byte after
// another, and write nothing beyond its count.
TEST_F(Lh5Test, CopyForwardEqualsAByteByByteCopy) {
    // {destination, source}: a source below the destination means one at
    // `distance` behind it, -1 one at `distance` ahead of it.
    const int positions[][2] = {{100, 0}, {3000, 2990}, {16000, 8000}, {5, 16288}, {50, -1}};
    for (auto& at : positions) {
        for (int distance = 1; distance <= 24; ++distance) {
            for (int count = 1; count <= 40; ++count) {
                const int destination = at[0];
                const int source = at[1] < 0 ? destination + distance
                                   : at[1] < at[0] ? destination - distance : at[1];
                if (source + count > 0x4000 || destination + count > 0x4000) continue;
                for (int i = 0; i < CLzhExtractor::kWindowAlloc; ++i) e.m_window[i] = (uint8_t)(i * 7 + 3);
                Bytes model(e.m_window, e.m_window + CLzhExtractor::kWindowAlloc);
                for (int i = 0; i < count; ++i) model[destination + i] = model[source + i];
                e.CopyForward(destination, source, count);
                ASSERT_EQ(Bytes(e.m_window, e.m_window + CLzhExtractor::kWindowAlloc), model)
                    << destination << " " << source << " " << count;
            }
        }
    }
}

// Block headers written field by field.
struct RawHeader {
    int blockSize = 1;
    int codeLengthCount = -1;            // -1: the size of codeLengthLengths
    std::vector<int> codeLengthLengths;  // count 0: single form, value 0
    int zeroRun = 0;                     // the 2-bit field after the third length
    int nc = 0;                          // 0: single form with `single`
    int single = 'A';
    // Literal/length lengths as code-length symbols; the run symbols 1 and
    // 2 take their extra bits from the second value.
    std::vector<std::pair<int, int>> symbols;
    int np = 0;                          // 0: single form, distance value 0
    std::vector<int> distanceLengths;
};

void PutRaw(BitWriter& w, const RawHeader& h) {
    w.Put((uint32_t)h.blockSize, 16);
    const int n = h.codeLengthCount >= 0 ? h.codeLengthCount : (int)h.codeLengthLengths.size();
    w.Put((uint32_t)n, 5);
    if (n == 0) w.Put(0, 5);
    for (int i = 0; i < (int)h.codeLengthLengths.size(); ++i) {
        if (i == 3) w.Put((uint32_t)h.zeroRun, 2);
        PutBitLength(w, h.codeLengthLengths[i]);
    }
    // A run that reaches the count leaves no fourth length to write.
    if (h.codeLengthLengths.size() == 3 && n >= 4) w.Put((uint32_t)h.zeroRun, 2);
    w.Put((uint32_t)h.nc, 9);
    if (h.nc == 0) w.Put((uint32_t)h.single, 9);
    std::vector<int> l(19, 0);
    for (size_t i = 0; i < h.codeLengthLengths.size() && i < 19; ++i) l[i] = h.codeLengthLengths[i];
    const std::vector<uint32_t> codes = CanonicalCodes(l);
    for (auto& s : h.symbols) {
        w.Put(codes[s.first], l[s.first]);
        if (s.first == 1) w.Put((uint32_t)s.second, 4);
        if (s.first == 2) w.Put((uint32_t)s.second, 9);
    }
    w.Put((uint32_t)h.np, 4);
    if (h.np == 0) w.Put(0, 4);
    for (int len : h.distanceLengths) PutBitLength(w, len);
}

Bytes Stream(std::initializer_list<RawHeader> blocks,
             std::vector<std::pair<uint32_t, int>> codes = {}) {
    BitWriter w;
    for (const RawHeader& h : blocks) PutRaw(w, h);
    for (auto& c : codes) w.Put(c.first, c.second);
    return w.Finish();
}

TEST_F(Lh5Test, BlockHeaderForms) {
    // Code-length code (1, 2, 2): three lengths and no zero-run field.
    RawHeader three;
    three.codeLengthLengths = {1, 2, 2};
    // Four lengths: a zero-run field of 0 after the third is followed by
    // the fourth. Symbol 3 (length 1) gives 'A' and 'B' one-bit codes.
    RawHeader four;
    four.codeLengthLengths = {2, 2, 2, 2};
    four.nc = 'B' + 1;
    four.symbols.assign('A', {0, 0});
    four.symbols.push_back({3, 0});
    four.symbols.push_back({3, 0});
    four.blockSize = 3;
    // The same lengths through the run symbols: 20 + 45 zeros.
    RawHeader runs = four;
    runs.codeLengthLengths = {2, 2, 2, 2};
    runs.symbols = {{2, 45}, {3, 0}, {3, 0}};
    // A zero-run field of 1 ends a count of 4 after three lengths.
    RawHeader skip = three;
    skip.codeLengthCount = 4;
    skip.zeroRun = 1;
    // A block size of 0 carries one code, then the next block begins.
    RawHeader sizeZero;
    sizeZero.blockSize = 0;
    RawHeader then = sizeZero;
    then.blockSize = 1;
    then.single = 'B';

    const struct {
        const char* what;
        Bytes packed;
        Bytes expected;
    } cases[] = {
        {"count 3", Stream({three}), {'A'}},
        {"count 4, zero-run 0", Stream({four}, {{0, 1}, {1, 1}, {0, 1}}), {'A', 'B', 'A'}},
        {"zero runs", Stream({runs}, {{1, 1}, {1, 1}, {0, 1}}), {'B', 'B', 'A'}},
        {"count 4, zero-run 1", Stream({skip}), {'A'}},
        {"block size 0", Stream({sizeZero, then}), {'A', 'B'}},
    };
    for (auto& c : cases) {
        ASSERT_EQ(Extract(Lh5(c.packed, c.expected)), EXTRACT_OK) << c.what;
        EXPECT_EQ(Output(), c.expected) << c.what;
    }
}

TEST_F(Lh5Test, CorruptBlockHeadersAreBadData) {
    RawHeader count20;
    count20.codeLengthCount = 20;
    RawHeader nc511;
    nc511.nc = 511;
    RawHeader np15;
    np15.np = 15;
    // Lengths above 16 from the 3-bit-plus-unary form.
    RawHeader longCodeLength;
    longCodeLength.codeLengthLengths = {1, 17, 17};
    RawHeader longDistance;
    longDistance.np = 3;
    longDistance.distanceLengths = {1, 23, 23};
    RawHeader longDistance17 = longDistance;
    longDistance17.distanceLengths = {1, 17, 17};
    // Zero runs past the 510 lengths.
    RawHeader runPast;
    runPast.codeLengthLengths = {1, 2, 2};
    runPast.nc = 510;
    runPast.symbols = {{2, 511}};
    RawHeader runPastLate = runPast;
    runPastLate.symbols.assign(500, {0, 0});
    runPastLate.symbols.push_back({1, 15});
    // Lengths that leave part of the code space empty.
    RawHeader incomplete;
    incomplete.codeLengthLengths = {2, 2, 2, 2};
    incomplete.nc = 2;
    incomplete.symbols = {{3, 0}, {0, 0}};
    RawHeader incompleteAux;
    incompleteAux.codeLengthLengths = {2, 2, 2};

    const struct {
        const char* what;
        RawHeader header;
    } cases[] = {
        {"code-length count 20", count20},     {"literal/length count 511", nc511},
        {"distance count 15", np15},           {"code length 17", longCodeLength},
        {"distance length 23", longDistance},  {"distance length 17", longDistance17},
        {"zero run of 531", runPast},          {"zero run past 510 at 500", runPastLate},
        {"incomplete literal code", incomplete}, {"incomplete code-length code", incompleteAux},
    };
    for (auto& c : cases) {
        Bytes packed = Stream({c.header});
        packed.resize(packed.size() + 8, 0);
        ASSERT_EQ(Extract(Lh5(packed, Bytes(5, 'A'))), EXTRACT_ERR_BAD_DATA) << c.what;
        EXPECT_FALSE(FileExists(out + "/m.bin")) << c.what;
    }
}

TEST_F(Lh5Test, SizeZeroMemberIsAnEmptyFileWithoutDecoding) {
    // Data that would be refused if it were decoded.
    RawHeader count20;
    count20.codeLengthCount = 20;
    for (const Bytes& packed : {Bytes{}, Stream({count20})}) {
        int steps = 0;
        ASSERT_EQ(Extract(Lh5(packed, Bytes{}), &steps), EXTRACT_OK);
        EXPECT_TRUE(FileExists(out + "/m.bin"));
        EXPECT_EQ(Output().size(), 0u);
        EXPECT_EQ(steps, 1);
    }
}

TEST_F(Lh5Test, FinalMatchIsCutAtTheMemberSize) {
    std::vector<Token> tokens = {Lit('x'), Match(256, 1)};
    Bytes expected(100, 'x');
    ASSERT_EQ(Extract(Lh5(EncodeLh5(tokens), expected)), EXTRACT_OK);
    EXPECT_EQ(Output(), expected);
}

TEST_F(Lh5Test, DataThatRunsOutInsideItsRegionEndsWithACrcError) {
    // After one block of one 'A' the member's region ends (the file goes
    // on): zero bits follow, which decode as blocks of single-form codes,
    // so decoding still ends and the CRC rejects the result.
    RawHeader one;
    Bytes expected(5000, 'q');
    expected[0] = 'A';
    int steps = 0;
    EXPECT_EQ(Extract(Lh5(Stream({one}), expected), &steps), EXTRACT_ERR_CRC);
    EXPECT_FALSE(FileExists(out + "/m.bin"));
    Bytes zeros(5000, 0);
    zeros[0] = 'A';
    ASSERT_EQ(Extract(Lh5(Stream({one}), zeros), &steps), EXTRACT_OK);
    EXPECT_EQ(Output(), zeros);
}

// Slicing must not matter: engines that step in different patterns, each
// interrupted by the others, produce the same bytes.
TEST_F(Lh5Test, ResultDoesNotDependOnHowTheWorkIsSliced) {
    std::vector<Token> tokens;
    for (int i = 0; i < 4000; ++i)
        tokens.push_back(i % 3 ? Lit(i * 31 % 256) : Match(3 + i % 250, 1 + i * 7 % 8000));
    Bytes expected = DecodeReference(tokens);
    Member a = Lh5(EncodeLh5(tokens), expected, "a.bin");
    Member b = Lh5(EncodeLh5(tokens), expected, "b.bin");
    Member c = Stored("c.bin", RandomBytes(50000, 3));
    WriteFile(archive, Archive({a, c, b}));

    const int patterns[3] = {1, 7, 1000};
    CLzhExtractor engines[3];
    bool finished[3] = {};
    for (int k = 0; k < 3; ++k) {
        std::string folder = dir + "/slice" + std::to_string(k);
        ASSERT_TRUE(engines[k].Begin(archive.c_str(), folder.c_str(), nullptr));
    }
    while (!(finished[0] && finished[1] && finished[2])) {
        for (int k = 0; k < 3; ++k) {
            for (int s = 0; s < patterns[k] && !finished[k]; ++s) {
                bool done = false;
                ASSERT_TRUE(engines[k].Step(&done)) << k;
                (void)engines[k].Progress();
                finished[k] = done;
            }
        }
    }
    for (int k = 0; k < 3; ++k) {
        std::string folder = dir + "/slice" + std::to_string(k);
        EXPECT_EQ(ReadFile(folder + "/a.bin"), expected);
        EXPECT_EQ(ReadFile(folder + "/b.bin"), expected);
        EXPECT_EQ(ReadFile(folder + "/c.bin"), c.data);
    }
}

}  // namespace
