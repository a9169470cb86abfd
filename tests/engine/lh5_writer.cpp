#include "tests/engine/lh5_writer.h"

#include <algorithm>
#include <stdexcept>

namespace lzhtest {

namespace {

const int kCodeSymbols = 510;
const int kDistanceSymbols = 14;
const int kCodeLengthSymbols = 19;

int DistanceSymbol(int distance, int* extraBits, uint32_t* extra) {
    int v = distance - 1;
    if (v <= 1) {
        *extraBits = 0;
        *extra = 0;
        return v;
    }
    int s = 0;
    while ((v >> s) != 0) ++s;
    *extraBits = s - 1;
    *extra = (uint32_t)(v - (1 << (s - 1)));
    return s;
}

// Code-length code used for every block: symbols 0..12 take 4 bits and
// 13..18 take 5 (13 * 16 + 6 * 8 = 256: complete).
std::vector<int> CodeLengthLengths() {
    std::vector<int> l(kCodeLengthSymbols, 4);
    for (int s = 13; s < kCodeLengthSymbols; ++s) l[s] = 5;
    return l;
}

void PutCode(BitWriter& w, const std::vector<int>& lengths,
             const std::vector<uint32_t>& codes, int symbol) {
    if (lengths[symbol] == 0) throw std::logic_error("symbol without a code");
    w.Put(codes[symbol], lengths[symbol]);
}

}  // namespace

std::vector<int> CompleteLengths(const std::vector<int>& symbols, int count) {
    const int k = (int)symbols.size();
    if (k < 2) throw std::logic_error("a complete code needs two symbols");
    int b = 0;
    while ((1 << b) < k) ++b;
    // x symbols of length b - 1 and k - x of length b fill 2^b exactly.
    int x = (1 << b) - k;
    std::vector<int> lengths(count, 0);
    for (int i = 0; i < k; ++i) lengths[symbols[i]] = i < x ? b - 1 : b;
    return lengths;
}

void PutBitLength(BitWriter& w, int length) {
    if (length < 7) {
        w.Put((uint32_t)length, 3);
        return;
    }
    w.Put(7, 3);
    for (int i = 7; i < length; ++i) w.Put(1, 1);
    if (length < 23) w.Put(0, 1);
}

void PutBlock(BitWriter& w, const std::vector<Token>& tokens, int blockSize) {
    std::vector<int> codeSymbols, distanceSymbols;
    for (const Token& t : tokens) {
        codeSymbols.push_back(t.length == 0 ? t.literal : t.length + 253);
        if (t.length != 0) {
            int bits;
            uint32_t extra;
            distanceSymbols.push_back(DistanceSymbol(t.distance, &bits, &extra));
        }
    }
    auto unique = [](std::vector<int> v) {
        std::sort(v.begin(), v.end());
        v.erase(std::unique(v.begin(), v.end()), v.end());
        return v;
    };
    codeSymbols = unique(codeSymbols);
    distanceSymbols = unique(distanceSymbols);

    w.Put((uint32_t)(blockSize < 0 ? (int)tokens.size() : blockSize), 16);

    const std::vector<int> clLengths = CodeLengthLengths();
    const std::vector<uint32_t> clCodes = CanonicalCodes(clLengths);
    w.Put(kCodeLengthSymbols, 5);
    for (int i = 0; i < kCodeLengthSymbols; ++i) {
        if (i == 3) w.Put(0, 2);  // no zero run after the third length
        PutBitLength(w, clLengths[i]);
    }

    std::vector<int> codeLengths(kCodeSymbols, 0);
    if (codeSymbols.size() == 1) {
        w.Put(0, 9);
        w.Put((uint32_t)codeSymbols[0], 9);
    } else {
        codeLengths = CompleteLengths(codeSymbols, kCodeSymbols);
        int nc = codeSymbols.back() + 1;
        w.Put((uint32_t)nc, 9);
        for (int i = 0; i < nc; ++i)
            PutCode(w, clLengths, clCodes, codeLengths[i] == 0 ? 0 : codeLengths[i] + 2);
    }
    const std::vector<uint32_t> codeCodes = CanonicalCodes(codeLengths);

    std::vector<int> distanceLengths(kDistanceSymbols, 0);
    if (distanceSymbols.size() <= 1) {
        w.Put(0, 4);
        w.Put(distanceSymbols.empty() ? 0 : (uint32_t)distanceSymbols[0], 4);
    } else {
        distanceLengths = CompleteLengths(distanceSymbols, kDistanceSymbols);
        int np = distanceSymbols.back() + 1;
        w.Put((uint32_t)np, 4);
        for (int i = 0; i < np; ++i) PutBitLength(w, distanceLengths[i]);
    }
    const std::vector<uint32_t> distanceCodes = CanonicalCodes(distanceLengths);

    for (const Token& t : tokens) {
        int symbol = t.length == 0 ? t.literal : t.length + 253;
        if (codeSymbols.size() > 1) PutCode(w, codeLengths, codeCodes, symbol);
        if (t.length == 0) continue;
        int bits;
        uint32_t extra;
        int ds = DistanceSymbol(t.distance, &bits, &extra);
        if (distanceSymbols.size() > 1) PutCode(w, distanceLengths, distanceCodes, ds);
        if (bits > 0) w.Put(extra, bits);
    }
}

Bytes EncodeLh5(const std::vector<Token>& tokens) {
    BitWriter w;
    PutBlock(w, tokens);
    return w.Finish();
}

Bytes DecodeReference(const std::vector<Token>& tokens) {
    std::vector<uint8_t> window(0x4000, 0x20);
    Bytes out;
    uint32_t pos = 0;
    for (const Token& t : tokens) {
        if (t.length == 0) {
            window[pos++ & 0x3FFF] = (uint8_t)t.literal;
            out.push_back((uint8_t)t.literal);
            continue;
        }
        for (int i = 0; i < t.length; ++i, ++pos) {
            uint8_t b = window[(pos - (uint32_t)t.distance) & 0x3FFF];
            window[pos & 0x3FFF] = b;
            out.push_back(b);
        }
    }
    return out;
}

}  // namespace lzhtest
