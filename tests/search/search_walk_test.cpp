// The walk for an installed copy, over real trees on mapped drives.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "installer/search_walk.h"

// Owned by the installer's main flow, which this test does not link.
char g_folder[260];
char g_text[1024];

// Allocation failures for the walk's frames, the only nothrow allocations
// made: when g_failAllocation reaches 0 that allocation fails.
static long g_failAllocation = -1;
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (g_failAllocation >= 0 && g_failAllocation-- == 0) return nullptr;
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

namespace fs = std::filesystem;

namespace {

// Seconds for a local calendar time "YYYY-MM-DD HH:MM:SS"; any time, even
// outside 32 bits.
time_t LocalTime(const char* text) {
    struct tm tm = {};
    if (sscanf(text, "%d-%d-%d %d:%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
               &tm.tm_hour, &tm.tm_min, &tm.tm_sec) != 6)
        abort();
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    tm.tm_isdst = -1;
    return mktime(&tm);
}

int OpenDescriptors() {
    int n = 0;
    DIR* d = opendir("/proc/self/fd");
    while (readdir(d) != nullptr) ++n;
    closedir(d);
    return n;
}

int StackDepth() {
    int n = 0;
    for (SearchFrame* f = g_searchTop; f != nullptr; f = f->next) ++n;
    return n;
}

class SearchWalk : public ::testing::Test {
public:
    void SetUp() override {
        tzset();
        char pattern[] = "/tmp/searchtest.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_root = pattern;
        ClearDriveMappings();
        g_failAllocation = -1;
        m_descriptors = OpenDescriptors();
    }
    void TearDown() override {
        SearchFreeAll();
        ClearDriveMappings();
        // Every listing closed, whichever way the walk ended.
        EXPECT_EQ(OpenDescriptors(), m_descriptors);
        fs::remove_all(m_root);
    }

    // A drive whose root is <root>/<letter>; created unless told otherwise.
    void Drive(char letter, UINT type = DRIVE_FIXED, bool create = true) {
        std::string folder = m_root + "/" + letter;
        if (create) fs::create_directories(folder);
        ASSERT_TRUE(SetDriveMapping(letter, folder.c_str(), type));
    }
    // Paths are "D/a/b" style: the drive letter, then the folders.
    std::string Native(const std::string& path) { return m_root + "/" + path; }
    void Folder(const std::string& path) { fs::create_directories(Native(path)); }
    // A sparse file of the size, last written at the local time.
    void File(const std::string& path, off_t size, const char* when) {
        std::string name = Native(path);
        fs::create_directories(fs::path(name).parent_path());
        int fd = open(name.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, size), 0);
        struct timespec times[2] = {{LocalTime(when), 0}, {LocalTime(when), 0}};
        ASSERT_EQ(futimens(fd, times), 0);
        close(fd);
    }
    // Hidden the way Wine keeps the attribute.
    void Hide(const std::string& path) {
        ASSERT_EQ(setxattr(Native(path).c_str(), "user.DOSATTRIB", "0x2", 3, 0), 0);
    }

    // The whole search as the dialog runs it; the number of steps taken.
    long Search() {
        long steps = 0;
        if (!SearchStart()) return steps;
        while (SearchAdvance()) {
            ++steps;
            m_maxDepth = std::max(m_maxDepth, StackDepth());
        }
        return steps;
    }

    std::string m_root;
    int m_descriptors = 0;
    int m_maxDepth = 0;
};

const char kExact[] = "2000-04-13 09:00:00";  // row 4's date
const off_t kExactSize = 1228800;
const char kOther[] = "2010-01-01 12:00:00";

