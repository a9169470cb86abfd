// The installer's path text rules: the multibyte-aware backslash search and
// the folder texts built on it. Texts are code page 932 bytes; 表 (95 5C)
// and ソ (83 5C) have a trail byte equal to a backslash.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "installer/path_text.h"
#include "installer/work_slice.h"

namespace {

#define HYO "\x95\x5C"  // 表
#define SO "\x83\x5C"   // ソ

struct FindCase {
    const char* what;
    const char* text;
    int expected;
};

TEST(ReverseFindChar, FindsOnlyBackslashesThatAreCharacters) {
    const FindCase cases[] = {
        {"empty text", "", -1},
        {"no backslash", "abc", -1},
        {"drive root", "C:\\", 2},
        {"last of several", "C:\\a\\b", 4},
        {"trailing", "C:\\a\\b\\", 6},
        {"trail byte 0x5C is not a backslash", "C:\\" HYO, 2},
        {"double-byte name then separator", "C:\\" HYO "\\", 5},
        {"two double-byte chars", "D:\\" SO HYO, 2},
        {"lead byte last is skipped", "C:\\a\\\x95", 4},
        {"lead byte before a non-trail byte", "C:\\\x95\x20\\", 5},
        {"half-width kana are single bytes", "\xB1\\\xB2", 1},
    };
    for (const FindCase& c : cases)
        EXPECT_EQ(ReverseFindChar(c.text, '\\'), c.expected) << c.what;
}

struct EndCase {
    const char* text;
    bool endsWith;
    bool removable;
};

TEST(BackslashTests, EndsAndRemovable) {
    const EndCase cases[] = {
        {"", true, false},  // empty counts as ending: nothing is appended
        {"C:\\", true, false},
        {"C:", false, false},
        {"C:\\Apps", false, false},
        {"C:\\Apps\\", true, true},
        {"C:\\" HYO, false, false},
        {"C:\\" HYO "\\", true, true},
        {"\\\\", true, false},  // index 1: too low to remove
        {"abc\\", true, true},
    };
    for (const EndCase& c : cases) {
        EXPECT_EQ(EndsWithBackslash(c.text), c.endsWith) << c.text;
        EXPECT_EQ(HasRemovableBackslash(c.text), c.removable) << c.text;
    }
}

TEST(AppendText, RefusesWhatDoesNotFitAndLeavesTextAlone) {
    char buffer[8] = "abc";
    EXPECT_TRUE(AppendText(buffer, sizeof buffer, "defg"));  // 7 bytes + NUL
    EXPECT_STREQ(buffer, "abcdefg");
    EXPECT_FALSE(AppendText(buffer, sizeof buffer, "h"));
    EXPECT_STREQ(buffer, "abcdefg");
    EXPECT_FALSE(AppendBackslashIfMissing(buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "abcdefg");
}

struct CutCase {
    const char* path;
    const char* folder;
};

TEST(CutAfterLastBackslash, GivesTheInstallerFolder) {
    const CutCase cases[] = {
        {"C:\\Downloads\\Setup.exe", "C:\\Downloads\\"},
        {"C:\\Setup.exe", "C:\\"},
        {"C:\\" HYO "\\Setup.exe", "C:\\" HYO "\\"},
        {"C:\\" HYO "Setup.exe", "C:\\"},
        {"Setup.exe", ""},
        {"", ""},
    };
    for (const CutCase& c : cases) {
        char path[kPathSize];
        strcpy(path, c.path);
        CutAfterLastBackslash(path);
        EXPECT_STREQ(path, c.folder) << c.path;
    }
}

TEST(DriveRootOf, CutsToTheRootOnlyForDriveLetterPaths) {
    const CutCase cases[] = {
        {"C:\\WINDOWS", "C:\\"},
        {"C:\\", "C:\\"},
        {"D:\\Win\\", "D:\\"},
        {"\\\\server\\win", "\\\\server\\win\\"},  // not a drive: kept whole
        {"C:", "C:\\"},
        {"", ""},
    };
    for (const CutCase& c : cases) {
        char text[kPathSize];
        strcpy(text, c.path);
        EXPECT_TRUE(DriveRootOf(text, sizeof text));
        EXPECT_STREQ(text, c.folder) << c.path;
    }
}

// The folder a registry value gives must take a separator and the name.
TEST(PrepareInstallFolder, AddsSeparatorAndRefusesFoldersTooLongForTheName) {
    const char* name = "Quorval.exe";  // 11 bytes: folders up to 248 bytes fit
    char folder[kPathSize];

    strcpy(folder, "C:\\Apps");
    EXPECT_TRUE(PrepareInstallFolder(folder, name));
    EXPECT_STREQ(folder, "C:\\Apps\\");

    strcpy(folder, "C:\\" HYO);  // the trail byte is no separator
    EXPECT_TRUE(PrepareInstallFolder(folder, name));
    EXPECT_STREQ(folder, "C:\\" HYO "\\");

    std::string longest = "C:\\" + std::string(244, 'a') + "\\";  // 248 bytes
    strcpy(folder, longest.c_str());
    EXPECT_TRUE(PrepareInstallFolder(folder, name));
    EXPECT_EQ(strlen(folder) + strlen(name), 259u);

    std::string unterminated = "C:\\" + std::string(245, 'a');  // 248 + separator
    strcpy(folder, unterminated.c_str());
    EXPECT_FALSE(PrepareInstallFolder(folder, name));
    EXPECT_EQ(unterminated, folder);

    std::string tooLong = "C:\\" + std::string(245, 'a') + "\\";  // 249 bytes
    strcpy(folder, tooLong.c_str());
    EXPECT_FALSE(PrepareInstallFolder(folder, name));
}

struct NormaliseCase {
    const char* absolute;
    const char* bare;
    const char* folder;
};

TEST(NormaliseFolder, OneFinalBackslashExceptAtTheRoot) {
    const NormaliseCase cases[] = {
        {"D:\\Apps\\Viewer", "D:\\Apps\\Viewer", "D:\\Apps\\Viewer\\"},
        {"D:\\Apps\\Viewer\\", "D:\\Apps\\Viewer", "D:\\Apps\\Viewer\\"},
        {"D:\\", "D:\\", "D:\\"},
        {"D:\\" HYO, "D:\\" HYO, "D:\\" HYO "\\"},
        {"D:\\" HYO "\\", "D:\\" HYO, "D:\\" HYO "\\"},
        {"\\\\srv\\share\\", "\\\\srv\\share", "\\\\srv\\share\\"},
    };
    for (const NormaliseCase& c : cases) {
        char bare[kPathSize];
        char folder[kPathSize];
        ASSERT_TRUE(NormaliseFolder(c.absolute, bare, folder, "Quorval.exe")) << c.absolute;
        EXPECT_STREQ(bare, c.bare) << c.absolute;
        EXPECT_STREQ(folder, c.folder) << c.absolute;
    }
}

TEST(NormaliseFolder, RefusesAFolderWithoutRoomForTheFileAfterIt) {
    char bare[kPathSize];
    char folder[kPathSize];
    std::string fits = "C:\\" + std::string(244, 'a');  // 247 + separator = 248
    EXPECT_TRUE(NormaliseFolder(fits.c_str(), bare, folder, "Quorval.exe"));
    std::string over = "C:\\" + std::string(245, 'a');  // 248 + separator = 249
    EXPECT_FALSE(NormaliseFolder(over.c_str(), bare, folder, "Quorval.exe"));
    // The shorter read-me name leaves room for one more byte.
    EXPECT_TRUE(NormaliseFolder(over.c_str(), bare, folder, "ReadMe.txt"));
    std::string full(259, 'a');  // no room for the separator at all
    EXPECT_FALSE(NormaliseFolder(full.c_str(), bare, folder, ""));
    std::string oversize(300, 'a');
    EXPECT_FALSE(NormaliseFolder(oversize.c_str(), bare, folder, ""));
}

// A fake clock that counts its reads.
int64_t g_now;
int g_clockReads;
int64_t FakeClock() {
    ++g_clockReads;
    return g_now;
}

TEST(WorkSlice, ReadsTheClockEveryFewUnitsAndLooksOncePerInterval) {
    g_now = 1000;
    g_clockReads = 0;
    CWorkSlice slice(FakeClock, 100, 64);
    slice.Start();
    EXPECT_EQ(g_clockReads, 1);
    for (int i = 0; i < 640; ++i) EXPECT_FALSE(slice.TimeToLook());  // time stands
    EXPECT_EQ(g_clockReads, 11);

    g_now += 100;
    int looks = 0;
    int unitsToLook = 0;
    for (int i = 0; i < 64 && looks == 0; ++i) {
        ++unitsToLook;
        if (slice.TimeToLook()) ++looks;
    }
    EXPECT_EQ(looks, 1);
    EXPECT_EQ(unitsToLook, 64);
    // Right after a look the interval starts again.
    for (int i = 0; i < 640; ++i) EXPECT_FALSE(slice.TimeToLook());
}

TEST(WorkSlice, OneUnitPerReadLooksAsSoonAsTheIntervalIsOver) {
    g_now = 0;
    CWorkSlice slice(FakeClock, 10, 1);
    slice.Start();
    g_now = 9;
    EXPECT_FALSE(slice.TimeToLook());
    g_now = 10;
    EXPECT_TRUE(slice.TimeToLook());
    EXPECT_FALSE(slice.TimeToLook());
    // A new slice starts its interval afresh.
    g_now = 100;
    slice.Start();
    EXPECT_FALSE(slice.TimeToLook());
}

}  // namespace
