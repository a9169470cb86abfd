#include "tests/support/engine_run.h"

namespace lzhtest {

int ExtractAll(CLzhExtractor& engine, const std::string& archive,
               const std::string& folder, const char* filter, long maxSteps) {
    if (!engine.Begin(archive.c_str(), folder.c_str(), filter)) return engine.m_error;
    for (long steps = 0; steps < maxSteps; ++steps) {
        bool done = false;
        if (!engine.Step(&done)) return engine.m_error;
        if (done) return EXTRACT_OK;
    }
    return -1;
}

}  // namespace lzhtest
