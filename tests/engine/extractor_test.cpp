// CLzhExtractor as the installer drives it: the archive scan, the
// destination folder, the member walk with its filter, stored members,
// CRC checks, time stamps, Abort, and every failure's cleanup.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/lzh_extractor.h"
#include "tests/support/engine_run.h"
#include "tests/support/lzh_builder.h"

using namespace lzhtest;

namespace {

// Junk that holds no '-', so that no scan position in it is ever tested.
Bytes Junk(size_t size, uint32_t seed) {
    Bytes b = RandomBytes(size, seed);
    for (auto& x : b)
        if (x == '-') x = 0;
    return b;
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Member Stored(const std::string& name, Bytes data) {
    Member m;
    m.name = name;
    m.data = std::move(data);
    return m;
}

// A level-0 header with nothing after the name (D = 22): no data CRC.
Bytes Level0WithoutCrc(const Member& m) {
    Bytes h = Level0Header(m);
    h.resize(h.size() - 2);
    h[0] = (uint8_t)(h.size() - 2);
    uint8_t sum = 0;
    for (size_t i = 2; i < h.size(); ++i) sum = (uint8_t)(sum + h[i]);
    h[1] = sum;
    return h;
}

class ExtractorTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = MakeTempDir();
        archive = dir + "/setup.exe";
        out = dir + "/out";
    }
    void Write(const Bytes& bytes) { WriteFile(archive, bytes); }
    int Run(const char* filter = nullptr) { return ExtractAll(e, archive, out, filter); }
    // Steps until done or failure; the number of Step calls made.
    int StepsToEnd(bool* ok) {
        int steps = 0;
        for (;;) {
            bool done = false;
            ++steps;
            *ok = e.Step(&done);
            if (!*ok || done) return steps;
        }
    }
    std::string Out(const std::string& name) { return out + "/" + name; }

    std::string dir, archive, out;
    CLzhExtractor e;
};

TEST_F(ExtractorTest, ArchiveIsFoundAtTheExactOffsetOfItsFirstHeader) {
    // Small archives lie wholly in the last 511 bytes of the file; the
    // 40000-byte member puts the header far from the end.
    for (size_t memberSize : {10u, 40000u}) {
        for (size_t offset : {0u, 1u, 511u, 16383u, 16384u, 16385u, 40000u}) {
            Member m = Stored("a.bin", RandomBytes(memberSize, 5));
            Write(Concat(Junk(offset, 9), Archive({m})));
            ASSERT_TRUE(e.Begin(archive.c_str(), out.c_str(), nullptr));
            EXPECT_EQ(e.m_headerPos, (int32_t)offset) << memberSize;
            bool ok;
            StepsToEnd(&ok);
            ASSERT_TRUE(ok);
            EXPECT_EQ(ReadFile(Out("a.bin")), m.data);
        }
    }
}

TEST_F(ExtractorTest, ScanPassesOverSpotsThatAreNoHeader) {
    Member m = Stored("a.txt", Bytes{'h', 'i'});
    Bytes real = Level2Header(m);
    Bytes damaged = real;
    damaged[10] ^= 1;  // header CRC no longer matches
    Bytes file = Junk(100, 1);
    // Method ids stored as text after zero bytes look like an end mark.
    const char text[] = "\0\0-lh5-\0\0\0-lh0-xyz-lz4-";
    file.insert(file.end(), text, text + sizeof text);
    file = Concat(file, Junk(16384 - 100 - sizeof text - 3, 2));
    // A decoy across the first window refill.
    file.insert(file.end(), {0, 0, '-', 'l', 'h', '5', '-', 0});
    file = Concat(file, damaged);
    file = Concat(file, Junk(300, 3));
    const size_t at = file.size();
    file = Concat(file, Archive({m}));
    Write(file);
    ASSERT_TRUE(e.Begin(archive.c_str(), out.c_str(), nullptr));
    EXPECT_EQ(e.m_headerPos, (int32_t)at);
}

TEST_F(ExtractorTest, NoArchive) {
    Bytes cutHeader = Level2Header(Stored("a", {1}));
    cutHeader.pop_back();
    const struct {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"empty file", {}},
        {"21 bytes", Bytes(21, '-')},
        {"only the end mark", Concat(Junk(1000, 4), Bytes{0})},
        {"a header cut short", cutHeader},
        {"junk across several windows", Junk(50000, 5)},
    };
    for (auto& c : cases) {
        Write(c.bytes);
        EXPECT_EQ(Run(), EXTRACT_ERR_NO_ARCHIVE) << c.what;
        EXPECT_FALSE(e.m_in.IsOpen());
    }
    EXPECT_EQ(ExtractAll(e, dir + "/missing.exe", out), EXTRACT_ERR_OPEN_ARCHIVE);
}

