#pragma once
// What the archive-install tests share: a prefix with the host in C:\TC, the program in
// C:\Varnel with its language files, archives written to C:\Downloads, and the boxes shown.

#include "app/settings.h"
#include "archive_maker.h"
#include "catalog/host_config.h"
#include "catalog/plugin_table.h"
#include "lang/language.h"
#include "message_log.h"
#include "ops/archive_install.h"
#include "platform/program_folder.h"
#include "platform/system.h"
#include "sample_plugins.h"
#include "scripted_dialogs.h"
#include "temp_prefix.h"
#include "util/text.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace varnel {

namespace fs = std::filesystem;

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class ArchiveInstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        AppSettings() = Settings{};
        AppSettings().InstTweak = false;
        ResetMessageStore();
        SetHostPaths("C:\\TC\\Totalcmd.exe", "C:\\TC\\wincmd.ini");
        prefix.Write("drive_c/TC/wincmd.ini", "[Configuration]\r\n");
        fs::create_directories(prefix.Path("drive_c/Downloads"));
        fs::create_directories(prefix.Path("drive_c/Varnel"));
        fs::copy(std::string(VARNEL_SOURCE_DIR) + "/Language", prefix.Path("drive_c/Varnel/Language"),
                 fs::copy_options::recursive);
        SetProgramFolder("C:\\Varnel");
        SetLanguageLoadedHook(LoadMessages);
        SetLanguage("English");
        m_sleep = platform::SetSleepHandler([](unsigned) {});
    }
    void TearDown() override {
        platform::SetSleepHandler(m_sleep);
        ClearTable();
        SetLanguageLoadedHook(nullptr);
        SetProgramFolder("");
        ResetMessageStore();
        AppSettings() = Settings{};
    }
    static std::string Sample(std::string_view name) {
        return ReadFile(test::SamplePluginFile(test::ModuleBuild::Native, name));
    }
    // Writes a zip into C:\Downloads and returns its Windows path.
    std::string Zip(const std::string& name, const std::vector<test::ArchiveItem>& items) {
        test::WriteZip(prefix.Path("drive_c/Downloads/" + name), items);
        return "C:\\Downloads\\" + name;
    }
    std::string Ini() const { return prefix.Read("drive_c/TC/wincmd.ini"); }
    std::string LastBox() const { return boxes.Boxes().empty() ? std::string() : boxes.Boxes().back().text; }
    // Nothing of the install is left behind or half-written: the host had no plugin folder, and
    // has none.
    void ExpectNothingInstalled() {
        EXPECT_EQ(Ini(), "[Configuration]\r\n");
        EXPECT_FALSE(prefix.Exists("drive_c/TC/Plugins"));
    }

    test::TempPrefix prefix;
    test::MessageLog boxes;
    test::ScriptedDialogs dialogs;
    platform::SleepHandler m_sleep;
};

} // namespace varnel
