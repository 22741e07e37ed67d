#include "platform/archive.h"

#include "platform/archive_disk.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "util/names.h"
#include "util/text.h"

#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <memory>
#include <vector>

namespace varnel::platform {

namespace {

constexpr uint64_t kRatioFloorBytes = 1024 * 1024;

class Reader {
public:
    explicit Reader(const std::string& path) : m_archive(archive_read_new()) {
        archive_read_support_format_zip(m_archive);
        archive_read_support_format_rar(m_archive);
        archive_read_support_format_rar5(m_archive);
        m_open = archive_disk::OpenArchive(m_archive, path) == ARCHIVE_OK;
    }
    ~Reader() { archive_read_free(m_archive); }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    bool Open() const { return m_open; }
    archive* Get() const { return m_archive; }

private:
    archive* m_archive;
    bool m_open = false;
};

// UTF-8 of a wide text: UTF-16 where wchar_t has 16 bits (Windows), UTF-32 elsewhere.
std::string Utf8OfWide(const wchar_t* wide) {
    std::string out;
    for (; *wide; ++wide) {
        uint32_t c = static_cast<uint32_t>(*wide);
        if constexpr (sizeof(wchar_t) == 2) {
            if (c >= 0xD800 && c < 0xDC00 && wide[1] >= 0xDC00 && wide[1] < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(wide[1]) - 0xDC00);
                ++wide;
            }
        }
        if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD; // a lone surrogate stands for nothing
        AppendUtf8(c, out);
    }
    return out;
}

bool IsValidUtf8(std::string_view text) {
    for (size_t k = 0; k < text.size();) {
        const auto lead = static_cast<unsigned char>(text[k]);
        const size_t length = lead < 0x80             ? 1
                              : (lead & 0xE0) == 0xC0 ? 2
                              : (lead & 0xF0) == 0xE0 ? 3
                              : (lead & 0xF8) == 0xF0 ? 4
                                                      : 0;
        if (length == 0 || k + length > text.size() || (length == 2 && lead < 0xC2))
            return false;
        for (size_t j = 1; j < length; ++j)
            if ((static_cast<unsigned char>(text[k + j]) & 0xC0) != 0x80)
                return false;
        k += length;
    }
    return true;
}

// The entry's name in UTF-8. The library may hold a name only in its wide form: on Windows a name
// outside the code page (a zip's UTF-8 name in Greek or Japanese, a CP437 name) has no narrow
// form, and an empty name would be refused as leaving the folder. A zip name not marked as UTF-8
// is in the DOS code page, which the library here passes on as it is.
std::string EntryName(archive_entry* entry) {
    if (const char* utf8 = archive_entry_pathname_utf8(entry); utf8 && *utf8)
        return IsValidUtf8(utf8) ? std::string(utf8) : DosTextToUtf8(utf8);
    if (const wchar_t* wide = archive_entry_pathname_w(entry); wide && *wide)
        return Utf8OfWide(wide);
    const char* narrow = archive_entry_pathname(entry);
    if (!narrow)
        return {};
    return IsValidUtf8(narrow) ? std::string(narrow) : DosTextToUtf8(narrow);
}

bool IsLink(archive_entry* entry) {
    return archive_entry_filetype(entry) == AE_IFLNK || archive_entry_hardlink(entry) != nullptr ||
           archive_entry_symlink(entry) != nullptr;
}

// The entry's folder components below the target; false when the name would leave the target or
// a component is no plain name.
bool SafeComponents(const std::string& name, std::vector<std::string>& parts) {
    std::string path = name;
    for (char& c : path)
        if (c == '\\')
            c = '/';
    if (path.empty() || path[0] == '/')
        return false;
    if (path.size() >= 2 && path[1] == ':')
        return false;
    parts.clear();
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t end = path.find('/', pos);
        if (end == std::string::npos)
            end = path.size();
        std::string part = path.substr(pos, end - pos);
        // Every name must mean the same file on every system: no device, no stream, no trailing
        // dot or blank that Windows would drop to reach another file.
        if (!part.empty() && part != ".") {
            if (!IsPlainName(part))
                return false;
            parts.push_back(part);
        }
        pos = end + 1;
    }
    return !parts.empty();
}

// Unpacked bytes above the limits: the total, or the ratio to the archive's size once past 1 MB.
bool OverLimits(uint64_t total, uint64_t archiveBytes, const ArchiveLimits& limits) {
    return total > limits.maxTotalBytes ||
           (total > kRatioFloorBytes && total / archiveBytes > limits.maxRatio);
}

