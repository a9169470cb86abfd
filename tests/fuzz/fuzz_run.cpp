// A whole extraction over an arbitrary file, through the Linux platform
// layer into a scratch folder: success or an ExtractError, within a bounded
// number of steps, nothing half-written left behind.
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CLzhExtractor engine;  // reused, as the installer reuses its one
    if (size > (1 << 20)) return 0;
    fuzz::CheckedRun(engine, fuzz::WriteArchive(data, size), size);
    return 0;
}
