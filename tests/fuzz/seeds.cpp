// Writes seed inputs for the fuzz targets, made with the test builder:
// seeds <folder> creates <folder>/{header,run,lh5,huffman}/.
#include <cstdio>
#include <string>
#include <sys/stat.h>

#include "tests/support/lh5_writer.h"
#include "tests/support/lzh_builder.h"

using namespace lzhtest;

namespace {

void Save(const std::string& folder, const std::string& name, const Bytes& bytes) {
    mkdir(folder.c_str(), 0755);
    lzhtest::WriteFile(folder + "/" + name, bytes);
}

Member Lh5Member(const std::string& name, const Bytes& plain, int codesPerBlock) {
    Member m;
    m.name = name;
    m.method = "-lh5-";
    m.data = EncodeLh5(plain, codesPerBlock);
    m.originalSize = (int64_t)plain.size();
    m.crc = Crc16(plain);
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: fuzz_seeds <folder>\n");
        return 2;
    }
    const std::string out = argv[1];
    mkdir(out.c_str(), 0755);

    Member stored;
    stored.name = "dir\\ReadMe.txt";
    stored.data = SampleText(300, 1);
    Member empty;
    empty.name = "empty";
    const Member packed = Lh5Member("a.bin", SampleText(3000, 2), 200);
    const Member zeros = Lh5Member("z", Bytes(20000, 0), 100);
    Member lz4 = stored;
    lz4.method = "-lz4-";
    lz4.name = "c:x.txt";
    Member refused = stored;
    refused.method = "-lh1-";

    for (int level = 0; level <= 2; ++level) {
        const std::string l = std::to_string(level);
        Bytes exe = RandomBytes(600, 7);
        Bytes arc = Archive({stored, packed, empty, lz4}, level);
        exe.insert(exe.end(), arc.begin(), arc.end());
        Save(out + "/run", "members" + l, exe);
        Save(out + "/run", "zeros" + l, Archive({zeros}, level));
        Save(out + "/run", "refused" + l, Archive({stored, refused}, level));
        Save(out + "/header", "stored" + l, MemberBytes(stored, level));
        Save(out + "/header", "packed" + l, MemberBytes(packed, level));
    }
    Member records = stored;
    records.extra = {{2, Bytes{'d', 'i', 'r', 0xFF}}, {0x41, Bytes(24, 1)}, {1, Bytes{'n', 'e', 'w'}}};
    Save(out + "/header", "records1", Level1Header(records, true));
    Save(out + "/header", "records2", Level2Header(records));

    // -lh5- target: data CRC, 16-bit size, packed stream.
    auto lh5Seed = [&](const std::string& name, const Bytes& plain, int codesPerBlock) {
        Bytes seed;
        Put16(seed, Crc16(plain));
        Put16(seed, (uint32_t)plain.size());
        Bytes stream = EncodeLh5(plain, codesPerBlock);
        seed.insert(seed.end(), stream.begin(), stream.end());
        Save(out + "/lh5", name, seed);
    };
    lh5Seed("text", SampleText(5000, 3), 300);
    lh5Seed("wrap", SampleText(40000, 4), 5000);
    lh5Seed("run", Bytes(1000, 'A'), 16);
    lh5Seed("one", Bytes{0x41}, 1);

    // Huffman target: mode, count (2 bytes), bits, lengths.
    Save(out + "/huffman", "single", Bytes{0, 0, 18, 8, 0, 5});
    Save(out + "/huffman", "two", Bytes{1, 0, 1, 8, 1, 1});
    Save(out + "/huffman", "deep", Bytes{1, 0, 9, 8, 1, 2, 3, 4, 5, 6, 7, 8, 9, 9});
    Bytes flat{1, 1, 253, 12};
    for (int i = 0; i < 256; ++i) flat.push_back(9);
    for (int i = 0; i < 254; ++i) flat.push_back(i < 2 ? 8 : 9);
    Save(out + "/huffman", "lh5codes", flat);
    return 0;
}
