// The -lh5- decoder: LZ77 over an 8 KB dictionary in a 16 KB window, coded
// in blocks with their own canonical Huffman codes. One literal or one
// match per step.
#include <cstring>

#include "engine/lzh_extractor.h"

namespace {

const int32_t kCodeLengthSymbols = 19;
const int32_t kCodeSymbols = 510;
const int32_t kDistanceSymbols = 14;
const int32_t kCodeTableBits = 12;
const int32_t kAuxTableBits = 8;
const int32_t kMinMatch = 3;

}  // namespace

// One literal/length symbol and, after a length symbol, its distance
// value. A code takes at most 16 + 16 + 12 bits, so with 8 bytes in the
// input buffer the bits are taken without any refill test, through locals
// the compiler keeps in registers; otherwise, and when a block begins, the
// stream's own operations do it.
inline int32_t CLzhExtractor::DecodeNext(CLzhFile& in, int32_t* distance) {
    if (m_blockLeft <= 0 || in.m_fill - in.m_pos < 8) {
        int32_t code = DecodeCode(in);
        if (code >= 256) *distance = DecodeDistance(in);
        return code;
    }
    uint32_t bits = in.m_bitBuffer;
    int32_t count = in.m_bitCount;
    const uint8_t* next = in.m_buffer + in.m_pos;
    auto skip = [&](int32_t n) {
        count -= n;
        while (count < 0) {
            count += 8;
            bits = bits << 8 | *next++;
        }
    };
    int32_t code;
    skip(m_codeTable.Decode(bits >> count, &code));
    m_blockLeft -= 1;
    if (code >= 256) {
        int32_t s;
        skip(m_auxTable.Decode(bits >> count, &s));
        if (s <= 1) {
            *distance = s;
        } else {
            const int32_t extra = (int32_t)(((bits >> count) & 0xFFFF) >> (17 - s));
            skip(s - 1);
            *distance = (1 << (s - 1)) + extra;
        }
    }
    in.m_bitBuffer = bits;
    in.m_bitCount = count;
    in.m_pos = (int32_t)(next - in.m_buffer);
    return code;
}

bool CLzhExtractor::StepLh5(CLzhFile& in, CLzhFile& out, bool* done) {
    *done = false;
    try {
        // m_remaining is above 0 here except for a member of size 0, which
        // is finished without decoding anything.
        if (m_remaining > 0) {
            int32_t distance = 0;
            int32_t code = DecodeNext(in, &distance);
            if (code < 256) {
                m_window[m_windowPos++] = (uint8_t)code;
                m_remaining -= 1;
                if (m_windowPos == kWindowSize) {
                    m_windowPos = 0;
                    UpdateCrc(m_window, kWindowSize);
                    out.WriteBlock(m_window, kWindowSize);
                }
            } else {
                int32_t length = code - (256 - kMinMatch);
                // A final match is cut at the member's size, so the file
                // holds exactly the bytes its header promises.
                if (length > m_remaining) length = m_remaining;
                int32_t source = m_windowPos - distance - 1;
                if (m_windowPos + length >= kWindowSize) {
                    // m_windowPos >= 16128 and the distance is at most
                    // 8192, so source is not negative here.
                    int32_t n = kWindowSize - m_windowPos;
                    CopyForward(m_windowPos, source, n);
                    m_remaining -= n;
                    length -= n;
                    source += n;
                    m_windowPos = 0;
                    UpdateCrc(m_window, kWindowSize);
                    out.WriteBlock(m_window, kWindowSize);
                } else if (source < 0) {
                    source += kWindowSize;  // the previous window cycle
                }
                if (source + length > kWindowSize) {
                    int32_t n = kWindowSize - source;
                    CopyForward(m_windowPos, source, n);
                    length -= n;
                    source = 0;
                    m_windowPos += n;
                    m_remaining -= n;
                }
                if (length > 0) {
                    CopyForward(m_windowPos, source, length);
                    m_windowPos += length;
                    m_remaining -= length;
                }
            }
        }
        if (m_remaining <= 0) {
            if (m_windowPos > 0) {
                UpdateCrc(m_window, m_windowPos);
                out.WriteBlock(m_window, m_windowPos);
            }
            out.Flush();
            *done = true;
        }
    } catch (CExceptionLZH&) {
        m_error = EXTRACT_ERR_BAD_DATA;
        return false;
    } catch (CFileException&) {
        m_error = EXTRACT_ERR_FILE_ACCESS;
        return false;
    }
    return true;
}

// Block header: size (16), the code-length code, the literal/length code
// and the distance code, each either a list of lengths or, with a count of
// 0, one value that every code decodes to.
void CLzhExtractor::ReadBlockHeader(CLzhFile& in) {
    int32_t lengths[kCodeSymbols];
    m_blockLeft = in.ReadBits(16);

    int32_t n = in.ReadBits(5);
    if (n > kCodeLengthSymbols) throw CExceptionLZH();
    if (n == 0) {
        m_auxTable.BuildSingle(kCodeLengthSymbols, kAuxTableBits, in.ReadBits(5));
    } else {
        int32_t i = 0;
        while (i < n) {
            if (i == 3) {
                // After the third length, a 2-bit count of zero lengths.
                int32_t k = in.ReadBits(2);
                if (k > 0) {
                    for (int32_t j = 3; j < 3 + k; ++j) lengths[j] = 0;
                    i = 3 + k;
                    continue;
                }
            }
            lengths[i++] = ReadBitLength(in);
        }
        for (; i < kCodeLengthSymbols; ++i) lengths[i] = 0;
        m_auxTable.Build(kCodeLengthSymbols, kAuxTableBits, lengths);
    }

    int32_t nc = in.ReadBits(9);
    if (nc > kCodeSymbols) throw CExceptionLZH();
    if (nc == 0) {
        m_codeTable.BuildSingle(kCodeSymbols, kCodeTableBits, in.ReadBits(9));
    } else {
        int32_t i = 0;
        while (i < nc) {
            int32_t s;
            in.SkipBits(m_auxTable.Decode(in.PeekWord(), &s));
            if (s > 2) {
                lengths[i++] = s - 2;
                continue;
            }
            int32_t run = s == 0 ? 1 : s == 1 ? 3 + in.ReadBits(4) : 20 + in.ReadBits(9);
            if (i + run > kCodeSymbols) throw CExceptionLZH();
            for (int32_t j = 0; j < run; ++j) lengths[i++] = 0;
        }
        for (; i < kCodeSymbols; ++i) lengths[i] = 0;
        m_codeTable.Build(kCodeSymbols, kCodeTableBits, lengths);
    }

    int32_t np = in.ReadBits(4);
    if (np > kDistanceSymbols) throw CExceptionLZH();
    if (np == 0) {
        m_auxTable.BuildSingle(kDistanceSymbols, kAuxTableBits, in.ReadBits(4));
    } else {
        int32_t i = 0;
        for (; i < np; ++i) lengths[i] = ReadBitLength(in);
        for (; i < kDistanceSymbols; ++i) lengths[i] = 0;
        m_auxTable.Build(kDistanceSymbols, kAuxTableBits, lengths);
    }
}

// 3 bits; 7 is followed by unary ones ended by a zero: 7 takes 4 bits, 8
// takes 5, and sixteen ones give 23 (which no table accepts).
int32_t CLzhExtractor::ReadBitLength(CLzhFile& in) {
    int32_t c = in.ReadBits(3);
    if (c == 7) {
        uint16_t w = in.PeekWord();
        for (uint16_t mask = 0x8000; mask != 0 && (w & mask); mask >>= 1) ++c;
        in.SkipBits(c - 6);
    }
    return c;
}
