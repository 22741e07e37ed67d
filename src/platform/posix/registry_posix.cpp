#include "platform/registry.h"

#include "platform/codepage.h"
#include "platform/paths.h"
#include "util/text.h"

#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unordered_map>

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

// One of the prefix's registry files, read once and indexed by key until it changes on disk.
struct RegistryFile {
    std::string path;
    struct stat stamp {};
    std::string text;
    std::unordered_map<std::string, std::pair<size_t, size_t>> keys; // folded name -> value lines
};

bool SameStamp(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

std::string FoldKey(std::string_view key) {
    std::string folded = NormalizeKey(key);
    for (char& c : folded)
        c = LowerAsciiChar(c);
    return folded;
}

const RegistryFile* LoadRegistryFile(const std::string& path) {
    static std::unordered_map<std::string, RegistryFile> cache;
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        cache.erase(path);
        return nullptr;
    }
    auto found = cache.find(path);
    if (found != cache.end() && SameStamp(found->second.stamp, st))
        return &found->second;
    RegistryFile file;
    file.path = path;
    file.stamp = st;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return nullptr;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    file.text = buffer.str();
    std::string_view text = file.text;
    size_t pos = 0;
    std::string current;
    size_t valuesStart = 0;
    auto close = [&](size_t end) {
        if (!current.empty())
            file.keys.emplace(current, std::make_pair(valuesStart, end));
        current.clear();
    };
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        if (text[pos] == '[') {
            close(pos);
            if (std::optional<std::string> header = ParseKeyHeader(text.substr(pos, end - pos))) {
                current = FoldKey(*header);
                valuesStart = end;
            }
        }
        pos = end + 1;
    }
    close(text.size());
    return &(cache[path] = std::move(file));
}

std::string RegistryFilePath(RegistryRoot root) {
    return PrefixDir() + (root == RegistryRoot::CurrentUser ? "/user.reg" : "/system.reg");
}

std::string KeyInFile(RegistryRoot root, std::string_view key) {
    std::string inFile = HostTextToUtf8(key);
    if (root == RegistryRoot::ClassesRoot)
        inFile = "Software\\Classes\\" + inFile;
    return FoldKey(inFile);
}

// Calls back for every string value of a key (REG_SZ, and REG_EXPAND_SZ marked as expandable),
// with the name and text in UTF-8; stops when the callback returns false.
template <typename Visit> void VisitStringValues(RegistryRoot root, std::string_view key, Visit visit) {
    const RegistryFile* file = LoadRegistryFile(RegistryFilePath(root));
    if (!file)
        return;
    auto found = file->keys.find(KeyInFile(root, key));
    if (found == file->keys.end())
        return;
    std::string_view values =
        std::string_view(file->text).substr(found->second.first, found->second.second - found->second.first);
    size_t pos = 0;
    while (pos < values.size()) {
        size_t end = values.find('\n', pos);
        if (end == std::string_view::npos)
            end = values.size();
        std::string_view line = values.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            continue;
        std::string name;
        size_t at;
        if (line[0] == '@') {
            at = 1;
        } else if (line[0] == '"') {
            at = ParseQuoted(line, 1, name);
            if (at == std::string::npos)
                continue;
        } else {
            continue;
        }
        if (at >= line.size() || line[at] != '=')
            continue;
        ++at;
        RegistryString value;
        // "str(2):" is an expandable string; "dword:", "hex:" and the rest are other types.
        constexpr std::string_view kExpand = "str(2):";
        if (line.substr(at, kExpand.size()) == kExpand) {
            value.expandable = true;
            at += kExpand.size();
        }
        if (at >= line.size() || line[at] != '"') {
            value.kind = RegistryString::Other;
        } else if (ParseQuoted(line, at + 1, value.text) == std::string::npos) {
            continue;
        }
        if (!visit(name, value))
            return;
    }
}

} // namespace

std::optional<std::string> ReadRegistryString(RegistryRoot root, std::string_view key,
                                              std::string_view valueName) {
    std::string wanted = HostTextToUtf8(valueName);
    std::optional<std::string> result;
    VisitStringValues(root, key, [&](const std::string& name, const RegistryString& value) {
        if (!EqualsNoCaseAscii(name, wanted))
            return true;
        // Only plain strings count.
        if (value.kind == RegistryString::Text && !value.expandable)
            result = Utf8ToHostText(value.text);
        return false;
    });
    return result;
}

std::vector<std::pair<std::string, RegistryString>> ReadRegistryStrings(RegistryRoot root,
                                                                        std::string_view key) {
    std::vector<std::pair<std::string, RegistryString>> values;
    VisitStringValues(root, key, [&](const std::string& name, const RegistryString& value) {
        if (value.kind == RegistryString::Text)
            values.emplace_back(name, value);
        return true;
    });
    return values;
}

} // namespace varnel::platform
