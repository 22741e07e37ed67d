// What both platform backends promise the core, run against each of them: the Linux one over a
// Wine-like prefix, the Windows one under Wine on the system's own functions. Paths carry blanks
// and characters outside the host's code page, as users' plugin folders do.

#include "platform/archive.h"
#include "platform/codepage.h"
#include "platform/file_tree.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "util/text.h"

#include "archive_maker.h"
#include "contract_folder.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace varnel::platform {
namespace {

using test::ContractFolder;

// "Bild 日本" in the host's form for text outside its code page: UTF-8 behind the mark.
const std::string kForeignFolder = std::string(kUtf8Mark) + "Bild \xE6\x97\xA5\xE6\x9C\xAC";

std::vector<std::string> Names(const std::vector<FindData>& found) {
    std::vector<std::string> names;
    for (const FindData& f : found)
        names.push_back(f.Name);
    std::sort(names.begin(), names.end());
    return names;
}

std::string Contents(const std::string& path) {
    std::string bytes;
    EXPECT_EQ(ReadWholeFile(path, bytes, 64 << 20), ReadResult::Ok) << path;
    return bytes;
}

TEST(PlatformContract, FilesInFoldersWithBlanksAndForeignNames) {
    ContractFolder root;
    const std::string folder = root.Path() + "\\Plug ins";
    const std::string foreign = folder + "\\" + kForeignFolder;
    ASSERT_TRUE(CreateFolder(folder));
    ASSERT_TRUE(CreateFolder(foreign));
    EXPECT_FALSE(CreateFolder(foreign)) << "an existing folder is not made again";
    const std::string module = foreign + "\\bild viewer.wlx";
    ASSERT_TRUE(ReplaceFileAtomically(module, std::string("MZ\0\x01", 4)));

    EXPECT_TRUE(DirectoryExists(foreign));
    EXPECT_TRUE(FileExists(module));
    EXPECT_TRUE(IsRegularFile(module));
    EXPECT_FALSE(IsRegularFile(foreign));
    EXPECT_EQ(Contents(module), std::string("MZ\0\x01", 4));
    ASSERT_TRUE(StampOf(module));
    EXPECT_EQ(StampOf(module)->size, 4u);
    // The name comes back exactly as written: no '?' for what the code page lacks.
    EXPECT_EQ(Names(FindFiles(folder + "\\*")), std::vector<std::string>{kForeignFolder});
    const std::vector<FindData> found = FindFiles(foreign + "\\*.wlx");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Name, "bild viewer.wlx");
    EXPECT_EQ(found[0].Size, 4u);
    EXPECT_FALSE(found[0].IsFolder);
    EXPECT_EQ(ShortPathName(module).empty(), false);
    EXPECT_EQ(ShortPathName(foreign + "\\missing.wlx"), "");
    std::unique_ptr<ByteSource> source = OpenFileForReading(module);
    ASSERT_TRUE(source);
    char tail[2];
    ASSERT_TRUE(source->Read(2, 2, tail));
    EXPECT_EQ(std::string(tail, 2), std::string("\0\x01", 2));
    EXPECT_FALSE(source->Read(3, 2, tail)) << "a read past the end fails";
    source.reset();

    EXPECT_FALSE(RemoveFolder(foreign)) << "a folder with a file in it stays";
    EXPECT_TRUE(DeleteFileAt(module));
    EXPECT_FALSE(FileExists(module));
    EXPECT_TRUE(RemoveFolder(foreign));
    EXPECT_FALSE(DirectoryExists(foreign));
    std::string bytes;
    EXPECT_EQ(ReadWholeFile(module, bytes, 100), ReadResult::Missing);
    EXPECT_EQ(ReadWholeFile(folder, bytes, 100), ReadResult::NotAFile);
}

