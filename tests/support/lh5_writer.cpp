#include "tests/support/lh5_writer.h"

#include <algorithm>
#include <random>

namespace lzhtest {

namespace {

const int kCodeSymbols = 510;
const int kDistanceSymbols = 14;
const int kMaxDistance = 8192;
const int kMaxMatch = 256;


struct Code {
    int symbol;    // literal byte, or 253 + match length
    int distance;  // copy distance 1..8192 for a match
};

void PutBlock(BitWriter& w, const std::vector<Code>& codes, size_t from, size_t to) {
    // Literals and lengths: 508 of 9 bits, symbols 256 and 257 of 8 bits.
    std::vector<int> codeLengths(kCodeSymbols, 9);
    codeLengths[256] = codeLengths[257] = 8;
    // Distances: symbols 0 and 1 of 3 bits, the rest of 4.
    std::vector<int> distLengths(kDistanceSymbols, 4);
    distLengths[0] = distLengths[1] = 3;
    const std::vector<uint32_t> codeCodes = CanonicalCodes(codeLengths);
    const std::vector<uint32_t> distCodes = CanonicalCodes(distLengths);

    w.Put((uint32_t)(to - from), 16);
    // Code-length code: symbols 10 (length 8) and 11 (length 9), 1 bit each.
    w.Put(12, 5);
    for (int i = 0; i < 12; ++i) {
        if (i == 3) w.Put(0, 2);  // no zero run after the third length
        w.Put(i >= 10 ? 1 : 0, 3);
    }
    w.Put(kCodeSymbols, 9);
    for (int s = 0; s < kCodeSymbols; ++s) w.Put(codeLengths[s] == 9 ? 1 : 0, 1);
    w.Put(kDistanceSymbols, 4);
    for (int s = 0; s < kDistanceSymbols; ++s) w.Put((uint32_t)distLengths[s], 3);

    for (size_t i = from; i < to; ++i) {
        const Code& c = codes[i];
        w.Put(codeCodes[c.symbol], codeLengths[c.symbol]);
        if (c.symbol < 256) continue;
        const uint32_t v = (uint32_t)c.distance - 1;
        int s = 0;
        if (v <= 1) {
            s = (int)v;
        } else {
            while ((v >> s) > 1) ++s;
            s += 1;  // v has s bits; its top bit is implied by the symbol
        }
        w.Put(distCodes[s], distLengths[s]);
        if (s >= 2) w.Put(v - (1u << (s - 1)), s - 1);
    }
}

}  // namespace

std::vector<uint32_t> CanonicalCodes(const std::vector<int>& lengths) {
    std::vector<uint32_t> codes(lengths.size());
    uint32_t code = 0;
    for (int len = 1; len <= 16; ++len) {
        for (size_t s = 0; s < lengths.size(); ++s)
            if (lengths[s] == len) codes[s] = code++;
        code <<= 1;
    }
    return codes;
}

Bytes EncodeLh5(const Bytes& data, int codesPerBlock) {
    std::vector<Code> codes;
    std::vector<int64_t> head(1 << 16, -1);
    auto hash = [&](size_t i) {
        return ((data[i] << 8) ^ (data[i + 1] << 4) ^ data[i + 2]) & 0xFFFF;
    };
    for (size_t i = 0; i < data.size();) {
        int bestLength = 0;
        int64_t candidate = i + 2 < data.size() ? head[hash(i)] : -1;
        if (candidate >= 0 && (int64_t)i - candidate <= kMaxDistance) {
            size_t limit = std::min(data.size() - i, (size_t)kMaxMatch);
            size_t n = 0;
            while (n < limit && data[(size_t)candidate + n] == data[i + n]) ++n;
            bestLength = (int)n;
        }
        size_t step = 1;
        if (bestLength >= 3) {
            codes.push_back({253 + bestLength, (int)(i - (size_t)candidate)});
            step = (size_t)bestLength;
        } else {
            codes.push_back({data[i], 0});
        }
        for (size_t k = 0; k < step; ++k, ++i)
            if (i + 2 < data.size()) head[hash(i)] = (int64_t)i;
    }
    BitWriter w;
    for (size_t from = 0; from < codes.size(); from += (size_t)codesPerBlock)
        PutBlock(w, codes, from, std::min(codes.size(), from + (size_t)codesPerBlock));
    return w.Finish();
}

Bytes SampleText(size_t size, uint32_t seed) {
    static const char* const kWords[] = {"alpha ", "beta ", "gamma ", "delta\r\n",
                                          "install ", "folder ", "readme ", "\x83\x65\x83\x58\x83\x67 "};
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < size) {
        uint32_t r = rng() % 16;
        if (r < 12) {
            const char* word = kWords[r % 8];
            while (*word && out.size() < size) out.push_back((uint8_t)*word++);
        } else if (r < 14) {
            out.push_back((uint8_t)rng());
        } else {
            size_t run = rng() % 300;
            uint8_t b = (uint8_t)rng();
            while (run-- && out.size() < size) out.push_back(b);
        }
    }
    return out;
}

}  // namespace lzhtest
