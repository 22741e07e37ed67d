#include "util/text.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>

namespace varnel {

char LowerAsciiChar(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = LowerAsciiChar(c);
    return out;
}

bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAsciiChar(a[i]) != LowerAsciiChar(b[i]))
            return false;
    return true;
}

char FoldAnsiChar(char c) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 'A' && u <= 'Z')
        return static_cast<char>(u + 32);
    // Windows-1252 capitals: À..Þ except the multiplication sign, and Š Œ Ž Ÿ.
    if (u >= 0xC0 && u <= 0xDE && u != 0xD7)
        return static_cast<char>(u + 32);
    switch (u) {
    case 0x8A:
        return static_cast<char>(0x9A);
    case 0x8C:
        return static_cast<char>(0x9C);
    case 0x8E:
        return static_cast<char>(0x9E);
    case 0x9F:
        return static_cast<char>(0xFF);
    default:
        return c;
    }
}

bool EqualsNoCaseAnsi(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldAnsiChar(a[i]) != FoldAnsiChar(b[i]))
            return false;
    return true;
}

namespace {

size_t FindNoCase(std::string_view text, std::string_view find, size_t from) {
    if (find.empty())
        return std::string_view::npos;
    if (find.size() > text.size())
        return std::string_view::npos;
    for (size_t i = from; i + find.size() <= text.size(); ++i) {
        if (EqualsNoCaseAscii(text.substr(i, find.size()), find))
            return i;
    }
    return std::string_view::npos;
}

size_t FindExact(std::string_view text, std::string_view find, size_t from) {
    if (find.empty())
        return std::string_view::npos;
    return text.find(find, from);
}

template <typename Finder>
std::string ReplaceFirstWith(std::string_view text, std::string_view find, std::string_view by,
                             Finder finder) {
    size_t at = finder(text, find, 0);
    if (at == std::string_view::npos)
        return std::string(text);
    std::string out;
    out.reserve(text.size() - find.size() + by.size());
    out.append(text.substr(0, at));
    out.append(by);
    out.append(text.substr(at + find.size()));
    return out;
}

// "Repeated until none is left" would never end when the replacement contains what is searched;
// one left-to-right pass over the original text replaces every occurrence, which is the same
// result whenever the repetition terminates.
template <typename Finder>
std::string ReplaceAllWith(std::string_view text, std::string_view find, std::string_view by, Finder finder) {
    std::string out;
    size_t from = 0;
    for (;;) {
        size_t at = finder(text, find, from);
        if (at == std::string_view::npos)
            break;
        out.append(text.substr(from, at - from));
        out.append(by);
        from = at + find.size();
    }
    out.append(text.substr(from));
    return out;
}

} // namespace

namespace {

// The next code point of UTF-8 text (lone surrogates as they are encoded in files read as raw
// 16-bit units); a byte that starts no sequence is returned as itself with the high bit marking it.
uint32_t NextCodePoint(std::string_view text, size_t& i) {
    auto byte = [&](size_t at) { return static_cast<uint8_t>(text[at]); };
    uint8_t lead = byte(i);
    size_t length = lead < 0x80             ? 1
                    : (lead & 0xE0) == 0xC0 ? 2
                    : (lead & 0xF0) == 0xE0 ? 3
                    : (lead & 0xF8) == 0xF0 ? 4
                                            : 0;
    if (length <= 1 || i + length > text.size()) {
        ++i;
        return length == 1 ? lead : 0x80000000u | lead;
    }
    uint32_t cp = lead & (0xFFu >> (length + 1));
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return 0x80000000u | lead;
        }
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    i += length;
    return cp;
}

uint32_t FoldCodePoint(uint32_t c) {
    if (c >= 'A' && c <= 'Z')
        return c + 32;
    if (c < 0xC0)
        return c;
    if (c <= 0xDE)
        return c == 0xD7 ? c : c + 32;
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x178)
            return 0xFF;
        bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F)
            return c;
        if (oddUpper)
            return c % 2 == 1 ? c + 1 : c;
        return c % 2 == 0 ? c + 1 : c;
    }
    if (c == 0x386)
        return 0x3AC;
    if (c >= 0x388 && c <= 0x38A)
        return c + 37;
    if (c == 0x38C)
        return 0x3CC;
    if (c == 0x38E || c == 0x38F)
        return c + 63;
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2)
        return c + 32;
    if (c >= 0x400 && c <= 0x40F)
        return c + 80;
    if (c >= 0x410 && c <= 0x42F)
        return c + 32;
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F))
        return c % 2 == 0 ? c + 1 : c;
    return c;
}

} // namespace

std::string FoldAnsi(std::string_view text) {
    std::string folded(text);
    for (char& c : folded)
        c = FoldAnsiChar(c);
    return folded;
}

void AppendUtf8(uint32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string FoldUtf8(std::string_view text) {
    std::string folded;
    folded.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = FoldCodePoint(NextCodePoint(text, i));
        if (cp & 0x80000000u) { // a byte that is no UTF-8: 0xFF (never in UTF-8) marks it
            folded.push_back('\xFF');
            folded.push_back(static_cast<char>(cp & 0xFF));
        } else {
            AppendUtf8(cp, folded);
        }
    }
    return folded;
}

