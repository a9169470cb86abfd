// lzhpack: writes an LZH archive in the form the installer carries: level-2
// headers, "-lh5-" members, one 0 byte at the end.
//
//   lzhpack [options] ARCHIVE INPUT...
//
// An INPUT is a file, or a folder whose files are taken in name order
// (names starting with '.' are left out).
// Member names are the bare file names in code page 932. On any failure
// nothing is left at ARCHIVE (an older file there stays as it was).
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <map>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/platform.h"
#include "tools/lzhpack/archive_writer.h"
#include "tools/lzhpack/lh5_encoder.h"

namespace {

const int kUsageError = 64;

int Usage() {
    fprintf(stderr,
            "usage: lzhpack [options] ARCHIVE INPUT...\n"
            "  INPUT          a file, or a folder whose files are packed in name order\n"
            "                 (names starting with '.' are left out)\n"
            "  --time=SECS    give every member this time (seconds since 1970 UTC)\n"
            "  --times=FILE   member times from FILE: lines \"YYYY-MM-DD HH:MM:SS NAME\"\n"
            "                 (UTC); '#' starts a comment. Members not listed take\n"
            "                 --time, or else their file's modification time\n"
            "  --allow-stored store a member as -lh0- when -lh5- would not shrink it\n"
            "  --chain=N      match candidates tried per position (default 24; with --lazy 96)\n"
            "  --nice=N       take a match of N bytes or more at once, 3..256 (default 128)\n"
            "  --block=N      -lh5- block size, 1..65535 (input bytes; with --lazy, codes)\n"
            "  --lazy         lazy matching instead of the slower cost-based parse\n"
            "  -v             one line per member\n");
    return kUsageError;
}

struct Input {
    std::string path;
    std::string nativeName;  // UTF-8 base name
    int64_t modified = 0;
};

struct Settings {
    bool haveTime = false;
    int64_t time = 0;
    std::map<std::string, int64_t> times;  // by UTF-8 name
    bool allowStored = false;
    bool verbose = false;
    lzhpack::CEncoderOptions encoder;
};

bool Fail(const std::string& message) {
    fprintf(stderr, "lzhpack: %s\n", message.c_str());
    return false;
}

std::string BaseName(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

bool ParseNumber(const char* text, int64_t low, int64_t high, int64_t* out) {
    errno = 0;
    char* end = nullptr;
    long long v = strtoll(text, &end, 10);
    if (errno || end == text || *end != 0 || v < low || v > high) return false;
    *out = v;
    return true;
}

// "YYYY-MM-DD HH:MM:SS" in UTC.
bool ParseUtc(const char* text, int64_t* out) {
    int y, mo, d, h, mi, s;
    char tail;
    if (sscanf(text, "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6)
        return false;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59 || y < 1601)
        return false;
    // Days from civil date (proleptic Gregorian), so no time zone is involved.
    int64_t yy = y - (mo <= 2);
    int64_t era = (yy >= 0 ? yy : yy - 399) / 400;
    int64_t yoe = yy - era * 400;
    int64_t doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    int64_t days = era * 146097 + doe - 719468;
    *out = days * 86400 + h * 3600 + mi * 60 + s;
    return true;
}

bool ReadTimes(const char* path, Settings& settings) {
    FILE* f = fopen(path, "r");
    if (!f) return Fail(std::string("cannot read ") + path + ": " + strerror(errno));
    char line[1024];
    int number = 0;
    bool ok = true;
    while (ok && fgets(line, sizeof line, f)) {
        ++number;
        std::string text(line);
        if (text.size() == sizeof line - 1 && text.back() != '\n') {
            ok = Fail(std::string(path) + ":" + std::to_string(number) + ": line too long");
            break;
        }
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        size_t start = text.find_first_not_of(" \t");
        if (start == std::string::npos || text[start] == '#') continue;
        text = text.substr(start);
        int64_t t = 0;
        if (text.size() < 21 || text[19] != ' ' || !ParseUtc(text.substr(0, 19).c_str(), &t)) {
            ok = Fail(std::string(path) + ":" + std::to_string(number) +
                      ": expected \"YYYY-MM-DD HH:MM:SS NAME\"");
            break;
        }
        settings.times[text.substr(20)] = t;
    }
    fclose(f);
    return ok;
}

bool AddFile(const std::string& path, std::vector<Input>& inputs) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return Fail("cannot read " + path + ": " + strerror(errno));
    if (!S_ISREG(st.st_mode)) return Fail(path + " is not a regular file");
    if (st.st_size > 0x7FFFFFFF)
        return Fail(path + " is larger than the format's 2 GB limit");
    inputs.push_back({path, BaseName(path), (int64_t)st.st_mtime});
    return true;
}

bool AddInput(const std::string& path, std::vector<Input>& inputs) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return Fail("cannot read " + path + ": " + strerror(errno));
    if (!S_ISDIR(st.st_mode)) return AddFile(path, inputs);
    DIR* dir = opendir(path.c_str());
    if (!dir) return Fail("cannot read folder " + path + ": " + strerror(errno));
    std::vector<std::string> names;
    while (dirent* d = readdir(dir)) {
        // Hidden files (.gitattributes and the like) are not the folder's content.
        if (d->d_name[0] != '.') names.push_back(d->d_name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        std::string full = path + "/" + name;
        struct stat entry;
        if (stat(full.c_str(), &entry) == 0 && S_ISDIR(entry.st_mode))
            return Fail("folder " + full + " inside an input: members carry no paths, "
                        "so its files cannot be packed");
        if (!AddFile(full, inputs)) return false;
    }
    return true;
}

bool ReadWhole(const std::string& path, std::vector<uint8_t>& data) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return Fail("cannot read " + path + ": " + strerror(errno));
    data.clear();
    uint8_t buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) {
        data.insert(data.end(), buffer, buffer + n);
        if (data.size() > 0x7FFFFFFF) {
            fclose(f);
            return Fail(path + " is larger than the format's 2 GB limit");
        }
    }
    bool failed = ferror(f) != 0;
    fclose(f);
    if (failed) return Fail("cannot read " + path + ": read error");
    return true;
}

