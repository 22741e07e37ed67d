#include "gui_host.h"

#include "app/settings.h"
#include "app/startup.h"
#include "catalog/plugin_table.h"
#include "lang/language.h"
#include "ops/history.h"
#include "platform/program_folder.h"
#include "platform/system.h"
#include "ui/qt_text.h"

#include <QTest>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

namespace varnel::test {

void Settle() {
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
        QTest::qWait(5);
    }
}

GuiHost::GuiHost(const std::string& settings, bool makeDemo) {
    AppSettings() = Settings{};
    ResetMessageStore();
    platform::SetSleepHandler([](unsigned) {});
    if (makeDemo && !MakeDemoHost(prefix))
        throw std::runtime_error("the demo host could not be made (MinGW-w64 build missing?)");
    fs::create_directories(prefix.Path("drive_c/Varnel"));
    fs::copy(std::string(VARNEL_SOURCE_DIR) + "/Language", prefix.Path("drive_c/Varnel/Language"),
             fs::copy_options::recursive);
    // A window registers the plugin file types in the prefix and on the user's desktop when it is
    // made; only the tests that ask for it in their settings do.
    std::string withSettings = settings;
    if (withSettings.find("RegisterExt") == std::string::npos) {
        size_t options = withSettings.find("[Options]\r\n");
        if (options == std::string::npos)
            withSettings.append("[Options]\r\nRegisterExt=0\r\n");
        else
            withSettings.insert(options + 11, "RegisterExt=0\r\n");
    }
    prefix.Write("drive_c/Varnel/TC_varnel.ini", withSettings);
    SetProgramFolder("C:\\Varnel");
    SetFatalHandler([] { throw std::runtime_error("fatal end of the program"); });
    if (!InitializeProgram())
        throw std::runtime_error("start-up failed");
    StartHistory(HistoryFolderOf(SettingsFilePath()));
}

GuiHost::~GuiHost() {
    m_window.reset();
    StartHistory("");
    ClearTable();
    SetProgramFolder("");
    SetLanguageLoadedHook(nullptr);
    SetFatalHandler(nullptr);
    platform::SetSleepHandler(nullptr);
    ResetMessageStore();
    AppSettings() = Settings{};
}

TFormTCVarnel& GuiHost::Open(const std::string& firstArgument) {
    m_window = std::make_unique<TFormTCVarnel>(firstArgument);
    m_window->show();
    Settle();
    return *m_window;
}

void GuiHost::Select(std::initializer_list<int> positions) {
    QTableWidget* list = List();
    list->clearSelection();
    for (int position : positions)
        list->selectionModel()->select(list->model()->index(position, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    Settle();
}

std::string GuiHost::RowText(int position, int column) {
    QTableWidgetItem* item = List()->item(position, column);
    return item ? ToAnsi(item->text()) : std::string();
}

std::string GuiHost::WincmdIni() const {
    return prefix.Read("drive_c/totalcmd/wincmd.ini");
}

void GuiHost::SetWincmdIni(const std::string& text) const {
    prefix.Write("drive_c/totalcmd/wincmd.ini", text);
}

} // namespace varnel::test
