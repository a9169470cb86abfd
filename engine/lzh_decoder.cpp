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

bool CLzhExtractor::StepLh5(CLzhFile& in, CLzhFile& out, bool* done) {
    *done = false;
    try {
        // m_remaining is above 0 here except for a member of size 0, which
        // is finished without decoding anything.
        if (m_remaining > 0) {
            int32_t code = DecodeCode(in);
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
                int32_t source = m_windowPos - DecodeDistance(in) - 1;
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

// Forward, one byte after another: with a distance shorter than the count
// the copy reads bytes it has just written, which is how runs are coded.
void CLzhExtractor::CopyForward(int32_t destination, int32_t source, int32_t count) {
    uint8_t* w = m_window;
    if (source >= destination || destination - source >= count) {
        memmove(w + destination, w + source, (size_t)count);
        return;
    }
    for (int32_t i = 0; i < count; ++i) w[destination + i] = w[source + i];
}

int32_t CLzhExtractor::DecodeCode(CLzhFile& in) {
    if (m_blockLeft <= 0) ReadBlockHeader(in);
    int32_t symbol;
    in.SkipBits(m_codeTable.Decode(in.PeekWord(), &symbol));
    m_blockLeft -= 1;
    return symbol;
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

// Distance value 0..8191; the copy distance is one more.
int32_t CLzhExtractor::DecodeDistance(CLzhFile& in) {
    int32_t s;
    in.SkipBits(m_auxTable.Decode(in.PeekWord(), &s));
    if (s <= 1) return s;
    return (1 << (s - 1)) + in.ReadBits(s - 1);
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
