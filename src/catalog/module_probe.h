#pragma once
// Questions that need a module's code to run are answered by tcvarnel-probe in a child process:
// the native build for native modules, the Windows build under Wine for Windows modules.

#include <cstdint>
#include <string>
#include <string_view>

namespace varnel {

enum class ModuleFormat { Missing, WindowsPe, NativeElf, Unknown };
ModuleFormat DetectModuleFormat(std::string_view path);

struct ProbeAnswer {
    enum Kind {
        NotLoaded,   // the module could not be loaded
        NoEntry,     // the entry point is missing
        Exports,     // `number` holds the export bits
        Number,      // `number` holds the entry point's result
        Text,        // `text` holds the text (ANSI)
        Fault,       // the entry point crashed or did not return in time
        Unavailable, // no probe could run for this module (no Wine, no helper for its machine type)
        Cancelled,   // the user stopped the wait for the answer
    };
    Kind kind = Unavailable;
    int64_t number = 0;
    std::string text;
    std::string problem;  // with Unavailable: why no helper could answer (no Wine, no helper, ...)
    std::string lastCall; // the last entry point the helper said it was calling
};

// Export bits of the "exports" question.
enum : int { kExportsFsInit = 1, kExportsListLoad = 2, kExportsOpenArchive = 4, kExportsContentGetValue = 8 };

// question: "exports", "packer-caps", "lister-detect", "content-detect", "fs-root", or
// "configure-packer" with the argument the helper expects after the module. A timeout of 0 is
// the probe timeout.
// These questions go to a helper that stays (one per kind of helper, started by the first
// question): each loads the module, asks and lets it go, and a helper that crashed, ran out of
// time, was cancelled or kept a module loaded is not asked again. The answers of the five without
// an argument are kept per module file (path, size, time) and not asked twice.
ProbeAnswer AskProbe(std::string_view question, std::string_view modulePath, const std::string& argument = {},
                     unsigned timeoutMs = 0);

// Bytes as the helper takes text on its command line: two lowercase hex digits each.
std::string HexBytes(std::string_view bytes);

// Opens a file system plugin's own settings dialog through config.exe (the helper under that name,
// a 64-bit Windows program; it hands a 32-bit module to the 32-bit helper), given the configuration
// folder and the parent window as the host passes them. A native module goes to the native helper.
// No time limit: the dialog stays as long as the user likes. A module no helper here can load is
// Unavailable, with the reason.
ProbeAnswer RunFsConfiguration(std::string_view configProgram, std::string_view modulePath,
                               std::string_view configFolder, int64_t window);

// The folder that holds the helpers (beside the program; VARNEL_PROBE_DIR overrides it).
std::string ProbeFolder();

// Ends the helpers that stay (the next question starts one again) and forgets the kept answers.
void EndProbeHelpers();
// How many helpers were started so far (for tests and benchmarks).
unsigned ProbeHelperStarts();

// How long a probe may run before it is killed (15 seconds unless a test shortens it).
void SetProbeTimeoutMs(unsigned milliseconds);
unsigned ProbeTimeoutMs();

} // namespace varnel
