#include "lang/language.h"
#include "lang/messages.h"

#include "catalog/plugin_table.h"
#include "message_log.h"
#include "platform/program_folder.h"
#include "temp_prefix.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace varnel {
namespace {

class LanguageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetMessageStore();
        SetProgramFolder("C:\\Varnel");
        SetLanguageLoadedHook(LoadMessages);
        m_previousFatal = SetFatalHandler([this] { ++fatalCalls; });
        prefix.Write("drive_c/Varnel/Language/English.lng",
                     "[Language]\r\nAuthor=The Team\r\n"
                     "[Captions]\r\n0005=Five\r\n0064=&Install new\r\n0066=&Options && more\r\n0105=OK\r\n"
                     "[Messages]\r\n0020=free\r\n0051=TC Varnel\r\n0053=File %s not found\r\n"
                     "0057=Uninstall %s (%s)?\r\n0062=one\\ntwo\\rthree\\tfour \\\\n five\r\n");
        prefix.Write("drive_c/Varnel/Language/Deutsch.lng",
                     "[Language]\r\nAuthor=Ein\r\n[Captions]\r\n0005=F\xFCnf\r\n0064=\r\n"
                     "[Messages]\r\n0020=frei\r\n0051=\r\n");
    }
    void TearDown() override {
        SetFatalHandler(m_previousFatal);
        SetLanguageLoadedHook(nullptr);
        SetProgramFolder("");
        ResetMessageStore();
    }

    test::TempPrefix prefix;
    int fatalCalls = 0;
    FatalHandler m_previousFatal;
};

TEST_F(LanguageTest, CaptionsByFourDigitKeysWithEnglishFallback) {
    ASSERT_TRUE(SetLanguage("Deutsch"));
    EXPECT_EQ(CurrentLanguageFile(), "C:\\Varnel\\Language\\Deutsch.lng");
    EXPECT_EQ(EnglishLanguageFile(), "C:\\Varnel\\Language\\English.lng");
    EXPECT_EQ(GetCaption(5), "F\xFCnf");
    EXPECT_EQ(GetCaption(105), "OK");          // missing in German: English
    EXPECT_EQ(GetCaption(64), "&Install new"); // empty in German: English
    EXPECT_EQ(GetCaption(999), "");
    EXPECT_EQ(GetCaptionNoAccel(64), "Install new");
    EXPECT_EQ(GetCaptionNoAccel(66), "Options && more");       // only the first "&" goes
    EXPECT_EQ(ReadLanguageValue("Language", "Author"), "Ein"); // no fall-back here
}

TEST_F(LanguageTest, MessageEscapesInTheirOddOrder) {
    ASSERT_TRUE(SetLanguage("English"));
    EXPECT_EQ(GetMessageText(Msg::ConfirmUninstallMany), "one\rtwo\nthree\tfour \\\r five");
}

TEST_F(LanguageTest, LoadingFillsTheStoreUnconditionally) {
    EXPECT_EQ(Message(20), "idle");
    EXPECT_EQ(Message(24), "-deleted-");
    ASSERT_TRUE(SetLanguage("Deutsch"));
    EXPECT_EQ(Message(20), "frei");
    EXPECT_EQ(Message(Msg::AppTitle), "TC Varnel"); // empty in German: English
    EXPECT_EQ(Message(24), "");                     // in neither file: the built-in word is gone too
    EXPECT_EQ(LanguageAuthor(), "Ein");
    // The plugin table's state words come from the store.
    ClearTable();
    ASSERT_TRUE(AddEntry());
    EXPECT_EQ(StateText(1), "frei");
    ClearTable();
}

TEST_F(LanguageTest, MissingLanguageFileIsFatal) {
    test::MessageLog boxes;
    EXPECT_FALSE(SetLanguage("Klingon"));
    EXPECT_EQ(fatalCalls, 1);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text,
              "Language file \"C:\\Varnel\\Language\\Klingon.lng\" not found!\rTry to reinstall program.");
    EXPECT_EQ(boxes.Boxes()[0].title, "TC Varnel");
    EXPECT_EQ(boxes.Boxes()[0].style, kStyleError | kMbSetForeground);
    EXPECT_EQ(Message(20), "idle"); // nothing was loaded

    // With the default language and no English.lng the program cannot start either.
    std::filesystem::remove(prefix.Path("drive_c/Varnel/Language/English.lng"));
    EXPECT_FALSE(SetLanguage("English"));
    EXPECT_EQ(fatalCalls, 2);
}

TEST_F(LanguageTest, ListsLanguagesAndShowsBoxes) {
    std::vector<std::string> names = ListLanguages();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Deutsch", "English"}));
    std::filesystem::remove_all(prefix.Path("drive_c/Varnel/Language"));
    std::filesystem::create_directories(prefix.Path("drive_c/Varnel/Language"));
    EXPECT_TRUE(ListLanguages().empty());

    test::MessageLog boxes(kIdCancel);
    EXPECT_EQ(ShowAppMessage("text", kStyleQuestion), kIdCancel);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].style, 33 | 0x10000);
}

} // namespace
} // namespace varnel
