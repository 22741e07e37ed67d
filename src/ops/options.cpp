#include "ops/options.h"

#include "app/settings.h"
#include "catalog/file_types.h"
#include "catalog/host_config.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/history.h"
#include "util/text.h"

namespace varnel {

Result ApplyOptions(const Context& context, const Settings& chosen) {
    // Folders made here are taken back when a later one fails; no file is written, so a done run
    // leaves no history record.
    CommandRun run(context, std::string());
    for (const std::string* folder :
         {&chosen.PluginsLister, &chosen.PluginsPacker, &chosen.PluginsFS, &chosen.PluginsContent}) {
        const std::string expanded = ExpandHostPath(*folder);
        if (expanded.find(":\\") == std::string::npos)
            continue; // a relative or empty folder is resolved when it is used
        if (!MakeFoldersInThisChange(expanded)) {
            ShowAppMessage(FormatPrintf(Message(Msg::FolderNotMade), {expanded}), kStyleError,
                           Outcome::Failed, Msg::FolderNotMade);
            return run.Stop(Outcome::Failed);
        }
    }
    context.settings = chosen;
    RegisterPluginFileTypes(chosen.RegisterExt);
    return run.Finish();
}

} // namespace varnel