TEST_F(ExtractorTest, FolderTextsEndWithOneBackslashAndMissingLevelsAreCreated) {
    Write(Archive({Stored("a.txt", {'x'})}));
    const struct {
        std::string given, folder, native;
    } cases[] = {
        {"\\one", "\\one\\", "/one"},
        {"\\two\\", "\\two\\", "/two"},
        {"\\three\\a\\b\\c", "\\three\\a\\b\\c\\", "/three/a/b/c"},
        {"\\four\\a\\b\\", "\\four\\a\\b\\", "/four/a/b"},
        // 0x5C as the trail byte of a double-byte character is no separator.
        {"\\\x95\x5C", "\\\x95\x5C\\", "/\xE8\xA1\xA8"},
        {"\\\x95\x5C\\\x95\x5C\\x", "\\\x95\x5C\\\x95\x5C\\x\\", "/\xE8\xA1\xA8/\xE8\xA1\xA8/x"},
    };
    for (auto& c : cases) {
        ASSERT_EQ(ExtractAll(e, archive, dir + c.given), EXTRACT_OK) << c.given;
        EXPECT_EQ(std::string(e.m_folder), dir + c.folder);
        EXPECT_EQ(ReadFile(dir + c.native + "/a.txt"), Bytes{'x'}) << c.given;
    }
}

TEST_F(ExtractorTest, ShortFolderTextsKeepTheirFinalBackslash) {
    Write(Archive({Stored("a.txt", {'x'})}));
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    // Relative texts of up to 3 bytes that name an existing folder, like a
    // drive root.
    ASSERT_EQ(mkdir("a", 0755), 0);
    ASSERT_EQ(mkdir("ab", 0755), 0);
    const struct {
        const char *given, *folder;
    } cases[] = {{"a\\", "a\\"}, {"ab\\", "ab\\"}, {"abc\\", "abc\\"}, {"abcd", "abcd\\"}};
    for (auto& c : cases) {
        EXPECT_EQ(ExtractAll(e, archive, c.given), EXTRACT_OK) << c.given;
        EXPECT_STREQ(e.m_folder, c.folder);
    }
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_TRUE(FileExists(dir + "/ab/a.txt"));
}

TEST_F(ExtractorTest, FolderThatCannotBeUsed) {
    Write(Archive({Stored("a.txt", {'x'})}));
    WriteFile(dir + "/file", {1});
    EXPECT_EQ(ExtractAll(e, archive, dir + "/file"), EXTRACT_ERR_CREATE_FOLDER);
    EXPECT_FALSE(e.m_in.IsOpen());
    EXPECT_EQ(ExtractAll(e, archive, dir + "/file\\sub"), EXTRACT_ERR_CREATE_FOLDER);
    EXPECT_EQ(ExtractAll(e, archive, ""), EXTRACT_ERR_CREATE_FOLDER);
    EXPECT_FALSE(e.Begin(archive.c_str(), nullptr, nullptr));
    EXPECT_EQ(e.m_error, EXTRACT_ERR_CREATE_FOLDER);
}

// Texts are held in 260 bytes: what does not fit is refused, never cut.
TEST_F(ExtractorTest, TextsThatDoNotFitInTheirBuffers) {
    Write(Archive({Stored("a.txt", {'x'})}));
    std::string base = dir + "\\";
    // 259 bytes fit, but not with the backslash that is appended.
    std::string folder259 = base + std::string(259 - base.size(), 'f');
    EXPECT_EQ(ExtractAll(e, archive, folder259), EXTRACT_ERR_CREATE_FOLDER);
    EXPECT_EQ(ExtractAll(e, archive, folder259 + "g"), EXTRACT_ERR_CREATE_FOLDER);
    // 258 bytes plus the backslash fit; the member name then does not.
    std::string folder258 = base + std::string(258 - base.size(), 'f');
    EXPECT_EQ(ExtractAll(e, archive, folder258), EXTRACT_ERR_CREATE_FILE);
    EXPECT_FALSE(e.m_in.IsOpen());
    // A filter longer than any member name.
    std::string filter(260, 'a');
    EXPECT_EQ(ExtractAll(e, archive, out, filter.c_str()), EXTRACT_ERR_NO_ARCHIVE);
    // Folder and name at exactly 259 bytes still work.
    std::string exact = base + std::string(259 - base.size() - 1 - 5, 'e');
    EXPECT_EQ(ExtractAll(e, archive, exact), EXTRACT_OK);
    EXPECT_EQ(strlen(e.m_outPath), 259u);
}

