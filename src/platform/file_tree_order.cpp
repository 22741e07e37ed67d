#include "platform/file_tree.h"

#include "util/text.h"

namespace varnel::platform {

std::vector<const TreeEntry*> FilesInMoveOrder(const TreeListing& listing, std::string_view lastRelative) {
    std::vector<const TreeEntry*> files;
    const TreeEntry* last = nullptr;
    for (const TreeEntry& entry : listing.entries) {
        if (entry.type != TreeEntry::Type::File)
            continue;
        if (EqualsNoCaseAnsi(entry.relative, lastRelative))
            last = &entry;
        else
            files.push_back(&entry);
    }
    if (last)
        files.push_back(last);
    return files;
}

} // namespace varnel::platform
