#include "platform/codepage.h"

#include "util/text.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <iconv.h>

namespace varnel::platform {

namespace {

class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter() {
        if (m_cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as possible; on an invalid sequence stops and reports where.
    // Returns true when the whole input was converted.
    bool Run(std::string_view input, std::string& out, size_t& consumed) {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(input.data());
        size_t inLeft = input.size();
        char buffer[4096];
        for (;;) {
            char* outPtr = buffer;
            size_t outLeft = sizeof buffer;
            size_t rc = iconv(m_cd, &in, &inLeft, &outPtr, &outLeft);
            out.append(buffer, static_cast<size_t>(outPtr - buffer));
            if (rc != static_cast<size_t>(-1)) {
                // Flush any shift state.
                outPtr = buffer;
                outLeft = sizeof buffer;
                iconv(m_cd, nullptr, nullptr, &outPtr, &outLeft);
                out.append(buffer, static_cast<size_t>(outPtr - buffer));
                consumed = input.size();
                return true;
            }
            if (errno == E2BIG)
                continue;
            consumed = input.size() - inLeft;
            return false;
        }
    }

private:
    iconv_t m_cd;
};

Converter& AnsiToUtf8Converter() {
    thread_local Converter c("UTF-8", "CP1252");
    return c;
}
Converter& Utf8ToAnsiConverter() {
    thread_local Converter c("CP1252", "UTF-8");
    return c;
}

// The five bytes Windows-1252 leaves undefined map to the C1 controls of the same number,
// as the system's own conversion does; iconv refuses them.
bool IsUndefinedAnsiByte(unsigned char b) {
    return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
}

size_t Utf8SequenceLength(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    return 1;
}

} // namespace

// Most names are plain ASCII, which reads the same in every form here.
std::string AnsiToUtf8(std::string_view ansi) {
    if (IsAscii(ansi))
        return std::string(ansi);
    std::string out;
    out.reserve(ansi.size());
    Converter& conv = AnsiToUtf8Converter();
    while (!ansi.empty()) {
        size_t consumed = 0;
        if (conv.Valid() && conv.Run(ansi, out, consumed))
            break;
        if (!conv.Valid())
            consumed = 0;
        ansi.remove_prefix(consumed);
        if (ansi.empty())
            break;
        auto b = static_cast<unsigned char>(ansi.front());
        if (IsUndefinedAnsiByte(b) || !conv.Valid()) {
            // Code point U+00xx in UTF-8.
            if (b < 0x80) {
                out.push_back(static_cast<char>(b));
            } else {
                out.push_back(static_cast<char>(0xC0 | (b >> 6)));
                out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
            }
        } else {
            out.push_back('?');
        }
        ansi.remove_prefix(1);
    }
    return out;
}

std::string Utf8ToAnsi(std::string_view utf8) {
    if (IsAscii(utf8))
        return std::string(utf8);
    std::string out;
    out.reserve(utf8.size());
    Converter& conv = Utf8ToAnsiConverter();
    while (!utf8.empty()) {
        size_t consumed = 0;
        if (conv.Valid() && conv.Run(utf8, out, consumed))
            break;
        utf8.remove_prefix(consumed);
        if (utf8.empty())
            break;
        auto lead = static_cast<unsigned char>(utf8.front());
        size_t length = Utf8SequenceLength(lead);
        if (length > utf8.size())
            length = utf8.size();
        // U+0081, U+008D, U+008F, U+0090, U+009D come back as their own bytes.
        if (length == 2 && lead == 0xC2) {
            auto second = static_cast<unsigned char>(utf8[1]);
            if (IsUndefinedAnsiByte(second)) {
                out.push_back(static_cast<char>(second));
                utf8.remove_prefix(2);
                continue;
            }
        }
        out.push_back('?');
        utf8.remove_prefix(length);
    }
    return out;
}

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
