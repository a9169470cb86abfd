// Shared by the fuzz targets: a scratch folder per process, and a checked
// whole run that turns any broken promise into a finding.
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

// CheckedRun (checked_run.h) into the scratch output folder; a broken
// promise is a finding. The output cap keeps executions fast.
void CheckedRun(CLzhExtractor& engine, const std::string& archive, size_t fileSize,
                int64_t maxOutput = 64 << 10);

}  // namespace fuzz

#endif
