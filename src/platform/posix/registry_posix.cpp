#include "platform/registry.h"

#include "platform/codepage.h"
#include "platform/paths.h"
#include "util/text.h"

#include <fstream>
#include <sstream>

namespace varnel::platform {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void AppendCodeUnit(std::u16string& out, unsigned value) {
    out.push_back(static_cast<char16_t>(value & 0xFFFF));
}

// Parses a quoted string of Wine's registry files starting after its opening quote, with the
// escapes Wine writes (\\ \" \a \b \e \f \n \r \t \v, \x followed by up to four hex digits,
// octal \ooo). Plain bytes are UTF-8. Returns the text as UTF-8 and the index after the closing
// quote; std::string::npos when the quote is not closed.
size_t ParseQuoted(std::string_view line, size_t pos, std::string& utf8) {
    std::u16string units;
    std::string pendingUtf8;
    auto flushUtf8 = [&] {
        if (pendingUtf8.empty())
            return;
        std::string utf16;
        if (Utf8ToUtf16Le(pendingUtf8, utf16))
            for (size_t k = 0; k + 1 < utf16.size(); k += 2)
                units.push_back(static_cast<char16_t>(static_cast<unsigned char>(utf16[k]) |
                                                      (static_cast<unsigned char>(utf16[k + 1]) << 8)));
        pendingUtf8.clear();
    };
    while (pos < line.size()) {
        char c = line[pos];
        if (c == '"') {
            flushUtf8();
            std::string bytes;
            for (char16_t u : units) {
                bytes.push_back(static_cast<char>(u & 0xFF));
                bytes.push_back(static_cast<char>(u >> 8));
            }
            if (!Utf16LeToUtf8(bytes, utf8))
                utf8.clear();
            return pos + 1;
        }
        if (c != '\\') {
            pendingUtf8.push_back(c);
            ++pos;
            continue;
        }
        flushUtf8();
        ++pos;
        if (pos >= line.size())
            break;
        char e = line[pos++];
        switch (e) {
        case 'a':
            AppendCodeUnit(units, 7);
            break;
        case 'b':
            AppendCodeUnit(units, 8);
            break;
        case 'e':
            AppendCodeUnit(units, 27);
            break;
        case 'f':
            AppendCodeUnit(units, 12);
            break;
        case 'n':
            AppendCodeUnit(units, 10);
            break;
        case 'r':
            AppendCodeUnit(units, 13);
            break;
        case 't':
            AppendCodeUnit(units, 9);
            break;
        case 'v':
            AppendCodeUnit(units, 11);
            break;
        case 'x': {
            unsigned value = 0;
            int digits = 0;
            while (digits < 4 && pos < line.size() && HexDigit(line[pos]) >= 0) {
                value = value * 16 + static_cast<unsigned>(HexDigit(line[pos++]));
                ++digits;
            }
            AppendCodeUnit(units, value);
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                unsigned value = static_cast<unsigned>(e - '0');
                int digits = 1;
                while (digits < 3 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7') {
                    value = value * 8 + static_cast<unsigned>(line[pos++] - '0');
                    ++digits;
                }
                AppendCodeUnit(units, value);
            } else {
                AppendCodeUnit(units, static_cast<unsigned char>(e));
            }
        }
    }
    return std::string::npos;
}

// A key name in a header line: "[Software\\Ghisler\\Total Commander] 1234" -> the unescaped name.
std::optional<std::string> ParseKeyHeader(std::string_view line) {
    if (line.empty() || line[0] != '[')
        return std::nullopt;
    std::string name;
    for (size_t i = 1; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            name.push_back(line[++i]);
        } else if (line[i] == ']') {
            return name;
        } else {
            name.push_back(line[i]);
        }
    }
    return std::nullopt;
}

std::string NormalizeKey(std::string_view key) {
    std::string out;
    for (char c : key) {
        if (c == '/')
            c = '\\';
        if (c == '\\' && (out.empty() || out.back() == '\\'))
            continue;
        out.push_back(c);
    }
    while (!out.empty() && out.back() == '\\')
        out.pop_back();
    return out;
}

} // namespace

std::optional<std::string> ReadRegistryString(RegistryRoot root, std::string_view key,
                                              std::string_view valueName) {
    std::string file = PrefixDir() + (root == RegistryRoot::CurrentUser ? "/user.reg" : "/system.reg");
    std::string wanted = NormalizeKey(key);
    if (root == RegistryRoot::ClassesRoot)
        wanted = NormalizeKey("Software\\Classes\\" + wanted);
    std::string wantedUtf8 = AnsiToUtf8(wanted);
    std::string nameUtf8 = AnsiToUtf8(valueName);

    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string line;
    bool inKey = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '[') {
            std::optional<std::string> header = ParseKeyHeader(line);
            bool was = inKey;
            inKey = header && EqualsNoCaseAscii(NormalizeKey(*header), wantedUtf8);
            if (was && !inKey)
                break; // a key appears once; its values are behind us
            continue;
        }
        if (!inKey || line.empty())
            continue;
        std::string name;
        size_t pos;
        if (line[0] == '@') {
            pos = 1;
        } else if (line[0] == '"') {
            pos = ParseQuoted(line, 1, name);
            if (pos == std::string::npos)
                continue;
        } else {
            continue;
        }
        if (pos >= line.size() || line[pos] != '=')
            continue;
        if (!EqualsNoCaseAscii(name, nameUtf8))
            continue;
        ++pos;
        // Only plain strings (REG_SZ) count: "str(2):", "dword:", "hex:" values are other types.
        if (pos >= line.size() || line[pos] != '"')
            return std::nullopt;
        std::string value;
        if (ParseQuoted(line, pos + 1, value) == std::string::npos)
            return std::nullopt;
        return Utf8ToAnsi(value);
    }
    return std::nullopt;
}

} // namespace varnel::platform