TEST_F(ExtractorTest, FilterSelectsOneMemberIgnoringTheCaseOfLetters) {
    Write(Archive({Stored("first.txt", {1}), Stored("ReadMe.txt", {2, 2}),
                   Stored("last.txt", {3})}));
    ASSERT_TRUE(e.Begin(archive.c_str(), out.c_str(), "readme.TXT"));
    EXPECT_STREQ(e.CurrentName(), "ReadMe.txt");
    bool ok;
    EXPECT_EQ(StepsToEnd(&ok), 1);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(e.m_in.IsOpen());
    EXPECT_EQ(ReadFile(Out("ReadMe.txt")), (Bytes{2, 2}));
    EXPECT_FALSE(FileExists(Out("first.txt")));
    EXPECT_FALSE(FileExists(Out("last.txt")));

    EXPECT_EQ(Run("ReadMe.tx"), EXTRACT_ERR_NO_ARCHIVE);
    EXPECT_EQ(Run(""), EXTRACT_OK);
    EXPECT_TRUE(FileExists(Out("first.txt")));
    EXPECT_TRUE(FileExists(Out("last.txt")));
}

TEST_F(ExtractorTest, StoredMemberTakesSixteenKilobytesPerStep) {
    Member m = Stored("big.bin", RandomBytes(40000, 6));
    Write(Archive({m}));
    ASSERT_TRUE(e.Begin(archive.c_str(), out.c_str(), nullptr));
    const int progress[] = {0, 40, 81};
    bool done = false;
    for (int step = 0; step < 3; ++step) {
        EXPECT_EQ(e.Progress(), progress[step]);
        EXPECT_FALSE(done);
        ASSERT_TRUE(e.Step(&done));
    }
    EXPECT_TRUE(done);
    EXPECT_EQ(ReadFile(Out("big.bin")), m.data);
}

TEST_F(ExtractorTest, EmptyStoredMemberTakesOneStep) {
    Write(Archive({Stored("empty", {}), Stored("next", {7})}));
    ASSERT_TRUE(e.Begin(archive.c_str(), out.c_str(), nullptr));
    EXPECT_EQ(e.Progress(), 0);
    bool done = false;
    ASSERT_TRUE(e.Step(&done));
    EXPECT_FALSE(done);
    EXPECT_STREQ(e.CurrentName(), "next");
    EXPECT_TRUE(FileExists(Out("empty")));
    EXPECT_EQ(ReadFile(Out("empty")).size(), 0u);
}

TEST_F(ExtractorTest, MembersLandInTheFolderWithoutTheirPaths) {
    Write(Archive({Stored("dir/sub\\same.txt", {1}), Stored("C:same.txt", {2, 2}),
                   Stored("x\\y\\other.txt", {3})}));
    ASSERT_EQ(Run(), EXTRACT_OK);
    EXPECT_EQ(ReadFile(Out("same.txt")), (Bytes{2, 2}));  // the later one wins
    EXPECT_EQ(ReadFile(Out("other.txt")), Bytes{3});
}

TEST_F(ExtractorTest, CrcMismatchDeletesOnlyThatMember) {
    Member bad = Stored("bad.bin", RandomBytes(20000, 7));
    bad.crc = Crc16(bad.data) ^ 1;
    Write(Archive({Stored("good.bin", {1, 2}), bad, Stored("after.bin", {3})}));
    EXPECT_EQ(Run(), EXTRACT_ERR_CRC);
    EXPECT_TRUE(FileExists(Out("good.bin")));
    EXPECT_FALSE(FileExists(Out("bad.bin")));
    EXPECT_FALSE(FileExists(Out("after.bin")));
    EXPECT_FALSE(e.m_in.IsOpen());
    EXPECT_FALSE(e.m_out.IsOpen());
}