TEST_F(SearchWalk, EveryReleaseRowIsRecognisedBySizeAndLocalDate) {
    struct Case {
        off_t size;
        const char* when;
        bool exact;
    } cases[] = {
        {1015808, "1999-11-01 00:00:00", true},  {1015808, "2000-01-29 23:59:59", true},
        {1085440, "2000-02-17 11:35:34", true},  {1085440, "2000-03-03 00:00:01", true},
        {1228800, "2000-04-13 12:57:08", true},  {1302528, "2000-06-13 17:46:24", true},
        {1540096, "2001-02-07 01:13:08", true},  {1564672, "2001-05-26 02:52:04", true},
        {1724416, "2002-05-15 10:14:37", true},  {1912832, "2003-03-30 20:08:11", true},
        // The size of a release with another release's or no release's date.
        {1015808, "2000-02-17 11:35:34", false}, {1085440, "1999-11-01 14:41:06", false},
        {1912832, "2003-03-31 00:00:00", false}, {1912832, "2003-03-29 23:59:59", false},
        // A release's date with a size one byte off.
        {1912833, "2003-03-30 20:08:11", false}, {1228799, "2000-04-13 12:57:08", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + " " + c.when);
        fs::remove_all(Native("D"));
        Drive('D');
        File("D/app/Quorval.exe", c.size, c.when);
        Search();
        EXPECT_STREQ(g_folder, "D:\\app\\");
        EXPECT_EQ(g_foundExact, c.exact);
    }
}

// Each case builds its drives, searches, and names the folder it must find.
struct Scenario {
    const char* what;
    void (*build)(SearchWalk* s);
    const char* folder;
    bool exact;
};

TEST_F(SearchWalk, ScenariosEndWithTheRightFolder) {
    const Scenario scenarios[] = {
        {"no drive at all", [](SearchWalk*) {}, "", false},
        {"only drives that are not fixed",
         [](SearchWalk* s) {
             s->Drive('D', DRIVE_REMOVABLE);
             s->Drive('E', DRIVE_REMOTE);
             s->Drive('F', DRIVE_CDROM);
             s->Drive('G', DRIVE_RAMDISK);
             for (const char* d : {"D", "E", "F", "G"})
                 s->File(std::string(d) + "/Quorval.exe", kExactSize, kExact);
         },
         "", false},
        {"a fixed drive whose root cannot be listed is passed over",
         [](SearchWalk* s) {
             s->Drive('C', DRIVE_FIXED, false);
             s->Drive('D');
             s->File("D/x/Quorval.exe", 1, kOther);
         },
         "D:\\x\\", false},
        {"the name in capitals, deep in the tree",
         [](SearchWalk* s) {
             s->Drive('D');
             s->File("D/a/b/c/d/e/QUORVAL.EXE", kExactSize, "2000-04-13 23:30:00");
             s->File("D/a/b/other.exe", kExactSize, kExact);
         },
         "D:\\a\\b\\c\\d\\e\\", true},
        {"a folder named like the executable is entered, not matched",
         [](SearchWalk* s) {
             s->Drive('D');
             s->Folder("D/Quorval.exe/inner");
             s->File("D/Quorval.exe/inner/qUORVAL.exe", 5, kOther);
         },
         "D:\\Quorval.exe\\inner\\", false},
        {"dot and hidden folders are not searched",
         [](SearchWalk* s) {
             s->Drive('D');
             s->File("D/.config/Quorval.exe", kExactSize, kExact);
             s->File("D/secret/Quorval.exe", kExactSize, kExact);
             s->Hide("D/secret");
         },
         "", false},
        {"a hidden executable is tested",
         [](SearchWalk* s) {
             s->Drive('D');
             s->File("D/p/Quorval.exe", kExactSize, kExact);
             s->Hide("D/p/Quorval.exe");
         },
         "D:\\p\\", true},
        {"an inexact copy first, an exact one later",
         [](SearchWalk* s) {
             s->Drive('D');
             s->Drive('E');
             s->File("D/old/Quorval.exe", 7, kOther);
             s->File("E/new/Quorval.exe", kExactSize, kExact);
         },
         "E:\\new\\", true},
        {"two inexact copies on two drives: the first drive's",
         [](SearchWalk* s) {
             s->Drive('E');
             s->Drive('D');
             s->File("D/one/Quorval.exe", 7, kOther);
             s->File("E/Quorval.exe", 7, kOther);
         },
         "D:\\one\\", false},
        {"two inexact copies, parent and child: the parent's",
         [](SearchWalk* s) {
             s->Drive('D');
             s->File("D/x/y/Quorval.exe", 7, kOther);
             s->File("D/x/Quorval.exe", 8, kOther);
         },
         "D:\\x\\", false},
        {"two exact copies: the search stops at the first",
         [](SearchWalk* s) {
             s->Drive('D');
             s->Drive('Z');
             s->File("D/Quorval.exe", kExactSize, kExact);
             s->File("Z/Quorval.exe", 1015808, "1999-11-01 14:41:06");
         },
         "D:\\", true},
        {"a time beyond 32 bits has no date: found, not exact",
         [](SearchWalk* s) {
             s->Drive('D');
             s->File("D/future/Quorval.exe", kExactSize, "2040-04-13 09:00:00");
         },
         "D:\\future\\", false},
        {"a time before 1970 has no date: found, not exact",
         [](SearchWalk* s) {
             s->Drive('D');
             s->File("D/past/Quorval.exe", kExactSize, "1960-04-13 09:00:00");
         },
         "D:\\past\\", false},
    };
    for (const Scenario& sc : scenarios) {
        SCOPED_TRACE(sc.what);
        for (char d = 'A'; d <= 'Z'; ++d) fs::remove_all(Native(std::string(1, d)));
        ClearDriveMappings();
        sc.build(this);
        Search();
        EXPECT_STREQ(g_folder, sc.folder);
        EXPECT_EQ(g_foundExact, sc.exact);
        EXPECT_EQ(g_searchTop, nullptr);
        // Without an exact copy the walk takes every drive.
        if (!sc.exact) {
            EXPECT_EQ(g_drivesLeft, 0u);
        }
    }
}

