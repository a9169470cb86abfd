// Archives written by jlha at header levels 0, 1 and 2 (made here from
// generated files, and the committed ones in tests/data) extract to the
// same bytes and times with the engine as with lhasa and 7z. A missing
// peer tool fails the test: nothing is skipped.
#include <gtest/gtest.h>

#include <dirent.h>
#include <map>
#include <random>
#include <string>
#include <sys/stat.h>
#include <utime.h>

#include "engine/lzh_extractor.h"
#include "tests/support/engine_run.h"
#include "tests/support/lzh_builder.h"

using namespace lzhtest;

namespace {

struct Extracted {
    Bytes bytes;
    time_t mtime;
};

// Regular files of a folder by name; peers write code page 932 names as
// they are stored, so those are turned into UTF-8 to match the engine's.
std::map<std::string, Extracted> Files(const std::string& folder, bool cp932Names) {
    std::map<std::string, Extracted> files;
    DIR* d = opendir(folder.c_str());
    if (d == nullptr) return files;
    while (struct dirent* entry = readdir(d)) {
        std::string path = folder + "/" + entry->d_name;
        struct stat st;
        if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        std::string name = entry->d_name;
        char utf8[1024];
        if (cp932Names && AnsiPathToNative(entry->d_name, utf8, sizeof utf8)) name = utf8;
        files[name] = Extracted{ReadFile(path), st.st_mtime};
    }
    closedir(d);
    return files;
}

int Shell(const std::string& command) { return system(command.c_str()); }

std::string Quote(const std::string& s) { return "'" + s + "'"; }

class PeerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void SetUp() override {
        for (const char* tool : {"jlha", "lhasa", "7z"})
            ASSERT_EQ(Shell(std::string("command -v ") + tool + " >/dev/null"), 0)
                << tool << " is missing: install it with scripts/install-deps.sh";
        dir = MakeTempDir();
    }

    // Extracts with the engine, lhasa and 7z, and checks that all three
    // agree on every file's bytes and time; returns the engine's files.
    std::map<std::string, Extracted> ExtractWithEveryone(const std::string& archive) {
        const std::string engineDir = dir + "/engine", lhasaDir = dir + "/lhasa",
                          sevenDir = dir + "/7z";
        Shell("rm -rf " + Quote(engineDir) + " " + Quote(lhasaDir) + " " + Quote(sevenDir));
        CLzhExtractor engine;
        EXPECT_EQ(ExtractAll(engine, archive, engineDir), EXTRACT_OK) << archive;
        EXPECT_EQ(Shell("mkdir -p " + Quote(lhasaDir) + " && cd " + Quote(lhasaDir) +
                        " && lhasa xq " + Quote(archive) + " >/dev/null"),
                  0);
        EXPECT_EQ(Shell("7z x -y -o" + Quote(sevenDir) + " " + Quote(archive) + " >/dev/null"),
                  0);
        auto ours = Files(engineDir, false);
        auto lhasa = Files(lhasaDir, true);
        auto seven = Files(sevenDir, true);
        EXPECT_FALSE(ours.empty()) << archive;
        for (auto* peer : {&lhasa, &seven}) {
            const char* who = peer == &lhasa ? "lhasa" : "7z";
            EXPECT_EQ(ours.size(), peer->size()) << who << " " << archive;
            for (auto& [name, file] : *peer) {
                auto it = ours.find(name);
                if (it == ours.end()) {
                    ADD_FAILURE() << who << " wrote " << name << " from " << archive;
                    continue;
                }
                EXPECT_TRUE(it->second.bytes == file.bytes) << name << " vs " << who;
                EXPECT_EQ(it->second.mtime, file.mtime) << name << " vs " << who;
            }
        }
        return ours;
    }

    std::string dir;
};

TEST_F(PeerTest, ArchivesMadeByJlhaAtEachLevel) {
    // Generated inputs: text that compresses well and needs several blocks,
    // binary with short repeats, random bytes (stored), an empty file and a
    // code page 932 name.
    const std::string src = dir + "/src";
    ASSERT_EQ(mkdir(src.c_str(), 0755), 0);
    std::mt19937 rng(2024);
    const char* words[] = {"setup", "member", "window", "table", "code", "block", "data",
                           "\x93\xfa\x96\x7b", "\x95\x5c\x8e\xa6"};
    std::string text;
    while (text.size() < 400000) {
        text += words[rng() % 9];
        text += rng() % 9 ? " " : "\r\n";
        if (rng() % 50 == 0) text += std::to_string(rng());
    }
    Bytes binary(150000);
    for (size_t i = 0; i < binary.size(); ++i)
        binary[i] = rng() % 4 ? (uint8_t)(i / 7) : (uint8_t)rng();
    const std::map<std::string, Bytes> inputs = {
        {"text.txt", Bytes(text.begin(), text.end())},
        {"binary.bin", binary},
        {"random.bin", RandomBytes(20000, 99)},
        {"empty.txt", {}},
        {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt", Bytes(text.begin(), text.begin() + 5000)},
    };
    const time_t stamp = 1600000000;  // an even second: level 0/1 keep 2 s
    std::string names;
    for (auto& [name, bytes] : inputs) {
        WriteFile(src + "/" + name, bytes);
        struct utimbuf times = {stamp, stamp};
        ASSERT_EQ(utime((src + "/" + name).c_str(), &times), 0);
        names += " " + Quote(name);
    }

    for (const char* options : {"a0q", "a1q", "a2q", "a0zq", "a2zq"}) {
        SCOPED_TRACE(options);
        const std::string archive = dir + "/" + options + ".lzh";
        ASSERT_EQ(Shell("cd " + Quote(src) + " && LC_ALL=ja_JP.UTF-8 TZ=UTC jlha " + options +
                        " " + Quote(archive) + names + " >/dev/null"),
                  0);
        auto ours = ExtractWithEveryone(archive);
        ASSERT_EQ(ours.size(), inputs.size());
        for (auto& [name, bytes] : inputs) {
            EXPECT_TRUE(ours[name].bytes == bytes) << name;
            EXPECT_EQ(ours[name].mtime, stamp) << name;
        }
    }
}

TEST_F(PeerTest, CommittedFixtures) {
    const std::string data = LZH_TEST_DATA_DIR;
    for (const char* name :
         {"level0_lh5.lzh", "level1_lh5.lzh", "level2_lh5.lzh", "level2_stored.lzh"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(FileExists(data + "/" + name)) << "fixture missing";
        auto ours = ExtractWithEveryone(data + "/" + name);
        for (auto& [file, extracted] : ours) EXPECT_EQ(extracted.mtime, 1614834368) << file;
    }
}

}  // namespace
