// Member headers of levels 0, 1 and 2, the CRC-16, the header sum and the
// path stripping of member names.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/lzh_extractor.h"
#include "tests/support/lzh_builder.h"

using namespace lzhtest;

namespace {

// A level-0/1 base header: H and its sum are filled in; D is 22 plus the
// size of afterName.
Bytes Base01(int level, const std::string& name, const Bytes& afterName,
             uint32_t packed = 0, uint32_t original = 0) {
    Bytes h = {0, 0, '-', 'l', 'h', '0', '-'};
    Put32(h, packed);
    Put32(h, original);
    Put16(h, 0x6000);
    Put16(h, 0x5221);
    h.push_back(0x20);
    h.push_back((uint8_t)level);
    h.push_back((uint8_t)name.size());
    h.insert(h.end(), name.begin(), name.end());
    h.insert(h.end(), afterName.begin(), afterName.end());
    h[0] = (uint8_t)(h.size() - 2);
    uint8_t sum = 0;
    for (size_t i = 2; i < h.size(); ++i) sum = (uint8_t)(sum + h[i]);
    h[1] = sum;
    return h;
}

// Appends records to a header whose last two bytes are the size field of
// the first record. Returns the offsets of the records' type bytes.
std::vector<size_t> AppendRecords(Bytes& h, const std::vector<Record>& records) {
    std::vector<size_t> at;
    for (const Record& r : records) {
        Set16(h, h.size() - 2, (uint32_t)(r.data.size() + 3));
        at.push_back(h.size());
        h.push_back(r.type);
        h.insert(h.end(), r.data.begin(), r.data.end());
        Put16(h, 0);
    }
    return at;
}

// Recomputes the sum of a level-0/1 base header after its first record's
// size field changed.
void FixSum(Bytes& h) {
    uint8_t sum = 0;
    for (size_t i = 2; i < (size_t)h[0] + 2; ++i) sum = (uint8_t)(sum + h[i]);
    h[1] = sum;
}

// Stores the header CRC in the record at `at` (its field zeroed first).
void SealCrc(Bytes& h, size_t at) {
    Set16(h, at + 1, 0);
    Set16(h, at + 1, Crc16(h));
}

// A level-2 header with exactly the given records.
Bytes Level2With(const std::vector<Record>& records, uint32_t packed = 0,
                 uint32_t original = 0) {
    Bytes h;
    Put16(h, 0);
    const char* id = "-lh5-";
    h.insert(h.end(), id, id + 5);
    Put32(h, packed);
    Put32(h, original);
    Put32(h, 1600000000);
    h.push_back(0x20);
    h.push_back(2);
    Put16(h, 0xBEEF);
    h.push_back('U');
    Put16(h, 0);
    AppendRecords(h, records);
    Set16(h, 0, (uint32_t)h.size());
    return h;
}

Record Name(const std::string& n) { return Record{1, Bytes(n.begin(), n.end())}; }
Record CrcRecord() { return Record{0, Bytes{0, 0}}; }

class HeaderTest : public ::testing::Test {
protected:
    bool Parse(Bytes& h, int32_t available = -1) {
        return e.ParseHeader(h.data(), available < 0 ? (int32_t)h.size() : available);
    }
    CLzhExtractor e;
};

TEST_F(HeaderTest, Crc16IsTheArcVariant) {
    const char* check = "123456789";
    e.m_crc = 0;
    e.UpdateCrc(reinterpret_cast<const uint8_t*>(check), 9);
    EXPECT_EQ(e.m_crc, 0xBB3D);
    // In pieces, as the member steps feed it.
    e.m_crc = 0;
    e.UpdateCrc(reinterpret_cast<const uint8_t*>(check), 4);
    e.UpdateCrc(reinterpret_cast<const uint8_t*>(check) + 4, 5);
    EXPECT_EQ(e.m_crc, 0xBB3D);
    e.UpdateCrc(reinterpret_cast<const uint8_t*>(check), 0);
    e.UpdateCrc(reinterpret_cast<const uint8_t*>(check), -5);
    EXPECT_EQ(e.m_crc, 0xBB3D);
    EXPECT_EQ(e.m_crcTable[1], 0xC0C1);
    EXPECT_EQ(e.m_crcTable[255], 0x4040);
}

TEST_F(HeaderTest, HeaderSumIsModulo256) {
    const uint8_t bytes[] = {0xFF, 0x02, 0x10};
    EXPECT_EQ(CLzhExtractor::HeaderSum(bytes, 3), 0x11);
    EXPECT_EQ(CLzhExtractor::HeaderSum(bytes, 0), 0);
    EXPECT_EQ(CLzhExtractor::HeaderSum(bytes, -1), 0);
}

TEST_F(HeaderTest, StripPathKeepsThePartAfterTheLastSeparator) {
    const struct {
        const char* name;
        const char* tail;
    } cases[] = {
        {"a.txt", "a.txt"},
        {"dir\\sub/a.txt", "a.txt"},
        {"dir/sub\\a.txt", "a.txt"},
        {"C:a.txt", "a.txt"},
        {"C:\\dir\\a.txt", "a.txt"},
        {"dir\xFF" "a.txt", "a.txt"},
        {"dir\\", ""},
        {"dir/sub/", ""},
        {"\x95\x5C.txt", "\x95\x5C.txt"},          // 0x5C trail byte: no separator
        {"dir\\\x95\x5C", "\x95\x5C"},
        {"\x95\x5C\\b.txt", "b.txt"},
        {"\x95\x5C\x95\x5C", "\x95\x5C\x95\x5C"},
        {"a\\\x95", "\x95"},                        // lone lead byte at the end
        {"\x95/b", "b"},                            // '/' is never a trail byte
        {"", ""},
    };
    for (auto& c : cases) EXPECT_STREQ(CLzhExtractor::StripPath(c.name), c.tail) << c.name;
}

TEST_F(HeaderTest, EndOfArchiveWhateverFollows) {
    Member m;
    Bytes full = Level2Header(m);
    ASSERT_TRUE(Parse(full));
    ASSERT_GT(e.m_headerSize, 0);

    // Fewer than 22 bytes.
    EXPECT_TRUE(Parse(full, 21));
    EXPECT_EQ(e.m_headerSize, 0);
    // A first byte of 0.
    Bytes zero = full;
    zero[0] = 0;
    EXPECT_TRUE(Parse(zero));
    EXPECT_EQ(e.m_headerSize, 0);
    EXPECT_EQ(e.m_name[0], 0);
    // A level-2 header of 256 bytes has a low size byte of 0.
    m.name = std::string(256 - Level2Header(m).size() + m.name.size(), 'n');
    Bytes h256 = Level2Header(m);
    ASSERT_EQ(h256.size(), 256u);
    EXPECT_TRUE(Parse(h256));
    EXPECT_EQ(e.m_headerSize, 0);
}

TEST_F(HeaderTest, MethodIdsAndLevels) {
    const struct {
        const char* id;
        int method;  // -1: invalid
    } cases[] = {{"-lh0-", 0}, {"-lh1-", 1}, {"-lh5-", 5}, {"-lzs-", 6}, {"-lz5-", 7},
                 {"-lz4-", 8}, {"-lhd-", -1}, {"-lh6-", -1}, {"-LH5-", -1}};
    for (auto& c : cases) {
        Member m;
        m.method = c.id;
        Bytes h = Level2Header(m);
        EXPECT_EQ(Parse(h), c.method >= 0) << c.id;
        if (c.method >= 0) {
            EXPECT_EQ(e.m_method, c.method) << c.id;
        }
    }
    Bytes h = Base01(0, "a", {0, 0});
    h[20] = 3;
    EXPECT_FALSE(Parse(h));
}

TEST_F(HeaderTest, LevelZeroAndOneByBytesBeyondTheName) {
    const struct {
        int level;
        Bytes afterName;  // D = 22 + its size
        bool valid;
        bool noCrc;
    } cases[] = {
        {0, {}, true, true},
        {0, {0x34, 0x12}, true, false},
        {0, {0x34, 0x12, 9, 9, 9}, true, false},  // further bytes ignored
        {1, {}, true, true},
        {1, {0x34, 0x12}, false, false},
        {1, {0x34, 0x12, 'U'}, false, false},
        {1, {0x34, 0x12, 'U', 0, 0}, true, false},  // D = 27, no records
    };
    for (auto& c : cases) {
        Bytes h = Base01(c.level, "name.txt", c.afterName, 7, 9);
        ASSERT_EQ(Parse(h), c.valid) << c.level << " D=" << 22 + c.afterName.size();
        if (!c.valid) continue;
        EXPECT_EQ(e.m_noCrc, c.noCrc);
        if (!c.noCrc) {
            EXPECT_EQ(e.m_expectedCrc, 0x1234);
        }
        EXPECT_EQ(e.m_headerSize, (int32_t)h.size());
        EXPECT_STREQ(e.m_name, "name.txt");
        EXPECT_EQ(e.m_packedSize, 7);
        EXPECT_EQ(e.m_originalSize, 9);
    }
}

TEST_F(HeaderTest, LevelZeroChecksTheHeaderSum) {
    Bytes h = Base01(0, "a.txt", {0, 0});
    h[1] ^= 1;
    EXPECT_FALSE(Parse(h));
    Bytes cut = Base01(0, "a.txt", {0, 0});
    EXPECT_FALSE(Parse(cut, (int32_t)cut.size() - 1));
}

TEST_F(HeaderTest, LevelOneRecordsMoveFromThePackedSizeToTheHeader) {
    Bytes h = Base01(1, "old.txt", {0x34, 0x12, 'U', 0, 0}, 100 + 14 + 5);
    AppendRecords(h, {Name("dir\\new.txt"), Record{0x41, Bytes{1, 2}}});
    FixSum(h);
    // Plus the data that follows.
    Bytes withData = h;
    withData.resize(h.size() + 100, 0xEE);
    ASSERT_TRUE(Parse(withData));
    EXPECT_STREQ(e.m_name, "new.txt");
    EXPECT_EQ(e.m_headerSize, (int32_t)h.size());
    EXPECT_EQ(e.m_packedSize, 100);
    EXPECT_TRUE(e.m_noCrc == false);
}

TEST_F(HeaderTest, LevelOneHeaderCrcIsTestedWhenPresent) {
    Bytes h = Base01(1, "a.txt", {0, 0, 'U', 0, 0}, 5);
    std::vector<size_t> at = AppendRecords(h, {CrcRecord()});
    FixSum(h);
    SealCrc(h, at[0]);
    Bytes bad = h;
    ASSERT_TRUE(Parse(h));
    EXPECT_EQ(h[at[0] + 1], 0);  // the field is zeroed in the caller's buffer
    EXPECT_EQ(h[at[0] + 2], 0);
    bad[at[0] + 1] ^= 0x40;
    EXPECT_FALSE(Parse(bad));
    EXPECT_EQ(bad[at[0] + 1], 0);
    EXPECT_EQ(bad[at[0] + 2], 0);
}

TEST_F(HeaderTest, LevelTwoRecords) {
    // Last type-0 record counts, last name counts, unknown types skipped.
    Bytes h = Level2With({Name("first.txt"), Record{0, Bytes{0x34, 0x12}}, Record{0x41, Bytes(24, 7)},
                          Name("a/b/last.txt"), CrcRecord()});
    SealCrc(h, h.size() - 5);
    Bytes copy = h;
    ASSERT_TRUE(Parse(h));
    EXPECT_STREQ(e.m_name, "last.txt");
    EXPECT_EQ(e.m_headerSize, (int32_t)h.size());
    EXPECT_EQ(e.m_time, 1600000000);
    EXPECT_EQ(e.m_expectedCrc, 0xBEEF);
    EXPECT_FALSE(e.m_noCrc);
    EXPECT_EQ(h[h.size() - 4], 0);
    EXPECT_EQ(h[h.size() - 3], 0);

    // The same CRC in the first type-0 record only does not count.
    Bytes wrong = Level2With({Name("x"), CrcRecord(), Record{0, Bytes{0x11, 0x22}}});
    SealCrc(wrong, wrong.size() - 10);
    EXPECT_FALSE(Parse(wrong));
    Bytes noCrc = Level2With({Name("x")});
    EXPECT_FALSE(Parse(noCrc));
    copy[copy.size() - 4] ^= 1;
    EXPECT_FALSE(Parse(copy));
}

TEST_F(HeaderTest, NameEndsAtItsFirstNul) {
    Bytes h = Level2With({Record{1, Bytes{'a', 'b', 0, 'c'}}, CrcRecord()});
    SealCrc(h, h.size() - 5);
    ASSERT_TRUE(Parse(h));
    EXPECT_STREQ(e.m_name, "ab");
}

// Headers that must be refused without reading or writing outside the
// bytes given or m_name.
TEST_F(HeaderTest, MalformedHeadersAreRefused) {
    struct Case {
        const char* what;
        Bytes header;
        int32_t available;  // -1: all
    };
    std::vector<Case> cases;

    for (uint32_t size : {1u, 2u}) {
        Bytes h = Level2With({Name("a"), CrcRecord()});
        Set16(h, 24, size);
        cases.push_back({"level 2 record shorter than 3", h, -1});
        Bytes l1 = Base01(1, "a", {0, 0, 'U', 0, 0});
        Set16(l1, l1.size() - 2, size);
        FixSum(l1);
        l1.resize(l1.size() + 8, 0);
        cases.push_back({"level 1 record shorter than 3", l1, -1});
    }
    {
        Bytes h = Level2With({Name("a"), CrcRecord()});
        SealCrc(h, h.size() - 5);
        Set16(h, h.size() - 2, 40);  // a further record past the header
        h.resize(h.size() + 60, 0);
        cases.push_back({"level 2 record past the header size", h, -1});
    }
    {
        Bytes h = Level2With({Name("a"), CrcRecord()});
        Set16(h, 0, 200);
        cases.push_back({"level 2 header larger than the bytes available", h, -1});
        Bytes tiny = Level2With({Name("a"), CrcRecord()});
        Set16(tiny, 0, 25);
        cases.push_back({"level 2 header smaller than its fixed part", tiny, -1});
    }
    {
        Bytes l1 = Base01(1, "a", {0, 0, 'U', 0, 0});
        Set16(l1, l1.size() - 2, 300);
        FixSum(l1);
        l1.resize(l1.size() + 100, 0);
        cases.push_back({"level 1 record past the available bytes", l1, -1});
    }
    {
        Bytes l0 = Base01(0, "abc", {0, 0});
        l0[21] = 200;  // name length past the header
        uint8_t sum = 0;
        for (size_t i = 2; i < l0.size(); ++i) sum = (uint8_t)(sum + l0[i]);
        l0[1] = sum;
        l0.resize(300, 'x');
        cases.push_back({"level 0 name past the header", l0, -1});
    }
    {
        Bytes h = Level2With({Name(std::string(260, 'n')), CrcRecord()});
        SealCrc(h, h.size() - 5);
        cases.push_back({"name of 260 bytes", h, -1});
    }
    {
        Bytes h = Level2With({Name("a"), CrcRecord()}, 0x80000000u, 5);
        SealCrc(h, h.size() - 5);
        cases.push_back({"negative packed size", h, -1});
        Bytes o = Level2With({Name("a"), CrcRecord()}, 5, 0xFFFFFFFFu);
        SealCrc(o, o.size() - 5);
        cases.push_back({"negative original size", o, -1});
    }
    {
        // Records that claim more than the packed size holds.
        Bytes l1 = Base01(1, "a", {0, 0, 'U', 0, 0}, 2);
        AppendRecords(l1, {Name("longer-name.txt")});
        FixSum(l1);
        cases.push_back({"level 1 records beyond the packed size", l1, -1});
    }
    for (Case& c : cases) {
        Bytes guarded = c.header;
        guarded.resize(c.header.size() + 16, 0xCC);  // must stay untouched
        int32_t available = c.available < 0 ? (int32_t)c.header.size() : c.available;
        EXPECT_FALSE(e.ParseHeader(guarded.data(), available)) << c.what;
        for (size_t i = c.header.size(); i < guarded.size(); ++i)
            ASSERT_EQ(guarded[i], 0xCC) << c.what;
    }

    // A name of 259 bytes still fits.
    Bytes h = Level2With({Name(std::string(259, 'n')), CrcRecord()});
    SealCrc(h, h.size() - 5);
    EXPECT_TRUE(Parse(h));
    EXPECT_EQ(strlen(e.m_name), 259u);
}

TEST_F(HeaderTest, LevelZeroTimeIsLocal) {
    setenv("TZ", "UTC", 1);
    tzset();
    Bytes h = Base01(0, "a", {0, 0});
    ASSERT_TRUE(Parse(h));
    EXPECT_EQ(e.m_time, 1609502400);  // 2021-01-01 12:00:00
    setenv("TZ", "JST-9", 1);
    tzset();
    ASSERT_TRUE(Parse(h));
    EXPECT_EQ(e.m_time, 1609502400 - 9 * 3600);
    setenv("TZ", "UTC", 1);
    tzset();
}

}  // namespace
