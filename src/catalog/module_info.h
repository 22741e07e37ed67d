#pragma once
// What the program learns about a plugin module: its kind, the answers of its query entry
// points, and the texts of its version resource.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "catalog/plugin_table.h"

namespace varnel {

// How a query came by its answer.
enum class QueryStatus {
    Answered,    // the module answered
    Default,     // the module could not be loaded or lacks the entry point: the default applies
    Fault,       // the entry point crashed or hung; the default is returned
    Unavailable, // nothing here can load such a module (no Wine, no helper): the default applies
    Cancelled,   // the user stopped waiting for the answer; the default is returned
};

// Why the last query that ended Unavailable could not be answered (no Wine, no helper, ...).
const std::string& LastQueryProblem();

// -1 (no plugin) or the kind: by extension, or for a ".dll" by its exported entry points.
PluginKind PluginKindOfFile(std::string_view path, QueryStatus* status = nullptr);
// Whether the file is a module at all: a Windows image whose headers parse (or, for this
// machine's own samples, an ELF object). A text file or a cut-off download named .wlx is not.
bool IsModuleFile(std::string_view path);

// GetPackerCaps(); 0 when there is no answer.
int32_t QueryPackerCaps(std::string_view path, QueryStatus* status = nullptr);

// The detect strings; "" when there is no answer. A fault shows message 73 and answers "".
std::string QueryListerDetectString(std::string_view path, QueryStatus* status = nullptr);
std::string QueryContentDetectString(std::string_view path, QueryStatus* status = nullptr);

// FsGetDefRootName(); the file name without extension when there is no answer, and also when
// the module leaves the name empty (an empty key would be of no use to the host).
std::string QueryFsRootName(std::string_view path, QueryStatus* status = nullptr);

// The fixed file version ("%d.%d.%d.%d") with no name, else the named string of the version
// resource's first translation; "" when there is no answer.
std::string ReadVersionText(std::string_view path, std::string_view name = {});

// The name shown for a module, by the ShowNames setting.
std::string PluginDisplayName(std::string_view path);

// The machine type of a Windows module (0x14C for 32-bit x86, 0x8664 for x64); 0 otherwise.
uint16_t ModuleMachine(std::string_view path);

// Module files are read once and again only when they change (path, size, modification time);
// this forgets what was read, so that the next look reads every file afresh.
void ForgetModuleFacts();
// Keeps what this run read of the modules it looked at in the store (ModuleFactsStore), for the
// next start; called after a load that filled a list, never inside a command's change.
void SaveModuleFacts();

// While one lives on this thread, a module's facts are checked against the disk once (a load of
// the table asks each module for its name, bitness and version in turn); one opened while another
// lives joins it.
class ModuleFactsScope {
public:
    ModuleFactsScope();
    ~ModuleFactsScope();
    ModuleFactsScope(const ModuleFactsScope&) = delete;
    ModuleFactsScope& operator=(const ModuleFactsScope&) = delete;

private:
    std::unique_ptr<std::unordered_map<std::string, bool>> m_checked;
    std::unordered_map<std::string, bool>* m_previous;
};

// 32 or 64 for a Windows module built for that bitness; 0 for anything else.
int ModuleBits(std::string_view path);

// Whether a host of hostBits can load a module of moduleBits (an unknown side never rules it out).
bool BitsMatch(int moduleBits, int hostBits);

// The module a host of hostBits really loads for a registered path. A 64-bit host given
// "name.wlx" (likewise .wcx, .wfx, .wdx) first looks for "name.wlx64" in the same folder and
// loads that one when it is there; a 32-bit host loads the registered file itself.
std::string ModuleLoadedByHost(std::string_view registeredPath, int hostBits);

// The path a chosen module is registered under. A 64-bit "name.wlx64" whose 32-bit twin
// "name.wlx" lies beside it is registered as the twin: both hosts then read the same entry and
// each loads its own module. Every other module is registered as it is.
std::string RegistrationPathFor(std::string_view modulePath);

} // namespace varnel
