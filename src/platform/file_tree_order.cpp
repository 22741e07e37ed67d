#include "platform/file_tree.h"

#include "util/text.h"

namespace varnel::platform {

TreeMovePlan PlanTreeMove(const TreeListing& listing, std::string_view lastRelative,
                          const std::function<bool(const TreeEntry& folder)>& missing) {
    TreeMovePlan plan;
    const size_t count = listing.entries.size();
    // A folder may go whole only when all it holds would have been moved anyway: files, and
    // folders that hold files (no link or device, no empty folder). A folder is listed before
    // what it holds, so this is learned from the end.
    std::vector<bool> whole(count, true), holdsFile(count, false);
    for (size_t i = count; i-- > 0;) {
        const TreeEntry& entry = listing.entries[i];
        if (entry.type == TreeEntry::Type::Folder && !holdsFile[i])
            whole[i] = false;
        if (entry.parent == TreeEntry::kTop || entry.parent >= i)
            continue;
        if (entry.type == TreeEntry::Type::Other || (entry.type == TreeEntry::Type::Folder && !whole[i]))
            whole[entry.parent] = false;
        if (entry.type == TreeEntry::Type::File || holdsFile[i])
            holdsFile[entry.parent] = true;
    }
    // Entries that go with a folder that goes whole.
    std::vector<bool> carried(count, false);
    const TreeEntry* last = nullptr;
    for (size_t i = 0; i < count; ++i) {
        const TreeEntry& entry = listing.entries[i];
        if (entry.parent != TreeEntry::kTop && entry.parent < i && carried[entry.parent]) {
            carried[i] = true;
            continue;
        }
        if (entry.type == TreeEntry::Type::Folder) {
            const bool holdsLast =
                lastRelative.size() > entry.relative.size() && lastRelative[entry.relative.size()] == '\\' &&
                EqualsNoCaseAnsi(lastRelative.substr(0, entry.relative.size()), entry.relative);
            if (whole[i] && !holdsLast && missing(entry)) {
                carried[i] = true;
                plan.folders.push_back(&entry);
            }
        } else if (entry.type == TreeEntry::Type::File) {
            if (EqualsNoCaseAnsi(entry.relative, lastRelative))
                last = &entry;
            else
                plan.files.push_back(&entry);
        }
    }
    if (last)
        plan.files.push_back(last);
    return plan;
}

} // namespace varnel::platform
