// Every file call of a real extraction made to fail in turn, or a read made
// short: the run must end with the code for that call, close both files,
// delete the member under way, keep every finished member intact with its
// time stamp, and leave the object ready for the next run.
#include <gtest/gtest.h>

#include <dirent.h>
#include <map>
#include <sys/stat.h>

#include "engine/lzh_extractor.h"
#include "platform/fault_injection.h"
#include "tests/support/engine_run.h"
#include "tests/support/lh5_writer.h"
#include "tests/support/lzh_builder.h"

using namespace lzhtest;

namespace {

// What a call was doing in the run, as read from a clean run's trace.
enum Role {
    ROLE_OPEN_ARCHIVE,
    ROLE_SCAN_FIRST_READ,
    ROLE_SCAN_LATER_READ,
    ROLE_MAKE_FOLDER,
    ROLE_CREATE_OUTPUT,
    ROLE_HEADER_SEEK,
    ROLE_HEADER_READ,
    ROLE_REGION_SEEK,
    ROLE_STORED_READ,
    ROLE_LH5_READ,
    ROLE_WRITE,
};

struct Call {
    Role role;
    int member;    // member whose output is open or being created; -1 none
    int finished;  // members complete before this call
};

struct Fixture {
    std::string dir;
    std::string archive;
    std::vector<Member> members;  // as stored
    std::vector<Bytes> plain;     // their contents
};

Member Lh5(const std::string& name, const Bytes& plain, uint32_t time) {
    Member m;
    m.name = name;
    m.method = "-lh5-";
    m.data = EncodeLh5(plain, 3000);
    m.originalSize = (int64_t)plain.size();
    m.crc = Crc16(plain);
    m.time = time;
    return m;
}

Member Stored(const std::string& name, const Bytes& plain, uint32_t time) {
    Member m;
    m.name = name;
    m.data = plain;
    m.time = time;
    return m;
}

// Stored and -lh5- members over several 16 KB buffers, behind 20000 bytes
// of "program" so that the scan needs two reads.
const Fixture& TheFixture() {
    static Fixture f = [] {
        Fixture x;
        x.dir = MakeTempDir();
        x.plain = {RandomBytes(40000, 1), SampleText(50000, 2), Bytes{1, 2, 3}, SampleText(20000, 3)};
        x.members = {Stored("a.bin", x.plain[0], 1000000000), Lh5("b.txt", x.plain[1], 1100000000),
                     Stored("c.bin", x.plain[2], 1200000000), Lh5("d.dat", x.plain[3], 1300000000)};
        Bytes file = RandomBytes(20000, 9);
        for (auto& b : file)
            if (b == '-') b = 0;
        Bytes arc = Archive(x.members, 2);
        file.insert(file.end(), arc.begin(), arc.end());
        x.archive = x.dir + "/setup.exe";
        WriteFile(x.archive, file);
        return x;
    }();
    return f;
}

int MemberByPath(const Fixture& f, const std::string& path) {
    for (size_t i = 0; i < f.members.size(); ++i) {
        const std::string& n = f.members[i].name;
        if (path.size() >= n.size() && path.compare(path.size() - n.size(), n.size(), n) == 0)
            return (int)i;
    }
    return -1;
}

// Classifies every counted call of a run (CloseHandle is not counted).
std::vector<Call> Classify(const Fixture& f, const std::vector<FaultRecord>& trace) {
    std::vector<Call> calls;
    int archiveFd = -1, outputFd = -1, output = -1, finished = 0, scanReads = 0;
    bool outputSeen = false;
    for (const FaultRecord& r : trace) {
        if (r.call == FAULT_CALL_CLOSE) {
            if (r.fd == outputFd) {
                outputFd = -1;
                output = -1;
                finished += 1;
            }
            continue;
        }
        Call c{ROLE_WRITE, output, finished};
        switch (r.call) {
        case FAULT_CALL_CREATE:
            if (r.path == f.archive) {
                c.role = ROLE_OPEN_ARCHIVE;
                archiveFd = r.fd;
            } else {
                c.role = ROLE_CREATE_OUTPUT;
                c.member = output = MemberByPath(f, r.path);
                outputFd = r.fd;
                outputSeen = true;
            }
            break;
        case FAULT_CALL_MKDIR: c.role = ROLE_MAKE_FOLDER; break;
        case FAULT_CALL_SEEK: c.role = output >= 0 ? ROLE_REGION_SEEK : ROLE_HEADER_SEEK; break;
        case FAULT_CALL_WRITE: c.role = ROLE_WRITE; break;
        case FAULT_CALL_READ:
            EXPECT_EQ(r.fd, archiveFd);
            if (!outputSeen) c.role = scanReads++ == 0 ? ROLE_SCAN_FIRST_READ : ROLE_SCAN_LATER_READ;
            else if (output < 0) c.role = ROLE_HEADER_READ;
            else c.role = f.members[output].method == "-lh5-" ? ROLE_LH5_READ : ROLE_STORED_READ;
            break;
        case FAULT_CALL_CLOSE: break;
        }
        calls.push_back(c);
    }
    return calls;
}

int OpenFdCount() {
    int n = 0;
    DIR* d = opendir("/proc/self/fd");
    while (readdir(d) != nullptr) ++n;
    closedir(d);
    return n;
}

// What a fault at a call of that role must lead to. `kept` is the number of
// members that must be complete afterwards; all = every member.
struct Expectation {
    int error;
    bool all;  // success: every member extracted
};

Expectation Expect(Role role, FaultAction action) {
    if (action == FAULT_FAIL) {
        switch (role) {
        case ROLE_OPEN_ARCHIVE: return {EXTRACT_ERR_OPEN_ARCHIVE, false};
        // A failed scan read counts as 0 bytes: the archive is not found.
        case ROLE_SCAN_FIRST_READ:
        case ROLE_SCAN_LATER_READ: return {EXTRACT_ERR_NO_ARCHIVE, false};
        // An intermediate level that fails leaves the last one failing too.
        case ROLE_MAKE_FOLDER: return {EXTRACT_ERR_CREATE_FOLDER, false};
        case ROLE_CREATE_OUTPUT: return {EXTRACT_ERR_CREATE_FILE, false};
        // A following header that cannot be reached or read is a failure,
        // never an end of the archive.
        case ROLE_HEADER_SEEK:
        case ROLE_HEADER_READ:
        case ROLE_REGION_SEEK:
        case ROLE_STORED_READ:
        case ROLE_LH5_READ:
        case ROLE_WRITE: return {EXTRACT_ERR_FILE_ACCESS, false};
        }
    }
    const bool zero = action == FAULT_SHORT_ZERO;
    switch (role) {
    case ROLE_SCAN_FIRST_READ: return {EXTRACT_ERR_NO_ARCHIVE, false};
    // Half of the second read still brings in the first header.
    case ROLE_SCAN_LATER_READ: return {zero ? EXTRACT_ERR_NO_ARCHIVE : EXTRACT_OK, !zero};
    // Fewer than 22 header bytes is the end of the archive; 256 bytes hold
    // the whole header.
    case ROLE_HEADER_READ: return {EXTRACT_OK, !zero};
    case ROLE_LH5_READ: return {EXTRACT_ERR_BAD_DATA, false};
    // A stored member reads on after a short count and only stops at a read
    // that brings nothing.
    case ROLE_STORED_READ: return {zero ? EXTRACT_ERR_BAD_DATA : EXTRACT_OK, !zero};
    default: ADD_FAILURE() << "no short read for role " << role; return {-1, false};
    }
}

struct WalkCase {
    const char* name;
    FaultAction action;
};

class FaultWalk : public ::testing::TestWithParam<WalkCase> {};

TEST_P(FaultWalk, EveryCallOfARealExtraction) {
    const Fixture& f = TheFixture();
    CLzhExtractor engine;

    FaultArm(-1, FAULT_FAIL);
    // Two missing levels, so that both folder creations are walked.
    ASSERT_EQ(ExtractAll(engine, f.archive, f.dir + "\\clean-" + GetParam().name + "\\sub"),
              EXTRACT_OK);
    const std::vector<Call> calls = Classify(f, FaultTrace());
    std::map<Role, int> seen;
    for (const Call& c : calls) seen[c.role]++;
    // The fixture reaches every kind of call, the second scan read included.
    ASSERT_EQ(seen.size(), 11u);

    const int fdsBefore = OpenFdCount();
    int walked = 0;
    for (size_t n = 0; n < calls.size(); ++n) {
        const Call& call = calls[n];
        if (GetParam().action != FAULT_FAIL &&
            (call.role == ROLE_OPEN_ARCHIVE || call.role == ROLE_MAKE_FOLDER ||
             call.role == ROLE_CREATE_OUTPUT || call.role == ROLE_HEADER_SEEK ||
             call.role == ROLE_REGION_SEEK || call.role == ROLE_WRITE))
            continue;
        SCOPED_TRACE("call " + std::to_string(n) + " role " + std::to_string(call.role));
        const Expectation e = Expect(call.role, GetParam().action);
        const std::string level = GetParam().name + std::to_string(n);
        const std::string out = f.dir + "/" + level + "/sub";

        FaultArm((long)n, GetParam().action);
        const int result = ExtractAll(engine, f.archive, f.dir + "\\" + level + "\\sub");
        FaultDisarm();
        ASSERT_TRUE(FaultFired());
        EXPECT_EQ(result, e.error);
        EXPECT_FALSE(engine.m_in.IsOpen());
        EXPECT_FALSE(engine.m_out.IsOpen());
        EXPECT_EQ(OpenFdCount(), fdsBefore);

        // A short header read (nothing delivered) ends the archive there.
        const int kept = e.all ? (int)f.members.size() : call.finished;
        for (int m = 0; m < (int)f.members.size(); ++m) {
            const std::string path = out + "/" + f.members[m].name;
            if (m < kept) {
                EXPECT_EQ(ReadFile(path), f.plain[m]) << f.members[m].name;
                struct stat st;
                ASSERT_EQ(stat(path.c_str(), &st), 0);
                EXPECT_EQ(st.st_mtime, (time_t)f.members[m].time);
            } else {
                EXPECT_FALSE(FileExists(path)) << f.members[m].name;
            }
        }

        // The object runs again, untouched by the failure.
        const std::string again = f.dir + "/" + level + "-again";
        ASSERT_EQ(ExtractAll(engine, f.archive, again), EXTRACT_OK);
        for (size_t m = 0; m < f.members.size(); ++m)
            EXPECT_EQ(ReadFile(again + "/" + f.members[m].name), f.plain[m]);
        walked += 1;
    }
    EXPECT_GT(walked, 5);
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultWalk,
                         ::testing::Values(WalkCase{"fail", FAULT_FAIL},
                                           WalkCase{"half", FAULT_SHORT_HALF},
                                           WalkCase{"zero", FAULT_SHORT_ZERO}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
