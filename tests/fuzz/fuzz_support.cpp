#include "tests/fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <map>
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

namespace {

// Every entry of the output folder with its size; the folder is left empty.
std::map<std::string, long long> TakeOutput(const std::string& folder) {
    std::map<std::string, long long> files;
    DIR* d = opendir(folder.c_str());
    if (d == nullptr) return files;
    while (struct dirent* e = readdir(d)) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        std::string path = folder + "/" + e->d_name;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            Violation("the output folder holds something other than a file");
        files[e->d_name] = (long long)st.st_size;
        unlink(path.c_str());
    }
    closedir(d);
    return files;
}

}  // namespace

void CheckedRun(CLzhExtractor& engine, const std::string& archive, size_t fileSize,
                int64_t maxOutput) {
    const std::string folder = ScratchDir() + "/out";
    TakeOutput(folder);

    // Names and sizes of finished members; a later one of the same name
    // replaces the earlier file.
    std::map<std::string, long long> finished;
    bool ok = engine.Begin(archive.c_str(), folder.c_str(), nullptr);
    int64_t budget = 0;
    int64_t output = 0;
    int64_t members = 0;
    bool done = false;
    if (ok) {
        // A Step that opens a member reports its sizes through the fields.
        auto account = [&]() {
            members += 1;
            output += engine.m_originalSize;
            // A stored member takes one step per 16 KB, an -lh5- member at
            // most one per byte, and both one step when empty.
            budget += (int64_t)engine.m_originalSize + 2;
        };
        account();
        int32_t headerPos = engine.m_headerPos;
        for (int64_t steps = 0;; ++steps) {
            FUZZ_CHECK(steps <= budget);
            FUZZ_CHECK(members <= (int64_t)fileSize / 22 + 1);
            if (output > maxOutput) {
                engine.Abort();
                break;
            }
            std::string name = engine.m_name;
            int32_t size = engine.m_originalSize;
            ok = engine.Step(&done);
            // The walk moved on, or ended: the member before is finished,
            // even when the next header or output file then failed.
            const bool movedOn = engine.m_headerPos != headerPos;
            if (movedOn || (ok && done)) finished[name] = size;
            if (!ok || done) break;
            if (movedOn) {
                headerPos = engine.m_headerPos;
                account();
            }
        }
    }
    FUZZ_CHECK(!engine.m_in.IsOpen());
    FUZZ_CHECK(!engine.m_out.IsOpen());
    if (ok) FUZZ_CHECK(engine.m_error == EXTRACT_OK);
    else FUZZ_CHECK(engine.m_error >= EXTRACT_ERR_OPEN_ARCHIVE && engine.m_error <= EXTRACT_ERR_CRC);

    std::map<std::string, long long> files = TakeOutput(folder);
    for (const auto& f : files) {
        auto it = finished.find(f.first);
        if (it == finished.end()) Violation("an unfinished member's file was left behind");
        FUZZ_CHECK(f.second == it->second);
    }
}

}  // namespace fuzz