// A load looks at many modules inside one scan: each is found free, stamped and read as outside
// it, and none stays held afterwards (the host must be able to load, and an uninstall to remove,
// every module the list looked at).
TEST(PlatformContract, ModulesLookedAtInAScanAreLeftFree) {
    ContractFolder root;
    const std::string folder = root.Path() + "\\" + kForeignFolder;
    ASSERT_TRUE(CreateFolder(folder));
    const std::string first = folder + "\\first.wlx", second = folder + "\\second.wlx";
    ASSERT_TRUE(ReplaceFileAtomically(first, std::string(70000, 'a') + "end"));
    ASSERT_TRUE(ReplaceFileAtomically(second, "MZ second"));
    const std::optional<FileStamp> firstStamp = StampOf(first), secondStamp = StampOf(second);
    ASSERT_TRUE(firstStamp && secondStamp);
    {
        InUseScan scan;
        const FileState state = InspectFile(first);
        EXPECT_TRUE(state.exists && state.regular && !state.cannotOpenForWriting);
        EXPECT_EQ(StampOf(first), firstStamp);
        std::unique_ptr<ByteSource> bytes = OpenFileForReading(first);
        ASSERT_TRUE(bytes);
        EXPECT_EQ(bytes->Size(), 70003u);
        std::string tail(3, '\0');
        ASSERT_TRUE(bytes->Read(70000, 3, tail.data()));
        EXPECT_EQ(tail, "end");
        bytes.reset();
        // The next module is looked at but not read: the first is free meanwhile, and the second
        // once the scan is over.
        EXPECT_FALSE(InspectFile(second).cannotOpenForWriting);
        EXPECT_EQ(StampOf(second), secondStamp);
        EXPECT_FALSE(FileCannotBeOpenedForWriting(first));
    }
    EXPECT_TRUE(DeleteFileAt(second));
    EXPECT_TRUE(DeleteFileAt(first));
    EXPECT_FALSE(FileExists(first) || FileExists(second));
}

TEST(PlatformContract, WildcardsMatchAsTheHostExpects) {
    ContractFolder root;
    for (const char* name : {"a.wlx", "b.wlx64", "C.WLX", "readme.txt", "long name.wlx"})
        ASSERT_TRUE(ReplaceFileAtomically(root.Path() + "\\" + name, "x"));
    ASSERT_TRUE(CreateFolder(root.Path() + "\\sub.wlx"));
    // "*.wlx" must not find "b.wlx64" (the system's short names would let it) and matches
    // without regard to letter case.
    EXPECT_EQ(Names(FindFiles(root.Path() + "\\*.wlx")),
              (std::vector<std::string>{"C.WLX", "a.wlx", "long name.wlx", "sub.wlx"}));
    EXPECT_EQ(Names(FindFiles(root.Path() + "\\?.wlx64")), std::vector<std::string>{"b.wlx64"});
    EXPECT_EQ(FindFiles(root.Path() + "\\*.*").size(), 6u);
    EXPECT_EQ(Names(FindFiles(root.Path() + "\\README.TXT")), std::vector<std::string>{"readme.txt"});
    EXPECT_TRUE(FindFiles(root.Path() + "\\*.wcx").empty());
    FileFinder finder;
    size_t count = 0;
    for (bool more = finder.First(root.Path() + "\\*.WLX*"); more; more = finder.Next())
        count += finder.Current().IsFolder ? 0 : 1;
    EXPECT_EQ(count, 4u);
}

