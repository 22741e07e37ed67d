// The main window: the Edit menu (undo, history, health check, filter, details), the filter box,
// the rows' check boxes, the details pane and the cells' tooltips.
#include "ui/form_tcvarnel.h"

#include "app/entry.h"
#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/plugin_table.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/command.h"
#include "ops/descriptions.h"
#include "ops/history.h"
#include "ops/plugin_commands.h"
#include "ui/details_pane.h"
#include "ui/form_check.h"
#include "ui/form_history.h"
#include "ui/menu_speed_button.h"
#include "ui/qt_text.h"
#include "util/text.h"

#include <QAction>
#include <QHelpEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QScreen>
#include <QTableWidget>
#include <QToolTip>

namespace varnel {

void TFormTCVarnel::CreateEditMenu() {
    m_mnuEditMenu = menuBar()->addMenu(QString());
    m_mnuEditMenu->setObjectName("mnuEdit");
    auto item = [&](const char* name, auto handler, const QKeySequence& keys = {}) {
        auto* action = m_mnuEditMenu->addAction(QString());
        action->setObjectName(name);
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    m_mnuUndo = item(
        "mnuUndo", [this] { mnuUndoClick(); }, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Z));
    m_mnuRedo = item(
        "mnuRedo", [this] { mnuRedoClick(); }, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Y));
    m_mnuHistory = item("mnuHistory", [this] { mnuHistoryClick(); });
    m_mnuEditMenu->addSeparator();
    m_mnuCheck = item("mnuCheck", [this] { mnuCheckClick(); });
    m_mnuEditMenu->addSeparator();
    m_mnuFilter = item(
        "mnuFilter",
        [this] {
            m_ffFilter->setFocus(Qt::ShortcutFocusReason);
            m_ffFilter->selectAll();
        },
        QKeySequence(Qt::CTRL | Qt::Key_F));
    m_mnuDetails = item("mnuDetails", [this] { mnuDetailsClick(); });
    m_mnuDetails->setCheckable(true);
    m_mnuDetails->setChecked(ReadSettingInt("Window", "Details", 0) != 0);
    m_details->setVisible(m_mnuDetails->isChecked());
    // Undo names the change it takes back, wherever it is offered.
    connect(m_mnuEditMenu, &QMenu::aboutToShow, this, [this] { UpdateUndoAction(); });
}

