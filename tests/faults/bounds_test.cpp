// Memory of a run does not grow with the members' sizes: the allocations
// made while stepping are the same for a member four times larger.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "engine/lzh_extractor.h"
#include "tests/support/lh5_writer.h"
#include "tests/support/lzh_builder.h"

// Counting replacements of the global allocation functions.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(size_t size) {
    if (g_counting) ++g_allocations;
    if (void* p = malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    if (g_counting) ++g_allocations;
    return malloc(size ? size : 1);
}
void* operator new[](size_t size, const std::nothrow_t& t) noexcept { return operator new(size, t); }
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }
void operator delete[](void* p, size_t) noexcept { free(p); }

using namespace lzhtest;

namespace {

// Allocations made by the Steps of a whole run (Begin excluded).
long StepAllocations(const std::string& dir, const std::vector<Member>& members) {
    WriteFile(dir + "/setup.exe", Archive(members));
    CLzhExtractor engine;
    EXPECT_TRUE(engine.Begin((dir + "/setup.exe").c_str(), (dir + "/out").c_str(), nullptr));
    g_allocations = 0;
    g_counting = true;
    bool done = false;
    long steps = 0;
    while (engine.Step(&done) && !done) ++steps;
    g_counting = false;
    EXPECT_TRUE(done);
    EXPECT_GT(steps, 1000);
    return g_allocations;
}

TEST(Bounds, StepsAllocateTheSameWhateverTheMemberSize) {
    const std::string dir = MakeTempDir();
    auto members = [](size_t size) {
        Bytes plain = SampleText(size, 5);
        Member stored;
        stored.name = "s.bin";
        stored.data = plain;
        Member packed;
        packed.name = "p.bin";
        packed.method = "-lh5-";
        packed.data = EncodeLh5(plain);
        packed.originalSize = (int64_t)plain.size();
        packed.crc = Crc16(plain);
        return std::vector<Member>{stored, packed, stored};
    };
    const long small = StepAllocations(dir, members(1 << 20));
    const long large = StepAllocations(dir, members(4 << 20));
    EXPECT_EQ(small, large);
    // A handful in all: per member opened, the output stream's buffer and
    // the platform's record of the open file; once, the tables' arrays.
    EXPECT_LE(large, 16);
}

}  // namespace
