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
    int32_t Decode(uint32_t word, int32_t* symbol) const {
        int32_t e = m_table[(word & 0xFFFF) >> (16 - m_bits)];
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

private:
    int32_t DecodeTree(uint32_t word, int32_t node) const;
};

#endif
