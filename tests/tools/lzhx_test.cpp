// The lzhx command line, run as a program: exit codes, code page 932 names
// as UTF-8 file names, the listing, and archives inside other files.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>

#include "tests/support/lzh_builder.h"

using namespace lzhtest;

namespace {

struct Result {
    int status;  // exit code; -1 when lzhx did not exit normally
    std::string output;
};

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// Runs `prefix lzhx args` in a shell and captures stdout.
Result Lzhx(const std::string& args, const std::string& prefix = "") {
    std::string command = prefix + Quote(LZHX_PATH) + " " + args + " 2>/dev/null";
    FILE* p = popen(command.c_str(), "r");
    Result r{-1, ""};
    if (p == nullptr) return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) r.output.append(buffer, n);
    int status = pclose(p);
    if (WIFEXITED(status)) r.status = WEXITSTATUS(status);
    return r;
}

Member Stored(const std::string& name, Bytes data) {
    Member m;
    m.name = name;
    m.data = std::move(data);
    return m;
}

// An -lh5- member whose first block header has a code-length count of 20.
Member CorruptLh5() {
    BitWriter w;
    w.Put(1, 16);
    w.Put(20, 5);
    Member m;
    m.name = "bad.bin";
    m.method = "-lh5-";
    m.data = w.Finish();
    m.data.resize(8, 0);
    m.originalSize = 10;
    return m;
}

class LzhxTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = MakeTempDir();
        archive = dir + "/a.lzh";
        out = dir + "/out";
    }
    std::string dir, archive, out;
};

TEST_F(LzhxTest, ExitCodeIsTheEngineError) {
    Member good = Stored("good.txt", {'o', 'k'});
    Member crc = Stored("crc.bin", {1, 2, 3});
    crc.crc = 0x1234;
    Member lh1 = Stored("lh1.bin", {1});
    lh1.method = "-lh1-";
    Bytes badNext = MemberBytes(good, 2);
    Bytes garbage = Level2Header(Stored("x", {1}));
    garbage[20] = 7;  // level 7
    badNext.insert(badNext.end(), garbage.begin(), garbage.end());
    WriteFile(dir + "/file", {1});
    mkdir(out.c_str(), 0755);
    mkdir((out + "/sub").c_str(), 0755);

    const struct {
        const char* what;
        Bytes archive;
        std::string dest, prefix;
        int status;
    } cases[] = {
        {"success", Archive({good}), out, "", 0},
        {"no archive file", {}, out, "", 1},
        {"destination is a file", Archive({good}), dir + "/file", "", 2},
        {"member's file cannot be created", Archive({Stored("sub", {1})}), out, "", 3},
        // Writes beyond the file size limit fail (the signal is ignored).
        {"write fails", Archive({Stored("big.bin", RandomBytes(100000, 1))}), out,
         "trap '' XFSZ; ulimit -f 20; ", 4},
        {"no archive in the file", RandomBytes(3000, 2), out, "", 5},
        {"bad following header", badNext, out, "", 6},
        {"corrupt -lh5- data", Archive({CorruptLh5()}), out, "", 7},
        {"unsupported method", Archive({lh1}), out, "", 8},
        {"CRC mismatch", Archive({crc}), out, "", 9},
    };
    for (auto& c : cases) {
        std::string path = c.archive.empty() ? dir + "/missing.lzh" : archive;
        if (!c.archive.empty()) WriteFile(path, c.archive);
        Result r = Lzhx("x " + Quote(path) + " " + Quote(c.dest), c.prefix);
        EXPECT_EQ(r.status, c.status) << c.what;
    }
}

TEST_F(LzhxTest, UsageErrors) {
    WriteFile(archive, Archive({Stored("a", {1})}));
    const std::string argsList[] = {
        "", "x", "x " + archive, "l", "l " + archive + " extra", "z " + archive + " " + out,
        "x " + archive + " " + out + " a b",
        // A folder name with no code page 932 form.
        "x " + archive + " " + Quote(out + "/\xF0\x9F\x98\x80")};
    for (const std::string& args : argsList) {
        EXPECT_EQ(Lzhx(args).status, 64) << args;
    }
}

TEST_F(LzhxTest, Cp932NamesBecomeUtf8FileNames) {
    // 日本語.txt and 表.txt (whose second byte is 0x5C) in code page 932.
    Member jp = Stored("dir\\\x93\xfa\x96\x7b\x8c\xea.txt", {1, 2});
    Member hyo = Stored("\x95\x5C.txt", {3});
    WriteFile(archive, Archive({jp, hyo}));
    Result r = Lzhx("x " + Quote(archive) + " " + Quote(out));
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(ReadFile(out + "/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt"), (Bytes{1, 2}));
    EXPECT_EQ(ReadFile(out + "/\xE8\xA1\xA8.txt"), Bytes{3});
    EXPECT_NE(r.output.find("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt"), std::string::npos);

    // A member named on the command line in UTF-8.
    Result one = Lzhx("x " + Quote(archive) + " " + Quote(dir + "/one") + " \xE8\xA1\xA8.TXT");
    EXPECT_EQ(one.status, 0);
    EXPECT_TRUE(FileExists(dir + "/one/\xE8\xA1\xA8.txt"));
    EXPECT_FALSE(FileExists(dir + "/one/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt"));
}

TEST_F(LzhxTest, ListingShowsEachMember) {
    const std::string data = LZH_TEST_DATA_DIR;
    // Archives inside other files are found: junk goes first.
    Bytes file = RandomBytes(5000, 3);
    for (auto& b : file)
        if (b == '-') b = 0;
    Bytes fixture = ReadFile(data + "/level2_lh5.lzh");
    ASSERT_FALSE(fixture.empty());
    file.insert(file.end(), fixture.begin(), fixture.end());
    WriteFile(archive, file);

    Result r = Lzhx("l " + Quote(archive));
    ASSERT_EQ(r.status, 0);
    const char* lines[] = {
        "ReadMe.txt",
        "-lh5-       2034      14295 8863   2021-03-04 05:06:08 2",
        "data.bin",
        "-lh5-       4560       6000 8D5F   2021-03-04 05:06:08 2",
        "empty.txt",
        "-lh0-          0          0 0000   2021-03-04 05:06:08 2",
        "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt",
        "-lh5-         52        620 F4E0   2021-03-04 05:06:08 2",
    };
    for (const char* text : lines) EXPECT_NE(r.output.find(text), std::string::npos) << text;

    for (const char* level : {"0", "1"}) {
        Result l = Lzhx("l " + Quote(data + "/level" + level + "_lh5.lzh"));
        EXPECT_EQ(l.status, 0);
        EXPECT_NE(l.output.find(std::string("8863   2021-03-04 05:06:08 ") + level),
                  std::string::npos)
            << l.output;
    }

    Result x = Lzhx("x " + Quote(archive) + " " + Quote(out));
    EXPECT_EQ(x.status, 0);
    EXPECT_EQ(ReadFile(out + "/data.bin").size(), 6000u);

    WriteFile(dir + "/junk", RandomBytes(100, 4));
    EXPECT_EQ(Lzhx("l " + Quote(dir + "/junk")).status, 5);
    EXPECT_EQ(Lzhx("l " + Quote(dir + "/missing")).status, 1);
}

}  // namespace