// Every header the library can read: names, kinds, declared sizes and the count. Encrypted
// entries are listed like the others (only their data is out of reach).
ArchiveOutcome Check(const std::string& path, const ArchiveLimits& limits) {
    Reader reader(path);
    if (!reader.Open())
        return {ArchiveResult::Unreadable, {}, false};
    archive_entry* entry;
    uint64_t entries = 0;
    uint64_t total = 0;
    bool encrypted = false;
    std::vector<std::string> parts;
    int status;
    while ((status = archive_read_next_header(reader.Get(), &entry)) == ARCHIVE_OK ||
           status == ARCHIVE_WARN) {
        const std::string name = EntryName(entry);
        if (!SafeComponents(name, parts))
            return {ArchiveResult::Unsafe, name, true};
        if (IsLink(entry))
            return {ArchiveResult::Link, name, true};
        if (++entries > limits.maxEntries || parts.size() > limits.maxDepth + 1)
            return {ArchiveResult::TooLarge, name, true};
        if (archive_entry_size_is_set(entry) && archive_entry_size(entry) > 0)
            total += static_cast<uint64_t>(archive_entry_size(entry));
        if (total > limits.maxTotalBytes)
            return {ArchiveResult::TooLarge, name, true};
        encrypted = encrypted || archive_entry_is_encrypted(entry);
    }
    if (status != ARCHIVE_EOF)
        return {ArchiveResult::Unreadable, {}, false};
    if (OverLimits(total, archive_disk::ArchiveBytes(path), limits))
        return {ArchiveResult::TooLarge, {}, true};
    return {encrypted ? ArchiveResult::Unreadable : ArchiveResult::Extracted, {}, true};
}

} // namespace

ArchiveOutcome ExtractArchiveSafely(std::string_view archivePath, std::string_view targetFolder,
                                    const ArchiveLimits& limits) {
    const std::string path = ToHostPath(archivePath);
    archive_disk::NameEncoding names;
    archive_disk::FolderNames spellings;
    ArchiveOutcome checked = Check(path, limits);
    if (checked.result != ArchiveResult::Extracted)
        return checked;
    const uint64_t archiveBytes = archive_disk::ArchiveBytes(path);
    std::string target = ToHostPath(targetFolder);
    if (!archive_disk::MakeTarget(target))
        return {ArchiveResult::WriteFailed, {}};

    Reader reader(path);
    if (!reader.Open())
        return {ArchiveResult::Unreadable, {}, true};
    BusyWork busy;
    archive_entry* entry;
    uint64_t written = 0;
    std::vector<std::string> parts;
    int status;
    while ((status = archive_read_next_header(reader.Get(), &entry)) == ARCHIVE_OK ||
           status == ARCHIVE_WARN) {
        const std::string name = EntryName(entry);
        if (!SafeComponents(name, parts))
            return {ArchiveResult::Unsafe, name};
        if (IsLink(entry))
            return {ArchiveResult::Link, name, true};
        const bool folder = archive_entry_filetype(entry) == AE_IFDIR;
        if (!folder && archive_entry_filetype(entry) != AE_IFREG)
            continue;
        bool unsafe = false;
        std::string parent =
            archive_disk::MakeParents(target, parts, folder ? parts.size() : parts.size() - 1, unsafe);
        if (parent.empty())
            return {unsafe ? ArchiveResult::Unsafe : ArchiveResult::WriteFailed, name};
        if (folder)
            continue;
        archive_disk::EntryFile file(parent, parts.back());
        if (file.Status() != archive_disk::EntryFile::Opened::Ok)
            return {file.Status() == archive_disk::EntryFile::Opened::Link ? ArchiveResult::Unsafe
                                                                           : ArchiveResult::WriteFailed,
                    name};
        ArchiveResult result = ArchiveResult::Extracted;
        // Sizes in headers can lie: what actually comes out is counted against the entry's
        // declared size and the limits.
        const int64_t declared = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1;
        uint64_t entryBytes = 0;
        const void* block;
        size_t size;
        la_int64_t offset;
        int read;
        while ((read = archive_read_data_block(reader.Get(), &block, &size, &offset)) == ARCHIVE_OK ||
               read == ARCHIVE_WARN) {
            written += size;
            entryBytes += size;
            if (OverLimits(written, archiveBytes, limits) ||
                (declared >= 0 && entryBytes > static_cast<uint64_t>(declared))) {
                result = ArchiveResult::TooLarge;
                break;
            }
            if (!file.WriteAt(block, size, offset)) {
                result = ArchiveResult::WriteFailed;
                break;
            }
        }
        if (result == ArchiveResult::Extracted && read != ARCHIVE_EOF)
            result = ArchiveResult::Unreadable;
        if (result == ArchiveResult::Extracted && busy.Turn())
            result = ArchiveResult::Cancelled;
        file.Close(result != ArchiveResult::Extracted);
        if (result != ArchiveResult::Extracted)
            return {result, name};
    }
    if (status != ARCHIVE_EOF)
        return {ArchiveResult::Unreadable, {}};
    return {ArchiveResult::Extracted, {}};
}

