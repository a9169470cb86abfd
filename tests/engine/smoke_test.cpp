// Whole runs over small archives built from bytes, at each header level.
#include <gtest/gtest.h>

#include "engine/lzh_extractor.h"
#include "tests/support/engine_run.h"
#include "tests/support/lzh_builder.h"

using namespace lzhtest;

namespace {

class LevelTest : public ::testing::TestWithParam<int> {};

TEST_P(LevelTest, StoredMembersExtractWithTheirBytes) {
    std::string dir = MakeTempDir();
    Member a;
    a.name = "one.txt";
    a.data = RandomBytes(40000, 1);
    Member b;
    b.name = "two.bin";
    b.data = Bytes{1, 2, 3};
    Bytes prefix = RandomBytes(3000, 2);
    for (auto& x : prefix) if (x == '-') x = 0;
    Bytes file = prefix;
    Bytes arc = Archive({a, b}, GetParam());
    file.insert(file.end(), arc.begin(), arc.end());
    WriteFile(dir + "/setup.exe", file);

    CLzhExtractor engine;
    ASSERT_EQ(ExtractAll(engine, dir + "/setup.exe", dir + "/out"), EXTRACT_OK);
        EXPECT_EQ(ReadFile(dir + "/out/one.txt"), a.data);
    EXPECT_EQ(ReadFile(dir + "/out/two.bin"), b.data);
}

INSTANTIATE_TEST_SUITE_P(Levels, LevelTest, ::testing::Values(0, 1, 2));

}  // namespace
