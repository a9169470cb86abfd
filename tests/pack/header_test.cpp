// Level-2 headers as lzhpack writes them, checked byte for byte and by the
// engine's own parser.
#include <gtest/gtest.h>

#include "engine/lzh_extractor.h"
#include "tests/pack/pack_support.h"

using namespace lzhtest;

namespace {

uint32_t Get16(const Bytes& b, size_t at) { return b[at] | b[at + 1] << 8; }
uint32_t Get32(const Bytes& b, size_t at) { return Get16(b, at) | Get16(b, at + 2) << 16; }
uint64_t Get64(const Bytes& b, size_t at) {
    return Get32(b, at) | (uint64_t)Get32(b, at + 4) << 32;
}

lzhpack::CMemberInfo Sample(const std::string& name) {
    lzhpack::CMemberInfo m;
    m.name = name;
    m.packedSize = 0x1234;
    m.originalSize = 0x56789;
    m.dataCrc = 0xBEEF;
    m.writeTime = 1094040000;     // 2004-09-01 12:00:00 UTC
    m.creationTime = 1000000000;
    m.accessTime = 1100000000;
    return m;
}

TEST(HeaderWriter, FieldsAndRecordsByteForByte) {
    lzhpack::CHeaderWriter writer;
    std::string error;
    Bytes h = writer.Build(Sample("ReadMe.txt"), &error);
    ASSERT_EQ(h.size(), 61u + 10);
    EXPECT_EQ(Get16(h, 0), h.size());
    EXPECT_EQ(std::string(h.begin() + 2, h.begin() + 7), "-lh5-");
    EXPECT_EQ(Get32(h, 7), 0x1234u);
    EXPECT_EQ(Get32(h, 11), 0x56789u);
    EXPECT_EQ(Get32(h, 15), 1094040000u);
    EXPECT_EQ(h[20], 2);
    EXPECT_EQ(Get16(h, 21), 0xBEEFu);
    // Header CRC record first, so its place does not depend on the name.
    EXPECT_EQ(Get16(h, 24), 5u);
    EXPECT_EQ(h[26], 0x00);
    uint32_t storedCrc = Get16(h, 27);
    EXPECT_EQ(Get16(h, 29), 13u);
    EXPECT_EQ(h[31], 0x01);
    EXPECT_EQ(std::string(h.begin() + 32, h.begin() + 42), "ReadMe.txt");
    EXPECT_EQ(Get16(h, 42), 27u);
    EXPECT_EQ(h[44], 0x41);
    const uint64_t k1970 = 116444736000000000ull;  // 1970-01-01 as FILETIME
    EXPECT_EQ(Get64(h, 45), k1970 + 1000000000ull * 10000000);  // creation
    EXPECT_EQ(Get64(h, 53), k1970 + 1094040000ull * 10000000);  // last write
    EXPECT_EQ(Get64(h, 61), k1970 + 1100000000ull * 10000000);  // last access
    EXPECT_EQ(Get16(h, 69), 0u);
    Bytes zeroed = h;
    zeroed[27] = zeroed[28] = 0;
    EXPECT_EQ(storedCrc, Crc16(zeroed));
}

TEST(HeaderWriter, EngineReadsItsHeaders) {
    // Name lengths around the 256-byte header size, which needs padding.
    for (size_t n : {1u, 10u, 194u, 195u, 196u, 259u}) {
        lzhpack::CHeaderWriter writer;
        std::string error;
        Bytes h = writer.Build(Sample(std::string(n, 'n')), &error);
        ASSERT_FALSE(h.empty()) << error;
        EXPECT_NE(h[0], 0) << "a first byte of 0 reads as the end of the archive";
        CLzhExtractor engine;
        ASSERT_TRUE(engine.ParseHeader(h.data(), (int32_t)h.size())) << n;
        EXPECT_EQ(engine.m_headerSize, (int32_t)h.size());
        EXPECT_EQ(std::string(engine.m_name), std::string(n, 'n'));
        EXPECT_EQ(engine.m_method, METHOD_LH5);
        EXPECT_EQ(engine.m_time, 1094040000);
        EXPECT_EQ(engine.m_expectedCrc, 0xBEEF);
    }
}

TEST(HeaderWriter, RefusesWhatDoesNotFit) {
    struct Row {
        const char* what;
        lzhpack::CMemberInfo member;
    };
    Row rows[] = {
        {"260-byte name", Sample(std::string(260, 'x'))},
        {"empty name", Sample("")},
        {"NUL in name", Sample(std::string("a\0b", 3))},
        {"packed over 2 GB", Sample("a")},
        {"original over 2 GB", Sample("a")},
        {"time after 2038", Sample("a")},
    };
    rows[3].member.packedSize = 0x80000000u;
    rows[4].member.originalSize = 0x80000000u;
    rows[5].member.writeTime = 0x80000000ll;
    for (const Row& row : rows) {
        lzhpack::CHeaderWriter writer;
        std::string error;
        EXPECT_TRUE(writer.Build(row.member, &error).empty()) << row.what;
        EXPECT_FALSE(error.empty()) << row.what;
    }
}

}  // namespace
