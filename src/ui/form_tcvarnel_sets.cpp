// The main window: the File menu, which takes plugins to another host and brings them from one
// (plugin sets).
#include "ui/form_tcvarnel.h"

#include "app/settings.h"
#include "catalog/plugin_table.h"
#include "lang/interaction.h"
#include "lang/language.h"
#include "ops/plugin_set.h"
#include "ui/form_plugin_set.h"
#include "ui/qt_text.h"
#include "util/text.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace varnel {

namespace {

FileDialogRequest SetFileDialog(bool save) {
    FileDialogRequest request;
    request.title = GetCaptionNoAccel(save ? 461 : 462);
    request.initialFolder = AppSettings().PluginsSrcZip;
    request.defaultName = save ? "plugins.zip" : "";
    request.filters = {{GetCaption(467), "*.zip"}};
    request.save = save;
    return request;
}

} // namespace

void TFormTCVarnel::CreateFileMenu() {
    m_mnuFileMenu = menuBar()->addMenu(QString());
    m_mnuFileMenu->setObjectName("mnuFile");
    auto item = [&](const char* name, auto handler) {
        auto* action = m_mnuFileMenu->addAction(QString());
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    m_mnuExportPlugins = item("mnuExportPlugins", [this] { mnuExportPluginsClick(); });
    m_mnuImportPlugins = item("mnuImportPlugins", [this] { mnuImportPluginsClick(); });
}

void TFormTCVarnel::mnuExportPluginsClick() {
    TimerOff();
    std::vector<int> rows;
    std::vector<TFormPluginSet::Row> shown;
    for (int row = 1; row <= Table().Count(); ++row) {
        const PluginEntry& entry = EntryAt(row);
        if (entry.Deleted)
            continue;
        rows.push_back(row);
        const std::string name = entry.Name.empty() ? FileNamePart(entry.FileName) : entry.Name;
        shown.push_back({FromAnsi(FormatPrintf(
                             "%s (%s)", {name, std::string(kKindWords[static_cast<size_t>(entry.Kind)])})),
                         FromAnsi(entry.FileName), true, true});
    }
    TFormPluginSet dialog(this, FromAnsi(GetCaptionNoAccel(461)), FromAnsi(GetCaption(468)),
                          FromAnsi(GetCaption(413)), FromAnsi(GetCaption(465)), shown);
    if (dialog.exec() == QDialog::Accepted) {
        const std::vector<bool> checked = dialog.Checked();
        std::vector<int> chosen;
        for (size_t i = 0; i < rows.size() && i < checked.size(); ++i)
            if (checked[i])
                chosen.push_back(rows[i]);
        const std::vector<std::string> file = User().OpenFiles(SetFileDialog(true));
        if (!chosen.empty() && !file.empty())
            ExportPluginSet(ProgramContext(), chosen, file.front());
    }
    TimerBack();
}

void TFormTCVarnel::mnuImportPluginsClick() {
    TimerOff();
    const std::vector<std::string> file = User().OpenFiles(SetFileDialog(false));
    std::unique_ptr<PluginSetImport> set =
        file.empty() ? nullptr : PluginSetImport::Open(ProgramContext(), file.front());
    if (set) {
        std::unique_ptr<TFormPluginSet> dialog = MakeImportDialog(this, *set);
        if (dialog->exec() == QDialog::Accepted) {
            const std::vector<bool> checked = dialog->Checked();
            for (size_t i = 0; i < set->Items().size() && i < checked.size(); ++i)
                set->Items()[i].chosen = checked[i];
            if (set->Apply(ProgramContext(), false).Done())
                FillList();
        }
    }
    TimerBack();
}

} // namespace varnel
