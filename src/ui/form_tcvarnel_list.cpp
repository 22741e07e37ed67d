// The main window: the plugin list (filling, sorting, columns, states, selection).
#include "ui/form_tcvarnel.h"

#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/host_location.h"
#include "catalog/module_info.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/command.h"
#include "ops/plugin_commands.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "ui/busy_wait.h"
#include "ui/fit_to_content.h"
#include "ui/menu_speed_button.h"
#include "ui/qt_text.h"
#include "util/text.h"

#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTableWidget>
#include <algorithm>
#include <array>
#include <set>

namespace varnel {

namespace {

// The five row icons, made once: an icon made from its file parses the drawing again each time.
const QIcon& ListIcon(int index) {
    static const char* const names[] = {":/icons/lister.svg", ":/icons/packer.svg", ":/icons/fs.svg",
                                        ":/icons/content.svg", ":/icons/off.svg"};
    static std::array<QIcon, 5> icons;
    if (index < 0 || index > 4)
        index = 4;
    QIcon& icon = icons[static_cast<size_t>(index)];
    if (icon.isNull())
        icon = QIcon(names[index]);
    return icon;
}

} // namespace

// ---- The list -----------------------------------------------------------------------------

int TFormTCVarnel::ListRowCount() const {
    return m_listView1->rowCount();
}

int TFormTCVarnel::ListFills() const {
    return m_fills;
}

void TFormTCVarnel::FillList() {
    // A fill asked for from inside a wait (an event handled while the table is being read) would
    // read the table on two threads at once; the fill that is under way shows the list anyway.
    if (BusyWaiting())
        return;
    Settings& s = AppSettings();
    SetHostPaths(s.TCPath, s.IniPath);
    // The plugin the cursor is on, by its module and kind: table rows change with the reload.
    std::string currentFile;
    PluginKind currentKind = kNoPlugin;
    // (the current row when it is selected, else the first selected one, as the commands take it).
    int current = m_listView1->currentRow();
    if (current < 0 || !m_listView1->selectionModel()->isRowSelected(current, QModelIndex())) {
        current = -1;
        for (int r = 0; r < static_cast<int>(m_rows.size()) && current < 0; ++r)
            if (m_listView1->selectionModel()->isRowSelected(r, QModelIndex()))
                current = r;
    }
    if (current >= 0 && current < static_cast<int>(m_rows.size()))
        if (const int tableRow = m_rows[static_cast<size_t>(current)].tableRow;
            tableRow >= 1 && tableRow <= Table().Count()) {
            currentFile = EntryAt(tableRow).FileName;
            currentKind = EntryAt(tableRow).Kind;
        }
    // Thousands of modules on a slow disk take a while: the window stays alive, and Cancel leaves
    // the remaining rows with their file names.
    std::atomic<bool> stop{false};
    m_iniStamp = platform::StampOf(Host().HostIniPath);
    RunOffGuiThread(
        [&stop] {
            LoadTable(true, &stop);
            if (!CommandRun::Active())
                SaveModuleFacts();
        },
        &stop);
    PluginListOptions options;
    options.tab = SelectedTab();
    options.showTypes = s.ShowTypes;
    options.showVersions = s.ShowVersionsCol;
    options.showDescriptions = s.ShowDescriptions;

    int remembered = 0;
    QList<QTableWidgetSelectionRange> ranges = m_listView1->selectedRanges();
    if (!ranges.isEmpty()) {
        remembered = m_listView1->rowCount();
        for (const QTableWidgetSelectionRange& r : ranges)
            remembered = std::min(remembered, r.topRow());
    }
    int missing = 0;
    m_rows = BuildPluginListRows(Table(), Host(), options, &missing);
    SortPluginListRows(m_rows, s.SortColumn, s.SortAsc);
    bool any = !m_rows.empty();
    if (!any) {
        PluginListRow placeholder;
        placeholder.placeholder = true;
        placeholder.icon = kIconDisabledOrMissing;
        placeholder.caption = Message(Msg::NoPluginsOfKind);
        m_rows.push_back(placeholder);
    }
    // The cursor stays on the same plugin (a disabled one is still listed); when it is gone, on
    // the row that took its place.
    int select = std::min(remembered, static_cast<int>(m_rows.size()) - 1);
    for (int r = 0; r < static_cast<int>(m_rows.size()) && !currentFile.empty(); ++r) {
        const int tableRow = m_rows[static_cast<size_t>(r)].tableRow;
        if (tableRow >= 1 && EntryAt(tableRow).Kind == currentKind &&
            EqualsNoCaseAnsi(EntryAt(tableRow).FileName, currentFile)) {
            select = r;
            break;
        }
    }
    PopulateList(any ? select : -1);
    m_listView1->setEnabled(any);
    UpdateSortMarks();
    // The placeholder row is no plugin; a configuration that cannot be read says so instead.
    std::string problem = HostConfigProblem();
    if (problem.empty()) {
        // One plugin has a message of its own: the languages' plural forms are texts, not rules.
        const int count = any ? static_cast<int>(m_rows.size()) : 0;
        problem = count == 1 ? FormatPrintf(Message(Msg::PluginCountOne), {missing})
                             : FormatPrintf(Message(Msg::PluginCount), {count, missing});
        if (!m_registrationProblem.empty())
            problem.append("  ").append(m_registrationProblem);
    }
    m_statusText->setTextFormat(Qt::PlainText);
    m_statusText->setText(FromAnsi(problem));
    m_statusText->setToolTip(m_statusText->text()); // a long line is cut at the window's edge
    // An install the running host has not loaded yet: said, with Restart at hand, until it runs.
    if (m_restartOffered && HostRunning(AppSettings().TCPath)) {
        m_statusText->setTextFormat(Qt::RichText);
        m_statusText->setText(FromAnsi(GetCaption(441)).toHtmlEscaped() + " <a href=\"restart\">" +
                              FromAnsi(GetCaptionNoAccel(442)).toHtmlEscaped() + "</a>  " +
                              FromAnsi(problem).toHtmlEscaped());
    } else {
        m_restartOffered = false;
    }
    ListView1Change();
    ++m_fills;
}

void TFormTCVarnel::PopulateList(int selectPosition) {
    m_listView1->setUpdatesEnabled(false);
    m_populating = true;
    {
        QSignalBlocker block(m_listView1);
        m_listView1->clearSelection();
        m_listView1->setRowCount(static_cast<int>(m_rows.size()));
        for (int r = 0; r < static_cast<int>(m_rows.size()); ++r) {
            const PluginListRow& row = m_rows[static_cast<size_t>(r)];
            for (int c = 0; c < kPluginListColumns; ++c) {
                auto* item = m_listView1->item(r, c);
                if (!item) {
                    item = new QTableWidgetItem();
                    m_listView1->setItem(r, c, item);
                }
                item->setText(row.placeholder && c > 0 ? QString() : FromAnsi(row.Text(c)));
                if (c == kPluginListColumns - 1)
                    item->setForeground(row.foreignBits ? QBrush(Qt::darkRed) : QBrush());
                if (c == 0) {
                    item->setIcon(ListIcon(row.icon));
                    item->setData(Qt::UserRole, row.tableRow);
                    // Ticked is enabled, as the "Active" column of other file managers has it.
                    if (row.placeholder || row.tableRow < 1 || row.tableRow > Table().Count()) {
                        item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
                        item->setData(Qt::CheckStateRole, QVariant());
                    } else {
                        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                        item->setCheckState(EntryAt(row.tableRow).Disabled ? Qt::Unchecked : Qt::Checked);
                    }
                }
            }
        }
        // The placeholder's text runs across the whole row instead of being cut at the first column.
        m_listView1->clearSpans();
        if (m_rows.size() == 1 && m_rows.front().placeholder)
            m_listView1->setSpan(0, 0, 1, kPluginListColumns);
        if (selectPosition >= 0 && selectPosition < m_listView1->rowCount()) {
            m_listView1->selectRow(selectPosition);
            m_listView1->setCurrentCell(selectPosition, 0, QItemSelectionModel::NoUpdate);
        }
    }
    m_populating = false;
    m_filterDescriptions.clear();
    ApplyFilter(); // the filter stays through every refill
    UpdateUndoAction();
    m_listView1->setUpdatesEnabled(true);
    FitNameColumn();
    FitToContentOnce();
}

std::set<std::pair<PluginKind, std::string>> TFormTCVarnel::ListedRegistrations() const {
    std::set<std::pair<PluginKind, std::string>> listed;
    for (int row = 1; row <= Table().Count(); ++row)
        if (!EntryAt(row).Disabled)
            listed.emplace(EntryAt(row).Kind, FoldAnsi(EntryAt(row).FileName));
    return listed;
}

void TFormTCVarnel::SelectRowsNewSince(const std::set<std::pair<PluginKind, std::string>>& before) {
    int first = -1;
    for (int r = 0; r < static_cast<int>(m_rows.size()); ++r) {
        const int tableRow = m_rows[static_cast<size_t>(r)].tableRow;
        if (tableRow < 1 || tableRow > Table().Count() || m_listView1->isRowHidden(r) ||
            EntryAt(tableRow).Disabled ||
            before.count({EntryAt(tableRow).Kind, FoldAnsi(EntryAt(tableRow).FileName)}))
            continue;
        if (first < 0) {
            m_listView1->clearSelection();
            first = r;
        }
        m_listView1->selectionModel()->select(m_listView1->model()->index(r, 0),
                                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    if (first >= 0) {
        m_listView1->setCurrentCell(first, 0, QItemSelectionModel::NoUpdate);
        m_listView1->scrollToItem(m_listView1->item(first, 0));
    }
}

void TFormTCVarnel::FitNameColumn() {
    // The last column takes the free width; plugin names get what of it they need first.
    QHeaderView* header = m_listView1->horizontalHeader();
    int last = header->logicalIndex(header->count() - 1);
    if (last == 0 || m_listView1->isColumnHidden(0) || (m_rows.size() == 1 && m_rows.front().placeholder))
        return;
    const QAbstractItemView* view = m_listView1; // where the content width is public
    int wanted = view->sizeHintForColumn(0) - m_listView1->columnWidth(0);
    int spare = m_listView1->columnWidth(last) - view->sizeHintForColumn(last);
    if (wanted > 0 && spare > 0)
        m_listView1->setColumnWidth(0, m_listView1->columnWidth(0) + std::min(wanted, spare));
}

void TFormTCVarnel::FitToContentOnce() {
    if (m_layoutFitted || m_rows.empty() || (m_rows.size() == 1 && m_rows.front().placeholder))
        return;
    m_layoutFitted = true;
    const QRect screen = this->screen()->availableGeometry();
    QHeaderView* header = m_listView1->horizontalHeader();
    const QAbstractItemView* view = m_listView1; // where the content width is public
    if (m_fitColumns) {
        m_fitColumns = false;
        // A long detect string gets at most a third of the screen, the last column (the file)
        // what the others leave of it; the rest is a tooltip or a scroll away.
        const int last = header->logicalIndex(header->count() - 1);
        int others = 0;
        for (int c = 0; c < kPluginListColumns; ++c) {
            if (m_listView1->isColumnHidden(c))
                continue;
            const int content = ColumnContentWidth(view, header, c);
            const int cap =
                c == last ? std::max(screen.width() / 3, screen.width() - others - 80) : screen.width() / 3;
            m_listView1->setColumnWidth(c, std::max(m_listView1->columnWidth(c), std::min(content, cap)));
            if (c != last)
                others += m_listView1->columnWidth(c);
        }
    }
    if (m_fitWindow) {
        m_fitWindow = false;
        int columns = 0;
        for (int c = 0; c < kPluginListColumns; ++c)
            if (!m_listView1->isColumnHidden(c))
                columns += m_listView1->columnWidth(c);
        int rows = 0;
        for (int r = 0; r < m_listView1->rowCount(); ++r)
            rows += m_listView1->rowHeight(r);
        const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        const int wantedWidth = width() + columns + scrollBar - m_listView1->viewport()->width();
        const int wantedHeight = height() + rows + scrollBar - m_listView1->viewport()->height();
        resize(std::min(std::max(width(), wantedWidth), screen.width() - (frameGeometry().width() - width())),
               std::min(std::max(height(), wantedHeight),
                        screen.height() - (frameGeometry().height() - height())));
    }
    KeepOnScreen(this);
}

void TFormTCVarnel::RefreshStates() {
    m_listView1->setUpdatesEnabled(false);
    platform::InUseScan scan;
    platform::PathLookupScope lookups; // each module path is resolved once per refresh
    for (int r = 0; r < static_cast<int>(m_rows.size()); ++r) {
        PluginListRow& row = m_rows[static_cast<size_t>(r)];
        if (row.placeholder || row.tableRow < 1 || row.tableRow > Table().Count())
            continue;
        RefreshEntryFlags(row.tableRow);
        row.subItems[2] = StateText(row.tableRow);
        if (QTableWidgetItem* item = m_listView1->item(r, 3))
            item->setText(FromAnsi(row.subItems[2]));
    }
    m_listView1->setUpdatesEnabled(true);
}

void TFormTCVarnel::ApplyColumnOptions() {
    Settings& s = AppSettings();
    auto width = [&](int column) { return s.ColumnWidths[static_cast<size_t>(column)]; };
    if (s.ShowVersionsCol) {
        if (s.ShowVersions == 0)
            s.ShowVersions = 1;
        if (width(2) == 0)
            s.ColumnWidths[2] = 60;
    } else {
        s.ShowVersions = 0;
        s.ColumnWidths[2] = 0;
    }
    PassSettingsToCatalog(s);
    if (s.ShowDescriptions) {
        if (width(1) == 0)
            s.ColumnWidths[1] = 80;
    } else {
        s.ColumnWidths[1] = 0;
    }
    for (int c = 0; c < kPluginListColumns; ++c) {
        m_listView1->setColumnHidden(c, width(c) == 0);
        if (width(c) > 0)
            m_listView1->setColumnWidth(c, width(c));
    }
}

void TFormTCVarnel::UpdateSortMarks() {
    const Settings& s = AppSettings();
    QStringList labels;
    for (const std::string& caption : m_columnCaptions)
        labels << FromAnsi(caption);
    m_listView1->setHorizontalHeaderLabels(labels);
    // The header's own arrow marks the sort column; the list sorts itself, not the view.
    QHeaderView* header = m_listView1->horizontalHeader();
    header->setSortIndicatorShown(true);
    header->setSortIndicator(s.SortColumn, s.SortAsc ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void TFormTCVarnel::ListView1ColumnClick(int column) {
    Settings& s = AppSettings();
    // The sort column's second click turns the order round; another column starts ascending.
    s.SortAsc = column == s.SortColumn ? !s.SortAsc : true;
    s.SortColumn = column;
    UpdateSortMarks();
    std::set<int> selected;
    for (int tableRow : SelectedTableRows())
        selected.insert(tableRow);
    int current = m_listView1->currentRow();
    int currentTableRow = current >= 0 && current < static_cast<int>(m_rows.size())
                              ? m_rows[static_cast<size_t>(current)].tableRow
                              : 0;
    SortPluginListRows(m_rows, s.SortColumn, s.SortAsc);
    PopulateList(-1);
    QSignalBlocker block(m_listView1);
    for (int r = 0; r < static_cast<int>(m_rows.size()); ++r) {
        int tableRow = m_rows[static_cast<size_t>(r)].tableRow;
        if (selected.count(tableRow))
            m_listView1->selectionModel()->select(m_listView1->model()->index(r, 0),
                                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
        if (tableRow == currentTableRow && tableRow != 0)
            m_listView1->setCurrentCell(r, 0, QItemSelectionModel::NoUpdate);
    }
}

std::vector<int> TFormTCVarnel::SelectedTableRows() const {
    std::vector<int> result;
    for (int r = 0; r < static_cast<int>(m_rows.size()); ++r) {
        const PluginListRow& row = m_rows[static_cast<size_t>(r)];
        if (!row.placeholder && m_listView1->selectionModel()->isRowSelected(r, QModelIndex()))
            result.push_back(row.tableRow);
    }
    return result;
}

std::string TFormTCVarnel::SelectedPluginFile() const {
    std::vector<int> rows = SelectedTableRows();
    if (rows.empty() || rows.front() > Table().Count())
        return {};
    return Table().Row(rows.front()).FileName;
}

std::string TFormTCVarnel::SelectedPluginIni() const {
    return PluginIniOf(SelectedPluginFile());
}

void TFormTCVarnel::ListView1Change() {
    std::vector<int> rows = SelectedTableRows();
    SelectionState selection;
    selection.tab = SelectedTab();
    selection.selected = !rows.empty() && rows.front() <= Table().Count();
    selection.single = selection.selected && rows.size() == 1 &&
                       static_cast<int>(m_listView1->selectionModel()->selectedRows().size()) == 1;
    if (selection.selected) {
        const PluginEntry& entry = Table().Row(rows.front());
        selection.kind = entry.Kind;
        selection.disabled = entry.Disabled;
    }
    CommandStates c = CommandStatesFor(selection);
    m_btnDisable->setVisible(c.disableVisible);
    m_mnuDisable->setVisible(c.disableVisible);
    SetCommandEnabled(m_btnDisable, "btnDisableClick", c.disableEnabled && m_hostFound, c.selectionWhyNot);
    SetActionEnabled(m_mnuDisable, "btnDisableClick", c.disableEnabled);
    m_btnEnable->setVisible(c.enableVisible);
    m_mnuEnable->setVisible(c.enableVisible);
    SetCommandEnabled(m_btnRemove, "btnRemoveClick", c.removeEnabled && m_hostFound, c.selectionWhyNot);
    SetActionEnabled(m_mnuUninstall, "btnRemoveClick", c.removeEnabled);
    m_btnTweak->setVisible(c.tweakVisible);
    m_mnuTweak->setVisible(c.tweakVisible);
    SetCommandEnabled(m_btnTweak, "btnTweakClick", c.tweakEnabled && m_hostFound, c.singleWhyNot);
    SetActionEnabled(m_mnuTweak, "btnTweakClick", c.tweakEnabled);
    m_btnRename->setVisible(c.renameVisible);
    m_mnuRename->setVisible(c.renameVisible);
    SetCommandEnabled(m_btnRename, "btnRenameClick", c.renameEnabled && m_hostFound, c.singleWhyNot);
    SetActionEnabled(m_mnuRename, "btnRenameClick", c.renameEnabled);
    SetCommandEnabled(m_btnConfigure, "btnConfigureClick", c.configureEnabled && m_hostFound, c.singleWhyNot);
    SetActionEnabled(m_mnuConfigure, "btnConfigureClick", c.configureEnabled);
    SetCommandEnabled(m_btnOrder, "btnOrderClick", c.orderEnabled && m_hostFound, c.orderWhyNot);
    SetActionEnabled(m_mnuOrder, "btnOrderClick", c.orderEnabled);
    SetActionEnabled(m_mnuBrowse, "mnuBrowseClick", c.browseEnabled);
    ShowDetails();
}

void TFormTCVarnel::TabControl1Change() {
    FillList();
}

void TFormTCVarnel::btnRefreshClick() {
    ShowHostState();
    FillList();
}

void TFormTCVarnel::Timer1Timer() {
    if (BusyWaiting())
        return;               // a command or a load is under way; the next tick looks
    platform::InUseScan scan; // one look at the running processes serves the whole tick
    ShowHostState();
    // Another program rewrote the configuration (varnel, a second window, the host itself): the
    // list shows what the file says now.
    if (m_hostFound && HostConfigChangedSinceFill())
        FillList();
    else
        RefreshStates();
}

void TFormTCVarnel::btnCloseClick() {
    close();
}

} // namespace varnel
