#include "app/startup.h"

#include "app/settings.h"
#include "catalog/host_config.h"
#include "lang/language.h"
#include "platform/file_tree.h"
#include "platform/files.h"
#include "platform/system.h"

#include <cstdio>
#include <cstdlib>

namespace varnel {

bool InitializeProgram() {
    platform::KeepLargeBuffersForReuse();
    SetLanguageLoadedHook(LoadMessages);
    if (!LoadSettings())
        return false;
    // What a killed run left beside the files this program rewrites.
    platform::RemoveStaleReplacements(SettingsFilePath());
    platform::RemoveStaleReplacements(AppSettings().IniPath);
    // An archive install that was killed leaves its scratch folder: removed as a tree whose
    // links are never followed.
    std::string work = ExpandHostPath(AppSettings().PluginsLister);
    if (size_t slash = work.rfind('\\'); slash != std::string::npos && !AppSettings().PluginsLister.empty())
        platform::RemoveTree(work.substr(0, slash) + "\\Install.tmp");
    return true;
}

void EndProgramNow() {
    std::fflush(nullptr);
    std::exit(0);
}

} // namespace varnel
