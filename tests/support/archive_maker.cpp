#include "archive_maker.h"

#include <archive.h>
#include <archive_entry.h>
#include <stdexcept>

namespace varnel::test {

void WriteZip(const std::string& machinePath, const std::vector<ArchiveItem>& items) {
    archive* writer = archive_write_new();
    archive_write_set_format_zip(writer);
    if (archive_write_open_filename(writer, machinePath.c_str()) != ARCHIVE_OK)
        throw std::runtime_error("cannot write " + machinePath);
    for (const ArchiveItem& item : items) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, item.name.c_str());
        if (!item.linkTarget.empty()) {
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_set_symlink(entry, item.linkTarget.c_str());
            archive_entry_set_perm(entry, 0777);
        } else {
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_perm(entry, 0644);
            archive_entry_set_size(entry, static_cast<la_int64_t>(item.data.size()));
        }
        archive_write_header(writer, entry);
        if (!item.data.empty())
            archive_write_data(writer, item.data.data(), item.data.size());
        archive_entry_free(entry);
    }
    archive_write_close(writer);
    archive_write_free(writer);
}

} // namespace varnel::test
