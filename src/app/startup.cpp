#include "app/startup.h"

#include "app/settings.h"
#include "lang/language.h"
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
    // The scratch folder of an archive install that was killed stays for the health check to
    // show; the next archive install clears it before use.
    return true;
}

void EndProgramNow() {
    std::fflush(nullptr);
    std::exit(0);
}

} // namespace varnel
