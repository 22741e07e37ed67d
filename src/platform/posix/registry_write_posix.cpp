#include "platform/registry.h"

#include "util/names.h"

#include "platform/codepage.h"
#include "platform/environment.h"
#include "platform/paths.h"
#include "platform/posix/child_process.h"
#include "platform/posix/wine.h"
#include "platform/process.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace varnel::platform {

namespace {

std::string_view RootName(RegistryRoot root) {
    switch (root) {
    case RegistryRoot::LocalMachine:
        return "HKEY_LOCAL_MACHINE";
    case RegistryRoot::CurrentUser:
        return "HKEY_CURRENT_USER";
    case RegistryRoot::ClassesRoot:
        break;
    }
    return "HKEY_CLASSES_ROOT";
}

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    return out.append("\"");
}

// The registry editor's import format, in UTF-16LE so that any text survives.
std::string RegFileText(const std::vector<RegistryWrite>& writes) {
    std::string utf8 = "Windows Registry Editor Version 5.00\r\n";
    const RegistryWrite* previous = nullptr;
    for (const RegistryWrite& write : writes) {
        if (!previous || previous->root != write.root || previous->key != write.key) {
            utf8.append("\r\n[").append(RootName(write.root)).append("\\");
            utf8.append(HostTextToUtf8(write.key)).append("]\r\n");
        }
        utf8.append(write.name.empty() ? "@" : Quoted(HostTextToUtf8(write.name)));
        utf8.append("=").append(Quoted(HostTextToUtf8(write.text))).append("\r\n");
        previous = &write;
    }
    std::string utf16;
    if (!Utf8ToUtf16Le(utf8, utf16))
        return {};
    return std::string("\xFF\xFE", 2) + utf16;
}

} // namespace

bool WriteRegistryStrings(const std::vector<RegistryWrite>& writes, bool wait) {
    if (writes.empty())
        return true;
    // A line break would end a line of the import and start another: such a write is refused whole.
    for (const RegistryWrite& write : writes)
        for (const std::string* text : {&write.key, &write.name, &write.text})
            if (!IsSafeProfileValue(*text))
                return false;
    // Wine would first make a prefix that has no registry yet, which takes a minute and is not
    // this program's business.
    struct stat st;
    if (stat((PrefixDir() + "/system.reg").c_str(), &st) != 0)
        return false;
    std::optional<WineLauncher> wine = FindPrefixWine();
    if (!wine)
        return false;
    static std::atomic<unsigned> counter{0};
    const std::string windowsFile = WindowsDirectory() + "\\temp\\tcvarnel-" + std::to_string(getpid()) +
                                    "-" + std::to_string(counter++) + ".reg";
    const std::string file = ToHostPath(windowsFile);
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), error);
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << RegFileText(writes);
        if (!out.flush())
            return false;
    }
    std::vector<std::string> argv = {wine->wine, "regedit.exe", "/S", windowsFile};
    std::map<std::string, std::string> env = wine->env;
    AddQuietHelperSettings(env);
    if (wait) {
        bool ran = detail::Spawn(argv, env, true, true);
        unlink(file.c_str());
        return ran;
    }
    // The editor takes a second or more when Wine is not running yet: nobody waits for it, and
    // its import file goes when it is done.
    std::thread([argv, env, file] {
        detail::Spawn(argv, env, true, true);
        unlink(file.c_str());
    }).detach();
    return true;
}

} // namespace varnel::platform