// Entries of a folder are all tested before a subfolder is entered: with
// many subfolders, some are listed before the folder's own executable.
TEST_F(SearchWalk, AFoldersEntriesComeBeforeItsSubfolders) {
    Drive('D');
    for (int i = 0; i < 24; ++i)
        File("D/x/sub" + std::to_string(i) + "/Quorval.exe", 7, kOther);
    File("D/x/Quorval.exe", 8, kOther);
    Search();
    EXPECT_STREQ(g_folder, "D:\\x\\");
}

// Depth first: a copy two levels down in the first subfolder listed wins
// over one level down in the second.
TEST_F(SearchWalk, SubfoldersAreWalkedDepthFirstInListingOrder) {
    Drive('D');
    File("D/a/a1/Quorval.exe", 7, kOther);
    File("D/b/Quorval.exe", 7, kOther);
    FolderEntry entry;
    intptr_t h = StartListing("D:\\*.*", &entry);
    ASSERT_NE(h, -1);
    std::string first = entry.name;
    CloseListing(h);
    Search();
    EXPECT_STREQ(g_folder, first == "a" ? "D:\\a\\a1\\" : "D:\\b\\");
}

TEST_F(SearchWalk, AnExactCopyFirstInTheRootEndsTheSearchAtOnce) {
    Drive('D');
    File("D/Quorval.exe", kExactSize, kExact);
    File("E/Quorval.exe", 7, kOther);
    Drive('E');
    EXPECT_FALSE(SearchStart());
    EXPECT_STREQ(g_folder, "D:\\");
    EXPECT_TRUE(g_foundExact);
    EXPECT_EQ(g_searchTop, nullptr);
}

// A new search forgets the last one's result.
TEST_F(SearchWalk, EverySearchStartsAfresh) {
    Drive('D');
    File("D/x/Quorval.exe", kExactSize, kExact);
    Search();
    ASSERT_STREQ(g_folder, "D:\\x\\");
    fs::remove(Native("D/x/Quorval.exe"));
    Search();
    EXPECT_STREQ(g_folder, "");
    EXPECT_FALSE(g_foundExact);
}

// Memory holds one frame per level, however many files there are.
TEST_F(SearchWalk, MemoryIsOneFramePerLevel) {
    Drive('D');
    std::string path = "D";
    for (int level = 1; level <= 6; ++level) {
        path += "/l" + std::to_string(level);
        for (int i = 0; i < 30; ++i) File(path + "/f" + std::to_string(i), 0, kOther);
        Folder(path + "/empty");
    }
    long steps = Search();
    EXPECT_GE(steps, 6 * 30);
    EXPECT_EQ(m_maxDepth, 8);  // the root, six levels and the last "empty"
}

TEST_F(SearchWalk, StoppingMidwayClosesEveryListing) {
    Drive('D');
    for (int i = 0; i < 20; ++i) File("D/a/b/c/f" + std::to_string(i), 0, kOther);
    ASSERT_TRUE(SearchStart());
    while (StackDepth() < 4) ASSERT_TRUE(SearchAdvance());
    SearchAdvance();
    SearchFreeAll();
    EXPECT_EQ(g_searchTop, nullptr);
    // TearDown compares the open descriptors.
}

