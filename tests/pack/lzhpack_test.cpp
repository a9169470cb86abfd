// The lzhpack command: archives that the engine and other LZH tools read
// alike, the same bytes on every run, and failures that leave nothing
// behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/lzh_extractor.h"
#include "tests/support/engine_run.h"
#include "tests/support/lzh_builder.h"

using namespace lzhtest;

namespace {

int RunLzhpack(const std::string& args, std::string* errors = nullptr) {
    static int counter = 0;
    std::string log = "/tmp/lzhpack_test_" + std::to_string(getpid()) + "_" +
                      std::to_string(counter++) + ".log";
    int status = std::system((std::string(LZHPACK_EXE) + " " + args + " >" + log + " 2>&1").c_str());
    if (errors) {
        std::ifstream in(log);
        errors->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    remove(log.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveTool(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::vector<std::string> Listing(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct Entry {
    std::string name;
    int32_t method;
    int32_t time;
};

// The members' headers as the engine reads them.
std::vector<Entry> Members(const std::string& archive) {
    CLzhExtractor engine;
    std::vector<Entry> out;
    if (!engine.OpenArchive(archive.c_str())) return out;
    while (engine.m_headerSize > 0) {
        out.push_back({engine.m_name, engine.m_method, engine.m_time});
        if (engine.ReadNextHeader() != EXTRACT_OK) break;
    }
    engine.Abort();
    return out;
}

// A folder of files the kinds an application ships.
std::string MakeInputs() {
    std::string dir = MakeTempDir() + "/in";
    mkdir(dir.c_str(), 0755);
    Bytes text;
    for (int i = 0; i < 3000; ++i) {
        std::string line = "line " + std::to_string(i % 37) + " of the read-me file\r\n";
        text.insert(text.end(), line.begin(), line.end());
    }
    WriteFile(dir + "/ReadMe.txt", text);
    WriteFile(dir + "/b.bin", RandomBytes(30000, 1));
    WriteFile(dir + "/c.dat", Bytes(20000, 0));
    WriteFile(dir + "/empty", Bytes());
    WriteFile(dir + "/\xE8\xAA\xAC\xE6\x98\x8E.txt", text);  // 説明.txt
    return dir;
}

TEST(Lzhpack, FolderExtractsIdenticallyWithEveryReader) {
    std::string in = MakeInputs();
    std::string work = MakeTempDir();
    std::string archive = work + "/a.lzh";
    ASSERT_EQ(RunLzhpack("--time=1094040000 " + archive + " " + in), 0);

    std::vector<Entry> members = Members(archive);
    ASSERT_EQ(members.size(), 5u);
    EXPECT_EQ(members[0].name, "ReadMe.txt");  // name order
    EXPECT_EQ(members[4].name, "\x90\xE0\x96\xBE.txt");  // 説明.txt in code page 932
    for (const Entry& e : members) {
        EXPECT_EQ(e.method, METHOD_LH5) << e.name;
        EXPECT_EQ(e.time, 1094040000) << e.name;
    }
    Bytes bytes = ReadFile(archive);
    EXPECT_EQ(bytes.back(), 0);

    CLzhExtractor engine;
    ASSERT_EQ(ExtractAll(engine, archive, work + "/engine"), EXTRACT_OK);
    struct Peer {
        const char* tool;
        std::string command;
    };
    const Peer peers[] = {
        {"lhasa", "cd " + work + "/lhasa && lhasa xq " + archive},
        {"7z", "7z x -y -o" + work + "/7z " + archive},
    };
    std::vector<std::string> outputs = {work + "/engine"};
    for (const Peer& p : peers) {
        if (!HaveTool(p.tool)) continue;
        mkdir((work + "/" + p.tool).c_str(), 0755);
        ASSERT_EQ(std::system((p.command + " >/dev/null 2>&1").c_str()), 0) << p.tool;
        outputs.push_back(work + "/" + p.tool);
    }
    for (const std::string& out : outputs) {
        for (const std::string& name : Listing(in)) {
            // The engine writes code page 932 names; peers may keep either form.
            std::string path = out + "/" + name;
            if (!FileExists(path) && name == "\xE8\xAA\xAC\xE6\x98\x8E.txt")
                path = out + "/\x90\xE0\x96\xBE.txt";
            ASSERT_TRUE(FileExists(path)) << out << " lacks " << name;
            EXPECT_EQ(ReadFile(path), ReadFile(in + "/" + name)) << out << "/" << name;
        }
    }
}

TEST(Lzhpack, SameInputsGiveSameBytesWhateverTheClock) {
    std::string in = MakeInputs();
    std::string work = MakeTempDir();
    ASSERT_EQ(RunLzhpack("--time=1094040000 " + work + "/1.lzh " + in), 0);
    ASSERT_EQ(std::system(("touch -d 2021-01-01 " + in + "/*").c_str()), 0);
    ASSERT_EQ(RunLzhpack("--time=1094040000 " + work + "/2.lzh " + in), 0);
    EXPECT_EQ(ReadFile(work + "/1.lzh"), ReadFile(work + "/2.lzh"));
}

TEST(Lzhpack, TimesListGivesEachMemberItsTime) {
    std::string in = MakeInputs();
    std::string work = MakeTempDir();
    std::string list = work + "/times.txt";
    std::ofstream(list) << "# comment\n2004-09-01 12:00:00 ReadMe.txt\n"
                           "1999-12-31 23:59:58 c.dat\n";
    ASSERT_EQ(RunLzhpack("--time=0 --times=" + list + " " + work + "/a.lzh " + in + "/ReadMe.txt " +
                  in + "/c.dat " + in + "/b.bin"),
              0);
    std::vector<Entry> members = Members(work + "/a.lzh");
    ASSERT_EQ(members.size(), 3u);
    EXPECT_EQ(members[0].time, 1094040000);
    EXPECT_EQ(members[1].time, 946684798);
    EXPECT_EQ(members[2].time, 0);  // not listed: --time
}

TEST(Lzhpack, FailuresLeaveNoArchiveBehind) {
    std::string in = MakeInputs();
    std::string bad = MakeTempDir();
    WriteFile(bad + "/ok.txt", Bytes{1});
    mkdir((bad + "/sub").c_str(), 0755);
    std::string cases = MakeTempDir();
    WriteFile(cases + "/A.txt", Bytes{1});
    WriteFile(cases + "/a.TXT", Bytes{2});
    WriteFile(cases + "/\xF0\x9F\x98\x80.txt", Bytes{3});  // no code page 932 form
    std::string big = cases + "/big.bin";
    ASSERT_EQ(truncate((WriteFile(big, Bytes()), big.c_str()), 0x80000000ll), 0);
    WriteFile(cases + "/times_bad.txt", Bytes{'x', '\n'});
    std::ofstream(cases + "/times_other.txt") << "2004-01-01 00:00:00 nothere.txt\n";

    struct Row {
        const char* what;
        std::string inputs;
        const char* message;
    };
    const Row rows[] = {
        {"missing input", in + "/nothere", "cannot read"},
        {"folder inside a folder", bad, "inside an input"},
        {"names differing in case", cases + "/A.txt " + cases + "/a.TXT", "two members"},
        {"name without code page 932 form", cases + "/\xF0\x9F\x98\x80.txt", "code page 932"},
        {"file over 2 GB", big, "2 GB"},
        {"bad times list", "--times=" + cases + "/times_bad.txt " + in, "expected"},
        {"times list names no input", "--times=" + cases + "/times_other.txt " + in, "not an input"},
    };
    for (const Row& row : rows) {
        std::string work = MakeTempDir();
        std::string archive = work + "/a.lzh";
        std::string options, inputs = row.inputs;
        if (inputs.compare(0, 2, "--") == 0) {
            options = inputs.substr(0, inputs.find(' ') + 1);
            inputs = inputs.substr(options.size());
        }
        std::string errors;
        EXPECT_NE(RunLzhpack(options + archive + " " + inputs, &errors), 0) << row.what;
        EXPECT_NE(errors.find(row.message), std::string::npos) << row.what << ": " << errors;
        EXPECT_TRUE(Listing(work).empty()) << row.what << ": something was left in " << work;
    }

    // An archive that was there before stays as it was.
    std::string work = MakeTempDir();
    WriteFile(work + "/a.lzh", Bytes{'o', 'l', 'd'});
    EXPECT_NE(RunLzhpack(work + "/a.lzh " + in + "/nothere " + in), 0);
    EXPECT_EQ(ReadFile(work + "/a.lzh"), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(Listing(work).size(), 1u);
}

// The sample application's data files, packed twice as the build does.
TEST(Lzhpack, SamplePayloadPacksReproducibly) {
    std::string files = std::string(PAYLOAD_SOURCE_DIR) + "/files";
    std::string times = std::string(PAYLOAD_SOURCE_DIR) + "/times.txt";
    std::string work = MakeTempDir();
    std::string args = "--time=1094040000 --times=" + times + " ";
    // times.txt also names Quorval.exe, which only the Windows build makes.
    WriteFile(work + "/Quorval.exe", Bytes{'M', 'Z'});
    std::string inputs = " " + work + "/Quorval.exe " + files;
    ASSERT_EQ(RunLzhpack(args + work + "/1.lzh" + inputs), 0);
    ASSERT_EQ(RunLzhpack(args + work + "/2.lzh" + inputs), 0);
    EXPECT_EQ(ReadFile(work + "/1.lzh"), ReadFile(work + "/2.lzh"));
    EXPECT_EQ(Members(work + "/1.lzh").size(), 15u);
}

// The archive of the Windows build: what the installer expects of it, and
// the same bytes when its members are packed again.
TEST(Lzhpack, WindowsBuildArchive) {
    std::string build = WINDOWS_BUILD_DIR;
    std::string archive = build + "/payload/quorvalinex.lzh";
    if (!FileExists(archive)) GTEST_SKIP() << "no Windows build at " << build;
    std::vector<Entry> members = Members(archive);
    ASSERT_EQ(members.size(), 15u);
    bool readMe = false, program = false;
    for (const Entry& e : members) {
        EXPECT_EQ(e.method, METHOD_LH5) << e.name;
        readMe |= e.name == "ReadMe.txt";
        program |= e.name == "Quorval.exe";
    }
    EXPECT_TRUE(readMe && program);
    EXPECT_LT(ReadFile(archive).size(), 1000000u);

    std::string stage = build + "/payload/stage";
    if (!FileExists(stage + "/ReadMe.txt")) GTEST_SKIP() << "built from another payload folder";
    std::string inputs = build + "/payload/app/Quorval.exe";
    for (const Entry& e : members) {
        if (e.name == "Quorval.exe") continue;
        std::string path = stage + "/" + e.name;
        if (!FileExists(path)) path = std::string(PAYLOAD_SOURCE_DIR) + "/files/" + e.name;
        inputs += " " + path;
    }
    std::string work = MakeTempDir();
    ASSERT_EQ(RunLzhpack("--time=1094040000 --times=" + std::string(PAYLOAD_SOURCE_DIR) +
                  "/times.txt " + work + "/again.lzh " + inputs),
              0);
    EXPECT_EQ(ReadFile(work + "/again.lzh"), ReadFile(archive));
}

}  // namespace
