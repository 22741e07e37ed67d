#include "archive_maker.h"

#include <archive.h>
#include <archive_entry.h>
#include <clocale>
#include <cstdint>
#include <fstream>
#include <locale.h>
#include <stdexcept>
#include <string_view>
#include <zlib.h>

namespace varnel::test {

void WriteZip(const std::string& machinePath, const std::vector<ArchiveItem>& items) {
    archive* writer = archive_write_new();
    archive_write_set_format_zip(writer);
    archive_write_set_format_option(writer, "zip", "hdrcharset", "UTF-8"); // names are UTF-8
    if (archive_write_open_filename(writer, machinePath.c_str()) != ARCHIVE_OK)
        throw std::runtime_error("cannot write " + machinePath);
    for (const ArchiveItem& item : items) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname_utf8(entry, item.name.c_str());
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

namespace {

void Put(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

uint32_t Crc32(std::string_view bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A block: its header CRC (the low half of the CRC-32 of the rest of the header), then the rest.
std::string Block(const std::string& rest) {
    std::string block;
    Put(block, Crc32(rest) & 0xFFFF, 2);
    return block + rest;
}

} // namespace

void WriteStoredRar(const std::string& machinePath, const std::vector<ArchiveItem>& items, bool encrypted) {
    std::string out = std::string("Rar!\x1A\x07\x00", 7);
    std::string main;
    Put(main, 0x73, 1); // main header
    Put(main, 0, 2);
    Put(main, 13, 2);
    Put(main, 0, 2);
    Put(main, 0, 4);
    out += Block(main);
    for (const ArchiveItem& item : items) {
        std::string name = item.name;
        for (char& c : name)
            if (c == '/')
                c = '\\';
        std::string header;
        Put(header, 0x74, 1);                            // file header
        Put(header, 0x8000 | (encrypted ? 0x04 : 0), 2); // data follows; encrypted
        Put(header, static_cast<uint32_t>(32 + name.size()), 2);
        Put(header, static_cast<uint32_t>(item.data.size()), 4); // packed size
        Put(header, static_cast<uint32_t>(item.data.size()), 4); // unpacked size
        Put(header, 2, 1);                                       // made on Windows
        Put(header, Crc32(item.data), 4);
        Put(header, (2026u - 1980u) << 25 | 12u << 21 | 8u << 16, 4); // DOS date and time
        Put(header, 20, 1);                                           // version needed: 2.0
        Put(header, 0x30, 1);                                         // stored
        Put(header, static_cast<uint32_t>(name.size()), 2);
        Put(header, 0x20, 4); // archive attribute
        header += name;
        out += Block(header) + item.data;
    }
    std::string end;
    Put(end, 0x7B, 1);
    Put(end, 0x4000, 2);
    Put(end, 7, 2);
    out += Block(end);
    std::ofstream(machinePath, std::ios::binary) << out;
}

void WriteRawZip(const std::string& machinePath, const std::vector<RawZipEntry>& entries) {
    std::string body, directory;
    for (const RawZipEntry& entry : entries) {
        const uint32_t size =
            static_cast<uint32_t>(entry.declaredSize < 0 ? entry.stored.size() : entry.declaredSize);
        const uint16_t flags =
            static_cast<uint16_t>((entry.encrypted ? 1 : 0) | (entry.utf8Name ? 0x800 : 0));
        const uint32_t crc = entry.method == 0 ? Crc32(entry.stored) : 0;
        std::string common;
        Put(common, 20, 2);
        Put(common, flags, 2);
        Put(common, entry.method, 2);
        Put(common, 0, 4); // time and date
        Put(common, crc, 4);
        Put(common, static_cast<uint32_t>(entry.stored.size()), 4);
        Put(common, size, 4);
        Put(common, static_cast<uint32_t>(entry.name.size()), 2);
        Put(common, 0, 2); // extra field
        const uint32_t offset = static_cast<uint32_t>(body.size());
        Put(body, 0x04034b50, 4);
        body += common + entry.name + entry.stored;
        Put(directory, 0x02014b50, 4);
        Put(directory, 0x0314, 2); // made by Unix, version 2.0
        directory += common;
        Put(directory, 0, 2); // comment
        Put(directory, 0, 2); // disk
        Put(directory, 0, 2); // internal attributes
        Put(directory, entry.unixMode << 16, 4);
        Put(directory, offset, 4);
        directory += entry.name;
    }
    std::string end;
    Put(end, 0x06054b50, 4);
    Put(end, 0, 4);
    Put(end, static_cast<uint32_t>(entries.size()), 2);
    Put(end, static_cast<uint32_t>(entries.size()), 2);
    Put(end, static_cast<uint32_t>(directory.size()), 4);
    Put(end, static_cast<uint32_t>(body.size()), 4);
    Put(end, 0, 2);
    std::ofstream(machinePath, std::ios::binary) << body << directory << end;
}

std::string Deflate(const std::string& bytes) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

} // namespace varnel::test

namespace varnel::test {

namespace {

// Calls each(name, reader) for every member until it returns false.
template <typename Each> void ForEachMember(const std::string& machinePath, Each each) {
#ifndef _WIN32
    // Names come out as UTF-8 only in a UTF-8 locale; the tests run in the "C" one.
    locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    locale_t previous = utf8 ? uselocale(utf8) : static_cast<locale_t>(0);
#endif
    archive* reader = archive_read_new();
    archive_read_support_format_zip(reader);
    if (archive_read_open_filename(reader, machinePath.c_str(), 1 << 16) == ARCHIVE_OK) {
        archive_entry* entry;
        int status;
        // A name the locale cannot show is a warning only; its UTF-8 form is what the set holds.
        while ((status = archive_read_next_header(reader, &entry)) == ARCHIVE_OK || status == ARCHIVE_WARN) {
            const char* utf8Name = archive_entry_pathname_utf8(entry);
            const char* name = utf8Name ? utf8Name : archive_entry_pathname(entry);
            if (!each(std::string(name ? name : ""), reader))
                break;
        }
    }
    archive_read_free(reader);
#ifndef _WIN32
    if (utf8) {
        uselocale(previous);
        freelocale(utf8);
    }
#endif
}

} // namespace

std::vector<std::string> ZipNames(const std::string& machinePath) {
    std::vector<std::string> names;
    ForEachMember(machinePath, [&](const std::string& name, archive*) {
        names.push_back(name);
        return true;
    });
    return names;
}

std::string ZipMemberBytes(const std::string& machinePath, const std::string& name) {
    std::string bytes;
    ForEachMember(machinePath, [&](const std::string& member, archive* reader) {
        if (member != name)
            return true;
        char block[65536];
        la_ssize_t got;
        while ((got = archive_read_data(reader, block, sizeof block)) > 0)
            bytes.append(block, static_cast<size_t>(got));
        return false;
    });
    return bytes;
}

} // namespace varnel::test
