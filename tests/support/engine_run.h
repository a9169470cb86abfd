// Drives a whole extraction the way the installer does: Begin, then Step
// until failure or completion.
#ifndef TESTS_SUPPORT_ENGINE_RUN_H
#define TESTS_SUPPORT_ENGINE_RUN_H

#include <string>

#include "engine/lzh_extractor.h"

namespace lzhtest {

// The run's ExtractError; -1 when it did not end within maxSteps steps.
int ExtractAll(CLzhExtractor& engine, const std::string& archive,
               const std::string& folder, const char* filter = nullptr,
               long maxSteps = 100000000);

}  // namespace lzhtest

#endif
