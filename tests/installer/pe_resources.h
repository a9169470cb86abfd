// A reader of the parts of a PE32 file that the installer's checks need:
// the resource tree (type, id, language -> file bytes) and the names of the
// imported DLLs. Every offset is bounds-checked against the file.
#ifndef TESTS_INSTALLER_PE_RESOURCES_H
#define TESTS_INSTALLER_PE_RESOURCES_H

#include <cstdint>
#include <string>
#include <vector>

struct PeResource {
    std::u16string typeName;  // empty when the type is a number
    uint32_t typeId = 0;
    uint32_t id = 0;
    uint32_t language = 0;
    uint32_t fileOffset = 0;
    uint32_t size = 0;
};

class PeFile {
public:
    // False, with `error` set, when the file is not a readable PE32 image.
    bool Load(const std::string& path, std::string* error);

    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    const std::vector<PeResource>& Resources() const { return m_resources; }
    const std::vector<std::string>& Imports() const { return m_imports; }

    // The resource of a numbered or named type; null if absent.
    const PeResource* Find(uint32_t typeId, uint32_t id) const;
    const PeResource* Find(const std::u16string& typeName, uint32_t id) const;

private:
    bool RvaToOffset(uint32_t rva, uint32_t* offset) const;
    bool Read16(uint32_t offset, uint16_t* value) const;
    bool Read32(uint32_t offset, uint32_t* value) const;
    bool WalkResources(uint32_t base, uint32_t dir, int level, PeResource partial,
                       std::string* error);
    bool ReadImports(uint32_t rva, std::string* error);

    struct Section {
        uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
    };
    std::vector<uint8_t> m_bytes;
    std::vector<Section> m_sections;
    std::vector<PeResource> m_resources;
    std::vector<std::string> m_imports;
};

#endif
