#pragma once
// A reader for Windows module files (PE32 and PE32+): machine type, exported names and the
// version resource. It reads only the parts it needs, checks every offset and size, and answers
// "no information" for anything malformed.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/byte_source.h"

namespace varnel {

constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMachineArm64 = 0xAA64;

struct VersionResource; // the parsed VS_VERSIONINFO tree

class PeImage {
public:
    // nullopt when the source is no PE image.
    static std::optional<PeImage> Parse(ByteSource& source);

    uint16_t Machine() const { return m_machine; }
    bool Is64Bit() const { return m_pe32Plus; }

    // Names of the exported functions, in the export table's order.
    std::vector<std::string> ExportNames(ByteSource& source) const;
    bool Exports(ByteSource& source, std::string_view name) const;

    // The raw VS_VERSIONINFO block of the version resource (ID 1 when present, else the first),
    // empty when there is none.
    std::string VersionInfoBytes(ByteSource& source) const;

private:
    struct Section {
        uint32_t virtualAddress = 0;
        uint32_t virtualSize = 0;
        uint32_t rawOffset = 0;
        uint32_t rawSize = 0;
    };
    std::optional<uint64_t> OffsetOfRva(uint32_t rva, uint32_t length) const;

    uint16_t m_machine = 0;
    bool m_pe32Plus = false;
    uint32_t m_sizeOfHeaders = 0;
    uint32_t m_exportRva = 0;
    uint32_t m_exportSize = 0;
    uint32_t m_resourceRva = 0;
    uint32_t m_resourceSize = 0;
    std::vector<Section> m_sections;
};

// Version-information queries over a VS_VERSIONINFO block, as the system's VerQueryValue
// answers them. The fixed file version's four 16-bit parts:
std::optional<std::array<uint16_t, 4>> QueryFixedFileVersion(std::string_view versionInfo);
// The first entry of "\VarFileInfo\Translation" (language in the low half, code page in the high).
std::optional<uint32_t> QueryFirstTranslation(std::string_view versionInfo);
// A string value by its sub-block path, e.g. "\StringFileInfo\040904b0\FileDescription"; UTF-8.
std::optional<std::string> QueryVersionString(std::string_view versionInfo, std::string_view subBlock);

} // namespace varnel
