// Batches of profile writes: one replacement of the file for many writes, rebased onto another
// program's version of the file when that program wrote it meanwhile.

#include "platform/profile_state.h"

#include "platform/files.h"
#include "platform/paths.h"

namespace varnel::platform {

using namespace profile_detail;

struct ProfileSnapshot::State {
    std::string host;
    LoadState state = LoadState::Failed;
    CachedFile file;
};

ProfileSnapshot::ProfileSnapshot(std::string_view file) : m_state(std::make_unique<State>()) {
    m_state->host = ToHostPath(file);
    const CachedFile* cached = nullptr;
    m_state->state = m_state->host.empty() ? LoadState::Failed : Load(file, &cached, true);
    if (m_state->state == LoadState::Loaded)
        m_state->file = *cached;
}

ProfileSnapshot ProfileSnapshot::OfBytes(std::string_view file, const std::optional<std::string>& bytes) {
    ProfileSnapshot snapshot{std::string_view()};
    snapshot.m_state->host = ToHostPath(file);
    if (snapshot.m_state->host.empty())
        return snapshot;
    if (!bytes) {
        snapshot.m_state->state = LoadState::Missing;
    } else if (std::optional<CachedFile> parsed = ParseBytes(*bytes)) {
        snapshot.m_state->state = LoadState::Loaded;
        snapshot.m_state->file = std::move(*parsed);
    }
    return snapshot;
}

ProfileSnapshot::~ProfileSnapshot() = default;
ProfileSnapshot::ProfileSnapshot(ProfileSnapshot&&) noexcept = default;
ProfileSnapshot& ProfileSnapshot::operator=(ProfileSnapshot&&) noexcept = default;

ProfileBatch::ProfileBatch(std::string_view file, const ProfileSnapshot& since) {
    const ProfileSnapshot::State* base = since.Get();
    if (g_batch || !base || base->host != ToHostPath(file)) {
        Begin(file);
        return;
    }
    m_owner = true;
    Batch batch;
    batch.file = std::string(file);
    batch.host = base->host;
    batch.usable = base->state != LoadState::Failed;
    batch.existed = base->state == LoadState::Loaded;
    if (batch.existed) {
        batch.baseHash = base->file.hash;
        batch.working = base->file;
    }
    g_batch = std::move(batch);
}

ProfileBatch::ProfileBatch(std::string_view file) {
    Begin(file);
}

void ProfileBatch::Begin(std::string_view file) {
    if (g_batch)
        return; // joins the open batch
    m_owner = true;
    Batch batch;
    batch.file = std::string(file);
    batch.host = ToHostPath(file);
    const CachedFile* cached = nullptr;
    LoadState state = batch.host.empty() ? LoadState::Failed : Load(file, &cached, true);
    batch.usable = state != LoadState::Failed;
    batch.existed = state == LoadState::Loaded;
    if (state == LoadState::Loaded) {
        batch.baseHash = cached->hash;
        // A dry run's own copy stays where it is; the cache's is taken over.
        auto entry = Cache().find(batch.host);
        if (entry != Cache().end() && &entry->second == cached) {
            batch.working = std::move(entry->second);
            Cache().erase(entry);
        } else {
            batch.working = *cached;
        }
    }
    g_batch = std::move(batch);
}

ProfileBatch::~ProfileBatch() {
    if (!m_owner || !g_batch)
        return;
    // Dropped uncommitted: a copy without edits is still the file as read.
    if (g_batch->existed && !g_batch->dirty)
        Cache()[g_batch->host] = std::move(g_batch->working);
    g_batch.reset();
}

bool ProfileBatch::Usable() const {
    return g_batch && g_batch->usable;
}

namespace {

// The open batch, taken from its place to be committed or previewed; nullopt when there is none,
// or when it could not read its file.
std::optional<Batch> TakeOpenBatch() {
    if (!g_batch)
        return std::nullopt;
    Batch batch = std::move(*g_batch);
    g_batch.reset();
    if (!batch.usable)
        return std::nullopt;
    return batch;
}

} // namespace

bool ProfileBatch::Commit(std::string* preview) {
    if (!m_owner)
        return Usable();
    g_lastCommitConflicted = false;
    if (m_committed)
        return false;
    m_committed = true;
    std::optional<Batch> taken = TakeOpenBatch();
    if (!taken)
        return false;
    Batch& batch = *taken;
    if (!batch.dirty) {
        if (batch.existed)
            Cache()[batch.host] = std::move(batch.working);
        return true;
    }
    // The check below and the write are one step against our other programs: none writes between.
    FileWriteLock locked(batch.file);
    // Another program (the host, an editor) may have written the file while the batch was open:
    // its changes are kept, and the batch's edits go onto them unless they touch the same sections.
    // A file whose identity, size and time are still those read is taken as unchanged, as the
    // cache takes it; otherwise its bytes decide.
    const std::optional<FileStamp> stamp = StampOfMachinePath(batch.host);
    // A dry run builds on its own writes, which are not on the disk.
    bool unchanged = InDryRun() || (batch.existed ? stamp && SameFile(batch.working, *stamp) : !stamp);
    std::string now;
    ReadResult read = ReadResult::Ok;
    if (!unchanged) {
        read = ReadWholeFile(batch.file, now, kMaxProfileBytes);
        unchanged = batch.existed ? read == ReadResult::Ok && ContentHash(now) == batch.baseHash
                                  : read == ReadResult::Missing;
    }
    CachedFile result = std::move(batch.working);
    if (!unchanged) {
        std::optional<CachedFile> current;
        if (read == ReadResult::Missing)
            current = CachedFile();
        else if (read == ReadResult::Ok)
            current = ParseBytes(std::move(now));
        if (!current)
            return false;
        std::optional<CachedFile> rebased = Rebase(batch, std::move(*current));
        if (!rebased) {
            g_lastCommitConflicted = true;
            return false;
        }
        result = std::move(*rebased);
    }
    std::optional<std::string> bytes = Serialize(result);
    if (bytes && preview) {
        *preview = std::move(*bytes);
        return true;
    }
    if (!bytes || !ReplaceFileAtomically(batch.file, *bytes))
        return false;
    RememberWritten(batch.host, std::move(result), *bytes);
    return true;
}

bool ProfileBatch::Preview(std::string& bytes) {
    if (!m_owner || m_committed)
        return false;
    m_committed = true;
    std::optional<Batch> taken = TakeOpenBatch();
    if (!taken)
        return false;
    std::optional<std::string> serialized = Serialize(taken->working);
    if (!serialized)
        return false;
    bytes = std::move(*serialized);
    return true;
}

bool ProfileBatch::Conflicted() {
    return g_lastCommitConflicted;
}

} // namespace varnel::platform
