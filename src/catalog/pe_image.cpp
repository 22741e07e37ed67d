#include "catalog/pe_image.h"

#include "platform/codepage.h"
#include "util/text.h"

#include <algorithm>

#include <cstring>

namespace varnel {

namespace {

constexpr size_t kMaxSections = 96;
// Plugin modules export a few dozen functions with short names. A table far beyond that is no
// plugin's, and reading it would only keep the user waiting: it is refused, and names are read
// no further than any entry point name reaches.
constexpr uint32_t kMaxExportNames = 16384;
constexpr size_t kMaxNameLength = 256;
constexpr uint32_t kMaxVersionInfo = 1024 * 1024;
constexpr uint32_t kRtVersion = 16;

uint16_t U16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

template <size_t N> bool ReadArray(ByteSource& source, uint64_t offset, uint8_t (&out)[N]) {
    return source.Read(offset, N, out);
}

} // namespace

std::optional<PeImage> PeImage::Parse(ByteSource& source) {
    uint8_t dos[64];
    if (!ReadArray(source, 0, dos) || dos[0] != 'M' || dos[1] != 'Z')
        return std::nullopt;
    uint32_t peOffset = U32(dos + 60);
    uint8_t fileHeader[24];
    if (!ReadArray(source, peOffset, fileHeader) || std::memcmp(fileHeader, "PE\0\0", 4) != 0)
        return std::nullopt;
    PeImage image;
    image.m_machine = U16(fileHeader + 4);
    uint16_t sectionCount = U16(fileHeader + 6);
    uint16_t optionalSize = U16(fileHeader + 20);
    if (sectionCount > kMaxSections || optionalSize < 2)
        return std::nullopt;

    std::vector<uint8_t> optional(optionalSize);
    if (!source.Read(uint64_t{peOffset} + 24, optionalSize, optional.data()))
        return std::nullopt;
    uint16_t magic = U16(optional.data());
    size_t directoriesAt;
    if (magic == 0x10B) {
        directoriesAt = 96;
    } else if (magic == 0x20B) {
        image.m_pe32Plus = true;
        directoriesAt = 112;
    } else {
        return std::nullopt;
    }
    if (optionalSize >= 64)
        image.m_sizeOfHeaders = U32(optional.data() + 60);
    // Number of data directories stands just before them.
    uint32_t directoryCount = 0;
    if (optionalSize >= directoriesAt)
        directoryCount = U32(optional.data() + directoriesAt - 4);
    auto directory = [&](uint32_t index, uint32_t& rva, uint32_t& size) {
        size_t at = directoriesAt + size_t{index} * 8;
        if (index < directoryCount && at + 8 <= optional.size()) {
            rva = U32(optional.data() + at);
            size = U32(optional.data() + at + 4);
        }
    };
    directory(0, image.m_exportRva, image.m_exportSize);
    directory(2, image.m_resourceRva, image.m_resourceSize);

    uint64_t sectionTable = uint64_t{peOffset} + 24 + optionalSize;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        uint8_t header[40];
        if (!ReadArray(source, sectionTable + uint64_t{i} * 40, header))
            return std::nullopt;
        Section s;
        s.virtualSize = U32(header + 8);
        s.virtualAddress = U32(header + 12);
        s.rawSize = U32(header + 16);
        s.rawOffset = U32(header + 20);
        image.m_sections.push_back(s);
    }
    return image;
}

std::optional<uint64_t> PeImage::OffsetOfRva(uint32_t rva, uint32_t length) const {
    for (const Section& s : m_sections) {
        uint32_t extent = std::max(s.virtualSize, s.rawSize);
        if (rva >= s.virtualAddress && rva - s.virtualAddress < extent) {
            uint64_t within = rva - s.virtualAddress;
            if (within + length > s.rawSize)
                return std::nullopt; // not backed by file data
            return uint64_t{s.rawOffset} + within;
        }
    }
    if (uint64_t{rva} + length <= m_sizeOfHeaders)
        return rva;
    return std::nullopt;
}

