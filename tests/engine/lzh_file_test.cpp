// CLzhFile: the bit reader over a region, relative positioning, block reads
// and the 16 KB write buffer, observed through real files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "engine/lzh_file.h"
#include "tests/support/lzh_builder.h"

using namespace lzhtest;

namespace {

class LzhFileTest : public ::testing::Test {
protected:
    void SetUp() override { dir = MakeTempDir(); }
    void TearDown() override { file.Close(); }
    void OpenWith(const Bytes& bytes) {
        path = dir + "/in.bin";
        WriteFile(path, bytes);
        ASSERT_TRUE(file.OpenRead(path.c_str()));
    }
    long Position() { return (long)SetFilePointer(file.m_handle, 0, nullptr, FILE_CURRENT); }

    std::string dir, path;
    CLzhFile file;
};

TEST_F(LzhFileTest, PrimingPeekAndReadBits) {
    OpenWith(Bytes{0x12, 0x34, 0x56, 0x78});
    file.SetRegion(0, 4);
    file.SkipBits(16);
    EXPECT_EQ(file.PeekWord(), 0x1234);
    EXPECT_EQ(file.m_bitCount, 0);
    EXPECT_EQ(file.ReadBits(4), 1);
    EXPECT_EQ(file.PeekWord(), 0x2345);
    EXPECT_EQ(file.m_bitCount, 4);
    EXPECT_EQ(file.ReadBits(16), 0x2345);
    EXPECT_EQ(file.ReadBits(12), 0x678);
}

TEST_F(LzhFileTest, PastTheRegionEndComeZeroBitsWithoutError) {
    // The region is 3 bytes of a longer file: the fourth byte is not read.
    OpenWith(Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    file.SetRegion(0, 3);
    file.SkipBits(16);
    EXPECT_EQ(file.ReadBits(8), 0xFF);
    EXPECT_EQ(file.ReadBits(16), 0xFFFF);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(file.ReadBits(16), 0);
    // Nothing beyond the region was asked of the file.
    EXPECT_EQ(file.m_bufferStart + file.m_pos, 3);
    EXPECT_EQ(Position(), 3);
}

TEST_F(LzhFileTest, RegionBeyondTheEndOfTheFileThrows) {
    OpenWith(Bytes{1, 2, 3});
    file.SetRegion(1, 10);
    EXPECT_THROW(file.SkipBits(16), CExceptionLZH);
}

TEST_F(LzhFileTest, RegionStartingPastTheEndOfTheFileThrows) {
    OpenWith(Bytes{1, 2, 3});
    file.SetRegion(100, 4);
    EXPECT_THROW(file.SkipBits(16), CExceptionLZH);
}

TEST_F(LzhFileTest, SetRegionMovesRelativeToWhereTheHandleStands) {
    Bytes bytes(100);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = (uint8_t)i;
    OpenWith(bytes);
    // Raw reads through the handle between regions, as the driver does.
    DWORD got = 0;
    uint8_t scratch[40];
    ReadFile(file.m_handle, scratch, 40, &got, nullptr);
    file.SetRegion(40, 10);
    EXPECT_EQ(Position(), 40);  // already there: no move
    file.SkipBits(16);
    EXPECT_EQ(file.PeekWord(), 0x2829);

    file.SetRegion(7, 2);  // backwards
    EXPECT_EQ(Position(), 7);
    file.SkipBits(16);
    EXPECT_EQ(file.PeekWord(), 0x0708);
    file.SetRegion(90, 10);  // forwards
    file.SkipBits(16);
    EXPECT_EQ(file.PeekWord(), 0x5A5B);
}

TEST_F(LzhFileTest, BitStreamAcrossManyRefills) {
    Bytes bytes = RandomBytes(50000, 7);
    OpenWith(bytes);
    file.SetRegion(0, (int32_t)bytes.size());
    file.SkipBits(16);
    // Odd widths so that reads straddle bytes and 16 KB buffer refills.
    size_t bit = 0;
    const int widths[] = {1, 3, 5, 7, 9, 11, 13, 15, 16};
    for (int i = 0; bit + 16 <= bytes.size() * 8; ++i) {
        int n = widths[i % 9];
        uint32_t expected = 0;
        for (int k = 0; k < n; ++k) {
            size_t b = bit + (size_t)k;
            expected = expected << 1 | ((bytes[b / 8] >> (7 - b % 8)) & 1);
        }
        ASSERT_EQ(file.ReadBits(n), expected) << "at bit " << bit;
        bit += (size_t)n;
        ASSERT_LE(file.m_bitCount, 7);
    }
}

TEST_F(LzhFileTest, ReadBlockIgnoresTheRegionAndStopsAtTheEndOfTheFile) {
    Bytes bytes = RandomBytes(200, 3);
    OpenWith(bytes);
    file.SetRegion(10, 50);
    uint8_t out[300];
    EXPECT_EQ(file.ReadBlock(out, 100), 100);
    EXPECT_EQ(Bytes(out, out + 100), Bytes(bytes.begin() + 10, bytes.begin() + 110));
    EXPECT_EQ(file.ReadBlock(out, 100), 90);
    EXPECT_EQ(Bytes(out, out + 90), Bytes(bytes.begin() + 110, bytes.end()));
    EXPECT_EQ(file.ReadBlock(out, 100), 0);
}

TEST_F(LzhFileTest, WriteBufferGoesOutSixteenKilobytesAtATime) {
    std::string out = dir + "/out.bin";
    CLzhFile w;
    ASSERT_TRUE(w.OpenWrite(out.c_str()));
    Bytes block = RandomBytes(16384, 4);
    w.WriteBlock(block.data(), 16384);
    EXPECT_EQ(ReadFile(out).size(), 0u);  // a full buffer waits
    uint8_t one = 0xAB;
    w.WriteBlock(&one, 1);
    EXPECT_EQ(ReadFile(out), block);
    w.Flush();
    w.Flush();  // nothing buffered: nothing written
    block.push_back(0xAB);
    EXPECT_EQ(ReadFile(out), block);

    // Close without Flush discards what is buffered.
    w.WriteBlock(&one, 1);
    w.Close();
    EXPECT_EQ(ReadFile(out), block);
}

TEST_F(LzhFileTest, OpenWriteTruncatesAndOpenReadNeedsAFile) {
    std::string out = dir + "/out.bin";
    WriteFile(out, Bytes(100, 1));
    CLzhFile w;
    ASSERT_TRUE(w.OpenWrite(out.c_str()));
    w.Close();
    EXPECT_EQ(ReadFile(out).size(), 0u);
    EXPECT_FALSE(w.OpenRead((dir + "/missing").c_str()));
    EXPECT_FALSE(w.IsOpen());
    EXPECT_FALSE(w.OpenWrite((dir + "/no/such/folder").c_str()));
    EXPECT_FALSE(w.IsOpen());
}

}  // namespace
