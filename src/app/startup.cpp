#include "app/startup.h"

#include "app/settings.h"
#include "lang/language.h"

#include <cstdio>
#include <cstdlib>

namespace varnel {

bool InitializeProgram() {
    SetLanguageLoadedHook(LoadMessages);
    return LoadSettings();
}

void EndProgramNow() {
    std::fflush(nullptr);
    std::exit(0);
}

} // namespace varnel
