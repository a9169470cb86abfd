#include "tests/fuzz/fuzz_support.h"

#include "tests/fuzz/checked_run.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace fuzz {

void Violation(const char* what) {
    fprintf(stderr, "engine promise broken: %s\n", what);
    abort();
}

const std::string& ScratchDir() {
    static std::string dir = [] {
        char pattern[] = "/tmp/lzhfuzz.XXXXXX";
        if (mkdtemp(pattern) == nullptr) Violation("mkdtemp");
        return std::string(pattern);
    }();
    return dir;
}

std::string WriteArchive(const uint8_t* data, size_t size) {
    std::string path = ScratchDir() + "/archive.exe";
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr) Violation("cannot write the archive");
    if (size > 0 && fwrite(data, 1, size, f) != size) Violation("short archive write");
    fclose(f);
    return path;
}

void CheckedRun(CLzhExtractor& engine, const std::string& archive, size_t fileSize,
                int64_t maxOutput) {
    RunReport report = CheckedRun(engine, archive, ScratchDir() + "/out", fileSize, maxOutput);
    if (!report.broken.empty()) Violation(report.broken.c_str());
}

}  // namespace fuzz
