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

    struct Match {
        int32_t length;
        int32_t distance;
    };
    // Every length that a nearer candidate cannot reach, with the nearest
    // distance for it: lengths and distances rise along the list. Matches
    // end at end. Returns the longest length (0 if none).
    int32_t FindAll(int32_t pos, int32_t end, int32_t maxChain, int32_t niceLength,
                    std::vector<Match>& out) const;

private:
    static const int kHashBits = 15;
    uint32_t Hash(int32_t pos) const;

    const uint8_t* m_data = nullptr;
    int32_t m_size = 0;
    std::vector<int32_t> m_head;   // newest position per hash, -1 if none
    std::vector<int32_t> m_prev;   // by pos % 8192: older position, same hash
};

// Binary trees of the positions of the last 8 KB, one per 3-byte hash,
// ordered by the bytes that follow: one descent gives the best match for
// every length. Every position is entered once, in order, by GetMatches
// or Skip.
class CTreeMatchFinder {
public:
    CTreeMatchFinder();
    void Reset(const uint8_t* data, int32_t size);
    // Enters pos and appends its matches as CMatchFinder::FindAll does
    // (lengths up to kMaxMatch or the data's end). Returns the longest.
    int32_t GetMatches(int32_t pos, int32_t maxDepth,
                       std::vector<CMatchFinder::Match>& out);
    void Skip(int32_t pos, int32_t maxDepth);

private:
    static const int kHashBits = 15;
    static const int32_t kCycle = 2 * kDictionarySize;  // node slots
    int32_t Descend(int32_t pos, int32_t maxDepth, std::vector<CMatchFinder::Match>* out);

    const uint8_t* m_data = nullptr;
    int32_t m_size = 0;
    std::vector<int32_t> m_head;
    std::vector<int32_t> m_children;  // two per slot: smaller, larger
};

struct CEncoderOptions {
    bool optimal = true;         // cost-based parse; false: lazy matching
    int32_t maxChain = 96;       // lazy: chain candidates tried per search
    int32_t maxDepth = 24;       // optimal: tree nodes visited per search
    int32_t niceLength = 128;    // a match this long is taken at once
    int32_t lazyLimit = 32;      // lazy: no look-ahead past a match this long
    int32_t blockCodes = 16384;  // lazy: codes per block (at most 65535)
    int32_t blockBytes = 16384;  // optimal: input bytes per block (at most 65535)
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
    void ParseLazy(const uint8_t* data, int32_t size, CBitWriter& out);
    void ParseOptimal(const uint8_t* data, int32_t size, CBitWriter& out);
    // Cheapest tokens for data[start, end) under the current prices.
    void ChooseTokens(const uint8_t* data, int32_t start, int32_t end);
    void SetPrices(const CToken* tokens, int32_t count);

    struct Step {
        uint32_t cost;      // bits to reach this position
        uint16_t length;    // of the token that ends here (1 = literal)
        uint16_t distance;  // its copy distance
    };

    CEncoderOptions m_options;
    CMatchFinder m_finder;
    CTreeMatchFinder m_tree;
    CBlockEncoder m_block;
    std::vector<CToken> m_tokens;
    // The cost-based parse: every position's match candidates, the
    // cheapest way to each position, and the bit price of each symbol.
    std::vector<CMatchFinder::Match> m_matches;
    std::vector<int32_t> m_matchStart;
    std::vector<Step> m_steps;
    uint32_t m_codePrice[kCodeSymbols];
    uint32_t m_slotPrice[kDistanceSymbols];
};

// Distance slot of a distance value (copy distance - 1, 0..8191).
inline int DistanceSlot(uint32_t value) {
    return value ? 32 - __builtin_clz(value) : 0;  // bits in value
}

}  // namespace lzhpack

#endif
