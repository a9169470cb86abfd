// The -lh5- encoder: LZ77 over an 8 KB dictionary (distances 1..8192,
// lengths 3..256), coded in blocks that each carry their own canonical
// Huffman codes, in exactly the block format the engine's decoder reads.
#ifndef TOOLS_LZHPACK_LH5_ENCODER_H
#define TOOLS_LZHPACK_LH5_ENCODER_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lzhpack {

const int kDictionarySize = 8192;
const int kMinMatch = 3;
const int kMaxMatch = 256;
const int kCodeSymbols = 510;       // 256 literals + lengths 3..256
const int kDistanceSymbols = 14;    // distance values 0..8191 by bit count
const int kCodeLengthSymbols = 19;  // code-length code: 3 runs + lengths 1..16
const int kMaxCodeLength = 16;

// Writes bits most significant first, as the decoder reads them.
class CBitWriter {
public:
    void Put(uint32_t value, int bits);   // bits 0..24
    std::vector<uint8_t> Finish();        // pads the last byte with 0 bits
    size_t BitCount() const { return m_bytes.size() * 8 + m_count; }

private:
    std::vector<uint8_t> m_bytes;
    uint32_t m_acc = 0;
    int m_count = 0;
};

// Canonical Huffman code for one alphabet.
class CHuffmanCode {
public:
    // Code lengths for the frequencies, none above maxLength; symbols with
    // frequency 0 get length 0. With two or more used symbols the code is
    // complete (the decoder refuses anything else); with one, that symbol
    // gets length 0 too and the caller writes the single-value form.
    static void BuildLengths(const uint32_t* freq, int count, int maxLength,
                             uint8_t* lengths);
    // Codes from lengths: shorter codes first, then by symbol.
    static void MakeCodes(const uint8_t* lengths, int count, uint16_t* codes);
};

// Hash chains over the last 8 KB, for the longest match at a position.
class CMatchFinder {
public:
    CMatchFinder();
    void Reset(const uint8_t* data, int32_t size);
    // Adds position pos (which needs 3 bytes left) to its chain.
    void Insert(int32_t pos);
    // Longest match at pos of at least kMinMatch bytes within maxChain
    // candidates; 0 when none. Stops early at niceLength.
    int32_t Find(int32_t pos, int32_t maxChain, int32_t niceLength,
                 int32_t* distance) const;

private:
    static const int kHashBits = 15;
    uint32_t Hash(int32_t pos) const;

    const uint8_t* m_data = nullptr;
    int32_t m_size = 0;
    std::vector<int32_t> m_head;   // newest position per hash, -1 if none
    std::vector<int32_t> m_prev;   // by pos % 8192: older position, same hash
};

struct CEncoderOptions {
    int32_t maxChain = 96;       // chain candidates tried per search
    int32_t niceLength = 128;    // a match this long is taken at once
    int32_t lazyLimit = 32;      // no lazy look-ahead past a match this long
    int32_t blockCodes = 16384;  // codes per block (at most 65535)
};

// One literal (distance 0) or match.
struct CToken {
    uint16_t symbol;    // literal byte, or 253 + match length
    uint16_t distance;  // copy distance - 1 for a match
};

// Writes one block: its header (the three codes) and its codes.
class CBlockEncoder {
public:
    void Write(const CToken* tokens, int32_t count, CBitWriter& out);

private:
    void WriteCodeLengths(const uint8_t* codeLengths, int32_t nc, CBitWriter& out);
    static void WriteBitLength(int length, CBitWriter& out);
};

class CLh5Encoder {
public:
    explicit CLh5Encoder(const CEncoderOptions& options = CEncoderOptions());
    // The packed stream of a whole member. Empty data gives no bytes.
    std::vector<uint8_t> Encode(const uint8_t* data, size_t size);

private:
    void Parse(const uint8_t* data, int32_t size, CBitWriter& out);

    CEncoderOptions m_options;
    CMatchFinder m_finder;
    CBlockEncoder m_block;
    std::vector<CToken> m_tokens;
};

// Distance slot of a distance value (copy distance - 1, 0..8191).
inline int DistanceSlot(uint32_t value) {
    int slot = 0;
    while (value) {
        ++slot;
        value >>= 1;
    }
    return slot;
}

}  // namespace lzhpack

#endif
