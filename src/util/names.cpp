#include "util/names.h"

#include "util/text.h"

namespace varnel {

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// The digit of a numbered device: 0-9, or the superscripts 1-3 that Windows also takes (in
// UTF-8 or in the ANSI code page).
bool IsDeviceDigit(std::string_view digit) {
    if (digit.size() == 1)
        return (digit[0] >= '0' && digit[0] <= '9') || digit == "\xB9" || digit == "\xB2" || digit == "\xB3";
    return digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-COM9 and LPT0-LPT9 (and COM¹ ... LPT³) name devices
// whatever extension follows them.
bool IsDeviceName(std::string_view name) {
    std::string base = LowerAscii(name.substr(0, name.find('.')));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    if (base == "con" || base == "prn" || base == "aux" || base == "nul" || base == "conin$" ||
        base == "conout$")
        return true;
    return base.size() >= 4 && (base.starts_with("com") || base.starts_with("lpt")) &&
           IsDeviceDigit(std::string_view(base).substr(3));
}

} // namespace

bool IsPlainName(std::string_view name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || IsSeparator(c))
            return false;
        if (std::string_view(":*?\"<>|").find(c) != std::string_view::npos)
            return false;
    }
    if (name.back() == '.' || name.back() == ' ')
        return false;
    return !IsDeviceName(name);
}

std::optional<std::string> ConfinedRelativePath(std::string_view path) {
    std::string result;
    size_t pos = 0;
    while (true) {
        size_t end = pos;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        std::string_view part = path.substr(pos, end - pos);
        if (!IsPlainName(part))
            return std::nullopt;
        if (!result.empty())
            result.push_back('\\');
        result.append(part);
        if (end == path.size())
            return result;
        pos = end + 1;
    }
}

std::optional<std::string> ConfinedFolderName(std::string_view text) {
    size_t last = text.find_last_of("\\/");
    std::string_view name = last == std::string_view::npos ? text : text.substr(last + 1);
    if (!IsPlainName(name))
        return std::nullopt;
    return std::string(name);
}

bool IsSafeProfileValue(std::string_view value) {
    return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool IsSafeProfileKey(std::string_view key) {
    return IsSafeProfileValue(key) && key.find('=') == std::string_view::npos &&
           (key.empty() || (key.front() != '[' && key.front() != ';'));
}

bool IsSafeCommandPath(std::string_view path) {
    for (char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == '"')
            return false;
    }
    return !path.empty();
}

std::string VisibleControls(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string shown;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n')
            shown += "\\n";
        else if (c == '\r')
            shown += "\\r";
        else if (byte < 0x20 || byte == 0x7f)
            shown.append("\\x").append(1, kHex[byte >> 4]).append(1, kHex[byte & 15]);
        else
            shown.push_back(c);
    }
    return shown;
}

} // namespace varnel
