#include "platform/codepage.h"

#include "util/text.h"

#include <algorithm>
#include <cstdint>

namespace varnel::platform {

bool HasUtf8Mark(std::string_view text) {
    return text.substr(0, kUtf8Mark.size()) == kUtf8Mark;
}

std::string HostTextToUtf8(std::string_view text) {
    if (HasUtf8Mark(text))
        return std::string(text.substr(kUtf8Mark.size()));
    // The host marks only the part of a value that needs it: "285,<mark>C:\...", flags first.
    if (size_t mark = text.find(kUtf8Mark); mark != std::string_view::npos)
        return AnsiToUtf8(text.substr(0, mark)) + std::string(text.substr(mark + kUtf8Mark.size()));
    return AnsiToUtf8(text);
}

std::string Utf8ToHostText(std::string_view utf8) {
    std::string ansi = Utf8ToAnsi(utf8);
    // A '?' that was not in the input stands for a lost character (or malformed UTF-8, which is
    // kept as it came rather than guessed at).
    if (std::count(ansi.begin(), ansi.end(), '?') == std::count(utf8.begin(), utf8.end(), '?'))
        return ansi;
    return std::string(kUtf8Mark) + std::string(utf8);
}

namespace {

void AppendUtf16Le(uint32_t unit, std::string& out) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
}

} // namespace

// The system reads a UTF-16 file as 16-bit units whether they pair up or not: a surrogate
// without its partner is kept (encoded on its own, as 3 bytes), so that the file round-trips.
bool Utf16LeToUtf8(std::string_view utf16le, std::string& out) {
    out.clear();
    if (utf16le.size() % 2 != 0)
        return false;
    auto unitAt = [&](size_t i) {
        return static_cast<uint32_t>(static_cast<uint8_t>(utf16le[i])) |
               (static_cast<uint32_t>(static_cast<uint8_t>(utf16le[i + 1])) << 8);
    };
    for (size_t i = 0; i < utf16le.size(); i += 2) {
        uint32_t unit = unitAt(i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < utf16le.size()) {
            uint32_t low = unitAt(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), out);
                i += 2;
                continue;
            }
        }
        AppendUtf8(unit, out);
    }
    return true;
}

// The reverse, taking such lone surrogates back; false for bytes that are no UTF-8.
bool Utf8ToUtf16Le(std::string_view utf8, std::string& out) {
    out.clear();
    for (size_t i = 0; i < utf8.size();) {
        uint8_t lead = static_cast<uint8_t>(utf8[i]);
        size_t length = lead < 0x80             ? 1
                        : (lead & 0xE0) == 0xC0 ? 2
                        : (lead & 0xF0) == 0xE0 ? 3
                        : (lead & 0xF8) == 0xF0 ? 4
                                                : 0;
        if (length == 0 || i + length > utf8.size())
            return false;
        uint32_t cp = length == 1 ? lead : lead & (0xFFu >> (length + 1));
        for (size_t k = 1; k < length; ++k) {
            uint8_t next = static_cast<uint8_t>(utf8[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (next & 0x3F);
        }
        static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kSmallest[length] || cp > 0x10FFFF)
            return false; // overlong or out of range
        if (cp >= 0x10000) {
            AppendUtf16Le(0xD800 + ((cp - 0x10000) >> 10), out);
            AppendUtf16Le(0xDC00 + ((cp - 0x10000) & 0x3FF), out);
        } else {
            AppendUtf16Le(cp, out);
        }
        i += length;
    }
    return true;
}

} // namespace varnel::platform
