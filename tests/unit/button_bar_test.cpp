#include "ops/button_bar.h"

#include "catalog/host_config.h"
#include "lang/language.h"
#include "platform/files.h"
#include "platform/program_folder.h"
#include "temp_prefix.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

constexpr const char* kBar = "C:\\TC\\Default.bar";
constexpr const char* kProgram = "Z:\\opt\\tc varnel\\tcvarnel";
constexpr const char* kIcons = "Z:\\opt\\tc varnel\\tcvarnel-icons.dll";

class ButtonBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        prefix.Write("drive_c/Varnel/Language/English.lng",
                     "[Captions]\r\n0050=Varnel\r\n0061=Restart\r\n0063=Install\r\n0084=Order\r\n"
                     "0091=From archive\r\n");
        SetProgramFolder("C:\\Varnel");
        SetLanguage("English");
        prefix.Write("drive_c/TC/wincmd.ini", "[Configuration]\r\n");
        SetHostPaths("C:\\TC\\TOTALCMD.EXE", "C:\\TC\\wincmd.ini");
    }
    void TearDown() override { SetProgramFolder(""); }

    std::string Bar() const { return prefix.Read("drive_c/TC/Default.bar"); }

    test::TempPrefix prefix;
};

const std::string kProgramButtons =
    "button5=Z:\\opt\\tc varnel\\tcvarnel-icons.dll\r\ncmd5=Z:\\opt\\tc "
    "varnel\\tcvarnel\r\nmenu5=Varnel\r\nparam5=\r\n"
    "button6=Z:\\opt\\tc varnel\\tcvarnel-icons.dll,4\r\ncmd6=Z:\\opt\\tc varnel\\tcvarnel\r\n"
    "menu6=Install\r\nparam6=/install\r\n"
    "button7=Z:\\opt\\tc varnel\\tcvarnel-icons.dll,4\r\ncmd7=Z:\\opt\\tc varnel\\tcvarnel\r\n"
    "menu7=From archive\r\nparam7=/installZip\r\n"
    "button8=Z:\\opt\\tc varnel\\tcvarnel-icons.dll,5\r\ncmd8=Z:\\opt\\tc varnel\\tcvarnel\r\n"
    "menu8=Order\r\nparam8=/order\r\n"
    "button9=Z:\\opt\\tc varnel\\tcvarnel-icons.dll,6\r\ncmd9=Z:\\opt\\tc varnel\\tcvarnel\r\n"
    "menu9=Restart\r\nparam9=/restart\r\n";

// Three buttons become nine: the three, a separator, the program's five. Doing it again takes the
// five out, finds the separator already last, and gives the same nine; the host's other keys of a
// button stay where they are.
TEST_F(ButtonBarTest, ProgramButtonsFollowOneSeparatorAndDoNotPileUp) {
    prefix.Write("drive_c/TC/Default.bar", "[Buttonbar]\r\nButtoncount=3\r\n"
                                           "button1=wcmicons.dll,1\r\ncmd1=cm_SrcComments\r\niconic1=1\r\n"
                                           "button2=\r\ncmd2=\r\n"
                                           "button3=notepad.exe\r\ncmd3=notepad.exe\r\nparam3=%P%N\r\n");
    EXPECT_TRUE(AddProgramButtons(ProgramContext(), kBar, kProgram, kIcons).Done());
    const std::string once = Bar();
    EXPECT_EQ(once, "[Buttonbar]\r\nButtoncount=9\r\nbutton1=wcmicons.dll,1\r\ncmd1=cm_SrcComments\r\n"
                    "iconic1=1\r\nbutton2=\r\ncmd2=\r\nbutton3=notepad.exe\r\ncmd3=notepad.exe\r\n"
                    "param3=%P%N\r\nbutton4=\r\ncmd4=\r\nmenu4=\r\nparam4=\r\n" +
                        kProgramButtons);
    AddProgramButtons(ProgramContext(), kBar, kProgram, kIcons);
    EXPECT_EQ(Bar(), once);
}

// A missing bar is made with the five buttons and no separator; an earlier button of another
// program whose command merely contains the name goes too, and the emptied keys stay behind.
TEST_F(ButtonBarTest, NewBarAndRemovalOfEveryCommandContainingTheName) {
    AddProgramButtons(ProgramContext(), kBar, kProgram, kIcons);
    EXPECT_EQ(ButtonCount(kBar), 5);
    EXPECT_EQ(ReadBarValue(kBar, "cmd1"), kProgram);
    EXPECT_EQ(ReadBarValue(kBar, "button1"), kIcons);

    prefix.Write("drive_c/TC/Default.bar", "[Buttonbar]\r\nButtoncount=3\r\n"
                                           "button1=a.exe\r\ncmd1=C:\\x\\OLDTCVARNEL\r\nmenu1=old\r\n"
                                           "button2=b.exe\r\ncmd2=b.exe\r\nmenu2=bee\r\nparam2=-b\r\n"
                                           "button3=\r\ncmd3=\r\n");
    EXPECT_EQ(FindButton(kBar, "TcVarnel"), 1);
    RemoveButtons(kBar, "tcvarnel");
    EXPECT_EQ(Bar(), "[Buttonbar]\r\nButtoncount=2\r\nbutton1=b.exe\r\ncmd1=b.exe\r\nmenu1=bee\r\n"
                     "button2=\r\ncmd2=\r\nmenu2=\r\nparam2=\r\nbutton3=\r\ncmd3=\r\nparam1=-b\r\n"
                     "menu3=\r\nparam3=\r\n");
    // The bar now ends with a separator: no second one.
    AddSeparatorIfNeeded(kBar);
    EXPECT_EQ(ButtonCount(kBar), 2);

    // A bar that cannot be read (a folder where the file should be) is reported, and nothing made.
    ASSERT_TRUE(platform::CreateFolder("C:\\TC\\Folder.bar"));
    EXPECT_FALSE(AddProgramButtons(ProgramContext(), "C:\\TC\\Folder.bar", kProgram, kIcons).Done());
    EXPECT_TRUE(platform::DirectoryExists("C:\\TC\\Folder.bar"));
}

// The host's Buttonbar setting names the bar, with %COMMANDER_PATH% expanded; without it the bar
// is Default.bar in the host's folder.
TEST_F(ButtonBarTest, BarFileFromTheHostConfiguration) {
    EXPECT_EQ(GetButtonBarFile(Host()), "C:\\TC\\Default.bar");
    prefix.Write("drive_c/TC/wincmd.ini", "[Buttonbar]\r\nButtonbar=%COMMANDER_PATH%\\bars\\my.bar\r\n");
    EXPECT_EQ(GetButtonBarFile(Host()), "C:\\TC\\bars\\my.bar");
    // A relative name is the host's, never the working folder's.
    prefix.Write("drive_c/TC/wincmd.ini", "[Buttonbar]\r\nButtonbar=my.bar\r\n");
    EXPECT_EQ(GetButtonBarFile(Host()), "C:\\TC\\my.bar");
    prefix.Write("drive_c/TC/wincmd.ini", "[Buttonbar]\r\nButtonbar=\\bars\\my.bar\r\n");
    EXPECT_EQ(GetButtonBarFile(Host()), "C:\\bars\\my.bar");
}

} // namespace
} // namespace varnel