TEST_F(ExtractorTest, MemberWithoutDataCrcIsTakenAsProduced) {
    Member m = Stored("nocrc.bin", RandomBytes(100, 8));
    Write(Concat(Concat(Level0WithoutCrc(m), m.data), Bytes{0}));
    ASSERT_EQ(Run(), EXTRACT_OK);
    EXPECT_EQ(ReadFile(Out("nocrc.bin")), m.data);
}

TEST_F(ExtractorTest, FileTimesAreTheMemberTime) {
    setenv("TZ", "UTC", 1);
    tzset();
    const struct {
        int level;
        uint32_t time;     // level 2
        int64_t expected;  // -1: left as it was
    } cases[] = {
        {2, 1234567890u, 1234567890},
        {2, 0u, 0},
        {0, 0u, 1609502400},  // DOS 2021-01-01 12:00:00, local = UTC here
        {1, 0u, 1609502400},
        {2, 0x80000000u, -1},  // no calendar form
    };
    for (auto& c : cases) {
        Member m = Stored("t.bin", {1, 2, 3});
        m.time = c.time;
        Write(Archive({m}, c.level));
        const time_t before = time(nullptr);
        ASSERT_EQ(Run(), EXTRACT_OK) << c.level;
        struct stat st;
        ASSERT_EQ(stat(Out("t.bin").c_str(), &st), 0);
        if (c.expected < 0) {
            EXPECT_GE(st.st_mtime, before - 5);
        } else {
            EXPECT_EQ(st.st_mtime, c.expected) << c.level;
            EXPECT_EQ(st.st_atime, c.expected) << c.level;
            EXPECT_EQ(st.st_mtim.tv_nsec, 0);
        }
    }
}

TEST_F(ExtractorTest, AbortDeletesThePartialMemberOnly) {
    Member big = Stored("big.bin", RandomBytes(40000, 9));
    Write(Archive({Stored("first.bin", {1}), big}));
    ASSERT_TRUE(e.Begin(archive.c_str(), out.c_str(), nullptr));
    bool done = false;
    ASSERT_TRUE(e.Step(&done));  // first.bin done, big.bin opened
    ASSERT_TRUE(e.Step(&done));
    ASSERT_TRUE(FileExists(Out("big.bin")));
    e.Abort();
    EXPECT_FALSE(FileExists(Out("big.bin")));
    EXPECT_TRUE(FileExists(Out("first.bin")));
    EXPECT_EQ(e.m_error, EXTRACT_OK);
    EXPECT_FALSE(e.m_in.IsOpen());
    EXPECT_FALSE(e.m_out.IsOpen());
}

// Outside the calling order nothing that is finished is ever touched.
TEST_F(ExtractorTest, CallsOutsideARunLeaveFinishedFilesAlone) {
    Write(Archive({Stored("a.bin", {1}), Stored("last.bin", {2})}));
    e.Abort();  // no run yet
    bool done = false;
    EXPECT_FALSE(e.Step(&done));
    ASSERT_EQ(Run(), EXTRACT_OK);
    e.Abort();
    EXPECT_TRUE(FileExists(Out("last.bin")));
    EXPECT_FALSE(e.Step(&done));
    EXPECT_FALSE(done);
    EXPECT_EQ(e.m_error, EXTRACT_OK);
    EXPECT_EQ(ReadFile(Out("last.bin")), Bytes{2});

    // After a failed run too.
    EXPECT_EQ(ExtractAll(e, archive, ""), EXTRACT_ERR_CREATE_FOLDER);
    EXPECT_FALSE(e.Step(&done));
    EXPECT_EQ(e.m_error, EXTRACT_ERR_CREATE_FOLDER);
    EXPECT_TRUE(FileExists(Out("last.bin")));
}

TEST_F(ExtractorTest, BeginDuringARunAbortsItFirst) {
    Write(Archive({Stored("big.bin", RandomBytes(40000, 10))}));
    ASSERT_TRUE(e.Begin(archive.c_str(), out.c_str(), nullptr));
    bool done = false;
    ASSERT_TRUE(e.Step(&done));
    std::string other = dir + "/other";
    ASSERT_TRUE(e.Begin(archive.c_str(), other.c_str(), nullptr));
    EXPECT_FALSE(FileExists(Out("big.bin")));
    bool ok;
    StepsToEnd(&ok);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(FileExists(other + "/big.bin"));
}

