// Test-only failures of the Linux file calls. Compiled in only when the
// platform layer is built with LZH_FAULT_INJECTION (the platform_faulty
// library of the fault tests); the shipped tools never carry it.
//
// Every CreateFileA, ReadFile, WriteFile, SetFilePointer and MakeFolder
// call is counted and recorded. An armed fault hits the call with the given
// number (0 = the first call after arming), once.
#ifndef PLATFORM_FAULT_INJECTION_H
#define PLATFORM_FAULT_INJECTION_H

#include <string>
#include <vector>

enum FaultCall {
    FAULT_CALL_CREATE,  // CreateFileA
    FAULT_CALL_READ,    // ReadFile
    FAULT_CALL_WRITE,   // WriteFile
    FAULT_CALL_SEEK,    // SetFilePointer
    FAULT_CALL_MKDIR,   // MakeFolder
    FAULT_CALL_CLOSE,   // CloseHandle: recorded, never failed
};

enum FaultAction {
    FAULT_FAIL,        // the call fails without doing anything
    FAULT_SHORT_HALF,  // a read delivers half of what was asked
    FAULT_SHORT_ZERO,  // a read delivers nothing, as at the end of a file
};

struct FaultRecord {
    FaultCall call;
    int fd;             // the handle's descriptor; -1 for path calls
    unsigned size;      // bytes asked for by a read or write
    std::string path;   // CreateFileA and MakeFolder
};

// Starts counting from 0 with an empty trace and the fault armed for call
// number n of the listed action; n < 0 arms nothing.
void FaultArm(long n, FaultAction action);
void FaultDisarm();
// True once the armed fault has hit a call.
bool FaultFired();
const std::vector<FaultRecord>& FaultTrace();

#endif
