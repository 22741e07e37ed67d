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

} // namespace varnel