bool EqualsNoCaseUtf8(std::string_view a, std::string_view b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size())
        if (FoldCodePoint(NextCodePoint(a, i)) != FoldCodePoint(NextCodePoint(b, j)))
            return false;
    return i == a.size() && j == b.size();
}

std::string ReplaceFirst(std::string_view text, std::string_view find, std::string_view by) {
    return ReplaceFirstWith(text, find, by, FindExact);
}
std::string ReplaceFirstNoCase(std::string_view text, std::string_view find, std::string_view by) {
    return ReplaceFirstWith(text, find, by, FindNoCase);
}
std::string ReplaceAll(std::string_view text, std::string_view find, std::string_view by) {
    return ReplaceAllWith(text, find, by, FindExact);
}
std::string ReplaceAllNoCase(std::string_view text, std::string_view find, std::string_view by) {
    return ReplaceAllWith(text, find, by, FindNoCase);
}

std::string TextBefore(std::string_view text, std::string_view separator) {
    size_t at = FindExact(text, separator, 0);
    return std::string(at == std::string_view::npos ? text : text.substr(0, at));
}

std::string TextAfter(std::string_view text, std::string_view separator) {
    size_t at = FindExact(text, separator, 0);
    return std::string(at == std::string_view::npos ? text : text.substr(at + separator.size()));
}

std::string FileNamePart(std::string_view path) {
    size_t at = path.rfind('\\');
    return std::string(at == std::string_view::npos ? path : path.substr(at + 1));
}

std::string FolderPart(std::string_view path) {
    size_t at = path.rfind('\\');
    return at == std::string_view::npos ? std::string() : std::string(path.substr(0, at + 1));
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (!path.empty() && path.back() != '\\')
        path.push_back('\\');
    return path.append(name);
}

std::string WithBackslashes(std::string_view path) {
    std::string native(path);
    for (char& c : native)
        if (c == '/')
            c = '\\';
    return native;
}

std::string ExtensionPart(std::string_view path) {
    size_t dot = path.rfind('.');
    size_t slash = path.rfind('\\');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return {};
    return std::string(path.substr(dot));
}

std::string IntText(int64_t number) {
    return std::to_string(number);
}

int IntFromText(std::string_view text, int defaultValue) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size())
        return defaultValue;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c < '0' || c > '9')
            return defaultValue;
        value = value * 10 + (c - '0');
        if (value > int64_t{std::numeric_limits<int>::max()} + 1)
            return defaultValue;
    }
    if (negative)
        value = -value;
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return defaultValue;
    return static_cast<int>(value);
}

std::string TextAfterEquals(std::string_view text) {
    size_t at = text.find('=');
    if (at == std::string_view::npos)
        return {};
    std::string_view rest = text.substr(at + 1);
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
        rest.remove_prefix(1);
    return std::string(rest);
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

std::string FormatIndexed(std::string_view format, const std::vector<std::string>& args, bool utf8) {
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out.push_back(format[i]);
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            out.push_back('%');
            ++i;
            continue;
        }
        size_t j = i + 1;
        auto number = [&](size_t& at) {
            size_t value = 0;
            while (at < format.size() && format[at] >= '0' && format[at] <= '9')
                value = value * 10 + static_cast<size_t>(format[at++] - '0');
            return value;
        };
        size_t index = next;
        size_t start = j;
        size_t value = number(j);
        if (j < format.size() && format[j] == ':' && j > start) {
            index = value;
            ++j;
        } else {
            j = start;
        }
        bool left = j < format.size() && format[j] == '-';
        if (left)
            ++j;
        size_t width = number(j);
        if (j >= format.size() || (format[j] != 's' && format[j] != 'S')) {
            out.append(format.substr(i, j - i)); // not a conversion of texts: as it stands
            i = j - 1;
            continue;
        }
        const std::string text = index < args.size() ? args[index] : std::string();
        size_t length = text.size();
        if (utf8) // continuation bytes are no characters of their own
            length -= static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
                return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
            }));
        const size_t pad = width > length ? width - length : 0;
        if (!left)
            out.append(pad, ' ');
        out.append(text);
        if (left)
            out.append(pad, ' ');
        next = index + 1;
        i = j;
    }
    return out;
}

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The system's wildcard match: "*" any run of characters, "?" any one character, letters
// compared without regard to case. "*.*" stands for every name, with or without a dot.
bool WildcardMatch(std::string_view pattern, std::string_view name) {
    if (pattern == "*.*" || pattern == "*")
        return true;
    size_t p = 0, n = 0;
    size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || FoldAnsiChar(pattern[p]) == FoldAnsiChar(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    // A trailing ".*" also matches a name without an extension.
    if (p + 2 == pattern.size() && pattern[p] == '.' && pattern[p + 1] == '*')
        return true;
    return p == pattern.size();
}

} // namespace varnel