void TFormTCVarnel::CreateHelpMenu() {
    m_mnuHelpMenu = menuBar()->addMenu(QString());
    m_mnuHelpMenu->setObjectName("mnuHelp");
    auto item = [&](const char* name, auto handler) {
        auto* action = m_mnuHelpMenu->addAction(QString());
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    m_mnuHelpDetect = item("mnuHelpDetect", [this] {
        ShowMessageBox(Message(Msg::DetectHelp), GetCaptionNoAccel(408), kStyleInformation);
    });
    m_mnuHelpCommandLine = item("mnuHelpCommandLine", [this] {
        ShowMessageBox(CommandLineHelp(), GetCaptionNoAccel(409), kStyleInformation);
    });
    m_mnuHelpMenu->addSeparator();
    m_mnuHelpAbout = item("mnuHelpAbout", [this] { btnAboutClick(); });
    m_mnuHelpAbout->setShortcut(QKeySequence(Qt::Key_F1));
    // The window's own F1 handling runs About; the menu shows the key without taking it twice.
    m_mnuHelpAbout->setShortcutContext(Qt::WidgetShortcut);
}

void TFormTCVarnel::UpdateUndoAction() {
    const std::vector<HistoryRecord> next = ChangesToUndo();
    // A name with "&" in it would make an accelerator of the letter after it.
    const std::string text = next.empty() ? GetCaption(401)
                                          : FormatPrintf(Message(Msg::UndoAction),
                                                         {ReplaceAll(next.front().description, "&", "&&")});
    m_mnuUndo->setText(FromAnsi(text));
    // The toolbar's Undo says in its tip what it takes back, and is off when there is nothing.
    m_btnUndo->setEnabled(!next.empty());
    m_btnUndo->setToolTip(next.empty()
                              ? FromAnsi(GetCaptionNoAccel(117))
                              : FromAnsi(text).remove(QRegularExpression("&(?!&)")).replace("&&", "&"));
    const std::optional<RedoStep> redo = ChangeToRedo();
    m_mnuRedo->setEnabled(redo.has_value());
    m_mnuRedo->setText(
        FromAnsi(redo ? FormatPrintf(Message(Msg::RedoAction), {ReplaceAll(redo->description, "&", "&&")})
                      : GetCaption(118)));
    // The context menu's copy has no accelerator: "&&" stands for "&", a lone "&" goes.
    m_popUndo->setText(FromAnsi(text).remove(QRegularExpression("&(?!&)")).replace("&&", "&"));
}

void TFormTCVarnel::mnuUndoClick() {
    TimerOff();
    if (!UndoLastChanges(ProgramContext(), 1).records.empty()) {
        FillList();
        // What was undone, in the status bar: the undo's own record says it ("Undid: ...").
        if (!RecordsMadeHere().empty())
            m_statusText->setText(FromAnsi(RecordsMadeHere().back().description));
    }
    TimerBack();
}

void TFormTCVarnel::mnuRedoClick() {
    TimerOff();
    if (const std::optional<RedoStep> redo = ChangeToRedo();
        redo && UndoToRecord(ProgramContext(), redo->undoId).Done()) {
        FillList();
        if (!RecordsMadeHere().empty())
            m_statusText->setText(FromAnsi(RecordsMadeHere().back().description));
    }
    TimerBack();
}

void TFormTCVarnel::mnuHistoryClick() {
    TimerOff();
    TFormHistory dialog(this);
    dialog.exec();
    if (dialog.Changed())
        FillList();
    TimerBack();
}

void TFormTCVarnel::mnuCheckClick() {
    TimerOff();
    LoadTable(false);
    TFormCheck dialog(this);
    dialog.exec();
    FillList();
    TimerBack();
}

void TFormTCVarnel::mnuDetailsClick() {
    // The pane takes its room from the window, not from the list: the window grows by it, as far
    // as the screen allows, and gives it back when it closes.
    const bool on = m_mnuDetails->isChecked();
    const int room = m_details->height() + 4;
    if (on != m_details->isVisible() && !isMaximized() && !isFullScreen()) {
        const int available =
            screen() ? screen()->availableGeometry().bottom() - frameGeometry().bottom() : room;
        const int grow =
            on ? std::min(room, std::max(0, available)) : -std::min(room, height() - minimumHeight());
        resize(width(), height() + grow);
    }
    m_details->setVisible(on);
    WriteSettingInt("Window", "Details", m_mnuDetails->isChecked() ? 1 : 0);
    ShowDetails();
}

void TFormTCVarnel::ApplyFilter() {
    const QString wanted = m_ffFilter->text().trimmed();
    // A description matches whether its column is shown or not.
    if (!wanted.isEmpty() && !AppSettings().ShowDescriptions &&
        m_filterDescriptions.size() != m_rows.size()) {
        m_filterDescriptions.clear();
        for (const PluginListRow& row : m_rows)
            m_filterDescriptions.push_back(row.tableRow >= 1 && row.tableRow <= Table().Count()
                                               ? FromAnsi(ReadDescription(EntryAt(row.tableRow).FileName))
                                               : QString());
    }
    for (int r = 0; r < static_cast<int>(m_rows.size()); ++r) {
        const PluginListRow& row = m_rows[static_cast<size_t>(r)];
        bool shown = wanted.isEmpty() || row.placeholder;
        if (!shown) {
            QStringList texts = {FromAnsi(row.caption)};
            for (int c = 1; c < kPluginListColumns; ++c)
                texts << FromAnsi(row.Text(c));
            if (row.tableRow >= 1 && row.tableRow <= Table().Count()) {
                const PluginEntry& entry = EntryAt(row.tableRow);
                texts << FromAnsi(entry.FileName) << FromAnsi(entry.Association) << FromAnsi(entry.Name);
            }
            if (static_cast<size_t>(r) < m_filterDescriptions.size())
                texts << m_filterDescriptions[static_cast<size_t>(r)];
            for (const QString& text : texts)
                shown = shown || text.contains(wanted, Qt::CaseInsensitive);
        }
        m_listView1->setRowHidden(r, !shown);
        if (!shown && m_listView1->selectionModel()->isRowSelected(r, QModelIndex()))
            m_listView1->selectionModel()->select(m_listView1->model()->index(r, 0),
                                                  QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    }
    // A selection the filter hid moves to the first row still shown, so the commands have a plugin.
    if (!wanted.isEmpty() && m_listView1->selectionModel()->selectedRows().isEmpty())
        for (int r = 0; r < m_listView1->rowCount(); ++r)
            if (!m_listView1->isRowHidden(r) && !m_rows[static_cast<size_t>(r)].placeholder) {
                m_listView1->selectRow(r);
                break;
            }
}

void TFormTCVarnel::ListCheckChanged(int listRow) {
    if (listRow < 0 || listRow >= static_cast<int>(m_rows.size()))
        return;
    const int tableRow = m_rows[static_cast<size_t>(listRow)].tableRow;
    if (tableRow < 1 || tableRow > Table().Count())
        return;
    const bool wanted = m_listView1->item(listRow, 0)->checkState() == Qt::Checked;
    if (wanted == !EntryAt(tableRow).Disabled)
        return;
    // The same command as Disable/Enable on this one row, with its question; the list then shows
    // what the file says, whatever the answer was.
    TimerOff();
    DisableOrEnableSelected(ProgramContext(), {tableRow});
    FillList();
    TimerBack();
}

void TFormTCVarnel::ShowDetails() {
    if (!m_details->isVisible())
        return;
    // The plugin the commands would act on: the first of the selection.
    const std::vector<int> rows = SelectedTableRows();
    m_details->ShowPlugin(rows.empty() ? 0 : rows.front());
}

bool TFormTCVarnel::ShowCellToolTip(const QPoint& at) {
    const QTableWidgetItem* item = m_listView1->itemAt(at);
    if (!item || item->text().isEmpty())
        return false;
    const QRect cell = m_listView1->visualItemRect(item);
    int needed = m_listView1->fontMetrics().horizontalAdvance(item->text()) + 8;
    if (!item->icon().isNull())
        needed += m_listView1->iconSize().width() + 4;
    if (item->flags().testFlag(Qt::ItemIsUserCheckable))
        needed += 20;
    if (needed <= cell.width())
        return false;
    QToolTip::showText(m_listView1->viewport()->mapToGlobal(at), item->text(), m_listView1->viewport(), cell);
    return true;
}

bool TFormTCVarnel::HostConfigChangedSinceFill() const {
    return platform::StampOf(Host().HostIniPath) != m_iniStamp;
}

} // namespace varnel
