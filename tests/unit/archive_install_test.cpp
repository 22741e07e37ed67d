// Installing from archives without the window: pluginst.inf and its modern keys, the recursive
// search, hostile archives, and the external archivers behind the built-in unpacker.

#include "archive_fixture.h"
#include "lang/messages.h"
#include "platform/process.h"

#include "archive_maker.h"
#include "ops/history.h"
#include "platform/program_folder.h"

#include <cstdlib>
#include <ctime>

namespace varnel {
namespace {

// pluginst.inf names a module in a sub-folder: the whole archive goes below the plugin folder of
// the module's kind, the extensions of DefaultExtension (separated any of the three ways) are
// registered without a dialog, and neither the scratch folder nor the inf remains.
TEST_F(ArchiveInstallTest, InstallDescriptionPlacesAndRegistersTheModule) {
    const std::string zip = Zip(
        "packer.ZIP", {{"pluginst.inf", "[plugininstall]\ndescription=Packs\nFILE=sub\\x.wcx  \n"
                                        "defaultdir=plugins\\wcx\\x\nDefaultExtension=zz; yy xx\ntype=wcx\n"},
                       {"sub/x.wcx", Sample("sample_packer.wcx")},
                       {"readme.txt", "hello"}});
    InstallFromArchive(ProgramContext(), {zip, false, false});
    EXPECT_TRUE(prefix.Exists("drive_c/TC/Plugins/WCX/x/sub/x.wcx"));
    EXPECT_TRUE(prefix.Exists("drive_c/TC/Plugins/WCX/x/readme.txt"));
    EXPECT_FALSE(prefix.Exists("drive_c/TC/Plugins/WCX/x/pluginst.inf"));
    EXPECT_FALSE(prefix.Exists("drive_c/TC/Plugins/Install.tmp"));
    EXPECT_FALSE(prefix.Exists("drive_c/TC/Plugins/WLX")); // only the folder of the plugin's kind is made
    EXPECT_TRUE(dialogs.associationRequests.empty());
    EXPECT_EQ(Ini(),
              "[Configuration]\r\n[PackerPlugins]\r\nzz=285,%COMMANDER_PATH%\\Plugins\\WCX\\x\\sub\\x.wcx\r\n"
              "yy=285,%COMMANDER_PATH%\\Plugins\\WCX\\x\\sub\\x.wcx\r\nxx=285,%COMMANDER_PATH%"
              "\\Plugins\\WCX\\x\\sub\\x.wcx\r\n");
    ASSERT_EQ(boxes.Boxes().size(), 1u); // the success box alone
    EXPECT_EQ(boxes.Boxes()[0].style, kStyleInformation | kMbSetForeground);

    // An install description in UTF-8 without a byte-order mark names a non-ASCII folder.
    InstallFromArchive(ProgramContext(),
                       {Zip("utf8.zip", {{"pluginst.inf", "[PluginInstall]\nFile=Gr\xC3\xB6\xC3\x9F"
                                                          "e\\g.wlx\n"
                                                          "DefaultDir=\xD0\x9F\xD0\xB0\n"},
                                         {"Gr\xC3\xB6\xC3\x9F"
                                          "e/g.wlx",
                                          Sample("sample_lister.wlx")}}),
                        false, false});
    EXPECT_TRUE(prefix.Exists("drive_c/TC/Plugins/WLX/\xD0\x9F\xD0\xB0/Gr\xC3\xB6\xC3\x9F"
                              "e/g.wlx"))
        << LastBox();
    EXPECT_NE(Ini().find("\\Plugins\\WLX\\\xD0\x9F\xD0\xB0\\Gr\xC3\xB6\xC3\x9F"
                         "e\\g.wlx\r\n"),
              std::string::npos)
        << Ini();
}

// Without pluginst.inf the first module the search finds is installed into a folder named after
// it, the second lies beside it unregistered; DefaultDir keeps only its last part; a Lister
// registered already writes nothing and still reports success; only .zip and .rar are archives.
TEST_F(ArchiveInstallTest, SearchDefaultDirAndArchiveNames) {
    InstallFromArchive(ProgramContext(),
                       {Zip("two.zip", {{"Plugins/a.wlx", Sample("sample_lister.wlx")},
                                        {"Plugins/sub/b.wlx", Sample("sample_lister.wlx")}}),
                        false, false});
    EXPECT_TRUE(prefix.Exists("drive_c/TC/Plugins/WLX/a/Plugins/a.wlx"));
    EXPECT_TRUE(prefix.Exists("drive_c/TC/Plugins/WLX/a/Plugins/sub/b.wlx"));
    const std::string once = Ini();
    EXPECT_NE(once.find("=%COMMANDER_PATH%\\Plugins\\WLX\\a\\Plugins\\a.wlx\r\n"), std::string::npos);
    EXPECT_EQ(once.find("b.wlx"), std::string::npos);
    InstallFromArchive(ProgramContext(), {"C:\\Downloads\\two.zip", false, false});
    EXPECT_EQ(Ini(), once);
    EXPECT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(boxes.Boxes()[1].style, boxes.Boxes()[0].style); // the success box again

    InstallFromArchive(
        ProgramContext(),
        {Zip("other.zip", {{"pluginst.inf", "[PluginInstall]\r\nfile=fs.wfx\r\ndefaultdir=..\\..\\other\r\n"},
                           {"fs.wfx", Sample("sample_fs.wfx")}}),
         false, false});
    EXPECT_TRUE(prefix.Exists("drive_c/TC/Plugins/WFX/other/fs.wfx"));

    fs::copy_file(prefix.Path("drive_c/Downloads/other.zip"), prefix.Path("drive_c/Downloads/other.7z"));
    InstallFromArchive(ProgramContext(), {"C:\\Downloads\\other.7z", false, false});
    EXPECT_EQ(LastBox(), FormatPrintf(Message(Msg::ArchiveInstallFailed), {"C:\\Downloads\\other.7z"}));
}

// A RAR archive installs as a zip does; asked for, the confirmation names the description in the
// program's language and the version from pluginst.inf, and a File64 alone names the module.
TEST_F(ArchiveInstallTest, RarArchivesAndTheDescriptionInTheQuestion) {
    test::WriteStoredRar(prefix.Path("drive_c/Downloads/lister.RAR"),
                         {{"pluginst.inf", "[PluginInstall]\r\nfile64=Lister\\view.wlx\r\nDefaultDir=view\r\n"
                                           "description=Shows\r\ndescriptiondeu=Zeigt\r\nversion=2.1\r\n"},
                          {"Lister/view.wlx", Sample("sample_lister.wlx")}});
    boxes.SetAnswer(kIdCancel);
    InstallFromArchive(ProgramContext(), {"C:\\Downloads\\lister.RAR", true, false});
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Install the plugin file \"view.wlx\"?\rShows\r2.1");
    EXPECT_EQ(Ini(), "[Configuration]\r\n");
    EXPECT_FALSE(prefix.Exists("drive_c/TC/Plugins/WLX/view")); // asked before anything is unpacked
    EXPECT_FALSE(prefix.Exists("drive_c/TC/Plugins/Install.tmp"));
    boxes.SetAnswer(kIdOk);
    AppSettings().Language = "Deutsch";
    InstallFromArchive(ProgramContext(), {"C:\\Downloads\\lister.RAR", true, false});
    EXPECT_NE(boxes.Boxes()[1].text.find("\rZeigt\r2.1"), std::string::npos);
    EXPECT_TRUE(prefix.Exists("drive_c/TC/Plugins/WLX/view/Lister/view.wlx"));
    EXPECT_NE(Ini().find("=%COMMANDER_PATH%\\Plugins\\WLX\\view\\Lister\\view.wlx\r\n"), std::string::npos);
}

// A 64-bit host and an archive with only a 32-bit module: the user is asked before anything is
// unpacked, and No leaves nothing behind.
TEST_F(ArchiveInstallTest, ModuleTheHostCannotLoadIsQuestionedFirst) {
    if (!test::HaveWindowsSamples())
        GTEST_SKIP() << "needs the Windows samples";
    fs::copy_file(test::SamplePluginFile(test::ModuleBuild::Windows, "sample_lister.wlx"),
                  prefix.Path("drive_c/TC/TOTALCMD64.EXE"));
    SetHostPaths("C:\\TC\\TOTALCMD64.EXE", "C:\\TC\\wincmd.ini");
    ASSERT_EQ(Host().HostBits, 64);
    const std::string old =
        ReadFile(test::SamplePluginFile(test::ModuleBuild::Windows32, "sample_lister.wlx"));
    boxes.SetAnswer(kIdCancel);
    InstallFromArchive(ProgramContext(), {Zip("old.zip", {{"old/old.wlx", old}}), false, false});
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_NE(boxes.Boxes()[0].text.find("old.wlx"), std::string::npos);
    EXPECT_EQ(boxes.Boxes()[0].style, kStyleQuestion | kMbSetForeground);
    ExpectNothingInstalled();
}

// Hostile archives: entries leaving the folder, a link, a File that climbs out, a bomb, a type
// that is no plugin or contradicts the module. Each is refused, says why where it can, and
// leaves nothing behind.
TEST_F(ArchiveInstallTest, HostileArchivesAreRefusedAndLeaveNothing) {
    const std::string module = Sample("sample_lister.wlx");
    const std::vector<std::pair<std::string, std::vector<test::ArchiveItem>>> hostile = {
        {"slip.zip", {{"a.wlx", module}, {"../../evil.wlx", "x"}}},
        {"slash.zip", {{"a.wlx", module}, {"dir\\..\\..\\evil.wlx", "x"}}},
        {"absolute.zip", {{"a.wlx", module}, {"/tmp/evil.wlx", "x"}}},
        {"drive.zip", {{"a.wlx", module}, {"C:\\evil.wlx", "x"}}},
        {"climb.zip",
         {{"pluginst.inf", "[PluginInstall]\nFile=..\\..\\a.wlx\nDefaultDir=a\n"}, {"a.wlx", module}}},
        {"bomb.zip", {{"a.wlx", module}, {"zeros.bin", std::string(40 * 1024 * 1024, '\0')}}},
        {"language.zip",
         {{"pluginst.inf", "[PluginInstall]\nFile=a.lng\nDefaultDir=a\ntype=lng\n"}, {"a.lng", "x"}}},
        {"contradiction.zip",
         {{"pluginst.inf", "[PluginInstall]\nFile=a.wlx\nDefaultDir=a\ntype=wcx\n"}, {"a.wlx", module}}},
    };
    for (const auto& [name, items] : hostile) {
        SCOPED_TRACE(name);
        InstallFromArchive(ProgramContext(), {Zip(name, items), false, false});
        ExpectNothingInstalled();
        EXPECT_FALSE(prefix.Exists("evil.wlx"));
        EXPECT_FALSE(fs::exists("/tmp/evil.wlx"));
        EXPECT_EQ(LastBox().substr(0, 33), "Installing from the archive\rC:\\Do");
    }
    EXPECT_NE(boxes.Boxes()[0].text.find("\"../../evil.wlx\", which would land outside"), std::string::npos);
    EXPECT_NE(boxes.Boxes()[5].text.find("more than 1024 MB, more than 20000 files, or more than 200 times"),
              std::string::npos);
    EXPECT_NE(boxes.Boxes()[6].text.find("type=lng"), std::string::npos);

    // A link in the archive refuses the whole archive.
    InstallFromArchive(ProgramContext(),
                       {Zip("link.zip", {{"a.wlx", module}, {"etc", "", "/etc"}}), false, false});
    ExpectNothingInstalled();
    EXPECT_NE(LastBox().find("\"etc\", a link or special file"), std::string::npos) << LastBox();
}

// An archive the built-in unpacker cannot read goes to the external archivers: here a stand-in
// for the machine's unzip, which gets the archive and the folder as machine paths. One that also
// writes outside the folder it was given is caught.
TEST_F(ArchiveInstallTest, UnreadableArchivesGoToTheExternalArchivers) {
    const std::string bin = prefix.Dir() + "/bin";
    fs::create_directories(bin);
    const std::string log = prefix.Dir() + "/unzip.log";
    fs::copy_file(test::SamplePluginFile(test::ModuleBuild::Native, "sample_lister.wlx"),
                  prefix.Dir() + "/v.wlx");
    std::ofstream(bin + "/unzip") << "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" << log << "'\n"
                                  << "mkdir -p \"$4\" && cp '" << prefix.Dir() << "/v.wlx' \"$4/v.wlx\"\n"
                                  << "[ -f '" << prefix.Dir()
                                  << "/escape' ] && touch \"$4/../escaped\"\nexit 0\n";
    fs::permissions(bin + "/unzip", fs::perms::owner_all);
    const std::string oldPath = std::getenv("PATH");
    setenv("PATH", (bin + ":" + oldPath).c_str(), 1);
    prefix.Write("drive_c/Downloads/sealed.zip", "not a zip the library can read");

    InstallFromArchive(ProgramContext(), {"C:\\Downloads\\sealed.zip", false, false});
    EXPECT_TRUE(prefix.Exists("drive_c/TC/Plugins/WLX/v/v.wlx")) << LastBox();
    EXPECT_NE(Ini().find("=%COMMANDER_PATH%\\Plugins\\WLX\\v\\v.wlx\r\n"), std::string::npos);
    const std::string archive = prefix.Path("drive_c/Downloads/sealed.zip");
    // One run, into the scratch folder: what it unpacked is moved into place from there.
    EXPECT_EQ(ReadFile(log),
              "-o\n" + archive + "\n-d\n" + prefix.Path("drive_c/TC/Plugins/Install.tmp") + "\n");

    // An encrypted RAR goes to the machine's unrar with its own switches.
    std::ofstream(bin + "/unrar") << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << log << "'\nexit 0\n";
    fs::permissions(bin + "/unrar", fs::perms::owner_all);
    test::WriteStoredRar(prefix.Path("drive_c/Downloads/sealed.rar"), {{"v.wlx", "x"}}, true);
    InstallFromArchive(ProgramContext(), {"C:\\Downloads\\sealed.rar", false, false});
    EXPECT_EQ(ReadFile(log), "x\n-y\n" + prefix.Path("drive_c/Downloads/sealed.rar") + "\n" +
                                 prefix.Path("drive_c/TC/Plugins/Install.tmp") + "/\n");
    EXPECT_EQ(LastBox(), FormatPrintf(Message(Msg::ArchiveInstallFailed),
                                      {"C:\\Downloads\\sealed.rar"})); // it unpacked nothing

    std::ofstream(prefix.Dir() + "/escape") << "";
    InstallFromArchive(ProgramContext(), {"C:\\Downloads\\sealed.zip", false, false});
    setenv("PATH", oldPath.c_str(), 1);
    EXPECT_NE(LastBox().find("wrote \"C:\\TC\\Plugins\\escaped\" outside"), std::string::npos) << LastBox();
    EXPECT_FALSE(prefix.Exists("drive_c/TC/Plugins/Install.tmp"));
}

// An update replaces the files it brings whatever their letter case on disk (Wine would find
// the old ones), and thousands of new files in one folder go into place quickly.
TEST_F(ArchiveInstallTest, UpdatesMatchNamesWithoutRegardToCase) {
    std::vector<test::ArchiveItem> items = {{"pluginst.inf", "[PluginInstall]\nFile=v.wlx\nDefaultDir=v\n"},
                                            {"v.wlx", Sample("sample_lister.wlx")},
                                            {"readme.txt", "new"}};
    prefix.Write("drive_c/TC/Plugins/WLX/V/README.TXT", "old");
    for (int i = 0; i < 5000; ++i)
        items.push_back({"docs/page" + std::to_string(i) + ".txt", "x"});
    // Quickly means in processor time, which a busy machine does not stretch as it does the clock:
    // a walk over the folder per file would take minutes of it.
    const std::string archive = Zip("update.zip", items);
    const std::clock_t started = std::clock();
    InstallFromArchive(ProgramContext(), {archive, false, false});
    EXPECT_LT(static_cast<double>(std::clock() - started) / CLOCKS_PER_SEC, 30.0);
    EXPECT_EQ(prefix.Read("drive_c/TC/Plugins/WLX/V/README.TXT"), "new") << LastBox();
    EXPECT_FALSE(prefix.Exists("drive_c/TC/Plugins/WLX/V/readme.txt"));
    EXPECT_TRUE(prefix.Exists("drive_c/TC/Plugins/WLX/V/docs/page4999.txt"));
}

// An archive install is one recorded change with the files it put in place: its undo removes the
// files it made and brings back those an update replaced, with the registration, unless another
// program changed one of them since. A plugin too
// large to keep in the history has its registration recorded alone.
TEST_F(ArchiveInstallTest, UndoTakesBackTheFilesWithTheRegistration) {
    StartHistory("C:\\Varnel\\history");
    prefix.Write("drive_c/TC/Plugins/WLX/v/README.TXT", "old"); // an earlier version's file
    const std::string before = Ini();
    InstallFromArchive(ProgramContext(),
                       {Zip("v.zip", {{"pluginst.inf", "[PluginInstall]\nFile=v.wlx\nDefaultDir=v\n"},
                                      {"v.wlx", Sample("sample_lister.wlx")},
                                      {"readme.txt", "new"},
                                      {"docs/a.txt", "a"}}),
                        false, false});
    ASSERT_TRUE(prefix.Exists("drive_c/TC/Plugins/WLX/v/v.wlx")) << LastBox();
    ASSERT_EQ(prefix.Read("drive_c/TC/Plugins/WLX/v/README.TXT"), "new");
    std::vector<HistoryRecord> records = LoadHistory(false);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].description, "Installed v.wlx from v.zip");
    EXPECT_EQ(records[0].files.size(), 4u); // three files and wincmd.ini
    EXPECT_EQ(RecordFilesText(records[0], 2), "C:\\TC\\wincmd.ini, C:\\TC\\Plugins\\WLX\\v\\docs\\a.txt, +2");

    // A module another program changed since is a conflict: it is no settings file whose keys
    // could be taken back one by one.
    const std::string module = prefix.Read("drive_c/TC/Plugins/WLX/v/v.wlx");
    const std::string installed = Ini();
    prefix.Write("drive_c/TC/Plugins/WLX/v/v.wlx", module + "[s]\r\nk=1\r\n");
    EXPECT_EQ(UndoLastChanges(ProgramContext(), 1).records.size(), 0u);
    EXPECT_NE(LastBox().find("v.wlx"), std::string::npos) << LastBox();
    EXPECT_EQ(prefix.Read("drive_c/TC/Plugins/WLX/v/v.wlx"), module + "[s]\r\nk=1\r\n");
    EXPECT_EQ(Ini(), installed);
    prefix.Write("drive_c/TC/Plugins/WLX/v/v.wlx", module);

    EXPECT_EQ(UndoLastChanges(ProgramContext(), 1).records.size(), 1u) << LastBox();
    EXPECT_EQ(Ini(), before);
    EXPECT_FALSE(prefix.Exists("drive_c/TC/Plugins/WLX/v/v.wlx"));
    EXPECT_FALSE(prefix.Exists("drive_c/TC/Plugins/WLX/v/docs/a.txt"));
    EXPECT_EQ(prefix.Read("drive_c/TC/Plugins/WLX/v/README.TXT"), "old");

    std::string large(kHistoryMaxChangeBytes / 2 + 1, '\0'); // two of them are too large together
    uint32_t noise = 1; // noise does not compress, so the archive is no bomb
    for (char& byte : large)
        byte = static_cast<char>((noise = noise * 1664525u + 1013904223u) >> 24);
    InstallFromArchive(
        ProgramContext(),
        {Zip("big.zip", {{"big.wlx", Sample("sample_lister.wlx")}, {"big.dat", large}, {"big2.dat", large}}),
         false, false});
    ASSERT_TRUE(prefix.Exists("drive_c/TC/Plugins/WLX/big/big.wlx")) << LastBox();
    records = LoadHistory(false);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[2].files.size(), 1u);
    EXPECT_EQ(records[2].description,
              "Installed big.wlx from big.zip (its 3 other files are too large to keep: "
              "an undo takes back its settings only)");
    EXPECT_EQ(UndoLastChanges(ProgramContext(), 1).records.size(), 1u) << LastBox();
    EXPECT_EQ(Ini(), before);
    EXPECT_TRUE(prefix.Exists("drive_c/TC/Plugins/WLX/big/big.dat"));
    StartHistory("");
}

