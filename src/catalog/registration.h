#pragma once
// Every change of the host's plugin registrations: numbered entries, removing and disabling,
// enabling, registering a module, renaming, and a packer's extensions.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/plugin_table.h"

namespace varnel {

struct PackerAssociationList {
    int32_t count = 0;
    int32_t selected = 0;
    int32_t defaultFlags = 0;
    struct Pair {
        std::string extension;
        int32_t flags = 0;
    };
    std::vector<Pair> pairs; // every extension that names the module, however many
};

void WriteNumberedEntry(std::string_view section, int number, std::string_view value,
                        std::string_view detect);
void InsertNumberedEntry(std::string_view section, int position, std::string_view value,
                         std::string_view detect);
void RemoveEntryByFile(std::string_view section, std::string_view modulePath, bool disable);
void RemovePlugin(int row, bool disable);
// Numbers a Lister or Content section's entries from 0 again, in file order.
void RenumberSection(std::string_view section);
void EnablePlugin(int row);

enum class RegisterResult {
    Registered, // written (or, for a known module without reporting, nothing to write)
    Failed,     // not a plugin, or a reported duplicate: its box was shown
    ProbeFault, // GetPackerCaps or FsGetDefRootName faulted: message 73 shown, nothing written
    Cancelled,  // the helper could not answer and the user chose not to register without it
};
// `given`: an FS plugin's name or a Lister's or Content plugin's detect string that the user gave
// (the module is not asked then); empty: the module's own answer.
RegisterResult RegisterPlugin(std::string_view modulePath, std::string_view extensionList,
                              bool reportDuplicate, std::string_view given = {});

// The part of an association text that cannot be written: the whole text for an FS name (a key)
// or a detect string (a value), one extension of a packer's list (each a key). A key may not
// contain "=", begin with "[" or ";" (a section or a comment) or, for an FS name, begin or end
// with a blank (the profile functions would cut it); nothing may hold a line break or a NUL.
// nullopt when all of it can be written.
std::optional<std::string> UnusableAssociation(PluginKind kind, std::string_view text);

// Message 110 for a text that cannot be written, its control characters shown as escapes.
std::string UnusableMessage(std::string_view text);

// The module path itself when it cannot be written as a value (a line break or NUL in a name).
std::optional<std::string> UnusableModulePath(std::string_view path);

void SetAssociation(int row, std::string_view text);
bool IsRegistered(std::string_view modulePath, PluginKind kind);
// Reloads the table without details; the association of the module's row when it has one.
bool LookupInstalled(std::string_view modulePath, std::string* association);

// The module's extensions with their flags; with queryDefaults, also the module's own flags (which
// asks the module, under Wine for a Windows one).
PackerAssociationList ReadPackerAssociations(std::string_view modulePath, bool queryDefaults = true);
void WritePackerAssociations(std::string_view modulePath, const PackerAssociationList& list);
// Gives every extension of the packer module the same flags.
void SetPackerFlags(std::string_view modulePath, int32_t flags);

} // namespace varnel
