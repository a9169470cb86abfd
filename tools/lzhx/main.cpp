// lzhx: extracts or lists the LZH archive inside any file (an installer
// executable included) with the installer's own engine.
//
//   lzhx x ARCHIVE DEST_DIR [MEMBER]   extract; exit status = ExtractError
//   lzhx l ARCHIVE                     list the members
//
// Paths on the command line are UTF-8; the engine works in code page 932.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "engine/lzh_extractor.h"

namespace {

const int kUsageError = 64;

const char* const kErrorText[] = {
    "no error",
    "cannot open the archive file",
    "cannot create the destination folder",
    "cannot create a member's file",
    "a read or write failed",
    "no archive found, or no member of that name",
    "invalid member header",
    "member data is corrupt or cut short",
    "unsupported compression method",
    "CRC mismatch",
};

int Usage() {
    fprintf(stderr,
            "usage: lzhx x ARCHIVE DEST_DIR [MEMBER]\n"
            "       lzhx l ARCHIVE\n");
    return kUsageError;
}

// Member names come out as UTF-8; bytes that are not code page 932 are
// shown as they are.
const char* Printable(const char* ansi, char* buffer, int size) {
    if (!AnsiPathToNative(ansi, buffer, size)) return ansi;
    return buffer;
}

bool ToAnsi(const char* what, const char* native, char* out, int size) {
    if (NativePathToAnsi(native, out, size)) return true;
    fprintf(stderr, "lzhx: %s '%s' has no code page 932 form or is too long\n",
            what, native);
    return false;
}

int Fail(const CLzhExtractor& engine) {
    int code = engine.m_error;
    const char* text = code >= 0 && code <= 9 ? kErrorText[code] : "unknown error";
    fprintf(stderr, "lzhx: error %d: %s\n", code, text);
    return code;
}

int Extract(CLzhExtractor& engine, const char* archive, const char* folder,
            const char* member) {
    char ansiArchive[4096], ansiFolder[CLzhExtractor::kTextSize],
        ansiMember[CLzhExtractor::kTextSize];
    if (!ToAnsi("archive path", archive, ansiArchive, sizeof ansiArchive) ||
        !ToAnsi("folder", folder, ansiFolder, sizeof ansiFolder) ||
        (member && !ToAnsi("member name", member, ansiMember, sizeof ansiMember)))
        return kUsageError;
    char shown[1024];
    if (!engine.Begin(ansiArchive, ansiFolder, member ? ansiMember : nullptr))
        return Fail(engine);
    int32_t printedAt = -1;
    for (;;) {
        if (engine.m_headerPos != printedAt) {
            printf("%s\n", Printable(engine.CurrentName(), shown, sizeof shown));
            printedAt = engine.m_headerPos;
        }
        bool done = false;
        if (!engine.Step(&done)) return Fail(engine);
        if (done) return 0;
    }
}

int List(CLzhExtractor& engine, const char* archive) {
    char ansiArchive[4096];
    if (!ToAnsi("archive path", archive, ansiArchive, sizeof ansiArchive))
        return kUsageError;
    FILE* raw = fopen(archive, "rb");  // for the level byte of each header
    if (!engine.OpenArchive(ansiArchive) || raw == nullptr) {
        if (raw) fclose(raw);
        return Fail(engine);
    }
    printf("%-32s %-5s %10s %10s %-6s %-19s %s\n", "name", "method", "packed",
           "original", "crc", "time (UTC)", "level");
    char shown[1024];
    int32_t error = EXTRACT_OK;
    while (engine.m_headerSize > 0) {
        unsigned char header[21] = {};
        fseek(raw, engine.m_headerPos, SEEK_SET);
        size_t got = fread(header, 1, sizeof header, raw);
        char crc[8] = "-";
        if (!engine.m_noCrc) snprintf(crc, sizeof crc, "%04X", engine.m_expectedCrc);
        char when[32] = "-";
        time_t t = engine.m_time;
        struct tm tm;
        if (engine.m_time >= 0 && gmtime_r(&t, &tm))
            strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
        printf("%-32s %.5s %10d %10d %-6s %-19s %d\n",
               Printable(engine.CurrentName(), shown, sizeof shown),
               g_methodIds[engine.m_method], engine.m_packedSize,
               engine.m_originalSize, crc, when, got == sizeof header ? header[20] : -1);
        error = engine.ReadNextHeader();
        if (error != EXTRACT_OK) break;
    }
    fclose(raw);
    engine.Abort();
    if (error != EXTRACT_OK) {
        engine.m_error = error;
        return Fail(engine);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    static CLzhExtractor engine;
    if (argc >= 2 && strcmp(argv[1], "x") == 0 && (argc == 4 || argc == 5))
        return Extract(engine, argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
    if (argc == 3 && strcmp(argv[1], "l") == 0) return List(engine, argv[2]);
    return Usage();
}
