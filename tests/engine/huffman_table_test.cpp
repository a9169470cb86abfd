// CHuffmanTable: canonical placement in the table and the tree, refusal of
// incomplete, over-full and over-long codes, single-value tables, reuse of
// the arrays.
#include <gtest/gtest.h>

#include <vector>

#include "engine/huffman_table.h"
#include "engine/lzh_file.h"

namespace {

struct Decoded {
    int symbol;
    int length;
};

Decoded DecodeWord(const CHuffmanTable& t, uint32_t word) {
    int32_t s = -1;
    int32_t len = t.Decode(word, &s);
    return Decoded{s, len};
}

TEST(HuffmanTableTest, ShortCodesFillTheTableInCanonicalOrder) {
    struct Case {
        std::vector<int32_t> lengths;
        std::vector<int> firstEntry;  // first table entry of each symbol
    };
    const Case cases[] = {
        {{1, 1}, {0, 128}},
        {{1, 2, 2}, {0, 128, 192}},
        {{2, 2, 1}, {128, 192, 0}},  // shorter codes come first
        {{0, 3, 0, 3, 1, 2}, {-1, 192, -1, 224, 0, 128}},  // unused symbols
    };
    for (const Case& c : cases) {
        CHuffmanTable t;
        t.Build((int32_t)c.lengths.size(), 8, c.lengths.data());
        for (size_t s = 0; s < c.lengths.size(); ++s) {
            if (c.lengths[s] == 0) continue;
            const int first = c.firstEntry[s];
            const int width = 256 >> c.lengths[s];
            for (int e = first; e < first + width; ++e) ASSERT_EQ(t.m_table[e], (int)s);
            Decoded d = DecodeWord(t, (uint32_t)first << 8 | 0x7F);
            EXPECT_EQ(d.symbol, (int)s);
            EXPECT_EQ(d.length, c.lengths[s]);
        }
    }
}

TEST(HuffmanTableTest, LongCodesHangInATreeBelowTheTable) {
    const int32_t lengths[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 9};
    CHuffmanTable t;
    t.Build(10, 8, lengths);
    EXPECT_EQ(t.m_table[255], 10);  // the first node number is the count
    EXPECT_EQ(t.m_tree[10][0], 8);
    EXPECT_EQ(t.m_tree[10][1], 9);
    const struct {
        uint32_t word;
        int symbol, length;
    } cases[] = {{0xFF00, 8, 9}, {0xFF80, 9, 9}, {0xFE00, 7, 8},
                 {0x0000, 0, 1}, {0x8000, 1, 2}, {0x1FFFF00, 8, 9}};
    for (auto& c : cases) {
        Decoded d = DecodeWord(t, c.word);
        EXPECT_EQ(d.symbol, c.symbol) << std::hex << c.word;
        EXPECT_EQ(d.length, c.length) << std::hex << c.word;
    }
}

TEST(HuffmanTableTest, SixteenBitCodesDecode) {
    // 1, 2, ..., 15, 16, 16: the longest codes a 16-bit look-ahead holds.
    std::vector<int32_t> lengths;
    for (int i = 1; i <= 16; ++i) lengths.push_back(i);
    lengths.push_back(16);
    CHuffmanTable t;
    t.Build((int32_t)lengths.size(), 12, lengths.data());
    EXPECT_EQ(DecodeWord(t, 0xFFFE).symbol, 15);
    EXPECT_EQ(DecodeWord(t, 0xFFFF).symbol, 16);
    EXPECT_EQ(DecodeWord(t, 0xFFFF).length, 16);
    EXPECT_EQ(DecodeWord(t, 0xFFF0).symbol, 12);
}

// Every word that starts with a symbol's canonical code decodes to that
// symbol, whether the code ends in the table or in the tree, and for
// symbols too large for the packed table entries.
TEST(HuffmanTableTest, EveryCodeDecodesToItsSymbol) {
    std::vector<std::vector<int32_t>> codes;
    std::vector<int32_t> ladder;  // 1, 2, ..., 16, 16
    for (int i = 1; i <= 16; ++i) ladder.push_back(i);
    ladder.push_back(16);
    codes.push_back(ladder);
    // 510 symbols: 2 of length 8, 508 of length 9 (2 * 2 + 508 = 512).
    std::vector<int32_t> wide(510, 9);
    wide[7] = wide[300] = 8;
    codes.push_back(wide);
    // 3000 symbols: 1096 of length 11 and 1904 of length 12.
    std::vector<int32_t> many(3000, 12);
    for (int i = 0; i < 1096; ++i) many[2999 - i] = 11;
    codes.push_back(many);
    for (int bits : {8, 12}) {
        for (const auto& lengths : codes) {
            CHuffmanTable t;
            t.Build((int32_t)lengths.size(), bits, lengths.data());
            std::vector<uint32_t> code(lengths.size());
            uint32_t next = 0;
            for (int len = 1; len <= 16; ++len, next <<= 1)
                for (size_t s = 0; s < lengths.size(); ++s)
                    if (lengths[s] == len) code[s] = next++;
            for (size_t s = 0; s < lengths.size(); ++s) {
                const int len = lengths[s];
                for (uint32_t low : {0u, 0xFFFFu, 0x5555u}) {
                    uint32_t word = code[s] << (16 - len) | (low & ((1u << (16 - len)) - 1));
                    Decoded d = DecodeWord(t, word);
                    ASSERT_EQ(d.symbol, (int)s) << bits << " " << std::hex << word;
                    ASSERT_EQ(d.length, len);
                }
            }
        }
    }
}

TEST(HuffmanTableTest, CodesThatDoNotFillTheSpaceExactlyThrow) {
    const std::vector<std::vector<int32_t>> cases = {
        {0, 0, 0},        // no code at all
        {1, 0},           // one symbol of length 1: half the space
        {1, 1, 1},        // over-full
        {2, 2, 2},        // incomplete
        {1, 9, 9},        // incomplete in the tree part
        {17, 1, 17},      // longer than the look-ahead
        {1, 1, -1},       // nonsense length
    };
    for (const auto& lengths : cases) {
        CHuffmanTable t;
        EXPECT_THROW(t.Build((int32_t)lengths.size(), 8, lengths.data()), CExceptionLZH)
            << lengths[0] << "," << lengths[1] << "," << lengths[2];
    }
}

TEST(HuffmanTableTest, TableIsUsableAgainAfterAFailedBuild) {
    CHuffmanTable t;
    const int32_t bad[] = {1, 1, 1};
    const int32_t good[] = {1, 2, 2};
    EXPECT_THROW(t.Build(3, 8, bad), CExceptionLZH);
    t.Build(3, 8, good);
    EXPECT_EQ(DecodeWord(t, 0xC000).symbol, 2);
}

TEST(HuffmanTableTest, SingleValueDecodesEveryWordWithoutConsumingBits) {
    const struct {
        int count, value, symbol;
    } cases[] = {{19, 5, 5}, {19, 25, 0}, {14, 13, 13}, {14, 26, 0}, {510, 509, 509},
                 {510, 1018, 0}};
    for (auto& c : cases) {
        CHuffmanTable t;
        t.BuildSingle(c.count, 8, c.value);
        for (uint32_t word : {0x0000u, 0x1234u, 0xFFFFu}) {
            Decoded d = DecodeWord(t, word);
            EXPECT_EQ(d.symbol, c.symbol) << c.count << " " << c.value;
            EXPECT_EQ(d.length, 0);
        }
    }
}

TEST(HuffmanTableTest, SwitchingBetweenNineteenAndFourteenSymbolsAllocatesNothing) {
    CHuffmanTable t;
    const int32_t lengths19[19] = {2, 2, 2, 3, 3};
    t.Build(19, 8, lengths19);
    int32_t* table = t.m_table;
    int32_t* lengthArray = t.m_lengths;
    auto tree = t.m_tree;

    // A 14-symbol code with codes longer than the table: its nodes now
    // start at 14.
    const int32_t lengths14[14] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 9};
    t.Build(14, 8, lengths14);
    EXPECT_EQ(t.m_table[255], 14);
    EXPECT_EQ(DecodeWord(t, 0xFF80).symbol, 9);
    t.BuildSingle(19, 8, 3);
    t.Build(19, 8, lengths19);
    EXPECT_EQ(DecodeWord(t, 0xE000).symbol, 4);

    EXPECT_EQ(t.m_table, table);
    EXPECT_EQ(t.m_lengths, lengthArray);
    EXPECT_EQ(t.m_tree, tree);
    EXPECT_EQ(t.m_countCapacity, 19);
    EXPECT_EQ(t.m_bitsCapacity, 8);
}

}  // namespace
