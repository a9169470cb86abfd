// CLzhExtractor: finds an LZH archive inside a file, checks its member
// headers, and extracts members into a folder one small unit of work per
// Step, reporting every failure as an ExtractError.
#ifndef ENGINE_LZH_EXTRACTOR_H
#define ENGINE_LZH_EXTRACTOR_H

#include <cstdint>
#include <cstring>

#include "engine/huffman_table.h"
#include "engine/lzh_file.h"

enum ExtractError {
    EXTRACT_OK = 0,
    EXTRACT_ERR_OPEN_ARCHIVE = 1,   // the archive file cannot be opened
    EXTRACT_ERR_CREATE_FOLDER = 2,  // destination folder cannot be made
    EXTRACT_ERR_CREATE_FILE = 3,    // a member's output file cannot be made
    EXTRACT_ERR_FILE_ACCESS = 4,    // a system read or write failed
    EXTRACT_ERR_NO_ARCHIVE = 5,     // no archive, or no member of that name
    EXTRACT_ERR_BAD_HEADER = 6,     // a following member header is invalid
    EXTRACT_ERR_BAD_DATA = 7,       // member data corrupt or cut short
    EXTRACT_ERR_METHOD = 8,         // neither stored nor -lh5-
    EXTRACT_ERR_CRC = 9,            // CRC-16 of a finished member differs
};

// The nine method ids, in the order that gives m_method.
extern const char g_methodIds[9][5];

enum : int32_t {
    METHOD_LH0 = 0,
    METHOD_LH5 = 5,
    METHOD_LZ4 = 8,
};

class CLzhExtractor {
public:
    static const int32_t kWindowSize = 0x4000;
    static const int32_t kWindowAlloc = 16640;
    static const int32_t kTextSize = 260;
    static const int32_t kHeaderRead = 512;
    // The CRC table and seven derived ones, so that UpdateCrc folds eight
    // bytes per round with one look-up per byte and no serial chain.
    static const int32_t kCrcSlices = 8;

    CLzhExtractor();
    ~CLzhExtractor();
    CLzhExtractor(const CLzhExtractor&) = delete;
    CLzhExtractor& operator=(const CLzhExtractor&) = delete;

    bool Begin(const char* archivePath, const char* folder, const char* filter);
    bool Step(bool* done);
    void Abort();
    int Progress() const;
    const char* CurrentName() const { return m_name; }

    // The first half of Begin, for tools that list an archive: opens the
    // file and finds its first header (EXTRACT_ERR_OPEN_ARCHIVE or
    // EXTRACT_ERR_NO_ARCHIVE in m_error on failure). ReadNextHeader then
    // walks on; the caller ends with Abort.
    bool OpenArchive(const char* archivePath);
    int32_t ReadNextHeader();

    // Header format and checksums.
    void BuildCrcTable();
    void UpdateCrc(const uint8_t* bytes, int32_t count);
    static uint8_t HeaderSum(const uint8_t* bytes, int32_t count);
    static const char* StripPath(const char* name);
    bool ParseHeader(uint8_t* header, int32_t available);

    // Member steps.
    bool StepStored(CLzhFile& in, CLzhFile& out, bool* done);
    bool StepLh5(CLzhFile& in, CLzhFile& out, bool* done);

    // -lh5- decoding. The two per-code decodes are inline (below): they run
    // once or twice for every literal or match.
    inline int32_t DecodeCode(CLzhFile& in);
    inline int32_t DecodeDistance(CLzhFile& in);
    int32_t DecodeNext(CLzhFile& in, int32_t* distance);
    int32_t ReadBitLength(CLzhFile& in);
    void ReadBlockHeader(CLzhFile& in);
    inline void CopyForward(int32_t destination, int32_t source, int32_t count);

    uint16_t* m_crcTable;  // kCrcSlices x 256 entries; the first 256 are the CRC table
    uint8_t* m_window;
    CLzhFile m_in;
    CLzhFile m_out;
    int32_t m_headerPos;
    char m_folder[kTextSize];
    char m_filter[kTextSize];
    char m_outPath[kTextSize];
    bool m_compressed;
    int32_t m_remaining;
    int32_t m_windowPos;
    CHuffmanTable m_codeTable;
    CHuffmanTable m_auxTable;
    uint16_t m_crc;
    int32_t m_error;
    int32_t m_blockLeft;
    int32_t m_headerSize;
    int32_t m_method;
    int32_t m_packedSize;
    int32_t m_originalSize;
    int32_t m_time;
    char m_name[kTextSize];
    bool m_noCrc;
    uint16_t m_expectedCrc;

private:
    bool Fail(int32_t error);
    bool FailMember(int32_t error);
    bool ScanForArchive();
    bool PrepareFolder(const char* folder);
    bool OpenMember();
    void StampOutput();
    bool TakeName(const uint8_t* bytes, int32_t count);
    bool ParseLevel2(uint8_t* header, int32_t available);
    bool ParseLevel01(uint8_t* header, int32_t available);
    bool CheckHeaderCrc(uint8_t* header, uint8_t* crcField);
};

int32_t CLzhExtractor::DecodeCode(CLzhFile& in) {
    if (m_blockLeft <= 0) ReadBlockHeader(in);
    int32_t symbol;
    in.SkipBits(m_codeTable.Decode(in.PeekWord(), &symbol));
    m_blockLeft -= 1;
    return symbol;
}

// Distance value 0..8191; the copy distance is one more.
int32_t CLzhExtractor::DecodeDistance(CLzhFile& in) {
    int32_t s;
    in.SkipBits(m_auxTable.Decode(in.PeekWord(), &s));
    if (s <= 1) return s;
    return (1 << (s - 1)) + in.ReadBits(s - 1);
}

// Forward, one byte after another: with a distance shorter than the count
// the copy reads bytes it has just written, which is how runs are coded.
// When source and destination lie at least 8 bytes apart, pieces of up to
// 8 bytes give the same result: a piece reads only bytes that are final
// (untouched by this copy, or written by an earlier piece), and the last
// piece, placed to end exactly at the count, rewrites what an earlier one
// wrote with the same values. Nothing past destination + count is written:
// the bytes there are still the dictionary.
void CLzhExtractor::CopyForward(int32_t destination, int32_t source, int32_t count) {
    uint8_t* d = m_window + destination;
    const uint8_t* s = m_window + source;
    const int32_t gap = destination > source ? destination - source : source - destination;
    if (gap >= 8 && count >= 8) {
        uint64_t piece;
        for (int32_t i = 0; i < count - 8; i += 8) {
            memcpy(&piece, s + i, 8);
            memcpy(d + i, &piece, 8);
        }
        memcpy(&piece, s + count - 8, 8);
        memcpy(d + count - 8, &piece, 8);
    } else if (gap >= 8 && count >= 4) {
        uint32_t head, tail;
        memcpy(&head, s, 4);
        memcpy(&tail, s + count - 4, 4);
        memcpy(d, &head, 4);
        memcpy(d + count - 4, &tail, 4);
    } else if (destination - source == 1) {
        memset(d, *s, (size_t)count);
    } else {
        for (int32_t i = 0; i < count; ++i) d[i] = s[i];
    }
}

#endif
