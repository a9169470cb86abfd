// Damaged copies of real archives: cut at every offset, every byte flipped,
// every header field set to edge values. Each run must end with the
// expected code (or success where the damage is harmless), leave no file of
// a failed member and no file longer than its header says, and end within a
// step bound.
#include <gtest/gtest.h>

#include "engine/lzh_extractor.h"
#include "tests/fuzz/checked_run.h"
#include "tests/support/lh5_writer.h"
#include "tests/support/lzh_builder.h"

using namespace lzhtest;

namespace {

struct Sample {
    Bytes file;
    std::vector<Member> members;
    std::vector<Bytes> plain;
    std::vector<size_t> headerAt, dataAt, endAt;  // offsets in the file
    size_t prefix;
};

// A stored member, an -lh5- member and an empty one behind some "program"
// bytes, at the given header level.
Sample MakeSample(int level) {
    Sample s;
    s.plain = {SampleText(120, 1), SampleText(1500, 2), Bytes{}};
    Member a;
    a.name = "a.txt";
    a.data = s.plain[0];
    Member b;
    b.name = "b.bin";
    b.method = "-lh5-";
    b.data = EncodeLh5(s.plain[1], 100);
    b.originalSize = (int64_t)s.plain[1].size();
    b.crc = Crc16(s.plain[1]);
    b.time = 0x60000000;
    Member c;
    c.name = "c";
    s.members = {a, b, c};
    s.file = Bytes(100, 0x90);
    s.prefix = s.file.size();
    for (const Member& m : s.members) {
        Bytes bytes = MemberBytes(m, level);
        s.headerAt.push_back(s.file.size());
        s.dataAt.push_back(s.file.size() + bytes.size() - m.data.size());
        s.file.insert(s.file.end(), bytes.begin(), bytes.end());
        s.endAt.push_back(s.file.size());
    }
    s.file.push_back(0);
    return s;
}

class Damage : public ::testing::Test {
protected:
    void SetUp() override { dir = MakeTempDir(); }

    fuzz::RunReport Run(const Bytes& file) {
        WriteFile(dir + "/setup.exe", file);
        fuzz::RunReport r = fuzz::CheckedRun(engine, dir + "/setup.exe", dir + "/out",
                                             file.size(), 64 << 10);
        EXPECT_EQ(r.broken, "");
        return r;
    }

    // The files left are exactly the first `kept` members, byte for byte.
    void ExpectKept(const fuzz::RunReport& r, const Sample& s, size_t kept) {
        EXPECT_EQ(r.files.size(), kept);
        for (size_t m = 0; m < kept; ++m) {
            auto it = r.files.find(s.members[m].name);
            ASSERT_NE(it, r.files.end()) << s.members[m].name;
            EXPECT_EQ(it->second, (long long)s.plain[m].size());
        }
    }