std::vector<std::string> PeImage::ExportNames(ByteSource& source) const {
    std::vector<std::string> names;
    if (m_exportRva == 0 || m_exportSize < 40)
        return names;
    std::optional<uint64_t> dirOffset = OffsetOfRva(m_exportRva, 40);
    uint8_t dir[40];
    if (!dirOffset || !ReadArray(source, *dirOffset, dir))
        return names;
    uint32_t count = U32(dir + 24);
    uint32_t namesRva = U32(dir + 32);
    if (count == 0 || count > kMaxExportNames)
        return names;
    std::optional<uint64_t> tableOffset = OffsetOfRva(namesRva, count * 4);
    if (!tableOffset)
        return names;
    std::vector<uint8_t> table(size_t{count} * 4);
    if (!source.Read(*tableOffset, table.size(), table.data()))
        return names;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t nameRva = U32(table.data() + size_t{i} * 4);
        std::string name;
        // Names are short; read in small steps up to the terminating NUL.
        for (uint32_t at = 0; name.size() < kMaxNameLength; at += 32) {
            std::optional<uint64_t> offset = OffsetOfRva(nameRva + at, 1);
            if (!offset)
                break;
            char chunk[32];
            size_t want =
                static_cast<size_t>(std::min<uint64_t>(32, source.Size() - std::min(source.Size(), *offset)));
            if (want == 0 || !source.Read(*offset, want, chunk))
                break;
            size_t len = strnlen(chunk, want);
            name.append(chunk, len);
            if (len < want)
                break;
        }
        if (!name.empty())
            names.push_back(std::move(name));
    }
    return names;
}

bool PeImage::Exports(ByteSource& source, std::string_view name) const {
    for (const std::string& exported : ExportNames(source))
        if (exported == name)
            return true;
    return false;
}

std::string PeImage::VersionInfoBytes(ByteSource& source) const {
    if (m_resourceRva == 0)
        return {};
    std::optional<uint64_t> base = OffsetOfRva(m_resourceRva, 16);
    if (!base)
        return {};
    // One level of the resource tree: the entry with `wantedId`, or the first one when the id is
    // 0 (or, with preferId, the wanted one when present and else the first).
    auto findEntry = [&](uint32_t dirOffset, uint32_t wantedId, bool fallbackToFirst, uint32_t& target) {
        uint8_t header[16];
        if (!ReadArray(source, *base + dirOffset, header))
            return false;
        uint32_t total = uint32_t{U16(header + 12)} + U16(header + 14);
        if (total > 4096)
            return false;
        bool haveFirst = false;
        uint32_t first = 0;
        for (uint32_t i = 0; i < total; ++i) {
            uint8_t entry[8];
            if (!ReadArray(source, *base + dirOffset + 16 + uint64_t{i} * 8, entry))
                return false;
            uint32_t id = U32(entry);
            uint32_t offset = U32(entry + 4);
            if (!haveFirst) {
                haveFirst = true;
                first = offset;
            }
            if (wantedId != 0 && (id & 0x80000000u) == 0 && id == wantedId) {
                target = offset;
                return true;
            }
        }
        if (fallbackToFirst && haveFirst) {
            target = first;
            return true;
        }
        return false;
    };
    uint32_t typeDir = 0, nameDir = 0, languageEntry = 0;
    if (!findEntry(0, kRtVersion, false, typeDir) || (typeDir & 0x80000000u) == 0)
        return {};
    if (!findEntry(typeDir & 0x7FFFFFFFu, 1, true, nameDir) || (nameDir & 0x80000000u) == 0)
        return {};
    if (!findEntry(nameDir & 0x7FFFFFFFu, 0, true, languageEntry) || (languageEntry & 0x80000000u) != 0)
        return {};
    uint8_t data[16];
    if (!ReadArray(source, *base + languageEntry, data))
        return {};
    uint32_t dataRva = U32(data);
    uint32_t dataSize = U32(data + 4);
    if (dataSize == 0 || dataSize > kMaxVersionInfo)
        return {};
    std::optional<uint64_t> dataOffset = OffsetOfRva(dataRva, dataSize);
    if (!dataOffset)
        return {};
    std::string bytes(dataSize, '\0');
    if (!source.Read(*dataOffset, dataSize, bytes.data()))
        return {};
    return bytes;
}

// ---- VS_VERSIONINFO ---------------------------------------------------------------------------

