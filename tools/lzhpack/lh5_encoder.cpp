#include "tools/lzhpack/lh5_encoder.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <queue>
#include <stdexcept>
#include <utility>

namespace lzhpack {

// ---- bits ----

void CBitWriter::Put(uint32_t value, int bits) {
    // m_count stays below 8 between calls, so 24 new bits fit in m_acc.
    m_acc = (m_acc << bits) | (value & ((1u << bits) - 1));
    m_count += bits;
    while (m_count >= 8) {
        m_count -= 8;
        m_bytes.push_back((uint8_t)(m_acc >> m_count));
    }
    m_acc &= (1u << m_count) - 1;
}

std::vector<uint8_t> CBitWriter::Finish() {
    if (m_count > 0) Put(0, 8 - m_count);
    std::vector<uint8_t> bytes;
    bytes.swap(m_bytes);
    m_acc = 0;
    m_count = 0;
    return bytes;
}

// ---- Huffman codes ----

void CHuffmanCode::BuildLengths(const uint32_t* freq, int count, int maxLength,
                                uint8_t* lengths) {
    std::fill(lengths, lengths + count, 0);
    std::vector<uint32_t> weights(freq, freq + count);
    std::vector<int> symbols;
    for (int s = 0; s < count; ++s)
        if (weights[s] > 0) symbols.push_back(s);
    const int used = (int)symbols.size();
    if (used < 2) return;

    std::vector<int> parent(2 * used - 1);
    std::vector<int> depth(2 * used - 1);
    for (;;) {
        // Ties break on the node number, so the same input gives the same code.
        typedef std::pair<uint64_t, int> Item;
        std::priority_queue<Item, std::vector<Item>, std::greater<Item>> queue;
        for (int i = 0; i < used; ++i) queue.push(Item(weights[symbols[i]], i));
        int next = used;
        while (queue.size() > 1) {
            Item a = queue.top();
            queue.pop();
            Item b = queue.top();
            queue.pop();
            parent[a.second] = parent[b.second] = next;
            queue.push(Item(a.first + b.first, next++));
        }
        // Parents are numbered above their children: walk down from the root.
        const int root = next - 1;
        depth[root] = 0;
        int deepest = 0;
        for (int n = root - 1; n >= 0; --n) {
            depth[n] = depth[parent[n]] + 1;
            if (n < used) deepest = std::max(deepest, depth[n]);
        }
        if (deepest <= maxLength) {
            for (int i = 0; i < used; ++i) lengths[symbols[i]] = (uint8_t)depth[i];
            return;
        }
        // Too deep: flatten the weights and build again. Halving converges
        // on equal weights, whose tree is at most 9 deep for 510 symbols.
        for (int i = 0; i < used; ++i) {
            uint32_t& w = weights[symbols[i]];
            w = (w + 1) / 2;
        }
    }
}

void CHuffmanCode::MakeCodes(const uint8_t* lengths, int count, uint16_t* codes) {
    int perLength[kMaxCodeLength + 1] = {};
    for (int s = 0; s < count; ++s) perLength[lengths[s]]++;
    perLength[0] = 0;
    uint32_t next[kMaxCodeLength + 2] = {};
    uint32_t code = 0;
    for (int len = 1; len <= kMaxCodeLength; ++len) {
        code = (code + perLength[len - 1]) << 1;
        next[len] = code;
    }
    for (int s = 0; s < count; ++s)
        codes[s] = lengths[s] ? (uint16_t)next[lengths[s]]++ : 0;
}

// ---- matches ----

CMatchFinder::CMatchFinder()
    : m_head((size_t)1 << kHashBits, -1), m_prev(kDictionarySize, -1) {}

void CMatchFinder::Reset(const uint8_t* data, int32_t size) {
    m_data = data;
    m_size = size;
    std::fill(m_head.begin(), m_head.end(), -1);
}

uint32_t CMatchFinder::Hash(int32_t pos) const {
    const uint8_t* p = m_data + pos;
    uint32_t v = (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16;
    return (v * 2654435761u) >> (32 - kHashBits);
}

void CMatchFinder::Insert(int32_t pos) {
    uint32_t h = Hash(pos);
    m_prev[pos & (kDictionarySize - 1)] = m_head[h];
    m_head[h] = pos;
}

namespace {

// Bytes that a and b have in common, up to limit; a lies before b, and b
// has limit bytes available.
int32_t CommonLength(const uint8_t* a, const uint8_t* b, int32_t limit) {
    int32_t n = 0;
    while (n + 8 <= limit) {
        uint64_t x, y;
        memcpy(&x, a + n, 8);
        memcpy(&y, b + n, 8);
        uint64_t diff = x ^ y;
        if (diff) {
            // Little-endian loads: the lowest differing byte is the first.
            return n + (int32_t)(__builtin_ctzll(diff) >> 3);
        }
        n += 8;
    }
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

}  // namespace

int32_t CMatchFinder::Find(int32_t pos, int32_t maxChain, int32_t niceLength,
                           int32_t* distance) const {
    int32_t limit = std::min<int32_t>(kMaxMatch, m_size - pos);
    if (limit < kMinMatch) return 0;
    if (niceLength > limit) niceLength = limit;
    const uint8_t* current = m_data + pos;
    const int32_t oldest = pos - kDictionarySize;
    int32_t best = kMinMatch - 1;
    // Every position on a chain within 8 KB of pos still has its own m_prev
    // entry: it is overwritten only when a position 8 KB later is inserted,
    // and nothing at or after pos has been inserted yet.
    int32_t candidate = m_head[Hash(pos)];
    while (candidate >= oldest && candidate >= 0 && maxChain-- > 0) {
        const uint8_t* c = m_data + candidate;
        if (c[best] == current[best] && c[0] == current[0] && c[1] == current[1]) {
            int32_t len = CommonLength(c, current, limit);
            if (len > best) {
                best = len;
                *distance = pos - candidate;
                if (len >= niceLength) break;
            }
        }
        candidate = m_prev[candidate & (kDictionarySize - 1)];
    }
    return best >= kMinMatch ? best : 0;
}

int32_t CMatchFinder::FindAll(int32_t pos, int32_t end, int32_t maxChain,
                              int32_t niceLength, std::vector<Match>& out) const {
    int32_t limit = std::min<int32_t>(kMaxMatch, end - pos);
    if (limit < kMinMatch) return 0;
    if (niceLength > limit) niceLength = limit;
    const uint8_t* current = m_data + pos;
    const int32_t oldest = pos - kDictionarySize;
    int32_t best = kMinMatch - 1;
    int32_t candidate = m_head[Hash(pos)];  // see Find for why m_prev holds
    while (candidate >= oldest && candidate >= 0 && maxChain-- > 0) {
        const uint8_t* c = m_data + candidate;
        if (c[best] == current[best] && c[0] == current[0] && c[1] == current[1]) {
            int32_t len = CommonLength(c, current, limit);
            if (len > best) {
                best = len;
                out.push_back({len, pos - candidate});
                if (len >= niceLength) break;
            }
        }
        candidate = m_prev[candidate & (kDictionarySize - 1)];
    }
    return best >= kMinMatch ? best : 0;
}

CTreeMatchFinder::CTreeMatchFinder()
    : m_head((size_t)1 << kHashBits, -1), m_children(2 * (size_t)kCycle, -1) {}

void CTreeMatchFinder::Reset(const uint8_t* data, int32_t size) {
    m_data = data;
    m_size = size;
    std::fill(m_head.begin(), m_head.end(), -1);
}

int32_t CTreeMatchFinder::GetMatches(int32_t pos, int32_t maxDepth,
                                     std::vector<CMatchFinder::Match>& out) {
    return Descend(pos, maxDepth, &out);
}

void CTreeMatchFinder::Skip(int32_t pos, int32_t maxDepth) { Descend(pos, maxDepth, nullptr); }

// pos becomes the root of its hash's tree; the old tree is split, on the
// way down, into the part that sorts below pos and the part above. Nodes
// more than 8 KB back are cut off, and so is everything below maxDepth.
// A node's slot is reused kCycle positions later, long after it has
// fallen out of reach.
int32_t CTreeMatchFinder::Descend(int32_t pos, int32_t maxDepth,
                                  std::vector<CMatchFinder::Match>* out) {
    const int32_t limit = std::min<int32_t>(kMaxMatch, m_size - pos);
    int32_t* smaller = &m_children[2 * (pos % kCycle)];
    int32_t* larger = smaller + 1;
    if (limit < kMinMatch) {
        *smaller = *larger = -1;
        return 0;
    }
    const uint8_t* p = m_data + pos;
    uint32_t v = (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16;
    uint32_t h = (v * 2654435761u) >> (32 - kHashBits);
    int32_t candidate = m_head[h];
    m_head[h] = pos;

    // Bytes known to agree with pos on the smaller and the larger side.
    int32_t smallerLen = 0, largerLen = 0;
    int32_t best = kMinMatch - 1;
    for (;;) {
        if (candidate < 0 || pos - candidate > kDictionarySize || maxDepth-- <= 0) {
            *smaller = *larger = -1;
            break;
        }
        int32_t* node = &m_children[2 * (candidate % kCycle)];
        const uint8_t* c = m_data + candidate;
        int32_t len = std::min(smallerLen, largerLen);
        if (c[len] == p[len]) len += 1 + CommonLength(c + len + 1, p + len + 1, limit - len - 1);
        if (len > best) {
            best = len;
            if (out) out->push_back({len, pos - candidate});
        }
        if (len >= limit) {
            // Equal as far as we compare: pos takes the node's place.
            *smaller = node[0];
            *larger = node[1];
            break;
        }
        if (c[len] < p[len]) {
            *smaller = candidate;
            smaller = &node[1];
            candidate = *smaller;
            smallerLen = len;
        } else {
            *larger = candidate;
            larger = &node[0];
            candidate = *larger;
            largerLen = len;
        }
    }
    return best >= kMinMatch ? best : 0;
}

// ---- blocks ----

void CBlockEncoder::WriteBitLength(int length, CBitWriter& out) {
    // 0..6 in 3 bits; 7 and up as 7 followed by (length - 7) ones and a zero.
    if (length < 7) {
        out.Put((uint32_t)length, 3);
        return;
    }
    out.Put(7, 3);
    int ones = length - 7;
    out.Put((1u << ones) - 1, ones);
    out.Put(0, 1);
}

namespace {

// One symbol of the code-length code with its extra bits.
struct LengthItem {
    uint8_t symbol;
    uint8_t extraBits;
    uint16_t extra;
};

// The literal/length code lengths as code-length symbols: 0 = one zero,
// 1 = 3..18 zeros (4 bits), 2 = 20..531 zeros (9 bits), 3.. = length + 2.
std::vector<LengthItem> LengthItems(const uint8_t* lengths, int32_t nc) {
    std::vector<LengthItem> items;
    int32_t i = 0;
    while (i < nc) {
        if (lengths[i] != 0) {
            items.push_back({(uint8_t)(lengths[i] + 2), 0, 0});
            ++i;
            continue;
        }
        int32_t run = 0;
        while (i + run < nc && lengths[i + run] == 0) ++run;
        i += run;
        if (run <= 2) {
            for (int32_t k = 0; k < run; ++k) items.push_back({0, 0, 0});
        } else if (run <= 18) {
            items.push_back({1, 4, (uint16_t)(run - 3)});
        } else if (run == 19) {
            // 19 fits neither run form: one single zero, then 18.
            items.push_back({0, 0, 0});
            items.push_back({1, 4, 15});
        } else {
            items.push_back({2, 9, (uint16_t)(run - 20)});
        }
    }
    return items;
}

int32_t UsedCount(const uint8_t* lengths, int32_t count) {
    int32_t n = count;
    while (n > 0 && lengths[n - 1] == 0) --n;
    return n;
}

int SingleSymbol(const uint32_t* freq, int count) {
    int used = 0, symbol = 0;
    for (int s = 0; s < count; ++s)
        if (freq[s]) {
            ++used;
            symbol = s;
        }
    return used <= 1 ? symbol : -1;
}

}  // namespace

void CBlockEncoder::WriteCodeLengths(const uint8_t* codeLengths, int32_t nc,
                                     CBitWriter& out) {
    std::vector<LengthItem> items = LengthItems(codeLengths, nc);
    uint32_t freq[kCodeLengthSymbols] = {};
    for (const LengthItem& item : items) freq[item.symbol]++;
    uint8_t lengths[kCodeLengthSymbols];
    uint16_t codes[kCodeLengthSymbols];
    int single = SingleSymbol(freq, kCodeLengthSymbols);
    if (single >= 0) {
        // A one-symbol code costs no bits per symbol, only its extra bits.
        out.Put(0, 5);
        out.Put((uint32_t)single, 5);
        std::fill(lengths, lengths + kCodeLengthSymbols, 0);
    } else {
        CHuffmanCode::BuildLengths(freq, kCodeLengthSymbols, kMaxCodeLength, lengths);
        int32_t n = UsedCount(lengths, kCodeLengthSymbols);
        out.Put((uint32_t)n, 5);
        int32_t i = 0;
        while (i < n) {
            if (i == 3) {
                // The 2-bit field after the third length skips up to three
                // zero lengths; entry n - 1 is not zero, so it stops short.
                int32_t k = 0;
                while (k < 3 && lengths[3 + k] == 0) ++k;
                out.Put((uint32_t)k, 2);
                i = 3 + k;
            }
            WriteBitLength(lengths[i], out);
            ++i;
        }
    }
    CHuffmanCode::MakeCodes(lengths, kCodeLengthSymbols, codes);
    out.Put((uint32_t)nc, 9);
    for (const LengthItem& item : items) {
        if (single < 0) out.Put(codes[item.symbol], lengths[item.symbol]);
        if (item.extraBits) out.Put(item.extra, item.extraBits);
    }
}

void CBlockEncoder::Write(const CToken* tokens, int32_t count, CBitWriter& out) {
    uint32_t codeFreq[kCodeSymbols] = {};
    uint32_t distanceFreq[kDistanceSymbols] = {};
    for (int32_t i = 0; i < count; ++i) {
        codeFreq[tokens[i].symbol]++;
        if (tokens[i].symbol >= 256) distanceFreq[DistanceSlot(tokens[i].distance)]++;
    }
    uint8_t codeLengths[kCodeSymbols];
    uint16_t codes[kCodeSymbols];
    uint8_t distanceLengths[kDistanceSymbols];
    uint16_t distanceCodes[kDistanceSymbols];

    out.Put((uint32_t)count, 16);

    int singleCode = SingleSymbol(codeFreq, kCodeSymbols);
    if (singleCode >= 0) {
        // The code-length code is read but unused: its single form, value 0.
        out.Put(0, 5);
        out.Put(0, 5);
        out.Put(0, 9);
        out.Put((uint32_t)singleCode, 9);
        std::fill(codeLengths, codeLengths + kCodeSymbols, 0);
    } else {
        CHuffmanCode::BuildLengths(codeFreq, kCodeSymbols, kMaxCodeLength, codeLengths);
        WriteCodeLengths(codeLengths, UsedCount(codeLengths, kCodeSymbols), out);
    }
    CHuffmanCode::MakeCodes(codeLengths, kCodeSymbols, codes);

    int singleDistance = SingleSymbol(distanceFreq, kDistanceSymbols);
    if (singleDistance >= 0) {
        out.Put(0, 4);
        out.Put((uint32_t)singleDistance, 4);
        std::fill(distanceLengths, distanceLengths + kDistanceSymbols, 0);
    } else {
        CHuffmanCode::BuildLengths(distanceFreq, kDistanceSymbols, kMaxCodeLength,
                                   distanceLengths);
        int32_t np = UsedCount(distanceLengths, kDistanceSymbols);
        out.Put((uint32_t)np, 4);
        for (int32_t i = 0; i < np; ++i) WriteBitLength(distanceLengths[i], out);
    }
    CHuffmanCode::MakeCodes(distanceLengths, kDistanceSymbols, distanceCodes);

    for (int32_t i = 0; i < count; ++i) {
        const CToken& t = tokens[i];
        out.Put(codes[t.symbol], codeLengths[t.symbol]);
        if (t.symbol < 256) continue;
        int slot = DistanceSlot(t.distance);
        out.Put(distanceCodes[slot], distanceLengths[slot]);
        if (slot >= 2) out.Put(t.distance - (1u << (slot - 1)), slot - 1);
    }
}

// ---- the encoder ----

CLh5Encoder::CLh5Encoder(const CEncoderOptions& options) : m_options(options) {
    if (m_options.blockCodes < 1 || m_options.blockCodes > 65535 ||
        m_options.blockBytes < 1 || m_options.blockBytes > 65535)
        throw std::invalid_argument("block size must be 1..65535");
    if (m_options.maxChain < 1) m_options.maxChain = 1;
    m_options.niceLength = std::min(std::max(m_options.niceLength, kMinMatch), kMaxMatch);
}

std::vector<uint8_t> CLh5Encoder::Encode(const uint8_t* data, size_t size) {
    if (size > 0x7FFFFFFF) throw std::length_error("member larger than 2 GB");
    CBitWriter out;
    m_tokens.clear();
    m_tokens.reserve(m_options.blockCodes);
    if (m_options.optimal)
        ParseOptimal(data, (int32_t)size, out);
    else
        ParseLazy(data, (int32_t)size, out);
    return out.Finish();
}

void CLh5Encoder::SetPrices(const CToken* tokens, int32_t count) {
    uint32_t codeFreq[kCodeSymbols] = {};
    uint32_t slotFreq[kDistanceSymbols] = {};
    for (int32_t i = 0; i < count; ++i) {
        codeFreq[tokens[i].symbol]++;
        if (tokens[i].symbol >= 256) slotFreq[DistanceSlot(tokens[i].distance)]++;
    }
    // A symbol the block did not use is priced a little above the longest
    // code, so that the parse can still choose it where it saves much.
    auto price = [](const uint32_t* freq, int n, uint32_t* prices, uint32_t unused) {
        uint8_t lengths[kCodeSymbols];
        CHuffmanCode::BuildLengths(freq, n, kMaxCodeLength, lengths);
        uint32_t longest = 0;
        for (int s = 0; s < n; ++s) longest = std::max<uint32_t>(longest, lengths[s]);
        if (longest == 0) longest = unused;
        for (int s = 0; s < n; ++s)
            prices[s] = lengths[s] ? lengths[s] : freq[s] ? 1 : longest + 2;
    };
    price(codeFreq, kCodeSymbols, m_codePrice, 10);
    price(slotFreq, kDistanceSymbols, m_slotPrice, 4);
}

void CLh5Encoder::ChooseTokens(const uint8_t* data, int32_t start, int32_t end) {
    const int32_t n = end - start;
    const uint32_t kUnreached = 0xFFFFFFFFu;
    m_steps.assign((size_t)n + 1, Step{kUnreached, 0, 0});
    m_steps[0].cost = 0;
    for (int32_t i = 0; i < n; ++i) {
        // Every position is reached at least by a literal from the one before.
        const uint32_t cost = m_steps[i].cost;
        uint32_t literal = cost + m_codePrice[data[start + i]];
        if (literal < m_steps[i + 1].cost) m_steps[i + 1] = Step{literal, 1, 0};
        int32_t shorter = kMinMatch - 1;
        for (int32_t k = m_matchStart[i]; k < m_matchStart[i + 1]; ++k) {
            const CMatchFinder::Match& m = m_matches[k];
            int slot = DistanceSlot((uint32_t)(m.distance - 1));
            uint32_t base = cost + m_slotPrice[slot] + (slot >= 2 ? slot - 1 : 0);
            // The tree reports matches up to the data's end, not the block's.
            const int32_t longest = std::min(m.length, n - i);
            int32_t from = shorter + 1;
            if (from < longest - 16) from = longest - 16;
            for (int32_t len = from; len <= longest; ++len) {
                uint32_t c = base + m_codePrice[len + 256 - kMinMatch];
                if (c < m_steps[i + len].cost)
                    m_steps[i + len] = Step{c, (uint16_t)len, (uint16_t)m.distance};
            }
            shorter = longest;
        }
    }
    m_tokens.clear();
    for (int32_t pos = n; pos > 0;) {
        const Step& step = m_steps[pos];
        if (step.length == 1)
            m_tokens.push_back({data[start + pos - 1], 0});
        else
            m_tokens.push_back({(uint16_t)(step.length + 256 - kMinMatch),
                                (uint16_t)(step.distance - 1)});
        pos -= step.length;
    }
    std::reverse(m_tokens.begin(), m_tokens.end());
}

void CLh5Encoder::ParseOptimal(const uint8_t* data, int32_t size, CBitWriter& out) {
    m_tree.Reset(data, size);
    SetPrices(nullptr, 0);
    for (int32_t start = 0; start < size; start += m_options.blockBytes) {
        const int32_t end = std::min(size, start + m_options.blockBytes);
        // Candidates for every position; after a match of niceLength or
        // more, the positions it covers are only entered in the chains
        // (long runs would otherwise cost a full search per byte).
        m_matches.clear();
        m_matchStart.assign((size_t)(end - start) + 1, 0);
        int32_t searchFrom = start;
        for (int32_t pos = start; pos < end; ++pos) {
            m_matchStart[pos - start] = (int32_t)m_matches.size();
            if (pos >= searchFrom) {
                int32_t longest = m_tree.GetMatches(pos, m_options.maxDepth, m_matches);
                if (longest >= m_options.niceLength) searchFrom = pos + longest;
            } else {
                m_tree.Skip(pos, m_options.maxDepth);
            }
        }
        m_matchStart[end - start] = (int32_t)m_matches.size();
        // Prices from the block before; the first block has none, so it is
        // parsed once more with the prices of its own first choice.
        ChooseTokens(data, start, end);
        if (start == 0) {
            SetPrices(m_tokens.data(), (int32_t)m_tokens.size());
            ChooseTokens(data, start, end);
        }
        m_block.Write(m_tokens.data(), (int32_t)m_tokens.size(), out);
        SetPrices(m_tokens.data(), (int32_t)m_tokens.size());
    }
    m_tokens.clear();
}

void CLh5Encoder::ParseLazy(const uint8_t* data, int32_t size, CBitWriter& out) {
    m_finder.Reset(data, size);
    auto emit = [&](uint16_t symbol, uint16_t distance) {
        m_tokens.push_back({symbol, distance});
        if ((int32_t)m_tokens.size() == m_options.blockCodes) {
            m_block.Write(m_tokens.data(), (int32_t)m_tokens.size(), out);
            m_tokens.clear();
        }
    };
    auto emitMatch = [&](int32_t len, int32_t dist) {
        emit((uint16_t)(len + 256 - kMinMatch), (uint16_t)(dist - 1));
    };
    auto insertRange = [&](int32_t from, int32_t to) {
        for (int32_t p = from; p < to && p + kMinMatch <= size; ++p) m_finder.Insert(p);
    };
    // A 3-byte match this far back costs about as much as three literals.
    const int32_t kFarShortMatch = 4096;

    // Lazy matching: a match found at pos - 1 waits in "pending" until the
    // search at pos shows whether starting one byte later is better.
    bool pending = false;
    int32_t pendingLen = 0, pendingDist = 0;
    int32_t pos = 0;
    while (pos < size) {
        int32_t len = 0, dist = 0;
        if (pos + kMinMatch <= size) {
            if (!(pending && pendingLen >= m_options.lazyLimit)) {
                len = m_finder.Find(pos, m_options.maxChain, m_options.niceLength, &dist);
                if (len == kMinMatch && dist > kFarShortMatch) len = 0;
            }
            m_finder.Insert(pos);
        }
        if (pending) {
            if (len > pendingLen) {
                emit(data[pos - 1], 0);
                pendingLen = len;
                pendingDist = dist;
                ++pos;
                continue;
            }
            emitMatch(pendingLen, pendingDist);
            int32_t end = pos - 1 + pendingLen;
            insertRange(pos + 1, end);
            pos = end;
            pending = false;
            continue;
        }
        if (len >= m_options.lazyLimit) {
            emitMatch(len, dist);
            insertRange(pos + 1, pos + len);
            pos += len;
        } else if (len >= kMinMatch) {
            pending = true;
            pendingLen = len;
            pendingDist = dist;
            ++pos;
        } else {
            emit(data[pos], 0);
            ++pos;
        }
    }
    if (pending) emitMatch(pendingLen, pendingDist);
    if (!m_tokens.empty()) {
        m_block.Write(m_tokens.data(), (int32_t)m_tokens.size(), out);
        m_tokens.clear();
    }
}

}  // namespace lzhpack
