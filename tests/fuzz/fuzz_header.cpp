// ParseHeader on arbitrary bytes: it must stay inside the bytes it is
// given, and a header it accepts must describe itself consistently.
#include <cstring>
#include <vector>

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CLzhExtractor engine;
    if (size > 0x10000) return 0;
    // An exact-size copy, so that any read past `available` is caught.
    std::vector<uint8_t> header(data, data + size);
    const bool ok = engine.ParseHeader(header.data(), (int32_t)size);
    FUZZ_CHECK(memchr(engine.m_name, 0, sizeof engine.m_name) != nullptr);
    if (!ok || engine.m_headerSize == 0) return 0;
    FUZZ_CHECK(engine.m_headerSize >= 22 && engine.m_headerSize <= (int32_t)size);
    FUZZ_CHECK(engine.m_method >= 0 && engine.m_method <= 8);
    FUZZ_CHECK(engine.m_packedSize >= 0 && engine.m_originalSize >= 0);
    // The name is a bare file name: no separator survives.
    for (const char* p = engine.m_name; *p; p += CharLength(engine.m_name, (int)(p - engine.m_name))) {
        if (CharLength(engine.m_name, (int)(p - engine.m_name)) != 1) continue;
        FUZZ_CHECK(*p != '\\' && *p != '/' && *p != ':' && (unsigned char)*p != 0xFF);
    }
    return 0;
}