// Undoing an install of thousands of files shows the busy indicator and can be cancelled: a
// cancelled undo leaves every file as it was and records nothing, and the next undo goes through.
TEST_F(ArchiveInstallTest, UndoOfThousandsOfFilesCanBeCancelledWhole) {
    StartHistory("C:\\Varnel\\history");
    std::vector<test::ArchiveItem> entries = {{"many.wlx", Sample("sample_lister.wlx")}};
    for (int i = 0; i < 5000; ++i)
        entries.push_back({"data/f" + std::to_string(i) + ".txt", "file " + std::to_string(i)});
    const std::string before = Ini();
    InstallFromArchive(ProgramContext(), {Zip("many.zip", entries), false, false});
    ASSERT_TRUE(prefix.Exists("drive_c/TC/Plugins/WLX/many/data/f4999.txt")) << LastBox();
    const std::string installed = Ini();
    const size_t records = LoadHistory(false).size();

    int turns = 0;
    int undone = 0;
    {
        test::WaitWatch cancel([&](unsigned, bool ended) {
            turns += ended ? 0 : 1;
            return !ended; // Cancel at the first sight of the busy indicator
        });
        undone = static_cast<int>(UndoLastChanges(ProgramContext(), 1).records.size());
    }
    if (undone == 0) {
        EXPECT_GT(turns, 0);
        EXPECT_EQ(Ini(), installed);
        for (int i = 0; i < 5000; i += 499)
            EXPECT_TRUE(prefix.Exists("drive_c/TC/Plugins/WLX/many/data/f" + std::to_string(i) + ".txt"))
                << i;
        EXPECT_EQ(LoadHistory(false).size(), records);
    }
    if (undone == 0) {
        EXPECT_EQ(UndoLastChanges(ProgramContext(), 1).records.size(), 1u) << LastBox();
    }
    EXPECT_EQ(Ini(), before);
    EXPECT_FALSE(prefix.Exists("drive_c/TC/Plugins/WLX/many/data/f0.txt"));
    EXPECT_FALSE(prefix.Exists("drive_c/TC/Plugins/WLX/many/many.wlx"));
    StartHistory("");
}

} // namespace
} // namespace varnel