TEST_F(SearchWalk, PushFolderLeavesTheStackAsItWasWhenItCannotList) {
    Drive('D');
    Folder("D/there");
    // 258 bytes, 261 with "*.*": no room for the terminator.
    std::string tooLong = "D:\\" + std::string(254, 'n') + "\\";
    for (const std::string& path : {std::string("D:\\missing\\"), tooLong}) {
        SCOPED_TRACE(path.substr(0, 20));
        EXPECT_FALSE(SearchPushFolder(path.c_str()));
        EXPECT_EQ(g_searchTop, nullptr);
    }
    EXPECT_TRUE(SearchPushFolder("D:\\there\\"));
    ASSERT_NE(g_searchTop, nullptr);
    EXPECT_STREQ(g_searchTop->path, "D:\\there\\");
    EXPECT_FALSE(SearchPushFolder("D:\\missing\\"));
    EXPECT_STREQ(g_searchTop->path, "D:\\there\\");
    EXPECT_EQ(g_searchTop->next, nullptr);
}

// A subfolder whose path with "*.*" would not fit 260 bytes is never
// entered; its shorter siblings are.
TEST_F(SearchWalk, AFolderTooLongForAPathIsNotEntered) {
    Drive('D');
    // "D:\" and four 60-byte levels are 247 bytes: an 8-byte name with
    // "\*.*" and the terminator fills 260 exactly, a 9-byte one does not.
    std::string deep = "D";
    for (int i = 0; i < 4; ++i) deep += "/" + std::string(60, (char)('a' + i));
    File(deep + "/" + std::string(9, 'x') + "/Quorval.exe", kExactSize, kExact);
    File(deep + "/" + std::string(8, 'y') + "/Quorval.exe", 7, kOther);
    Search();
    std::string expected = "D:";
    for (int i = 0; i < 4; ++i) expected += "\\" + std::string(60, (char)('a' + i));
    expected += "\\" + std::string(8, 'y') + "\\";
    EXPECT_EQ(std::string(g_folder), expected);
    EXPECT_FALSE(g_foundExact);
}

// A folder that vanishes between its two listings ends its drive's walk;
// the next drive is still searched.
TEST_F(SearchWalk, AFolderThatCannotBeListedAgainEndsItsDrive) {
    Drive('D');
    Drive('E');
    for (int i = 0; i < 5; ++i) File("D/x/f" + std::to_string(i), 0, kOther);
    File("D/x/sub/Quorval.exe", kExactSize, kExact);
    File("D/y/Quorval.exe", kExactSize, kExact);
    File("E/Quorval.exe", 7, kOther);
    ASSERT_TRUE(SearchStart());
    while (g_searchTop == nullptr || strcmp(g_searchTop->path, "D:\\x\\") != 0)
        ASSERT_TRUE(SearchAdvance());
    fs::rename(Native("D/x"), Native("D/gone"));
    while (SearchAdvance()) {
    }
    EXPECT_STREQ(g_folder, "E:\\");
    EXPECT_FALSE(g_foundExact);
}

TEST_F(SearchWalk, AFrameThatCannotBeAllocatedEndsItsDriveCleanly) {
    struct Case {
        const char* what;
        long failing;  // number of the frame allocation that fails
    } cases[] = {
        {"the root's frame: the drive is passed over", 0},
        {"a subfolder's frame: the drive is given up", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (char d : {'D', 'E'}) fs::remove_all(Native(std::string(1, d)));
        Drive('D');
        Drive('E');
        File("D/a/b/Quorval.exe", kExactSize, kExact);
        File("E/Quorval.exe", 7, kOther);
        g_failAllocation = c.failing;
        Search();
        g_failAllocation = -1;
        EXPECT_STREQ(g_folder, "E:\\");
        EXPECT_EQ(g_searchTop, nullptr);
    }
}

TEST(SearchMarquee, ArrowsMoveOnePlacePerPhase) {
    for (int phase = 0; phase < 10; ++phase) {
        g_marqueePhase = phase;
        FormSearchMarquee();
        std::string expected;
        for (int i = 0; i < 45; ++i) expected += i % 10 == phase ? '>' : '\xA5';
        EXPECT_EQ(std::string(g_text), expected) << "phase " << phase;
    }
}

}  // namespace
