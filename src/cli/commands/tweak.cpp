// varnel tweak: a packer's flags per extension (EXT=FLAGS, +EXT=FLAGS, -EXT).

#include "cli/command_table.h"

#include "catalog/host_config.h"
#include "catalog/plugin_table.h"
#include "catalog/registration.h"
#include "cli/cli_plugins.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/history.h"
#include "ops/install.h"
#include "ops/plugin_commands.h"
#include "platform/codepage.h"
#include "util/names.h"
#include "util/text.h"

#include <memory>

namespace varnel::cli {

namespace {

int EditPackerFlags(Session& session, const std::string& packer, const std::vector<std::string>& edits) {
    if (!RequireHost(session))
        return session.Exit();
    const platform::ProfileSnapshot since = HostConfigSnapshot();
    std::optional<std::vector<int>> rows = FindAll(session, {packer});
    if (!rows)
        return session.Exit();
    const PluginEntry entry = EntryAt(rows->front());
    if (entry.Kind != kPacker || entry.Disabled) {
        const std::string label = PluginLabel(Table(), rows->front());
        session.Fail(kExitUsage, FormatPrintf(Message(Msg::NoEnabledPluginOfKind), {label, "packer"}),
                     Msg::NoEnabledPluginOfKind);
        return session.Exit();
    }
    PackerAssociationList list = ReadPackerAssociations(entry.FileName, false);
    list.pairs.resize(static_cast<size_t>(list.count));
    auto find = [&](std::string_view extension) {
        return std::find_if(list.pairs.begin(), list.pairs.end(),
                            [&](const auto& pair) { return EqualsNoCaseAnsi(pair.extension, extension); });
    };
    for (const std::string& edit : edits) {
        const bool add = edit.starts_with("+");
        const bool remove = edit.starts_with("-");
        const std::string body = add || remove ? edit.substr(1) : edit;
        const std::string extension = remove ? body : TextBefore(body, "=");
        const std::string flagsText = TextAfter(body, "=");
        if (extension.empty() || (!remove && body.find('=') == std::string::npos)) {
            session.Fail(kExitUsage, FormatPrintf(Message(Msg::TweakSyntax), {edit}), Msg::TweakSyntax);
            return session.Exit();
        }
        if (!IsSafeProfileKey(extension) || TrimBlanks(extension) != extension) {
            session.Fail(kExitFailed, UnusableMessage(extension), Msg::UnusableText);
            return session.Exit();
        }
        const int flags = IntFromText(flagsText, -1);
        if (!remove && flags < 0) {
            session.Fail(kExitUsage, FormatPrintf(Message(Msg::NotAWholeNumber), {flagsText}),
                         Msg::NotAWholeNumber);
            return session.Exit();
        }
        auto pair = find(extension);
        if (remove || !add) {
            if (pair == list.pairs.end()) {
                const std::string label = PluginLabel(Table(), rows->front());
                session.Fail(kExitFailed,
                             FormatPrintf(Message(Msg::ExtensionNotRegistered), {label, extension}),
                             Msg::ExtensionNotRegistered);
                return session.Exit();
            }
            if (remove)
                list.pairs.erase(pair);
            else
                pair->flags = flags;
        } else {
            if (pair != list.pairs.end()) {
                session.Fail(kExitFailed, FormatPrintf(Message(Msg::ExtensionListed), {extension}),
                             Msg::ExtensionListed);
                return session.Exit();
            }
            list.pairs.push_back({extension, flags});
        }
    }
    list.count = static_cast<int32_t>(list.pairs.size());
    return session.Present(
        WritePackerFlags(ProgramContext(), entry.FileName, PluginLabel(Table(), rows->front()), list, since));
}

Runner Define(CLI::App& command, CommandLine&) {
    auto packer = std::make_shared<std::string>();
    command.add_option("PACKER", *packer, "The packer")->required();
    // "-EXT" reads like an option: everything after the packer is taken as it stands.
    command.prefix_command();
    command.fallthrough(false);
    return [packer, &command](Session& session) {
        const std::vector<std::string> edits = HostArguments(command.remaining());
        if (edits.empty()) {
            session.Fail(kExitUsage, Message(Msg::TweakNeedsPair), Msg::TweakNeedsPair);
            return session.Exit();
        }
        return EditPackerFlags(session, HostArgument(*packer), edits);
    };
}

} // namespace

Command TweakCommand() {
    return {"tweak", "A packer's flags per extension: EXT=FLAGS, +EXT=FLAGS, -EXT",
            "varnel tweak packer:zip zip=279 +zipx=279 -old", true, Define};
}

} // namespace varnel::cli
