// Shared by the fuzz targets: a scratch folder per process and a whole
// extraction run checked against the engine's promises.
#ifndef TESTS_FUZZ_FUZZ_SUPPORT_H
#define TESTS_FUZZ_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/lzh_extractor.h"

namespace fuzz {

// Aborts the process (a finding) with the message.
[[noreturn]] void Violation(const char* what);
#define FUZZ_CHECK(cond) \
    do { if (!(cond)) ::fuzz::Violation(#cond); } while (0)

// A fresh folder for this process, made once.
const std::string& ScratchDir();

// Writes the bytes as the scratch archive file; returns its path.
std::string WriteArchive(const uint8_t* data, size_t size);

// Runs Begin and Step over the archive into the scratch output folder,
// emptied first, and checks: the run ends with success or an ExtractError
// within (sizes of opened members + members) * small factor steps; both
// files are closed; a failed member's file is gone; every file left is a
// finished member with exactly its header's size. Members that would
// produce more than maxOutput bytes end the run early (Abort): decoding
// them is no different, only slower.
void CheckedRun(CLzhExtractor& engine, const std::string& archive, size_t fileSize,
                int64_t maxOutput = 64 << 10);

}  // namespace fuzz

#endif