namespace {

// Where the library's output goes: the scratch file, at the offset reached.
struct ZipOutput {
    archive_disk::EntryFile* file;
    int64_t offset = 0;
};

la_ssize_t WriteZipBlock(archive*, void* data, const void* block, size_t size) {
    auto* out = static_cast<ZipOutput*>(data);
    if (!out->file->WriteAt(block, size, out->offset))
        return -1;
    out->offset += static_cast<int64_t>(size);
    return static_cast<la_ssize_t>(size);
}

bool WriteMember(archive* writer, const ZipMember& member) {
    std::unique_ptr<ByteSource> source;
    uint64_t size = member.bytes.size();
    if (!member.source.empty()) {
        source = OpenFileForReading(member.source);
        if (!source)
            return false;
        size = source->Size();
    }
    std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(), archive_entry_free);
    archive_entry_set_pathname_utf8(entry.get(), member.name.c_str());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0644);
    archive_entry_set_size(entry.get(), static_cast<la_int64_t>(size));
    // A fixed time: the same plugins make the same zip.
    archive_entry_set_mtime(entry.get(), 1577836800, 0);
    if (archive_write_header(writer, entry.get()) != ARCHIVE_OK)
        return false;
    if (!source)
        return member.bytes.empty() || archive_write_data(writer, member.bytes.data(), member.bytes.size()) ==
                                           static_cast<la_ssize_t>(member.bytes.size());
    std::string block;
    for (uint64_t offset = 0; offset < size;) {
        const size_t part = static_cast<size_t>(std::min<uint64_t>(size - offset, 1 << 20));
        block.resize(part);
        if (!source->Read(offset, part, block.data()) ||
            archive_write_data(writer, block.data(), part) != static_cast<la_ssize_t>(part))
            return false;
        offset += part;
    }
    return true;
}

} // namespace

bool WriteZipArchive(std::string_view archivePath, const std::vector<ZipMember>& members) {
    archive_disk::NameEncoding names; // members' names go in as UTF-8, whatever the locale
    const std::string scratch = MakeScratchFile();
    if (scratch.empty())
        return false;
    struct Cleanup {
        const std::string& path;
        ~Cleanup() { DeleteFileAt(path); }
    } cleanup{scratch};
    const std::string machine = ToHostPath(scratch);
    const size_t split = machine.find_last_of("/\\");
    if (split == std::string::npos)
        return false;
    bool written = false;
    {
        archive_disk::EntryFile file(machine.substr(0, split), machine.substr(split + 1));
        if (file.Status() != archive_disk::EntryFile::Opened::Ok)
            return false;
        ZipOutput out{&file};
        std::unique_ptr<archive, int (*)(archive*)> writer(archive_write_new(), archive_write_free);
        written =
            archive_write_set_format_zip(writer.get()) == ARCHIVE_OK &&
            archive_write_zip_set_compression_deflate(writer.get()) == ARCHIVE_OK &&
            archive_write_set_options(writer.get(), "zip:hdrcharset=UTF-8") == ARCHIVE_OK &&
            archive_write_set_bytes_in_last_block(writer.get(), 1) == ARCHIVE_OK &&
            archive_write_open2(writer.get(), &out, nullptr, WriteZipBlock, nullptr, nullptr) == ARCHIVE_OK;
        for (const ZipMember& member : members)
            written = written && WriteMember(writer.get(), member);
        written = archive_write_close(writer.get()) == ARCHIVE_OK && written;
        file.Close(!written);
    }
    return written && CopyFileAtomically(scratch, archivePath);
}

} // namespace varnel::platform
