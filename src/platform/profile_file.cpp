#include "platform/profile_file.h"

#include "platform/codepage.h"

#include <cstring>

namespace varnel::platform {

namespace {

constexpr std::string_view kUtf16Bom = "\xFF\xFE";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

} // namespace

// A 64-bit hash of the file's bytes, eight at a time (a multiply-xor mix in the manner of
// FNV): tells a file another program rewrote from the one a batch read, whatever its size and
// modification time say.
uint64_t ContentHash(std::string_view bytes) {
    uint64_t hash = 14695981039346656037ull ^ bytes.size();
    size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        hash = (hash ^ word) * 1099511628211ull;
        hash ^= hash >> 29;
    }
    for (; i < bytes.size(); ++i)
        hash = (hash ^ static_cast<uint8_t>(bytes[i])) * 1099511628211ull;
    return hash;
}

std::optional<CachedFile> ParseBytes(std::string bytes) {
    CachedFile entry;
    entry.hash = ContentHash(bytes);
    if (bytes.size() >= 2 && std::string_view(bytes).substr(0, 2) == kUtf16Bom) {
        std::string utf8;
        std::string_view units = std::string_view(bytes).substr(2);
        if (units.size() % 2 != 0) {
            entry.oddByte = std::string(units.substr(units.size() - 1));
            units.remove_suffix(1);
        }
        if (!Utf16LeToUtf8(units, utf8))
            return std::nullopt;
        entry.encoding = CachedFile::Encoding::Utf16;
        entry.text = IniText(std::move(utf8), IniText::Folding::Unicode);
    } else if (std::string_view(bytes).substr(0, 3) == kUtf8Bom) {
        entry.encoding = CachedFile::Encoding::Utf8;
        entry.text = IniText(bytes.substr(3), IniText::Folding::Unicode);
    } else {
        entry.text = IniText(std::move(bytes), IniText::Folding::Ansi);
    }
    return entry;
}

std::optional<std::string> Serialize(const CachedFile& working) {
    if (working.encoding == CachedFile::Encoding::Ansi)
        return working.text.Bytes();
    if (working.encoding == CachedFile::Encoding::Utf8)
        return std::string(kUtf8Bom) + working.text.Bytes();
    std::string utf16;
    if (!Utf8ToUtf16Le(working.text.Bytes(), utf16))
        return std::nullopt;
    return std::string(kUtf16Bom) + utf16 + working.oddByte;
}

std::string ToEngine(const CachedFile& file, std::string_view ansi) {
    return file.Unicode() ? HostTextToUtf8(ansi) : std::string(ansi);
}

std::string FromEngine(const CachedFile& file, std::string_view text) {
    return file.Unicode() ? Utf8ToHostText(text) : std::string(text);
}

} // namespace varnel::platform