TEST(PlatformContract, ReplacementKeepsOldOrNewAndLeavesNothingBehind) {
    ContractFolder root;
    const std::string ini = root.Path() + "\\" + kForeignFolder + " wincmd.ini";
    ASSERT_TRUE(ReplaceFileAtomically(ini, "[Configuration]\r\nA=1\r\n"));
    const std::optional<FileStamp> before = StampOf(ini);
    ASSERT_TRUE(ReplaceFileAtomically(ini, "[Configuration]\r\nA=2\r\n"));
    EXPECT_EQ(Contents(ini), "[Configuration]\r\nA=2\r\n");
    ASSERT_TRUE(before && StampOf(ini));
    EXPECT_NE(*before, *StampOf(ini)) << "a replaced file shows as changed";
    // Only the file itself is there: the temporary file was renamed over it.
    EXPECT_EQ(FindFiles(root.Path() + "\\*").size(), 1u);
    RemoveStaleReplacements(ini);
    EXPECT_EQ(Contents(ini), "[Configuration]\r\nA=2\r\n");
    EXPECT_FALSE(ReplaceFileAtomically(root.Path() + "\\missing folder\\x.ini", "x"));
    EXPECT_FALSE(ReplaceFileAtomically(root.Path(), "x")) << "a folder is not replaced by a file";

    // A copy streams its source over several blocks into a foreign folder, in one step too.
    std::string large(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>(i * 7 + i / 4096);
    ASSERT_TRUE(ReplaceFileAtomically(root.Path() + "\\source.bin", large));
    const std::string copy = root.Path() + "\\" + kForeignFolder + " copy.bin";
    ASSERT_TRUE(CopyFileAtomically(root.Path() + "\\source.bin", copy));
    EXPECT_TRUE(Contents(copy) == large);
    EXPECT_FALSE(CopyFileAtomically(root.Path() + "\\missing.bin", copy));
    EXPECT_FALSE(CopyFileAtomically(root.Path(), copy)) << "a folder is no file to copy";
    EXPECT_TRUE(Contents(copy) == large) << "a failed copy leaves the target as it was";
    EXPECT_EQ(FindFiles(root.Path() + "\\*").size(), 3u);

    const std::string scratch = MakeScratchFile();
    ASSERT_FALSE(scratch.empty());
    EXPECT_TRUE(IsRegularFile(scratch));
    EXPECT_TRUE(DeleteFileAt(scratch));
}

TEST(PlatformContract, ProfilesInForeignFoldersRoundTrip) {
    ContractFolder root;
    const std::string folder = root.Path() + "\\" + kForeignFolder;
    ASSERT_TRUE(CreateFolder(folder));
    const std::string ini = folder + "\\wincmd.ini";
    ASSERT_TRUE(ProfileWriteString(ini, "ListerPlugins", "0", "C:\\Plug ins\\bild.wlx"));
    ASSERT_TRUE(ProfileWriteString(ini, "ListerPlugins", "0_detect", "EXT=\"JPG\""));
    EXPECT_EQ(ProfileReadString(ini, "ListerPlugins", "0", "", 260), "C:\\Plug ins\\bild.wlx");
    EXPECT_EQ(ProfileReadKeyNames(ini, "ListerPlugins", 1024), std::string("0\0"
                                                                           "0_detect\0\0",
                                                                           12));
    {
        ProfileBatch batch(ini);
        ASSERT_TRUE(batch.Usable());
        ProfileWriteString(ini, "ListerPlugins", "0", std::nullopt);
        ProfileWriteString(ini, "ListerPlugins", "0_detect", std::nullopt);
        EXPECT_EQ(ProfileReadString(ini, "ListerPlugins", "0", "gone", 260), "gone");
        ASSERT_TRUE(batch.Commit());
    }
    EXPECT_EQ(Contents(ini), "") << "a section whose last key went goes too";
    ASSERT_TRUE(ProfileWriteString(ini, "ListerPlugins", "1", "C:\\x.wlx"));
    EXPECT_FALSE(ProfileWriteString(ini, "ListerPlugins", "1", "a\r\n[Evil]")) << "no value may add a line";
    EXPECT_EQ(Contents(ini), "[ListerPlugins]\r\n1=C:\\x.wlx\r\n");
}

TEST(PlatformContract, TreesMoveIntoPlaceAndGoWhole) {
    ContractFolder root;
    const std::string from = root.Path() + "\\unpacked";
    const std::string to = root.Path() + "\\Plug ins\\" + kForeignFolder;
    ASSERT_TRUE(CreateFolder(from));
    ASSERT_TRUE(CreateFolder(from + "\\lang"));
    ASSERT_TRUE(ReplaceFileAtomically(from + "\\bild.wlx", "v2"));
    ASSERT_TRUE(ReplaceFileAtomically(from + "\\readme.txt", "new readme"));
    ASSERT_TRUE(ReplaceFileAtomically(from + "\\lang\\de.lng", "de"));
    ASSERT_TRUE(CreateFolder(root.Path() + "\\Plug ins"));
    ASSERT_TRUE(CreateFolder(to));
    ASSERT_TRUE(ReplaceFileAtomically(to + "\\README.TXT", "old readme"));
    // A folder the target lacks goes whole (its source is gone afterwards); one the target has, or
    // one that holds an empty folder (nothing of which would be moved), goes file by file.
    ASSERT_TRUE(CreateFolder(from + "\\new"));
    ASSERT_TRUE(CreateFolder(from + "\\new\\deep"));
    ASSERT_TRUE(ReplaceFileAtomically(from + "\\new\\deep\\x.txt", "x"));
    ASSERT_TRUE(CreateFolder(from + "\\docs"));
    ASSERT_TRUE(ReplaceFileAtomically(from + "\\docs\\a.txt", "a"));
    ASSERT_TRUE(CreateFolder(to + "\\Docs"));
    ASSERT_TRUE(CreateFolder(from + "\\tree"));
    ASSERT_TRUE(ReplaceFileAtomically(from + "\\tree\\t.txt", "t"));
    ASSERT_TRUE(CreateFolder(from + "\\tree\\hollow"));

    const TreeListing listing = ListTree(from, {}, false);
    ASSERT_EQ(listing.status, TreeStatus::Ok);
    EXPECT_EQ(listing.entries.size(), 12u);
    EXPECT_EQ(listing.bytes, 17u);
    TreeLimits small;
    small.maxEntries = 2;
    EXPECT_EQ(ListTree(from, small, false).status, TreeStatus::TooLarge);
    EXPECT_EQ(ListTree(root.Path() + "\\none", {}, false).status, TreeStatus::Missing);

    const MoveOutcome moved = MoveTreeInto(from, listing, to, "bild.wlx");
    ASSERT_TRUE(moved.ok) << moved.failedEntry;
    EXPECT_EQ(Contents(to + "\\bild.wlx"), "v2");
    EXPECT_EQ(Contents(to + "\\lang\\de.lng"), "de");
    // The new readme replaced the old one under the old one's spelling: one file, not two.
    EXPECT_EQ(Names(FindFiles(to + "\\*.txt")), std::vector<std::string>{"README.TXT"});
    EXPECT_EQ(Contents(to + "\\README.TXT"), "new readme");
    EXPECT_EQ(Contents(to + "\\new\\deep\\x.txt"), "x");
    EXPECT_FALSE(DirectoryExists(from + "\\new")) << "moved whole";
    EXPECT_FALSE(DirectoryExists(from + "\\lang")) << "moved whole";
    EXPECT_EQ(Contents(to + "\\Docs\\a.txt"), "a");
    EXPECT_EQ(Names(FindFiles(to + "\\*ocs")), std::vector<std::string>{"Docs"});
    EXPECT_TRUE(DirectoryExists(from + "\\docs")) << "into a folder the target has: file by file";
    EXPECT_EQ(Contents(to + "\\tree\\t.txt"), "t");
    EXPECT_FALSE(DirectoryExists(to + "\\tree\\hollow"));

    EXPECT_TRUE(LiesInside(to + "\\lang\\de.lng", to));
    EXPECT_TRUE(LiesInside(to + "\\new\\file.txt", to)) << "parts that do not exist yet count as written";
    EXPECT_FALSE(LiesInside(root.Path() + "\\unpacked", to));
    EXPECT_FALSE(LiesInside(to + "\\..\\..\\escape.txt", to));
    // A plugin folder nobody has made yet (a first install) holds what will be written into it.
    EXPECT_TRUE(LiesInside(to + "\\WLX\\bild\\bild.wlx", to + "\\WLX"));
    EXPECT_FALSE(LiesInside(to + "\\WLX\\..\\x.wlx", to + "\\WLX"));
    EXPECT_FALSE(LiesInside(to + "\\WLXbild.wlx", to + "\\WLX"));

    EXPECT_TRUE(RemoveTree(root.Path() + "\\Plug ins"));
    EXPECT_FALSE(DirectoryExists(root.Path() + "\\Plug ins"));
    EXPECT_TRUE(RemoveTree(root.Path() + "\\Plug ins")) << "nothing left is success";
}

TEST(PlatformContract, ArchivesUnpackInsideTheTargetOnly) {
    ContractFolder root;
    const std::string zip = root.Path() + "\\bild viewer.zip";
    test::WriteZip(ToHostPath(zip), {{"bild/bild.wlx", "module"},
                                     {"bild/lang/", ""},
                                     {"bild/lang/de.lng", "de"},
                                     {"readme.txt", "read me"}});
    const std::string target = root.Path() + "\\Plug ins\\" + kForeignFolder;
    const ArchiveOutcome unpacked = ExtractArchiveSafely(zip, target);
    ASSERT_EQ(unpacked.result, ArchiveResult::Extracted) << unpacked.entry;
    EXPECT_EQ(Contents(target + "\\bild\\bild.wlx"), "module");
    EXPECT_EQ(Contents(target + "\\bild\\lang\\de.lng"), "de");
    EXPECT_EQ(Contents(target + "\\readme.txt"), "read me");

    // Refused whole, before anything is written: a name that leaves the target, a drive, a link, a
    // device (which would hang on Windows), a stream, a trailing dot that would reach another file.
    const std::vector<std::pair<std::string, test::ArchiveItem>> hostile = {
        {"dots", {"../escape.txt", "x"}},      {"drive", {"C:\\escape.txt", "x"}},
        {"link", {"lang", "", "C:\\Windows"}}, {"device", {"sub/COM1.wlx", "x"}},
        {"console", {"CONIN$", "x"}},          {"stream", {"first.txt:stream", "x"}},
        {"dot", {"first.txt.", "x"}},          {"blank", {"sub /a.txt", "x"}},
    };
    for (const auto& [name, item] : hostile) {
        const std::string archive = root.Path() + "\\" + name + ".zip";
        test::WriteZip(ToHostPath(archive), {{"first.txt", "x"}, item});
        const std::string into = root.Path() + "\\" + name;
        const ArchiveOutcome refused = ExtractArchiveSafely(archive, into);
        EXPECT_EQ(refused.result, name == "link" ? ArchiveResult::Link : ArchiveResult::Unsafe) << name;
        EXPECT_FALSE(FileExists(into + "\\first.txt")) << name << ": nothing is written";
        EXPECT_FALSE(FileExists(root.Path() + "\\escape.txt")) << name;
    }
    ArchiveLimits small;
    small.maxEntries = 2;
    EXPECT_EQ(ExtractArchiveSafely(zip, root.Path() + "\\small", small).result, ArchiveResult::TooLarge);
    EXPECT_EQ(ExtractArchiveSafely(root.Path() + "\\missing.zip", root.Path() + "\\x").result,
              ArchiveResult::Unreadable);
}

// Entry names outside the host's code page keep every character: a zip's UTF-8 names in Greek and
// Japanese, and a name in the DOS code page that old zippers wrote (no UTF-8 flag).
TEST(PlatformContract, ArchiveNamesOutsideTheCodePageKeepEveryCharacter) {
    ContractFolder root;
    const std::string zip = root.Path() + "\\names.zip";
    const std::string greek = "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC"; // Ελληνικά
    const std::string japanese = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";                          // 日本語
    test::WriteRawZip(ToHostPath(zip), {{greek + "/bild.wlx", "module"},
                                        {japanese + ".txt", "read me"},
                                        {.name = "Gr\x81\xE1"
                                                 "e.txt",
                                         .stored = "dos",
                                         .utf8Name = false}});
    const std::string target = root.Path() + "\\Plug ins";
    const ArchiveOutcome unpacked = ExtractArchiveSafely(zip, target);
    ASSERT_EQ(unpacked.result, ArchiveResult::Extracted) << unpacked.entry;
    EXPECT_EQ(Contents(std::string(kUtf8Mark) + target + "\\" + greek + "\\bild.wlx"), "module");
    EXPECT_EQ(Contents(std::string(kUtf8Mark) + target + "\\" + japanese + ".txt"), "read me");
    std::vector<std::string> names = Names(FindFiles(target + "\\*.txt"));
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "Gr\xFC\xDF"
                        "e.txt")
        << testing::PrintToString(names);
}

} // namespace
} // namespace varnel::platform