namespace {

struct Block {
    std::u16string key;
    size_t valueOffset = 0; // within the whole buffer
    size_t valueBytes = 0;  // bytes available for the value
    size_t childrenOffset = 0;
    size_t end = 0;
    uint16_t type = 0;
    uint16_t valueLength = 0;
};

size_t Align4(size_t at) {
    return (at + 3) & ~size_t{3};
}

// Parses the block at `at` that must end by `limit`.
std::optional<Block> ParseBlock(std::string_view data, size_t at, size_t limit) {
    if (at + 6 > limit)
        return std::nullopt;
    auto p = reinterpret_cast<const uint8_t*>(data.data());
    uint16_t length = U16(p + at);
    if (length < 6 || at + length > limit)
        return std::nullopt;
    Block block;
    block.end = at + length;
    block.valueLength = U16(p + at + 2);
    block.type = U16(p + at + 4);
    size_t pos = at + 6;
    for (;;) {
        if (pos + 2 > block.end)
            return std::nullopt;
        char16_t c = static_cast<char16_t>(U16(p + pos));
        pos += 2;
        if (c == 0)
            break;
        block.key.push_back(c);
    }
    pos = Align4(pos);
    block.valueOffset = std::min(pos, block.end);
    size_t valueBytes = block.type == 1 ? size_t{block.valueLength} * 2 : block.valueLength;
    block.valueBytes = std::min(valueBytes, block.end - block.valueOffset);
    block.childrenOffset = std::min(Align4(block.valueOffset + valueBytes), block.end);
    return block;
}

bool KeyEquals(const std::u16string& key, std::string_view wanted) {
    if (key.size() != wanted.size())
        return false;
    for (size_t i = 0; i < key.size(); ++i) {
        char16_t c = key[i];
        if (c > 0x7F || LowerAsciiChar(static_cast<char>(c)) != LowerAsciiChar(wanted[i]))
            return false;
    }
    return true;
}

// Walks the sub-block path from the root; nullopt when a part is not found.
std::optional<Block> FindBlock(std::string_view data, std::string_view subBlock) {
    std::optional<Block> current = ParseBlock(data, 0, data.size());
    if (!current)
        return std::nullopt;
    size_t pos = 0;
    int depth = 0;
    while (pos < subBlock.size()) {
        while (pos < subBlock.size() && subBlock[pos] == '\\')
            ++pos;
        if (pos >= subBlock.size())
            break;
        size_t end = subBlock.find('\\', pos);
        std::string_view part =
            subBlock.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        pos = end == std::string_view::npos ? subBlock.size() : end;
        if (++depth > 8)
            return std::nullopt;
        std::optional<Block> found;
        for (size_t child = current->childrenOffset; child < current->end;) {
            std::optional<Block> b = ParseBlock(data, child, current->end);
            if (!b)
                break;
            if (KeyEquals(b->key, part)) {
                found = b;
                break;
            }
            child = Align4(b->end);
        }
        if (!found)
            return std::nullopt;
        current = found;
    }
    return current;
}

} // namespace

std::optional<std::array<uint16_t, 4>> QueryFixedFileVersion(std::string_view versionInfo) {
    std::optional<Block> root = ParseBlock(versionInfo, 0, versionInfo.size());
    if (!root || root->valueBytes < 52)
        return std::nullopt;
    auto p = reinterpret_cast<const uint8_t*>(versionInfo.data()) + root->valueOffset;
    if (U32(p) != 0xFEEF04BDu)
        return std::nullopt;
    uint32_t ms = U32(p + 8);
    uint32_t ls = U32(p + 12);
    return std::array<uint16_t, 4>{static_cast<uint16_t>(ms >> 16), static_cast<uint16_t>(ms & 0xFFFF),
                                   static_cast<uint16_t>(ls >> 16), static_cast<uint16_t>(ls & 0xFFFF)};
}

std::optional<uint32_t> QueryFirstTranslation(std::string_view versionInfo) {
    std::optional<Block> var = FindBlock(versionInfo, "\\VarFileInfo\\Translation");
    if (!var || var->valueBytes < 4)
        return std::nullopt;
    return U32(reinterpret_cast<const uint8_t*>(versionInfo.data()) + var->valueOffset);
}

std::optional<std::string> QueryVersionString(std::string_view versionInfo, std::string_view subBlock) {
    std::optional<Block> block = FindBlock(versionInfo, subBlock);
    if (!block)
        return std::nullopt;
    // The text runs to its NUL; some compilers count the length in bytes, so the block's end is
    // the only bound that can be trusted.
    std::string utf16;
    auto p = reinterpret_cast<const uint8_t*>(versionInfo.data());
    for (size_t at = block->valueOffset; at + 2 <= block->end; at += 2) {
        if (U16(p + at) == 0)
            break;
        utf16.push_back(static_cast<char>(p[at]));
        utf16.push_back(static_cast<char>(p[at + 1]));
    }
    if (block->valueLength == 0 && block->type == 1)
        utf16.clear();
    std::string utf8;
    if (!platform::Utf16LeToUtf8(utf16, utf8))
        return std::nullopt;
    return utf8;
}

} // namespace varnel
