// Writes -lh5- block streams for tests: a list of literals and matches is
// coded as one block whose codes are chosen from the symbols it uses, so a
// test says what it wants decoded, not how the bits look.
#ifndef TESTS_ENGINE_LH5_WRITER_H
#define TESTS_ENGINE_LH5_WRITER_H

#include <cstdint>
#include <vector>

#include "tests/support/lh5_writer.h"
#include "tests/support/lzh_builder.h"

namespace lzhtest {

// A literal byte (length 0) or a match of `length` bytes (3..256) at copy
// distance `distance` (1..8192).
struct Token {
    int literal;
    int length;
    int distance;
};
inline Token Lit(int byte) { return Token{byte, 0, 0}; }
inline Token Match(int length, int distance) { return Token{0, length, distance}; }


// Lengths of a complete code over exactly the given symbols (at least two).
std::vector<int> CompleteLengths(const std::vector<int>& symbols, int count);

// Appends one block holding all tokens to w; blockSize < 0 means the
// number of tokens.
void PutBlock(BitWriter& w, const std::vector<Token>& tokens, int blockSize = -1);

// One block, padded to whole bytes.
Bytes EncodeLh5(const std::vector<Token>& tokens);

// What the tokens decode to, from a window of 0x20 bytes.
Bytes DecodeReference(const std::vector<Token>& tokens);

// Writes a length in the 3-bit-plus-unary form (0..23).
void PutBitLength(BitWriter& w, int length);

}  // namespace lzhtest

#endif