// Windows compares names without regard to case: two members whose names
// differ only so would overwrite each other when extracted.
std::string FoldedName(const std::string& ansi) {
    std::string folded = ansi;
    for (size_t i = 0; i < folded.size(); ++i) {
        if (CharLength(folded.c_str(), (int)i) == 2) {
            ++i;
            continue;
        }
        if (folded[i] >= 'a' && folded[i] <= 'z') folded[i] = (char)(folded[i] - 'a' + 'A');
    }
    return folded;
}

bool Pack(const std::string& archivePath, std::vector<Input>& inputs,
          const Settings& settings) {
    std::vector<lzhpack::CMemberInfo> members(inputs.size());
    std::map<std::string, std::string> seen;
    for (size_t i = 0; i < inputs.size(); ++i) {
        char ansi[1024];
        if (!NativePathToAnsi(inputs[i].nativeName.c_str(), ansi, sizeof ansi))
            return Fail("name of " + inputs[i].path + " has no code page 932 form");
        if (strlen(ansi) > (size_t)lzhpack::kMaxNameBytes)
            return Fail("name of " + inputs[i].path + " is longer than 259 bytes in code page 932");
        members[i].name = ansi;
        std::string folded = FoldedName(ansi);
        if (seen.count(folded))
            return Fail("two members would be named " + inputs[i].nativeName + ": " +
                        seen[folded] + " and " + inputs[i].path);
        seen[folded] = inputs[i].path;

        int64_t t = settings.haveTime ? settings.time : inputs[i].modified;
        auto listed = settings.times.find(inputs[i].nativeName);
        if (listed != settings.times.end()) t = listed->second;
        if (t < INT32_MIN || t > INT32_MAX)
            return Fail("time of " + inputs[i].path + " is outside 1901-2038");
        // Linux keeps no creation time, and the access time changes with
        // every read: both take the modification time.
        members[i].writeTime = members[i].creationTime = members[i].accessTime = t;
    }
    for (const auto& entry : settings.times) {
        if (std::none_of(inputs.begin(), inputs.end(),
                         [&](const Input& in) { return in.nativeName == entry.first; }))
            return Fail("time list names " + entry.first + ", which is not an input");
    }

    std::string error;
    lzhpack::CArchiveWriter archive;
    if (!archive.Open(archivePath, &error)) return Fail(error);
    lzhpack::CLh5Encoder encoder(settings.encoder);
    lzhpack::CHeaderWriter headers;
    lzhpack::CCrc16 crc;
    std::vector<uint8_t> data;
    for (size_t i = 0; i < inputs.size(); ++i) {
        if (!ReadWhole(inputs[i].path, data)) return false;
        lzhpack::CMemberInfo& m = members[i];
        m.originalSize = (uint32_t)data.size();
        m.dataCrc = crc.Of(data.data(), data.size());
        std::vector<uint8_t> packed = encoder.Encode(data.data(), data.size());
        if (settings.allowStored && packed.size() >= data.size()) {
            packed = data;
            m.compressed = false;
        }
        if (packed.size() > 0x7FFFFFFF)
            return Fail(inputs[i].path + ": packed data larger than 2 GB");
        m.packedSize = (uint32_t)packed.size();
        std::vector<uint8_t> header = headers.Build(m, &error);
        if (header.empty()) return Fail(inputs[i].path + ": " + error);
        if (!archive.Write(header, &error) || !archive.Write(packed, &error))
            return Fail(error);
        if (settings.verbose)
            printf("%-32s %s %10u -> %10u\n", inputs[i].nativeName.c_str(),
                   m.compressed ? "-lh5-" : "-lh0-", m.originalSize, m.packedSize);
    }
    if (!archive.Commit(&error)) return Fail(error);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Settings settings;
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] != 0; ++i) {
        std::string arg = argv[i];
        int64_t v = 0;
        if (arg == "--") {
            ++i;
            break;
        } else if (arg.compare(0, 7, "--time=") == 0) {
            if (!ParseNumber(arg.c_str() + 7, INT32_MIN, INT32_MAX, &v)) {
                Fail("--time needs seconds since 1970 within 1901-2038");
                return kUsageError;
            }
            settings.haveTime = true;
            settings.time = v;
        } else if (arg.compare(0, 8, "--times=") == 0) {
            if (!ReadTimes(arg.c_str() + 8, settings)) return kUsageError;
        } else if (arg == "--allow-stored") {
            settings.allowStored = true;
        } else if (arg.compare(0, 8, "--chain=") == 0) {
            if (!ParseNumber(arg.c_str() + 8, 1, 1 << 20, &v)) return Usage();
            settings.encoder.maxChain = settings.encoder.maxDepth = (int32_t)v;
        } else if (arg.compare(0, 7, "--nice=") == 0) {
            if (!ParseNumber(arg.c_str() + 7, 3, 256, &v)) return Usage();
            settings.encoder.niceLength = (int32_t)v;
        } else if (arg.compare(0, 8, "--block=") == 0) {
            if (!ParseNumber(arg.c_str() + 8, 1, 65535, &v)) return Usage();
            settings.encoder.blockCodes = settings.encoder.blockBytes = (int32_t)v;
        } else if (arg == "--lazy") {
            settings.encoder.optimal = false;
        } else if (arg == "-v") {
            settings.verbose = true;
        } else {
            return Usage();
        }
    }
    if (argc - i < 2) return Usage();
    std::string archivePath = argv[i++];
    std::vector<Input> inputs;
    for (; i < argc; ++i)
        if (!AddInput(argv[i], inputs)) return 1;
    if (inputs.empty()) {
        Fail("no files to pack");
        return 1;
    }
    return Pack(archivePath, inputs, settings) ? 0 : 1;
}
