#include "platform/shell_types.h"

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/posix/child_process.h"
#include "platform/process.h"
#include "util/text.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace varnel::platform {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDesktopFile = "tcvarnel.desktop";
constexpr const char* kMimePackage = "tcvarnel-plugins.xml";
constexpr const char* kAppIcon = "tcvarnel";

std::string DataHome() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && data[0] == '/')
        return data;
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.local/share";
    return {};
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Writes the file unless it already holds the text (replacing it in one step); sets changed. A
// file the user keeps as a link stays a link: its target is replaced.
bool WriteIfDifferent(const fs::path& path, const std::string& text, bool& changed) {
    std::error_code error;
    if (fs::exists(path, error) && ReadText(path) == text)
        return true;
    fs::create_directories(path.parent_path(), error);
    if (!ReplaceFileAtomically(ToWindowsPath(path.string()), text))
        return false;
    changed = true;
    return true;
}

std::string XmlEscaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

// The program as the first word of an Exec line: as it is when no character needs quoting (the
// form simple readers of the line, such as xdg-mime, understand), else quoted with the characters
// special inside quotes escaped; then escaped as a desktop-file string, "%" doubled.
std::string ExecProgram(const std::string& program) {
    const bool plain = program.find_first_of(" \t\n\"'\\><~|&;$*?#()`=%") == std::string::npos;
    std::string quoted = plain ? "" : "\"";
    for (char c : program) {
        if (!plain && (c == '"' || c == '`' || c == '$' || c == '\\'))
            quoted.push_back('\\');
        quoted.push_back(c);
    }
    if (!plain)
        quoted.push_back('"');
    std::string out;
    for (char c : quoted) {
        if (c == '\\')
            out.push_back('\\');
        if (c == '%')
            out.push_back('%');
        out.push_back(c);
    }
    return out;
}

std::string MimePackage(const std::vector<ShellFileType>& types) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
    for (const ShellFileType& type : types) {
        xml += "  <mime-type type=\"" + MimeTypeOfClass(type.className) + "\">\n";
        xml += "    <comment>" + XmlEscaped(type.description) + "</comment>\n";
        xml += "    <glob pattern=\"*" + XmlEscaped(type.extension) + "\"/>\n";
        xml += "    <glob pattern=\"*" + XmlEscaped(type.extension) + "64\"/>\n";
        xml += "  </mime-type>\n";
    }
    return xml + "</mime-info>\n";
}

std::string DesktopEntry(const std::vector<ShellFileType>& types, const std::string& program) {
    std::string mimeTypes;
    for (const ShellFileType& type : types)
        mimeTypes += MimeTypeOfClass(type.className) + ";";
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=TC Varnel\n"
           "GenericName=Plugin manager\n"
           "Comment=Installs and manages Total Commander plugins\n"
           "Exec=" +
           ExecProgram(program) +
           " %f\n"
           "Icon=" +
           kAppIcon +
           "\n"
           "Terminal=false\n"
           "Categories=Utility;\n"
           "MimeType=" +
           mimeTypes + "\n";
}

// Adds "type=tcvarnel.desktop;" to the defaults for every type that has no default there yet.
std::string WithDefaults(const std::string& list, const std::vector<ShellFileType>& types) {
    std::vector<std::string> lines;
    std::istringstream in(list);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    const std::string section = "[Default Applications]";
    size_t start = lines.size();
    for (size_t i = 0; i < lines.size(); ++i)
        if (TrimBlanks(lines[i]) == section)
            start = i;
    if (start == lines.size())
        lines.push_back(section);
    size_t end = start + 1;
    while (end < lines.size() && !TrimBlanks(lines[end]).starts_with("["))
        ++end;
    std::vector<std::string> added;
    for (const ShellFileType& type : types) {
        const std::string key = MimeTypeOfClass(type.className) + "=";
        bool present = false;
        for (size_t i = start + 1; i < end; ++i)
            present = present || TrimBlanks(lines[i]).starts_with(key);
        if (!present)
            added.push_back(key + kDesktopFile + ";");
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(end), added.begin(), added.end());
    std::string out;
    for (const std::string& line : lines)
        out += line + "\n";
    return out;
}

void RefreshDatabases(const std::string& dataHome, bool wait) {
    std::vector<std::vector<std::string>> runs;
    if (std::optional<std::string> mime = FindOnPath("update-mime-database"))
        runs.push_back({*mime, dataHome + "/mime"});
    if (std::optional<std::string> desktop = FindOnPath("update-desktop-database"))
        runs.push_back({*desktop, "-q", dataHome + "/applications"});
    auto runAll = [runs] {
        for (const auto& argv : runs)
            detail::Spawn(argv, {}, true, true);
    };
    if (wait)
        runAll();
    else
        std::thread(runAll).detach();
}

} // namespace

std::string MimeTypeOfClass(const std::string& className) {
    return "application/x-" + ReplaceAll(LowerAscii(className), "_", "-");
}

bool RegisterDesktopFileTypes(const std::vector<ShellFileType>& types, const std::string& program,
                              bool wait) {
    const std::string dataHome = DataHome();
    if (dataHome.empty() || program.empty())
        return false;
    const fs::path pictures = fs::path(OwnExecutableFolder()) / "icons";
    const fs::path data = dataHome;
    bool changed = false;
    bool ok = WriteIfDifferent(data / "mime" / "packages" / kMimePackage, MimePackage(types), changed);
    ok = WriteIfDifferent(data / "applications" / kDesktopFile, DesktopEntry(types, program), changed) && ok;
    const fs::path defaults = data / "applications" / "mimeapps.list";
    ok = WriteIfDifferent(defaults, WithDefaults(ReadText(defaults), types), changed) && ok;
    // Icons: the program's own, and one per type named after its MIME type.
    const fs::path icons = data / "icons" / "hicolor" / "scalable";
    std::string appIcon = ReadText(pictures / "varnel.svg");
    if (!appIcon.empty())
        ok = WriteIfDifferent(icons / "apps" / (std::string(kAppIcon) + ".svg"), appIcon, changed) && ok;
    for (const ShellFileType& type : types) {
        std::string picture = ReadText(pictures / (type.picture + ".svg"));
        std::string name = ReplaceAll(MimeTypeOfClass(type.className), "/", "-") + ".svg";
        if (!picture.empty())
            ok = WriteIfDifferent(icons / "mimetypes" / name, picture, changed) && ok;
    }
    if (changed)
        RefreshDatabases(dataHome, wait);
    return ok;
}

} // namespace varnel::platform
