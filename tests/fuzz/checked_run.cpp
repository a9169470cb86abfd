#include "tests/fuzz/checked_run.h"

#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fuzz {

namespace {

// Every entry of the folder with its size; the folder is left empty.
std::map<std::string, long long> TakeOutput(const std::string& folder, std::string* broken) {
    std::map<std::string, long long> files;
    DIR* d = opendir(folder.c_str());
    if (d == nullptr) return files;
    while (struct dirent* e = readdir(d)) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        std::string path = folder + "/" + e->d_name;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            *broken = "the output folder holds something other than a file";
            continue;
        }
        files[e->d_name] = (long long)st.st_size;
        unlink(path.c_str());
    }
    closedir(d);
    return files;
}

}  // namespace

RunReport CheckedRun(CLzhExtractor& engine, const std::string& archive,
                     const std::string& folder, size_t fileSize, int64_t maxOutput) {
    RunReport report{-1, "", {}};
    TakeOutput(folder, &report.broken);
    auto fail = [&](const char* what) {
        if (report.broken.empty()) report.broken = what;
    };

    // Names and sizes of finished members; a later one of the same name
    // replaces the earlier file.
    std::map<std::string, long long> finished;
    bool ok = engine.Begin(archive.c_str(), folder.c_str(), nullptr);
    bool cut = false;
    if (ok) {
        int64_t budget = 0, members = 0, finishedOutput = 0;
        // A stored member takes one step per 16 KB, an -lh5- member at most
        // one per byte, and both one step when empty.
        auto account = [&]() {
            members += 1;
            budget += (int64_t)engine.m_originalSize + 2;
        };
        account();
        int32_t headerPos = engine.m_headerPos;
        for (int64_t steps = 0;; ++steps) {
            if (steps > budget) {
                fail("more steps than the members' sizes allow");
                engine.Abort();
                break;
            }
            if (members > (int64_t)fileSize / 22 + 1) fail("more members than the file can hold");
            // What has been produced so far, of finished members and of
            // the one under way.
            if (finishedOutput + engine.m_originalSize - engine.m_remaining > maxOutput) {
                engine.Abort();
                cut = true;
                break;
            }
            const std::string name = engine.m_name;
            const int32_t size = engine.m_originalSize;
            bool done = false;
            ok = engine.Step(&done);
            // The walk moved on, or ended: the member before is finished,
            // even when the next header or output file then failed.
            const bool movedOn = engine.m_headerPos != headerPos;
            if (movedOn || (ok && done)) {
                finished[name] = size;
                finishedOutput += size;
            }
            if (!ok || done) break;
            if (movedOn) {
                headerPos = engine.m_headerPos;
                account();
            }
        }
    }
    if (engine.m_in.IsOpen() || engine.m_out.IsOpen()) fail("a file stays open");
    if (!cut) {
        report.result = engine.m_error;
        if (ok && engine.m_error != EXTRACT_OK) fail("success with an error code");
        if (!ok && (engine.m_error < EXTRACT_ERR_OPEN_ARCHIVE || engine.m_error > EXTRACT_ERR_CRC))
            fail("failure without an ExtractError");
    }

    report.files = TakeOutput(folder, &report.broken);
    for (const auto& f : report.files) {
        auto it = finished.find(f.first);
        if (it == finished.end()) fail("an unfinished member's file was left behind");
        else if (f.second != it->second) fail("a file whose size differs from its header's");
    }
    return report;
}

}  // namespace fuzz
