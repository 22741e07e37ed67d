#include "app/entry.h"

#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace varnel {

std::string PluginFileArgument(const std::string& argument) {
    // Arguments arrive as this machine's (UTF-8) text.
    if (platform::IsRegularMachineFile(argument))
        return platform::ToWindowsPath(argument);
    return platform::Utf8ToHostText(argument);
}

EntryOutcome RunEntry(const std::vector<std::string>& args, const EntryActions& actions) {
    if (args.empty())
        return EntryOutcome::OpenMainWindow;
    const std::string& first = args.front();
    if (!actions.detectHost())
        return EntryOutcome::EndProgram;
    if (first == "/restart") {
        actions.restartHost();
        return EntryOutcome::EndProgram;
    }
    bool isPath = first.empty() || first.front() != '/' || platform::IsRegularMachineFile(first);
    bool isSwitch = first == "/install" || first == "/installZip" || first == "/order";
    if (isPath && !isSwitch) {
        actions.installFile(PluginFileArgument(first));
        return EntryOutcome::EndProgram;
    }
    return EntryOutcome::OpenMainWindow;
}

std::string WindowSwitch(const std::vector<std::string>& args) {
    if (args.empty())
        return {};
    const std::string& first = args.front();
    return first == "/install" || first == "/installZip" || first == "/order" ? first : std::string();
}

bool AsksForHelp(const std::vector<std::string>& args) {
    return !args.empty() && (args.front() == "--help" || args.front() == "-h");
}

std::string CommandLineHelp() {
    return "Usage: tcvarnel [ARGUMENT]\n"
           "TC Varnel shows and edits the plugins of Total Commander.\n"
           "\n"
           "  (none)       open the window\n"
           "  /install     choose plugin module files and install them, then end\n"
           "  /installZip  choose a .zip or .rar archive and install the plugin in it, then end\n"
           "  /order       change the order of the plugins, then end\n"
           "  /restart     restart Total Commander, then end\n"
           "  FILE         install the plugin module FILE, after a question, then end\n"
           "  --help, -h   this text\n"
           "\n"
           "Only the first argument counts; the switches are case-sensitive. Any argument but\n"
           "these checks first that Total Commander is there.\n"
           "The same work from scripts and terminals, without a window: varnel --help\n";
}

} // namespace varnel
