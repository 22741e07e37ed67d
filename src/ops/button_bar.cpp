#include "ops/button_bar.h"

#include "catalog/host_config.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/command.h"
#include "ops/history.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "util/text.h"

namespace varnel {

namespace {

constexpr std::string_view kBarSection = "Buttonbar";
constexpr size_t kBarValueChars = 301;

std::string Numbered(std::string_view key, int number) {
    return std::string(key).append(IntText(number));
}

} // namespace

std::string GetButtonBarFile(const HostContext& host) {
    std::string bar = ExpandHostPath(ReadHostValue(kBarSection, kBarSection));
    // A bare or relative name lies in the host's program folder, where the host looks for its
    // bar files; never in whatever folder this program was started from.
    if (bar.empty())
        return JoinPath(host.HostDir, "Default.bar");
    if (bar.find(':') != std::string::npos || bar.starts_with("\\\\"))
        return bar;
    if (bar.starts_with("\\")) // the root of the host's drive
        return host.HostDir.substr(0, 2) + bar;
    return JoinPath(host.HostDir, bar);
}

std::string ReadBarValue(std::string_view file, std::string_view key) {
    return platform::ProfileReadString(file, kBarSection, key, "", kBarValueChars);
}

void WriteBarValue(std::string_view file, std::string_view key, std::string_view value) {
    platform::ProfileWriteString(file, kBarSection, key, value);
}

int ButtonCount(std::string_view file) {
    return IntFromText(ReadBarValue(file, "Buttoncount"), 0);
}

int FindButton(std::string_view file, std::string_view text) {
    std::string wanted = LowerAscii(text);
    int count = ButtonCount(file);
    for (int i = 1; i <= count; ++i)
        if (LowerAscii(ReadBarValue(file, Numbered("cmd", i))).find(wanted) != std::string::npos)
            return i;
    return 0;
}

void AddButton(std::string_view file, std::string_view command, std::string_view parameters,
               std::string_view iconFile, int iconIndex, std::string_view tooltip) {
    int n = ButtonCount(file) + 1;
    WriteBarValue(file, "Buttoncount", IntText(n));
    std::string icon(iconFile);
    if (iconIndex != 0)
        icon.append(",").append(IntText(iconIndex));
    WriteBarValue(file, Numbered("button", n), icon);
    WriteBarValue(file, Numbered("cmd", n), command);
    WriteBarValue(file, Numbered("menu", n), tooltip);
    WriteBarValue(file, Numbered("param", n), parameters);
}

void AddSeparatorIfNeeded(std::string_view file) {
    if (!ReadBarValue(file, Numbered("cmd", ButtonCount(file))).empty())
        AddButton(file, "", "", "", 0, "");
}

void RemoveButtons(std::string_view file, std::string_view text) {
    static constexpr std::string_view kKeys[] = {"button", "cmd", "menu", "param"};
    for (;;) {
        int last = ButtonCount(file);
        int found = FindButton(file, text);
        if (found == 0)
            return;
        for (int j = found; j < last; ++j)
            for (std::string_view key : kKeys)
                WriteBarValue(file, Numbered(key, j), ReadBarValue(file, Numbered(key, j + 1)));
        for (std::string_view key : kKeys)
            WriteBarValue(file, Numbered(key, last), "");
        WriteBarValue(file, "Buttoncount", IntText(last - 1));
    }
}

Result AddProgramButtons(const Context& context, std::string_view file, std::string_view programPath,
                         std::string_view iconFile) {
    struct Button {
        std::string_view parameters;
        int icon;
        int caption;
    };
    static constexpr Button kButtons[] = {
        {"", 0, 50}, {"/install", 4, 63}, {"/installZip", 4, 91}, {"/order", 5, 84}, {"/restart", 6, 61}};
    platform::RemoveStaleReplacements(file);
    CommandRun run(context, FormatPrintf(Message(Msg::HistBarButtons), {std::string(file)}));
    bool written = false;
    {
        platform::ProfileBatch batch(file);
        if (batch.Usable()) {
            RemoveButtons(file, FileNamePart(programPath));
            AddSeparatorIfNeeded(file);
            for (const Button& button : kButtons)
                AddButton(file, programPath, button.parameters, iconFile, button.icon,
                          GetCaption(button.caption));
            written = batch.Commit();
        }
    }
    if (!written) {
        ShowAppMessage(FormatPrintf(Message(Msg::BarNotWritten), {std::string(file)}), kStyleError,
                       Outcome::Failed, Msg::BarNotWritten);
        return run.Stop(Outcome::Failed);
    }
    return run.Finish();
}

} // namespace varnel
