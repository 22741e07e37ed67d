#pragma once
// What was read of modules before (machine type, version resource), kept between runs of the program in one
// file of its own, so that a start does not read thousands of unchanged modules again. Each fact is kept with
// the stamp of what it was read from and used only while that stamp is still the same.

#include "platform/files.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace varnel {

struct ModuleFacts {
    platform::FileStamp stamp; // of the module (AttributeStampOf)
    uint16_t machine = 0;
    std::string versionInfo;
};

struct ModuleFactsFile {
    std::unordered_map<std::string, ModuleFacts> modules; // by module path
};

// The file's bytes, and back; nullopt for bytes that are not such a file whole (another version,
// cut short, sizes out of bounds): the file is then ignored and written anew.
std::string EncodeModuleFacts(const ModuleFactsFile& facts);
std::optional<ModuleFactsFile> DecodeModuleFacts(std::string_view bytes);

// Where the facts are kept (the settings' folder); "" keeps them in memory only.
void SetModuleFactsStore(std::string path);
const std::string& ModuleFactsStore();

// Limits of what is kept: a file beyond them is not read.
constexpr size_t kMaxStoredFactsBytes = 64u << 20;
constexpr size_t kMaxStoredEntries = 20000;

} // namespace varnel
