#pragma once
// A profile file as the profile functions hold it: its text for the engine, how it is stored
// (ANSI, UTF-8 or UTF-16LE) and what identifies the version read. Converting between the file's
// bytes and that form, and between host text and the engine's text.

#include "platform/ini_text.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varnel::platform {

struct CachedFile {
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t size = 0;
    int64_t mtimeNs = 0;
    // How the file is stored. Unicode files (UTF-16LE, or UTF-8 behind its byte-order mark) are
    // held as UTF-8 text without the mark, which belongs to the file and is written back with it.
    enum class Encoding { Ansi, Utf8, Utf16 } encoding = Encoding::Ansi;
    bool Unicode() const { return encoding != Encoding::Ansi; }
    std::string oddByte; // a UTF-16 file's last byte when it has no partner, kept as it was
    uint64_t hash = 0;   // of the file's bytes as read or written (see ContentHash)
    IniText text;
};

// A 64-bit hash of a file's bytes: tells a file another program rewrote from the one read.
uint64_t ContentHash(std::string_view bytes);

// A file's bytes as the engine holds them; nullopt when they are no text the engine can hold.
std::optional<CachedFile> ParseBytes(std::string bytes);

// A working copy in the file's own encoding.
std::optional<std::string> Serialize(const CachedFile& working);

// Host text into the engine's text and back: a Unicode file's engine text is UTF-8.
std::string ToEngine(const CachedFile& file, std::string_view ansi);
std::string FromEngine(const CachedFile& file, std::string_view text);

} // namespace varnel::platform
