// varnel report: the plugin report, to a file or to standard output.

#include "cli/command_table.h"

#include "app/settings.h"
#include "catalog/host_config.h"
#include "cli/cli_plugins.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/plugin_list.h"
#include "ops/report.h"
#include "platform/console.h"
#include "platform/files.h"
#include "util/text.h"

#include <memory>

namespace varnel::cli {

namespace {

int WritePluginReport(Session& session, const std::string& columns, const std::string& file) {
    Settings& s = AppSettings();
    if (!columns.empty()) {
        s.ReportName = s.ReportVersion = s.ReportState = s.ReportAssoc = s.ReportFileName = false;
        std::string_view rest = columns;
        while (!rest.empty()) {
            const size_t comma = rest.find(',');
            const std::string column = LowerAscii(rest.substr(0, comma));
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
            bool* flag = column == "name"      ? &s.ReportName
                         : column == "version" ? &s.ReportVersion
                         : column == "state"   ? &s.ReportState
                         : column == "assoc"   ? &s.ReportAssoc
                         : column == "file"    ? &s.ReportFileName
                                               : nullptr;
            if (!flag) {
                session.Fail(kExitUsage, Message(Msg::ColumnsOptionValues), Msg::ColumnsOptionValues);
                return session.Exit();
            }
            *flag = true;
        }
    }
    if (!RequireHost(session))
        return session.Exit();
    // Standard output: written to a file of its own first, as the report always is.
    const bool toOutput = file == "-";
    const std::string scratch = toOutput ? platform::MakeScratchFile() : std::string();
    if (toOutput && scratch.empty()) {
        session.Fail(kExitFailed, Message(Msg::NoTemporaryReportFile), Msg::NoTemporaryReportFile);
        return session.Exit();
    }
    s.ReportFile = toOutput ? scratch : PathArgument(file);
    LoadWithDetails();
    if (session.Present(MakeReport(ProgramContext(), kProgramVersionText)) == kExitDone && toOutput) {
        std::string bytes;
        platform::ReadWholeFile(s.ReportFile, bytes, 64 * 1024 * 1024);
        // The file's byte-order mark tells editors its encoding; in a pipe it is a stray character.
        std::string_view text = bytes;
        if (text.starts_with("\xEF\xBB\xBF"))
            text.remove_prefix(3);
        platform::WriteOutput(text);
        NotePrinted();
    }
    if (toOutput)
        platform::DeleteFileAt(scratch);
    return session.Exit();
}

struct ReportRequest {
    std::string columns, file;
};

Runner Define(CLI::App& command, CommandLine&) {
    auto request = std::make_shared<ReportRequest>();
    command.add_option("--columns", request->columns, "name,version,state,assoc,file");
    command.add_option("FILE", request->file, "The report file, or -")->required();
    return [request](Session& session) {
        return WritePluginReport(session, HostArgument(request->columns), request->file);
    };
}

} // namespace

Command ReportCommand() {
    return {"report", "The plugin report, to a file or - (standard output)",
            "varnel report --columns name,version,file -", false, Define};
}

} // namespace varnel::cli
