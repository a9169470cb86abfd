// Archives made with lzhpack's own classes, for round trips through the
// engine.
#ifndef TESTS_PACK_PACK_SUPPORT_H
#define TESTS_PACK_PACK_SUPPORT_H

#include <string>
#include <vector>

#include "tests/support/lzh_builder.h"
#include "tools/lzhpack/archive_writer.h"
#include "tools/lzhpack/lh5_encoder.h"

namespace packtest {

struct File {
    std::string name;
    lzhtest::Bytes data;
};

// Level-2 headers and -lh5- data for every file, then the end mark.
inline lzhtest::Bytes PackArchive(const std::vector<File>& files,
                                  const lzhpack::CEncoderOptions& options =
                                      lzhpack::CEncoderOptions()) {
    lzhpack::CLh5Encoder encoder(options);
    lzhpack::CHeaderWriter headers;
    lzhpack::CCrc16 crc;
    lzhtest::Bytes archive;
    for (const File& f : files) {
        lzhtest::Bytes packed = encoder.Encode(f.data.data(), f.data.size());
        lzhpack::CMemberInfo m;
        m.name = f.name;
        m.originalSize = (uint32_t)f.data.size();
        m.packedSize = (uint32_t)packed.size();
        m.dataCrc = crc.Of(f.data.data(), f.data.size());
        m.writeTime = m.creationTime = m.accessTime = 1094040000;
        std::string error;
        lzhtest::Bytes header = headers.Build(m, &error);
        archive.insert(archive.end(), header.begin(), header.end());
        archive.insert(archive.end(), packed.begin(), packed.end());
    }
    archive.push_back(0);
    return archive;
}

}  // namespace packtest

#endif
