#pragma once
// The history's record files: their names, their text, which of them are there, and reading them
// back with every field checked, since anybody may have written into the folder.

#include "ops/history.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnel::history_detail {

std::string RecordPath(const std::string& folder, uint64_t id);
// Held while its record's change is under way.
std::string MarkerPath(const std::string& folder, uint64_t id);
// The lock that numbers and drops records: one program at a time.
std::string LockPath(const std::string& folder);

std::string Serialize(const HistoryRecord& record);

// The settings files the history watches by name: the host's configuration, bars, Descript.ion.
bool IsWatched(std::string_view path);

// Whether a record may name the file: the host's configuration (any wincmd.ini), a button bar,
// a Descript.ion, or a file inside a plugin folder with the links on its way resolved. A record
// that names any other file was not written by this program, and is not read.
bool IsRecordableFile(std::string_view path);

struct StoredRecord {
    uint64_t id;
    std::string name;
    uint64_t size;
};
// The record files, by number. A name that is a folder or too large a file is damaged: it goes to
// `skipped`, or with anyNumber is listed too (its number is taken all the same).
std::vector<StoredRecord> StoredRecords(const std::string& folder, std::vector<std::string>* skipped,
                                        bool anyNumber);
// The record, checked whole: its header, its number, its size and the files it names (only the
// header is read without withBytes). nullopt when it is gone or damaged.
std::optional<HistoryRecord> ReadRecord(const std::string& folder, uint64_t id, bool withBytes);
// Writes a record file in one step, unseen by the history itself.
bool WriteRecordFile(const std::string& path, const std::string& bytes);
// Keeps the newest records within the bounds; the newest one always stays.
void DropOldRecords(const std::string& folder);

// An undo's removal of a file: planned in the record first (false: it may not happen), then told.
bool PlanRemoval(const std::string& path);
void Removed(const std::string& path, bool done);
// Settles one open record that a killed program left (its marker is held by the caller).
void FinishAbandoned(const std::string& folder, uint64_t id);

} // namespace varnel::history_detail
