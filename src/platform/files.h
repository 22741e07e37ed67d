#pragma once
// Files and folders, addressed by Windows paths.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "util/byte_source.h"

namespace varnel::platform {

struct FindData {
    std::string Name; // ANSI
    bool IsFolder = false;
    uint64_t Size = 0;
};

// A directory search with the system's wildcard rules ("*", "?", "*.*" matching every name;
// names compared without regard to letter case). Only the last path component may hold
// wildcards. "." and ".." are never listed.
std::vector<FindData> FindFiles(std::string_view pattern);

// The search shaped as the host's find-first/next loop.
class FileFinder {
public:
    bool First(std::string_view pattern);
    bool Next();
    const FindData& Current() const { return m_entries[m_index]; }

private:
    std::vector<FindData> m_entries;
    size_t m_index = 0;
};

// A directory search for the path finds an entry. An empty path never exists.
bool FileExists(std::string_view path);
bool DirectoryExists(std::string_view path);

// Every entry below the folders (machine-independent: Windows paths in, Windows paths out) with
// its change time, to a depth of six folders and at most 50,000 entries, leaving out one sub-tree.
// Two surveys taken around an outside program show what it changed there.
using FolderSurvey = std::map<std::string, std::pair<int64_t, int64_t>>;
FolderSurvey SurveyFolders(const std::vector<std::string>& folders, std::string_view leaveOut);

// Whether the path names a regular file (links followed).
bool IsRegularFile(std::string_view path);

// The short (8.3) form of an existing path, as the system's short-name function gives it; "" when
// the path does not exist. A file system without short names gives the path itself.
std::string ShortPathName(std::string_view path);

// Whether the path itself is a symbolic link (not followed).
bool IsSymbolicLink(std::string_view path);

// Folder and file removal and creation; each says whether it did what it was asked.
bool CreateFolder(std::string_view path);
bool RemoveFolder(std::string_view path); // only an empty folder
bool DeleteFileAt(std::string_view path);

// The check the host's file would fail when opened for writing: the file is missing, cannot be
// written, or is held by another running process (mapped into it, as loaded modules are).
bool FileCannotBeOpenedForWriting(std::string_view path);

// FileExists and FileCannotBeOpenedForWriting for one file at the cost of one look at it (the
// refresh tick asks both of every listed module).
struct FileState {
    bool exists = false;
    bool regular = false;
    bool cannotOpenForWriting = true;
};
FileState InspectFile(std::string_view path);

// One scan of which files running processes hold; while an InUseScan lives, every
// FileCannotBeOpenedForWriting on this thread answers from it instead of scanning again. One
// opened while another lives shares it.
class InUseScan {
public:
    InUseScan();
    ~InUseScan();
    InUseScan(const InUseScan&) = delete;
    InUseScan& operator=(const InUseScan&) = delete;

