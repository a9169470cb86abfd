// CHuffmanTable: decoder of a canonical prefix code of up to 16 bits.
//
// Two levels: a direct table indexed by the first m_bits bits of the 16-bit
// look-ahead, and for longer codes a binary tree whose roots hang in the
// table entries those codes share. Entries and children below m_count are
// symbols; m_count and above are node numbers.
#ifndef ENGINE_HUFFMAN_TABLE_H
#define ENGINE_HUFFMAN_TABLE_H

#include <cstdint>

class CHuffmanTable {
public:
    static const int32_t kMaxCodeLength = 16;
    static const uint32_t kFastLengthShift = 11;
    static const uint32_t kFastSymbolMask = (1u << kFastLengthShift) - 1;
    static const uint32_t kNotFast = 0xFFFF;  // length 31: never a real one

    CHuffmanTable();
    ~CHuffmanTable();
    CHuffmanTable(const CHuffmanTable&) = delete;
    CHuffmanTable& operator=(const CHuffmanTable&) = delete;

    // Makes the arrays large enough; they only ever grow.
    void Reserve(int32_t count, int32_t bits);

    // Throws CExceptionLZH unless the lengths (each 0..16) describe a
    // complete code; after a throw the table is unusable until rebuilt.
    void Build(int32_t count, int32_t bits, const int32_t* lengths);

    // Every word then decodes to value with length 0.
    void BuildSingle(int32_t count, int32_t bits, int32_t value);

    // Consumes nothing: returns the code's length, the caller skips it.
    // A code that ends in the table is decoded from m_fastTable alone: one
    // load from an 8 KB array rather than two dependent ones.
    int32_t Decode(uint32_t word, int32_t* symbol) const {
        const uint32_t index = (word & 0xFFFF) >> (16 - m_bits);
        const uint32_t fast = m_fastTable[index];
        if (fast != kNotFast) {
            *symbol = (int32_t)(fast & kFastSymbolMask);
            return (int32_t)(fast >> kFastLengthShift);
        }
        int32_t e = m_table[index];
        if (e >= m_count) e = DecodeTree(word, e);
        *symbol = e;
        return m_lengths[e];
    }

    int32_t m_count;
    int32_t m_bits;
    int32_t m_countCapacity;
    int32_t m_bitsCapacity;
    int32_t* m_lengths;
    int32_t* m_table;
    int32_t (*m_tree)[2];
    // Per table entry: its symbol and that symbol's code length packed as
    // symbol | length << 11, or kNotFast for a tree root (or a symbol too
    // large to pack), which Decode then takes from m_table.
    uint16_t* m_fastTable;

private:
    int32_t DecodeTree(uint32_t word, int32_t node) const;
};

#endif