// Failures after a member's file was created: the run ends, both files are
// closed and that file is gone; earlier members stay.
TEST_F(ExtractorTest, FailuresInsideAMemberRemoveItsFile) {
    Member good = Stored("good.bin", {1, 2, 3});
    Member lh5PastEnd;
    lh5PastEnd.name = "m.bin";
    lh5PastEnd.method = "-lh5-";
    lh5PastEnd.packedSize = 100;  // the file ends right after the header
    lh5PastEnd.originalSize = 50;
    Member lh1 = Stored("m.bin", {1, 2, 3});
    lh1.method = "-lh1-";
    Member storedCut = Stored("m.bin", RandomBytes(30000, 11));
    storedCut.packedSize = 30000;
    Bytes storedCutBytes = MemberBytes(storedCut, 2);
    storedCutBytes.resize(storedCutBytes.size() - 10);
    Member storedCutNoCrc = Stored("m.bin", RandomBytes(300, 12));
    Bytes noCrcCut = Concat(Level0WithoutCrc(storedCutNoCrc), storedCutNoCrc.data);
    noCrcCut.resize(noCrcCut.size() - 1);

    const struct {
        const char* what;
        Bytes tail;
        int error;
    } cases[] = {
        {"-lh5- data past the end of the file", Level2Header(lh5PastEnd), EXTRACT_ERR_BAD_DATA},
        {"unsupported method", Archive({lh1}), EXTRACT_ERR_METHOD},
        {"stored data cut by the end of the file", storedCutBytes, EXTRACT_ERR_BAD_DATA},
        {"stored data without CRC cut short", noCrcCut, EXTRACT_ERR_BAD_DATA},
    };
    for (auto& c : cases) {
        for (bool first : {true, false}) {
            Bytes file = first ? c.tail : Concat(MemberBytes(good, 2), c.tail);
            Write(file);
            EXPECT_EQ(Run(), c.error) << c.what << (first ? " (first member)" : "");
            EXPECT_FALSE(FileExists(Out("m.bin"))) << c.what;
            EXPECT_EQ(FileExists(Out("good.bin")), !first) << c.what;
            EXPECT_FALSE(e.m_in.IsOpen()) << c.what;
            EXPECT_FALSE(e.m_out.IsOpen()) << c.what;
            unlink(Out("good.bin").c_str());
        }
    }
}

TEST_F(ExtractorTest, FollowingHeaders) {
    Member good = Stored("good.bin", {1, 2, 3});
    Member negative = Stored("n.bin", {1});
    negative.packedSize = 0xFFFFFF00u;  // would walk backwards
    Member longName = Stored(std::string(300, 'n'), {1});
    Bytes garbage = Level2Header(Stored("g.bin", {1}));
    garbage[3] = 'X';
    const struct {
        const char* what;
        Bytes tail;
        int error;
    } cases[] = {
        {"negative packed size", MemberBytes(negative, 2), EXTRACT_ERR_BAD_HEADER},
        {"name of 300 bytes", MemberBytes(longName, 2), EXTRACT_ERR_BAD_HEADER},
        {"no method id", garbage, EXTRACT_ERR_BAD_HEADER},
        {"file ends after the member: end of archive", {}, EXTRACT_OK},
        {"end mark, then fewer than 22 bytes", Concat({0}, Bytes(20, 0x55)), EXTRACT_OK},
        {"file cut 21 bytes into the next header", Bytes(21, 0x55), EXTRACT_ERR_BAD_HEADER},
        {"file cut 1 byte into the next header", Bytes(1, 0x55), EXTRACT_ERR_BAD_HEADER},
    };
    for (auto& c : cases) {
        Write(Concat(MemberBytes(good, 2), c.tail));
        EXPECT_EQ(Run(), c.error) << c.what;
        EXPECT_EQ(ReadFile(Out("good.bin")), good.data) << c.what;
        EXPECT_FALSE(e.m_in.IsOpen()) << c.what;
    }
}

TEST_F(ExtractorTest, OutputFileThatCannotBeCreated) {
    Write(Archive({Stored("a.bin", {1}), Stored("sub", {2})}));
    ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(Out("sub").c_str(), 0755), 0);
    EXPECT_EQ(Run(), EXTRACT_ERR_CREATE_FILE);
    EXPECT_TRUE(FileExists(Out("a.bin")));
    EXPECT_FALSE(e.m_in.IsOpen());
}

}  // namespace
