#pragma once
// The profile-file functions: one value, a section's key names, one write. Every call sees the
// file as it is now. A file that begins with the UTF-16LE byte-order mark is read and written as
// UTF-16LE, one that begins with the UTF-8 byte-order mark as UTF-8; any other is 8-bit ANSI text.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace varnel::platform {

// The value (trimmed, enclosing quotes removed, cut to bufferChars - 1), or defaultValue when
// the file, section or key is missing.
std::string ProfileReadString(std::string_view file, std::string_view section, std::string_view key,
                              std::string_view defaultValue, size_t bufferChars);

// The key names of a section as the system fills a buffer of bufferChars characters: names each
// ended by a NUL, the list ended by a second NUL. `count` gets the call's character count.
std::string ProfileReadKeyNames(std::string_view file, std::string_view section, size_t bufferChars,
                                size_t* count = nullptr);

// Writes key=value; a missing value deletes the key. Creates the file when it is missing.
// Returns false when the file could not be read or written; it is then left as it was. A key or
// value that would change the file's structure (see IsSafeProfileKey) is refused the same way.
bool ProfileWriteString(std::string_view file, std::string_view section, std::string_view key,
                        std::optional<std::string_view> value);

// The section names of a profile file's bytes, in host text and file order; nullopt when they are
// no profile text.
std::optional<std::vector<std::string>> ProfileSectionNames(const std::string& bytes);

// Removes a section that holds no keys any more, header and all (a change that took its last
// key leaves no empty header the file did not have). Returns false as ProfileWriteString does.
bool ProfileRemoveEmptySection(std::string_view file, std::string_view section);

// Takes the named keys out of a section and writes the entries after its last remaining key,
// as deleting them and writing the entries one by one would, in one edit whose cost grows with
// the file and not with the number of keys. Returns false as ProfileWriteString does.
bool ProfileReplaceKeys(std::string_view file, std::string_view section,
                        const std::vector<std::string>& removeKeys,
                        const std::vector<std::pair<std::string, std::string>>& entries);

// While one lives on this thread, each profile file is looked up and checked against the disk only
// on its first read; later reads take the copy that check found (this program's own writes still
// show). For bursts of reads, such as loading the plugin table, that would otherwise look at the
// file once per value. One opened while another lives joins it.
class ProfileReadScope {
public:
    ProfileReadScope();
    ~ProfileReadScope();
    ProfileReadScope(const ProfileReadScope&) = delete;
    ProfileReadScope& operator=(const ProfileReadScope&) = delete;
};

// A profile file as it is at one moment, for a batch opened later: a dialog that shows the file
// while the user works and writes it on OK takes one when it opens. Its batch then counts every
// change another program made since as made meanwhile: kept, or a conflict when it touches a
// section the batch edits.
class ProfileSnapshot {
public:
    explicit ProfileSnapshot(std::string_view file);
    ~ProfileSnapshot();
    ProfileSnapshot(ProfileSnapshot&&) noexcept;
    ProfileSnapshot& operator=(ProfileSnapshot&&) noexcept;

    // The file as it was when it held these bytes (nullopt: when it did not exist), for a batch
    // that undoes a change made then.
    static ProfileSnapshot OfBytes(std::string_view file, const std::optional<std::string>& bytes);

    struct State;
    const State* Get() const { return m_state.get(); }

private:
    std::unique_ptr<State> m_state;
};

// Gathers every write to one profile file into a single replacement of that file. While it is
// open, reads of the file see the pending writes and nothing reaches the disk; Commit writes the
// result in one atomic step. A batch that is not committed is dropped: the file stays as it was.
// One batch at a time; a batch opened inside another one joins it.
class ProfileBatch {
public:
    explicit ProfileBatch(std::string_view file);
    // A batch that starts from the file as the snapshot saw it (a snapshot of another file is
    // ignored).
    ProfileBatch(std::string_view file, const ProfileSnapshot& since);
    ~ProfileBatch();
    ProfileBatch(const ProfileBatch&) = delete;
    ProfileBatch& operator=(const ProfileBatch&) = delete;

    // False when the file could not be read at the start (then no write of the batch takes).
    bool Usable() const;
    // Writes the gathered changes; true when they are on disk (or there were none). When another
    // program changed the file since the batch read it, the changes go onto that program's
    // version; if it changed a section the batch changes too, nothing is written, false is
    // returned and Conflicted() says so. With `preview`, the bytes the file would get go there and
    // nothing is written (an undo plans every file before it changes any).
    bool Commit(std::string* preview = nullptr);
    // The bytes the gathered changes give the file as the batch started from it, whatever the
    // file holds now (a plan made ahead of earlier steps); nothing is written.
    bool Preview(std::string& bytes);
    static bool Conflicted();

private:
    void Begin(std::string_view file);

    bool m_owner = false;
    bool m_committed = false;
};

// One key as a change left it: its value, or nullopt when the change removed it.
struct ProfileKeyEdit {
    std::string section;
    std::string key;
    std::optional<std::string> value;
};
// The key edits that turn a profile file holding `from` into one holding `to` (either nullopt: no
// file), in host text; nullopt when either is no profile text. Key names are compared as the
// host compares them, without regard to letter case.
std::optional<std::vector<ProfileKeyEdit>> ProfileDifferences(const std::optional<std::string>& from,
                                                              const std::optional<std::string>& to);

// Whether a profile file can be used, and if not, why. A missing file is usable: the first write
// makes it. The host's own files stay far below kMaxProfileBytes; a larger one (a link to a device,
// a sparse file) would only exhaust memory, so it is neither read nor written.
enum class ProfileAccess { Readable, Missing, NotAFile, TooLarge, Unreadable };
inline constexpr size_t kMaxProfileBytes = 16 * 1024 * 1024;
ProfileAccess CheckProfileFile(std::string_view file);

// Forgets cached copies of profile files (they are revalidated on every call anyway).
void ResetProfileCache();

} // namespace varnel::platform
