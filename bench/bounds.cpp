// Memory and scan bounds of the engine, as figures:
//   bounds_bench member  - peak RSS of extracting one stored and one -lh5-
//                          member of 10 and 100 MB (each run in a child)
//   bounds_bench scan    - MB/s of the archive scan over 10 and 100 MB with
//                          no archive: random bytes, and '-' bytes that send
//                          every position to the header parser
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/lzh_extractor.h"
#include "tests/support/engine_run.h"
#include "tests/support/lh5_writer.h"
#include "tests/support/lzh_builder.h"

using namespace lzhtest;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::string g_self;

// Peak resident memory of this process, in KB (the high-water mark of its
// own address space, which a fresh exec starts anew).
long PeakRssKb() {
    FILE* f = fopen("/proc/self/status", "r");
    char line[256];
    long kb = -1;
    while (f && fgets(line, sizeof line, f))
        if (sscanf(line, "VmHWM: %ld kB", &kb) == 1) break;
    if (f) fclose(f);
    return kb;
}

// Extracts in this process and prints the figures.
int ExtractAndReport(const char* what, const char* archive, const char* out, double mb) {
    auto start = std::chrono::steady_clock::now();
    CLzhExtractor engine;
    const int result = ExtractAll(engine, archive, out);
    const double s = Seconds(start);
    printf("%-28s result %d  peak RSS %6ld KB  %6.2f s  %7.1f MB/s\n", what, result,
           PeakRssKb(), s, mb / s);
    return result;
}

// Runs the extraction in a fresh process, so that the archive built here
// does not count.
void MeasureChild(const std::string& what, const std::string& archive, const std::string& out,
                  double mb) {
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        execl(g_self.c_str(), g_self.c_str(), "extract", what.c_str(), archive.c_str(),
              out.c_str(), std::to_string(mb).c_str(), (char*)nullptr);
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
}

void Members(const std::string& dir) {
    for (int mb : {10, 100}) {
        const size_t size = (size_t)mb << 20;
        Bytes plain = SampleText(size, 7);
        Member stored;
        stored.name = "stored.bin";
        stored.data = plain;
        WriteFile(dir + "/stored.exe", Archive({stored}));
        Member packed;
        packed.name = "packed.bin";
        packed.method = "-lh5-";
        packed.data = EncodeLh5(plain);
        packed.originalSize = (int64_t)size;
        packed.crc = Crc16(plain);
        WriteFile(dir + "/packed.exe", Archive({packed}));

        MeasureChild("stored " + std::to_string(mb) + " MB", dir + "/stored.exe", dir + "/out", mb);
        MeasureChild("-lh5- " + std::to_string(mb) + " MB", dir + "/packed.exe", dir + "/out", mb);
        unlink((dir + "/stored.exe").c_str());
        unlink((dir + "/packed.exe").c_str());
        unlink((dir + "/out/stored.bin").c_str());
        unlink((dir + "/out/packed.bin").c_str());
    }
    MeasureChild("no member (baseline)", dir + "/missing.exe", dir + "/out", 0);
}

void Scan(const std::string& dir) {
    for (int mb : {10, 100}) {
        for (const char* kind : {"random", "dashes"}) {
            Bytes file = strcmp(kind, "random") == 0 ? RandomBytes((size_t)mb << 20, 3)
                                                     : Bytes((size_t)mb << 20, '-');
            WriteFile(dir + "/noarc.exe", file);
            CLzhExtractor engine;
            auto start = std::chrono::steady_clock::now();
            const bool found = engine.Begin((dir + "/noarc.exe").c_str(), (dir + "/out").c_str(), nullptr);
            const double s = Seconds(start);
            printf("scan %3d MB %-7s result %d  %6.3f s  %7.1f MB/s\n", mb, kind,
                   found ? 0 : engine.m_error, s, mb / s);
            unlink((dir + "/noarc.exe").c_str());
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "extract" && argc == 6)
        return ExtractAndReport(argv[2], argv[3], argv[4], atof(argv[5]));
    g_self = "/proc/self/exe";
    if (mode != "member" && mode != "scan") {
        fprintf(stderr, "usage: bounds_bench member|scan\n");
        return 2;
    }
    const std::string dir = MakeTempDir();
    if (mode == "member") Members(dir);
    else Scan(dir);
    return 0;
}
