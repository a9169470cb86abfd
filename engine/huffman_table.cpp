#include "engine/huffman_table.h"

#include <cstddef>
#include <new>

#include "engine/lzh_file.h"

namespace {

uint16_t FastEntry(int32_t symbol, int32_t length) {
    if (symbol > (int32_t)CHuffmanTable::kFastSymbolMask) return (uint16_t)CHuffmanTable::kNotFast;
    return (uint16_t)(symbol | length << CHuffmanTable::kFastLengthShift);
}

}  // namespace

CHuffmanTable::CHuffmanTable()
    : m_count(0), m_bits(0), m_countCapacity(0), m_bitsCapacity(0),
      m_lengths(nullptr), m_table(nullptr), m_tree(nullptr), m_fastTable(nullptr) {}

CHuffmanTable::~CHuffmanTable() {
    delete[] m_lengths;
    delete[] m_table;
    delete[] m_tree;
    delete[] m_fastTable;
}

// Arrays only grow, and a reallocation keeps nothing: Build and BuildSingle
// initialise what they use. A failed allocation leaves the table empty and
// is reported like undecodable data.
void CHuffmanTable::Reserve(int32_t count, int32_t bits) {
    if (count < 1 || count > 0x8000 || bits < 1 || bits > kMaxCodeLength)
        throw CExceptionLZH();
    if (count > m_countCapacity) {
        delete[] m_lengths;
        delete[] m_tree;
        m_countCapacity = 0;
        m_lengths = new (std::nothrow) int32_t[count];
        m_tree = new (std::nothrow) int32_t[2 * count - 1][2];
        if (m_lengths == nullptr || m_tree == nullptr) {
            delete[] m_lengths;
            delete[] m_tree;
            m_lengths = nullptr;
            m_tree = nullptr;
            m_count = 0;
            throw CExceptionLZH();
        }
        m_countCapacity = count;
    }
    m_count = count;
    if (bits > m_bitsCapacity) {
        delete[] m_table;
        delete[] m_fastTable;
        m_bitsCapacity = 0;
        m_table = new (std::nothrow) int32_t[(size_t)1 << bits];
        m_fastTable = new (std::nothrow) uint16_t[(size_t)1 << bits];
        if (m_table == nullptr || m_fastTable == nullptr) {
            delete[] m_table;
            delete[] m_fastTable;
            m_table = nullptr;
            m_fastTable = nullptr;
            m_bits = 0;
            throw CExceptionLZH();
        }
        m_bitsCapacity = bits;
    }
    m_bits = bits;
}

void CHuffmanTable::Build(int32_t count, int32_t bits, const int32_t* lengths) {
    Reserve(count, bits);

    int32_t perLength[kMaxCodeLength + 1] = {};
    for (int32_t s = 0; s < count; ++s) {
        // Longer codes cannot be placed in a 16-bit look-ahead.
        if (lengths[s] < 0 || lengths[s] > kMaxCodeLength) throw CExceptionLZH();
        m_lengths[s] = lengths[s];
        perLength[lengths[s]]++;
    }

    // Positions are table entries up to length `bits`, then 16-bit
    // left-aligned code values.
    int64_t start[kMaxCodeLength + 1] = {};
    int64_t weight[kMaxCodeLength + 1] = {};
    int64_t total = 0;
    for (int32_t len = 1; len <= bits; ++len) {
        start[len] = total;
        weight[len] = (int64_t)1 << (bits - len);
        total += perLength[len] * weight[len];
    }
    const int64_t used = total;
    total <<= (16 - bits);
    for (int32_t len = bits + 1; len <= kMaxCodeLength; ++len) {
        start[len] = total;
        weight[len] = (int64_t)1 << (16 - len);
        total += perLength[len] * weight[len];
    }
    // Incomplete and over-full codes both fail here, before anything is
    // written, so the placement below stays inside the arrays.
    if (total != 0x10000) throw CExceptionLZH();

    const int32_t tableSize = 1 << bits;
    for (int32_t i = (int32_t)used; i < tableSize; ++i) {
        m_table[i] = 0;
        m_fastTable[i] = (uint16_t)kNotFast;
    }
    for (int32_t n = count; n <= 2 * count - 2; ++n) m_tree[n][0] = m_tree[n][1] = 0;

    int32_t nextNode = count;
    for (int32_t s = 0; s < count; ++s) {
        const int32_t len = m_lengths[s];
        if (len == 0) continue;
        const int64_t code = start[len];
        start[len] += weight[len];
        if (len <= bits) {
            const uint16_t fast = FastEntry(s, len);
            for (int64_t i = code; i < code + weight[len]; ++i) {
                m_table[i] = s;
                m_fastTable[i] = fast;
            }
            continue;
        }
        int32_t* slot = &m_table[code >> (16 - bits)];
        uint32_t mask = 1u << (15 - bits);
        for (int32_t level = bits; level < len; ++level) {
            if (*slot == 0) {
                // A complete code needs at most count - 1 nodes.
                if (nextNode > 2 * count - 2) throw CExceptionLZH();
                *slot = nextNode++;
            }
            slot = &m_tree[*slot][(code & mask) ? 1 : 0];
            mask >>= 1;
        }
        *slot = s;
    }
}

// A value that is no symbol would name a node whose children are empty,
// which decodes as symbol 0; storing symbol 0 gives that without a tree.
void CHuffmanTable::BuildSingle(int32_t count, int32_t bits, int32_t value) {
    Reserve(count, bits);
    for (int32_t s = 0; s < count; ++s) m_lengths[s] = 0;
    const int32_t entry = value >= 0 && value < count ? value : 0;
    const int32_t tableSize = 1 << bits;
    const uint16_t fast = FastEntry(entry, 0);
    for (int32_t i = 0; i < tableSize; ++i) {
        m_table[i] = entry;
        m_fastTable[i] = fast;
    }
    for (int32_t n = count; n <= 2 * count - 2; ++n) m_tree[n][0] = m_tree[n][1] = 0;
}

int32_t CHuffmanTable::DecodeTree(uint32_t word, int32_t node) const {
    uint32_t mask = 1u << (15 - m_bits);
    while (node >= m_count) {
        if (mask == 0) return 0;  // unreachable for a built table
        node = m_tree[node][(word & mask) ? 1 : 0];
        mask >>= 1;
    }
    return node;
}