    struct Snapshot;

private:
    std::unique_ptr<Snapshot> m_snapshot;
    Snapshot* m_previous;
};

// What tells a file's contents apart cheaply: identity, size and modification time. nullopt
// for anything but a regular file.
struct FileStamp {
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t size = 0;
    int64_t mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};
std::optional<FileStamp> StampOf(std::string_view path);
// The same for a cache of what a file holds, from its attributes alone: where a file's identity
// costs an open (Windows, where under Wine an open is a round trip to the server and a look at the
// attributes is not), it is 0, and size and time tell the contents apart.
std::optional<FileStamp> AttributeStampOf(std::string_view path);

// Random access to a file's bytes; nullptr when it cannot be opened as a regular file.
std::unique_ptr<ByteSource> OpenFileForReading(std::string_view path);

// Whole-file access for the profile engine and others. Only a regular file is read (a folder,
// FIFO, device or socket is NotAFile, and opening one never blocks), and only up to maxBytes.
enum class ReadResult { Ok, Missing, Failed, NotAFile, TooLarge };
ReadResult ReadWholeFile(std::string_view path, std::string& bytes, size_t maxBytes);

// Replaces the file's contents in one step: a temporary file in the same folder is written,
// flushed and renamed over the original, whose permissions it takes. On failure the original is
// untouched and false is returned.
bool ReplaceFileAtomically(std::string_view path, std::string_view bytes);
// The same with the bytes of the regular file `from`, read a block at a time (a file of any size
// needs no more memory). The observer below does not see it: the caller records the copy.
bool CopyFileAtomically(std::string_view from, std::string_view to);
// A file of the program's own that no change records (a cache): replaced in one step like the
// above, unseen by the observer, and not written at all in a dry run. False when not written.
bool WriteCacheFile(std::string_view path, std::string_view bytes);

// A dry run: from StartDryRun on, ReplaceFileAtomically writes nothing and keeps each file's new
// bytes (the last for a file written twice) for the program to show. Only for commands whose every
// write goes through it: the other writing functions do not know of it.
struct DryWrite {
    std::string path;
    std::string bytes;
    bool removed = false; // the file would be removed (bytes are empty)
};
void StartDryRun();
bool InDryRun();
const std::vector<DryWrite>& DryRunWrites();
// Notes, in a dry run, that the file would be removed.
void DryRunRemove(std::string_view path);

// Removes what a replacement of this file that was killed midway left beside it: its temporary
// files (".NAME.XXXXXX"). The caller holds the file's FileWriteLock, so that no replacement of
// ours is under way.
void RemoveAbandonedTemporaries(std::string_view path);

// Held while a program checks a file and replaces it: every program of ours that writes the file
// takes it first, so none writes between another's check and its write. Nothing is left on disk
// (a lock on the file's folder on Linux, a named mutex on Windows). Waits until it is free. A
// program may take it again while it holds it (an undo holds the files it restores while the
// profile engine writes one of them).
class FileWriteLock {
public:
    explicit FileWriteLock(std::string_view path);
    ~FileWriteLock();
    FileWriteLock(const FileWriteLock&) = delete;
    FileWriteLock& operator=(const FileWriteLock&) = delete;

private:
    intptr_t m_handle = -1;
};

// Work under way for as long as this program holds the marker: a file that the program keeps
// locked and that goes when the marker is dropped. A program that ends, killed or not, lets it go,
// so another program that can take the same marker knows the work was abandoned.
class WorkMarker {
public:
    // nullptr while another living program holds the marker (or it cannot be made).
    static std::unique_ptr<WorkMarker> Take(std::string_view path);
    ~WorkMarker();
    WorkMarker(const WorkMarker&) = delete;
    WorkMarker& operator=(const WorkMarker&) = delete;

private:
    WorkMarker() = default;
    std::string m_path;
    intptr_t m_handle = -1;
};

// Creates a new file with these contents in one step, never over an existing one: the file is
// written beside it under a temporary name and then given its name only if nobody has it yet, so
// two programs can never take the same name, and a kill leaves it whole or absent.
enum class CreateResult { Created, Exists, Failed };
CreateResult CreateFileExclusively(std::string_view path, std::string_view bytes);

// Sees every replacement made through ReplaceFileAtomically: the change history keeps the bytes a
// file had before a change and will have after it. BeforeReplace runs while the file is still as
// it was, with the bytes about to be written; when it answers false the file is not replaced and
// ReplaceFileAtomically fails. AfterReplace runs once the replacement is done or failed.
// Replacements the observer makes itself are not shown.
class ReplaceObserver {
public:
    virtual ~ReplaceObserver() = default;
    virtual bool BeforeReplace(std::string_view path, std::string_view bytes) = 0;
    virtual void AfterReplace(std::string_view path, std::string_view bytes, bool written) = 0;
};
// Installs the observer (nullptr: none) and returns the previous one.
ReplaceObserver* SetReplaceObserver(ReplaceObserver* observer);

// A new, empty file in the system's temporary folder, for this program to use and delete: its
// Windows path, or "" when none could be made.
std::string MakeScratchFile();

// Marks the file hidden and archive, as the system's file attributes (Wine keeps them in the
// extended attribute user.DOSATTRIB). Where the file system has no such attributes, nothing happens.
void MarkHiddenArchive(std::string_view path);

// Removes what replacements of this file left behind when the program was killed in the middle:
// only files named as its temporary files are (".NAME.XXXXXX" beside the file), and only those
// older than a minute, which no running replacement can still be writing.
void RemoveStaleReplacements(std::string_view path);

// ---- Machine paths: as this program's own command line, its file dialogs and PATH give them ----

bool IsRegularMachineFile(const std::string& machinePath);
// A regular file this system would run as a program.
bool IsExecutableMachineFile(const std::string& machinePath);
// The stamp of whatever is there (a folder too); nullopt when nothing is.
std::optional<FileStamp> StampOfMachinePath(const std::string& machinePath);

} // namespace varnel::platform
