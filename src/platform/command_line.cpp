// Windows command lines: how the system splits them and finds the program they name. Nothing here
// touches the machine except through the file functions.

#include "platform/codepage.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/process.h"
#include "util/text.h"

namespace varnel::platform {

std::vector<std::string> SplitWindowsCommandLine(std::string_view line) {
    std::vector<std::string> args;
    size_t i = 0;
    auto blank = [&](size_t at) { return at < line.size() && (line[at] == ' ' || line[at] == '\t'); };
    while (blank(i))
        ++i;
    if (i >= line.size())
        return args;
    // The program name: quotes group, nothing is escaped.
    std::string program;
    bool quoted = false;
    for (; i < line.size(); ++i) {
        char c = line[i];
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && (c == ' ' || c == '\t'))
            break;
        program.push_back(c);
    }
    args.push_back(program);
    for (;;) {
        while (blank(i))
            ++i;
        if (i >= line.size())
            break;
        std::string arg;
        quoted = false;
        while (i < line.size()) {
            char c = line[i];
            if (c == '\\') {
                size_t slashes = 0;
                while (i < line.size() && line[i] == '\\') {
                    ++slashes;
                    ++i;
                }
                if (i < line.size() && line[i] == '"') {
                    arg.append(slashes / 2, '\\');
                    if (slashes % 2 == 1) {
                        arg.push_back('"');
                        ++i;
                    }
                } else {
                    arg.append(slashes, '\\');
                }
                continue;
            }
            if (c == '"') {
                if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                    arg.push_back('"'); // "" inside quotes is one quote
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            if (!quoted && (c == ' ' || c == '\t'))
                break;
            arg.push_back(c);
            ++i;
        }
        args.push_back(arg);
    }
    return args;
}

std::string HexUtf16(std::string_view hostText) {
    std::string utf16;
    Utf8ToUtf16Le(HostTextToUtf8(hostText), utf16);
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(utf16.size() * 2);
    for (char c : utf16) {
        auto b = static_cast<unsigned char>(c);
        hex.push_back(digits[b >> 4]);
        hex.push_back(digits[b & 15]);
    }
    return hex;
}

namespace {

// Where Windows would find a program named without a folder: the Windows folder and system32.
std::optional<std::string> FindWindowsProgram(const std::string& name) {
    std::string windows = WindowsDirectory();
    for (const std::string& candidate : {windows + "\\" + name, windows + "\\system32\\" + name}) {
        if (InspectFile(candidate).regular)
            return candidate;
    }
    return std::nullopt;
}

// The program a candidate name stands for: the name itself, or with ".exe" added.
std::optional<std::string> ProgramFile(const std::string& name) {
    if (name.empty())
        return std::nullopt;
    bool hasFolder = name.find_first_of("\\:") != std::string::npos;
    std::vector<std::string> names = {name};
    if (ExtensionPart(FileNamePart(name)).empty())
        names.push_back(name + ".exe");
    for (const std::string& candidate : names) {
        if (!hasFolder) {
            if (std::optional<std::string> found = FindWindowsProgram(candidate))
                return found;
        } else if (InspectFile(candidate).regular) {
            return candidate;
        }
    }
    return std::nullopt;
}

} // namespace

LocatedProgram LocateProgram(std::string_view line) {
    LocatedProgram located;
    size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    if (i < line.size() && line[i] == '"') {
        size_t close = line.find('"', i + 1);
        size_t end = close == std::string_view::npos ? line.size() : close;
        located.program = std::string(line.substr(i + 1, end - i - 1));
        size_t rest = close == std::string_view::npos ? line.size() : close + 1;
        located.arguments = std::string(line.substr(rest));
        if (std::optional<std::string> file = ProgramFile(located.program)) {
            located.program = *file;
            located.found = true;
        }
        return located;
    }
    size_t first = line.find_first_of(" \t", i);
    size_t pos = i;
    for (;;) {
        size_t end = line.find_first_of(" \t", pos);
        if (end == std::string_view::npos)
            end = line.size();
        if (std::optional<std::string> file = ProgramFile(std::string(line.substr(i, end - i)))) {
            located.program = *file;
            located.found = true;
            located.arguments = std::string(line.substr(end));
            return located;
        }
        if (end >= line.size())
            break;
        pos = end + 1;
    }
    // Nothing found: the first token names the program (perhaps one of the machine's own).
    if (first == std::string_view::npos)
        first = line.size();
    located.program = std::string(line.substr(i, first - i));
    located.arguments = std::string(line.substr(first));
    return located;
}

} // namespace varnel::platform