    std::string dir;
    CLzhExtractor engine;
};

// Cut at every offset: inside the first header the archive is not found;
// inside a member's data the data is bad; inside a following header that
// header is bad; on a member boundary the archive ends there.
TEST_F(Damage, TruncatedAtEveryOffset) {
    for (int level = 0; level <= 2; ++level) {
        const Sample s = MakeSample(level);
        for (size_t k = 0; k <= s.file.size(); ++k) {
            SCOPED_TRACE("level " + std::to_string(level) + " cut at " + std::to_string(k));
            int expected = EXTRACT_OK;
            size_t kept = s.members.size();
            for (size_t m = 0; m < s.members.size(); ++m) {
                if (k >= s.endAt[m]) continue;
                kept = m;
                if (k < s.dataAt[m]) {
                    if (m == 0) expected = EXTRACT_ERR_NO_ARCHIVE;
                    // A cut right at a header reads as an archive without
                    // its end mark; inside a header it is damage.
                    else if (k > s.headerAt[m]) expected = EXTRACT_ERR_BAD_HEADER;
                } else {
                    expected = EXTRACT_ERR_BAD_DATA;
                }
                break;
            }
            Bytes cut(s.file.begin(), s.file.begin() + (long)k);
            const fuzz::RunReport r = Run(cut);
            EXPECT_EQ(r.result, expected);
            ExpectKept(r, s, kept);
        }
    }
}

// One byte inverted at a time. Headers are guarded by their sum or CRC,
// member data by its CRC-16: no flip inside stored data may pass; a flip
// in packed data passes only where it changes nothing decoded (a block
// size beyond the member's last code), and a failed member leaves no file.
TEST_F(Damage, EveryByteFlipped) {
    for (int level = 0; level <= 2; ++level) {
        const Sample s = MakeSample(level);
        for (size_t k = s.prefix; k < s.file.size(); ++k) {
            SCOPED_TRACE("level " + std::to_string(level) + " flip at " + std::to_string(k));
            Bytes flipped = s.file;
            flipped[k] ^= 0xFF;
            const fuzz::RunReport r = Run(flipped);
            for (size_t m = 0; m < s.members.size(); ++m) {
                if (k < s.dataAt[m] || k >= s.endAt[m]) continue;
                if (s.members[m].method == "-lh0-") {
                    EXPECT_EQ(r.result, EXTRACT_ERR_CRC);
                }
                if (r.result == EXTRACT_OK) {
                    ExpectKept(r, s, s.members.size());
                } else {
                    EXPECT_TRUE(r.result == EXTRACT_ERR_CRC || r.result == EXTRACT_ERR_BAD_DATA)
                        << "result " << r.result;
                    EXPECT_EQ(r.files.count(s.members[m].name), 0u);
                }
            }
            // A flip in a level 0/1 header changes its sum; level 1 records
            // without a header CRC are the exception and may rename a member.
            for (const auto& f : r.files) {
                bool matches = false;
                for (const Bytes& p : s.plain) matches |= (long long)p.size() == f.second;
                EXPECT_TRUE(matches) << f.first;
            }
        }
    }
}

// Where each header field lies, per level, for a name of 5 bytes ("a.txt");
// fields after the name move with its length.
struct Field {
    const char* name;
    size_t offset;
    int width;
};

const std::vector<Field>& FieldsOf(int level) {
    static const std::vector<Field> level0 = {
        {"H", 0, 1},        {"sum", 1, 1},    {"packed", 7, 4}, {"original", 11, 4},
        {"time", 15, 2},    {"date", 17, 2},  {"attr", 19, 1},  {"level", 20, 1},
        {"name length", 21, 1}, {"data CRC", 27, 2}};
    static const std::vector<Field> level1 = [] {
        std::vector<Field> f = level0;
        f.push_back({"OS id", 29, 1});
        f.push_back({"first record size", 30, 2});
        return f;
    }();
    static const std::vector<Field> level2 = {
        {"header size", 0, 2}, {"packed", 7, 4},      {"original", 11, 4},
        {"time", 15, 4},       {"unused", 19, 1},     {"level", 20, 1},
        {"data CRC", 21, 2},   {"OS id", 23, 1},      {"first record size", 24, 2},
        {"name record type", 26, 1}, {"name record next size", 32, 2}};
    return level == 0 ? level0 : level == 1 ? level1 : level2;
}

void PutLE(Bytes& b, size_t at, int width, uint64_t v) {
    for (int i = 0; i < width; ++i) b[at + (size_t)i] = (uint8_t)(v >> (8 * i));
}

// Recomputes the header sum (levels 0/1) or the header CRC (level 2) after
// an edit, so that the damage reaches past the checksums; a header whose
// size fields no longer lead to its CRC record keeps the old one.
void FixChecksums(Bytes& file, size_t at, int level, size_t originalSize) {
    if (level < 2) {
        const size_t h = file[at];
        if (at + 2 + h > file.size()) return;
        uint8_t sum = 0;
        for (size_t i = 0; i < h; ++i) sum = (uint8_t)(sum + file[at + 2 + i]);
        file[at + 1] = sum;
        return;
    }
    // The builder puts the CRC record last: its two bytes end 2 before the
    // header's end, as built.
    const size_t crcAt = at + originalSize - 4;
    file[crcAt] = file[crcAt + 1] = 0;
    const size_t size = file[at] | file[at + 1] << 8;
    if (size < 26 || at + size > file.size() || crcAt + 2 > at + size) return;
    PutLE(file, crcAt, 2, Crc16(&file[at], size));
}

// Every field of the first and of a following header set to edge values,
// with stale and with repaired checksums. The outcome depends on the field;
// what every run must keep is checked by CheckedRun, and a following header
// that the engine refuses fails the run with the member before it intact.
TEST_F(Damage, HeaderFieldsAtEdgeValues) {
    for (int level = 0; level <= 2; ++level) {
        const Sample s = MakeSample(level);
        const uint64_t beyond = s.file.size() + 1;
        for (size_t member = 0; member < s.members.size(); ++member) {
            const size_t builtSize = s.dataAt[member] - s.headerAt[member];
            const long shift = (long)s.members[member].name.size() - 5;
            for (Field f : FieldsOf(level)) {
                if (f.offset >= (level == 2 ? 27u : 22u)) f.offset = (size_t)((long)f.offset + shift);
                const uint64_t top = f.width == 4 ? 0xFFFFFFFFull : (1ull << (8 * f.width)) - 1;
                const uint64_t half = (top >> 1);
                for (uint64_t v : {uint64_t{0}, uint64_t{1}, half, half + 1, top, beyond & top}) {
                    for (bool fix : {false, true}) {
                        SCOPED_TRACE("level " + std::to_string(level) + " member " +
                                     std::to_string(member) + " " + f.name + " = " +
                                     std::to_string(v) + (fix ? " fixed" : ""));
                        Bytes file = s.file;
                        const size_t at = s.headerAt[member];
                        PutLE(file, at + f.offset, f.width, v);
                        if (fix) FixChecksums(file, at, level, builtSize);
                        const fuzz::RunReport r = Run(file);
                        if (member > 0 && r.result == EXTRACT_ERR_BAD_HEADER)
                            ExpectKept(r, s, member);
                    }
                }
            }
        }
    }
}

// Damage with a known outcome, on level-2 archives unless said otherwise.
TEST_F(Damage, KnownOutcomes) {
    const Sample s = MakeSample(2);
    struct Case {
        const char* what;
        size_t member;
        size_t offset;
        int width;
        uint64_t value;
        int expected;
        size_t kept;
    };
    const Case cases[] = {
        // A time with no calendar form leaves the file's times alone.
        {"negative time", 0, 15, 4, 0xFFFFFFFF, EXTRACT_OK, 3},
        {"time zero", 1, 15, 4, 0, EXTRACT_OK, 3},
        // A stored member reads its original size: more than the file holds.
        {"stored size beyond the file", 0, 11, 4, 0x7FFFFFFF, EXTRACT_ERR_BAD_DATA, 0},
        {"stored size too small", 0, 11, 4, 10, EXTRACT_ERR_CRC, 0},
        {"-lh5- size too small", 1, 11, 4, 100, EXTRACT_ERR_CRC, 1},
        {"-lh5- size zero", 1, 11, 4, 0, EXTRACT_ERR_CRC, 1},
        // Negative sizes would walk backwards: the header is refused.
        {"negative packed size", 1, 7, 4, 0x80000000, EXTRACT_ERR_BAD_HEADER, 1},
        {"negative original size", 1, 11, 4, 0xFFFFFFFF, EXTRACT_ERR_BAD_HEADER, 1},
        {"unknown level", 1, 20, 1, 3, EXTRACT_ERR_BAD_HEADER, 1},
        {"refused method", 1, 5, 1, '1', EXTRACT_ERR_METHOD, 1},
        {"data CRC", 2, 21, 2, 0x1234, EXTRACT_ERR_CRC, 2},
        // A header size whose low byte is 0 reads as the end of the archive.
        {"header size 256", 1, 0, 2, 256, EXTRACT_OK, 1},
        {"record size 1", 1, 24, 2, 1, EXTRACT_ERR_BAD_HEADER, 1},
        {"record size past the header", 1, 24, 2, 0xFFFF, EXTRACT_ERR_BAD_HEADER, 1},
        // The next header is looked for past the end of the file, where
        // nothing can be read: the end of the archive.
        {"packed size beyond the file", 2, 7, 4, 0x10000000, EXTRACT_OK, 3},
        {"-lh5- data beyond the file", 1, 7, 4, 0x10000000, EXTRACT_ERR_BAD_DATA, 1},
        {"next header past 2 GB", 2, 7, 4, 0x7FFFFFF0, EXTRACT_ERR_BAD_HEADER, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes file = s.file;
        const size_t at = s.headerAt[c.member];
        PutLE(file, at + c.offset, c.width, c.value);
        FixChecksums(file, at, 2, s.dataAt[c.member] - at);
        const fuzz::RunReport r = Run(file);
        EXPECT_EQ(r.result, c.expected);
        ExpectKept(r, s, c.kept);
    }
}

}  // namespace
