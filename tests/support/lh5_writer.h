// A small -lh5- encoder for tests and benchmarks: greedy matches found
// through a hash of the last three bytes, fixed code lengths (literals and
// most lengths 9 bits, distances 3-4 bits), blocks of a chosen number of
// codes. Far from the best compression, but every stream it writes uses
// real block headers, code-length codes, matches and window wrap-arounds.
#ifndef TESTS_SUPPORT_LH5_WRITER_H
#define TESTS_SUPPORT_LH5_WRITER_H

#include "tests/support/lzh_builder.h"

namespace lzhtest {

Bytes EncodeLh5(const Bytes& data, int codesPerBlock = 16000);

// Canonical code of each symbol, given the code lengths (0: no code):
// shorter codes first, then increasing symbol order.
std::vector<uint32_t> CanonicalCodes(const std::vector<int>& lengths);

// Data that compresses somewhat: text-like words with repeats, and runs.
Bytes SampleText(size_t size, uint32_t seed);

}  // namespace lzhtest

#endif
