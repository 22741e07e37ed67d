// The host's ANSI code page on Linux: Windows-1252, converted with the C library's iconv.

#include "platform/codepage.h"

#include "util/text.h"

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

std::string DosTextToUtf8(std::string_view dos) {
    if (IsAscii(dos))
        return std::string(dos);
    // Every byte of code page 437 is a character, so the conversion cannot stop half-way.
    thread_local Converter conv("UTF-8", "CP437");
    std::string out;
    size_t consumed = 0;
    if (!conv.Valid() || !conv.Run(dos, out, consumed))
        return AnsiToUtf8(dos);
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

} // namespace varnel::platform
