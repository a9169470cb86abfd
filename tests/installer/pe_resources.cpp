#include "tests/installer/pe_resources.h"

#include <fstream>
#include <iterator>

bool PeFile::Read16(uint32_t offset, uint16_t* value) const {
    if ((uint64_t)offset + 2 > m_bytes.size()) return false;
    *value = (uint16_t)(m_bytes[offset] | m_bytes[offset + 1] << 8);
    return true;
}

bool PeFile::Read32(uint32_t offset, uint32_t* value) const {
    if ((uint64_t)offset + 4 > m_bytes.size()) return false;
    *value = (uint32_t)m_bytes[offset] | (uint32_t)m_bytes[offset + 1] << 8 |
             (uint32_t)m_bytes[offset + 2] << 16 | (uint32_t)m_bytes[offset + 3] << 24;
    return true;
}

bool PeFile::RvaToOffset(uint32_t rva, uint32_t* offset) const {
    for (const Section& s : m_sections) {
        if (rva >= s.virtualAddress && rva - s.virtualAddress < s.rawSize) {
            *offset = s.rawOffset + (rva - s.virtualAddress);
            return *offset < m_bytes.size();
        }
    }
    return false;
}

bool PeFile::Load(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot open " + path;
        return false;
    }
    m_bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    uint32_t pe = 0, signature = 0;
    uint16_t machine = 0, sections = 0, optionalSize = 0, magic = 0;
    if (!Read32(0x3C, &pe) || !Read32(pe, &signature) || signature != 0x4550 ||
        !Read16(pe + 4, &machine) || !Read16(pe + 6, &sections) ||
        !Read16(pe + 20, &optionalSize) || !Read16(pe + 24, &magic) || magic != 0x10B) {
        *error = "not a PE32 image";
        return false;
    }
    uint32_t optional = pe + 24;
    uint32_t table = optional + optionalSize;
    for (uint16_t i = 0; i < sections; ++i) {
        Section s;
        uint32_t at = table + 40u * i;
        if (!Read32(at + 8, &s.virtualSize) || !Read32(at + 12, &s.virtualAddress) ||
            !Read32(at + 16, &s.rawSize) || !Read32(at + 20, &s.rawOffset)) {
            *error = "section table cut short";
            return false;
        }
        m_sections.push_back(s);
    }
    // Data directories of PE32 start 96 bytes into the optional header:
    // 1 = imports, 2 = resources.
    uint32_t importRva = 0, resourceRva = 0, base = 0;
    if (!Read32(optional + 96 + 8, &importRva) || !Read32(optional + 96 + 16, &resourceRva)) {
        *error = "no data directories";
        return false;
    }
    if (importRva != 0 && !ReadImports(importRva, error)) return false;
    if (resourceRva == 0) return true;
    if (!RvaToOffset(resourceRva, &base)) {
        *error = "resource directory outside the file";
        return false;
    }
    return WalkResources(base, base, 0, PeResource(), error);
}

bool PeFile::ReadImports(uint32_t rva, std::string* error) {
    uint32_t at = 0;
    if (!RvaToOffset(rva, &at)) {
        *error = "import directory outside the file";
        return false;
    }
    for (;; at += 20) {
        uint32_t nameRva = 0, nameAt = 0;
        if (!Read32(at + 12, &nameRva)) {
            *error = "import directory cut short";
            return false;
        }
        if (nameRva == 0) return true;
        if (!RvaToOffset(nameRva, &nameAt)) {
            *error = "import name outside the file";
            return false;
        }
        std::string name;
        while (nameAt < m_bytes.size() && m_bytes[nameAt] != 0) name += (char)m_bytes[nameAt++];
        m_imports.push_back(name);
    }
}

// Three levels: type, id, language. An entry's high bit marks a name (for
// the id) or a subdirectory (for the offset).
bool PeFile::WalkResources(uint32_t base, uint32_t dir, int level, PeResource partial,
                           std::string* error) {
    uint16_t named = 0, numbered = 0;
    if (!Read16(dir + 12, &named) || !Read16(dir + 14, &numbered)) {
        *error = "resource directory cut short";
        return false;
    }
    for (uint32_t i = 0; i < (uint32_t)named + numbered; ++i) {
        uint32_t nameField = 0, offsetField = 0;
        if (!Read32(dir + 16 + 8 * i, &nameField) || !Read32(dir + 20 + 8 * i, &offsetField)) {
            *error = "resource entry cut short";
            return false;
        }
        PeResource r = partial;
        std::u16string name;
        if (nameField & 0x80000000u) {
            uint32_t at = base + (nameField & 0x7FFFFFFFu);
            uint16_t length = 0;
            if (!Read16(at, &length)) {
                *error = "resource name cut short";
                return false;
            }
            for (uint16_t k = 0; k < length; ++k) {
                uint16_t c = 0;
                if (!Read16(at + 2 + 2u * k, &c)) {
                    *error = "resource name cut short";
                    return false;
                }
                name += (char16_t)c;
            }
        }
        if (level == 0) {
            r.typeName = name;
            r.typeId = name.empty() ? nameField : 0;
        } else if (level == 1) {
            r.id = nameField;
        } else {
            r.language = nameField;
        }
        uint32_t target = base + (offsetField & 0x7FFFFFFFu);
        if (offsetField & 0x80000000u) {
            if (level >= 2) {
                *error = "resource tree deeper than three levels";
                return false;
            }
            if (!WalkResources(base, target, level + 1, r, error)) return false;
            continue;
        }
        uint32_t dataRva = 0;
        if (!Read32(target, &dataRva) || !Read32(target + 4, &r.size) ||
            !RvaToOffset(dataRva, &r.fileOffset) ||
            (uint64_t)r.fileOffset + r.size > m_bytes.size()) {
            *error = "resource data outside the file";
            return false;
        }
        m_resources.push_back(r);
    }
    return true;
}

const PeResource* PeFile::Find(uint32_t typeId, uint32_t id) const {
    for (const PeResource& r : m_resources)
        if (r.typeName.empty() && r.typeId == typeId && r.id == id) return &r;
    return nullptr;
}

const PeResource* PeFile::Find(const std::u16string& typeName, uint32_t id) const {
    for (const PeResource& r : m_resources)
        if (r.typeName == typeName && r.id == id) return &r;
    return nullptr;
}
