// A whole extraction run checked against the engine's promises; shared by
// the fuzz targets and the damaged-archive tests.
#ifndef TESTS_FUZZ_CHECKED_RUN_H
#define TESTS_FUZZ_CHECKED_RUN_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "engine/lzh_extractor.h"

namespace fuzz {

struct RunReport {
    int result;         // the ExtractError; -1 when cut short at maxOutput
    std::string broken;  // the first promise broken; empty when none
    std::map<std::string, long long> files;  // what the run left, by size
};

// Runs Begin and Step over the archive into the folder (a Linux path,
// emptied first and left empty), and checks: the run ends with success or
// an ExtractError within (sizes of opened members + members) * small factor
// steps; both files are closed; a failed member's file is gone; every file
// left is a finished member with exactly its header's size. A run that has
// produced more than maxOutput bytes is ended early (Abort): decoding on
// would be no different, only slower.
RunReport CheckedRun(CLzhExtractor& engine, const std::string& archive,
                     const std::string& folder, size_t fileSize, int64_t maxOutput);

}  // namespace fuzz

#endif
