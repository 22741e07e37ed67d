// The main window: captions, tool-button layout, stored geometry, sizing and closing.
#include "ui/form_tcvarnel.h"
#include "ui/form_tcvarnel_design.h"

#include "app/settings.h"
#include "catalog/file_types.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ui/busy_wait.h"
#include "ui/menu_speed_button.h"
#include "ui/qt_text.h"
#include "util/text.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSizeGrip>
#include <QStatusBar>
#include <QTabBar>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>

namespace varnel {

void TFormTCVarnel::ApplyCreationSettings() {
    Settings& s = AppSettings();
    s.Left = kDesignLeft;
    s.Top = kDesignTop;
    s.Width = kDesignWidth;
    s.Height = kDesignHeight;
    s.ColumnWidths = {200, 80, 0, 70, 180, 250, 110};
    // A value that no stored text gives (an unreadable one reads as 0): the key is missing.
    constexpr int kMissing = -1;
    m_fitColumns = ReadSettingInt("Window", "Column0W", kMissing) == kMissing;
    m_fitWindow = ReadSettingInt("Window", "Width", kMissing) == kMissing &&
                  ReadSettingInt("Window", "Height", kMissing) == kMissing;
    ReadWindowSettings(s);

    m_tabControl1->setVisible(s.ShowTabs);
    m_statusBar1->setVisible(s.ShowStatusBar);
    int designHeight = kDesignHeight;
    if (!s.ShowStatusBar)
        designHeight -= kStatusBarDesignHeight - 4;
    m_timer1->setInterval(s.RefreshInterval);
    if (s.Refresh && s.RefreshInterval > 0)
        m_timer1->start();
    RegisterFileTypes();
    // A stored size below the minimum is refused as a whole, like a drag would be.
    if (s.Width >= kMinimumWidth && s.Height >= kMinimumHeight) {
        move(s.Left, s.Top);
        resize(s.Width, s.Height == kDesignHeight ? designHeight : s.Height);
    } else {
        move(s.Left, s.Top);
        resize(kDesignWidth, designHeight);
    }
    for (int i = 0; i < kPluginListColumns; ++i)
        m_listView1->setColumnWidth(i, s.ColumnWidths[static_cast<size_t>(i)]);
    if (s.SortColumn < 0 || s.SortColumn >= kPluginListColumns)
        s.SortColumn = 0;
    ApplyColumnOptions();
    PlaceSizeGrip();
}

// ---- Showing ------------------------------------------------------------------------------

void TFormTCVarnel::RegisterFileTypes() {
    RegisterPluginFileTypes(AppSettings().RegisterExt);
    NoteRegistrationProblem();
}

void TFormTCVarnel::NoteRegistrationProblem() {
    const bool enabled = AppSettings().RegisterExt;
    std::optional<std::string> unusable = enabled ? UnusableProgramPath() : std::nullopt;
    m_registrationProblem =
        unusable ? FormatPrintf(Message(Msg::ProgramPathUnusable), {*unusable}) : std::string();
}

void TFormTCVarnel::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        QTimer::singleShot(0, this, [this] { FormShow(); });
}

void TFormTCVarnel::SetCaptions() {
    QString title = FromAnsi(FormatPrintf(Message(Msg::AppTitleVersion), {kProgramVersionText}));
    setWindowTitle(title);
    QApplication::setApplicationDisplayName(QString());
    auto caption = [](int n) { return FromAnsi(GetCaption(n)); };
    m_label4->setText(caption(51));
    m_label5->setText(caption(52));
    m_label6->setText(caption(53));
    m_label1->setText(caption(54));
    SetHint(m_btnTCBrowse, caption(55));
    m_sTCPath1->setToolTip(caption(56));
    m_sTCini1->setToolTip(caption(57));
    SetHint(m_btnIniBrowse, caption(58));
    m_btnTCRun->setText(caption(60));
    SetHint(m_btnTCRun, caption(59));
    m_btnTCRestart->setText(caption(62));
    SetHint(m_btnTCRestart, caption(61));
    struct Tool {
        TMenuSpeedButton* button;
        int text;
        int hint;
    } tools[] = {{m_btnAdd, 64, 63},    {m_btnOptions, 66, 65}, {m_btnAbout, 68, 67},
                 {m_btnClose, 70, 69},  {m_btnDisable, 85, 71}, {m_btnEnable, 86, 71},
                 {m_btnRemove, 74, 73}, {m_btnRename, 76, 75},  {m_btnConfigure, 81, 82},
                 {m_btnOrder, 83, 84},  {m_btnTweak, 93, 94},   {m_btnReport, 114, 115},
                 {m_btnUndo, 116, 117}};
    for (const Tool& t : tools) {
        t.button->setText(caption(t.text));
        SetHint(t.button, caption(t.hint));
    }
    m_btnIniEdit->setText(caption(112));
    SetHint(m_btnIniEdit, caption(113));
    m_tabControl1->setToolTip(caption(88));
    m_mnuFileMenu->setTitle(caption(460));
    m_mnuExportPlugins->setText(caption(461));
    m_mnuImportPlugins->setText(caption(462));
    m_mnuEditMenu->setTitle(caption(400));
    m_mnuUndo->setText(caption(401));
    m_mnuRedo->setText(caption(118));
    m_mnuHistory->setText(caption(402));
    m_mnuCheck->setText(caption(403));
    m_popHistory->setText(FromAnsi(GetCaptionNoAccel(402)));
    m_popCheck->setText(FromAnsi(GetCaptionNoAccel(403)));
    UpdateUndoAction();
    m_mnuFilter->setText(caption(404));
    m_mnuDetails->setText(caption(405));
    m_mnuHelpMenu->setTitle(caption(407));
    m_mnuHelpDetect->setText(caption(408));
    m_mnuHelpCommandLine->setText(caption(409));
    m_mnuHelpAbout->setText(caption(67));
    m_ffFilter->setPlaceholderText(FromAnsi(GetCaptionNoAccel(406)));
    m_columnCaptions = {GetCaption(77), TextBefore(GetCaption(111), ":"),
                        GetCaption(78), GetCaption(79),
                        GetCaption(80), GetCaption(92),
                        GetCaption(90)};
    UpdateSortMarks();
    for (int k = 0; k < 4; ++k)
        m_kindShortNames[static_cast<size_t>(k)] = KindShortName(Message(Msg::KindLister + k));

    LayoutToolButtons();

    auto text = [](TMenuSpeedButton* b) { return b->text(); };
    m_mnuDisable->setText(text(m_btnDisable));
    m_mnuEnable->setText(text(m_btnEnable));
    m_mnuUninstall->setText(text(m_btnRemove) + "\tDel");
    m_mnuRename->setText(text(m_btnRename) + "\tF6");
    m_mnuTweak->setText(text(m_btnTweak) + "\tF6");
    m_mnuConfigure->setText(text(m_btnConfigure) + "\tF9");
    m_mnuBrowse->setText(caption(89) + "\tF4");
    m_mnuInstall->setText(caption(64) + "...\tIns");
    m_mnuInstallZip->setText(caption(91));
    m_mnu2Install->setText(m_mnuInstall->text());
    m_mnu2InstallZip->setText(m_mnuInstallZip->text());
    m_mnuOrder->setText(caption(83) + "\t\tCtrl+O");
    m_mnuRefresh->setText(caption(87) + "\tCtrl+R");
}

void TFormTCVarnel::LayoutToolButtons() {
    // Disable/Enable and Rename/Tweak each share one place; the place is as wide as the wider
    // caption of the pair, so that neither is cut off. A null entry is the gap before Options.
    const std::pair<TMenuSpeedButton*, TMenuSpeedButton*> sequence[] = {
        {m_btnAdd, nullptr},       {m_btnDisable, m_btnEnable}, {m_btnRemove, nullptr},
        {m_btnRename, m_btnTweak}, {m_btnConfigure, nullptr},   {m_btnOrder, nullptr},
        {m_btnUndo, nullptr},      {nullptr, nullptr},          {m_btnOptions, nullptr},
        {m_btnReport, nullptr},    {m_btnAbout, nullptr},       {m_btnClose, nullptr}};
    QFontMetrics metrics(font());
    auto widthOf = [&](TMenuSpeedButton* b) {
        QString text = b->text();
        int width = metrics.horizontalAdvance(text) + 2;
        if (!text.contains('&'))
            width += 4;
        // The style's own padding around the caption must fit too, or the caption is cut.
        return std::max({width, 55, b->sizeHint().width()});
    };
    m_toolSlots.clear();
    int left = 0;
    bool afterGap = false;
    m_toolRowHeight = 0;
    for (const auto& [button, partner] : sequence) {
        if (!button) {
            afterGap = true;
            continue;
        }
        int width = widthOf(button);
        if (partner)
            width = std::max(width, widthOf(partner));
        if (afterGap) {
            left += 20;
            afterGap = false;
        }
        m_toolRowHeight = std::max(m_toolRowHeight, button->sizeHint().height());
        m_toolSlots.push_back({button, partner, left, width, false});
        left += width;
    }
    m_toolRow->setFixedHeight(m_toolRowHeight);
    // Longer captions (another language) widen a window of the design width so that every button
    // shows; a window the user made smaller keeps its size and the overflow menu holds the rest.
    QMargins outer = centralWidget()->layout()->contentsMargins();
    QMargins inner = m_panel2->layout()->contentsMargins();
    int chrome = outer.left() + outer.right() + inner.left() + inner.right() + 2 * m_panel2->frameWidth();
    if (width() == kDesignWidth && left + chrome > width())
        resize(left + chrome, height());
    PlaceToolButtons();
}

void TFormTCVarnel::PlaceToolButtons() {
    const int room = m_toolRow->width();
    const int needed = m_toolSlots.empty() ? 0 : m_toolSlots.back().left + m_toolSlots.back().width;
    const bool overflow = needed > room;
    const int moreWidth = m_toolMore->sizeHint().width();
    for (ToolSlot& slot : m_toolSlots) {
        slot.overflowed = overflow && slot.left + slot.width > room - moreWidth;
        // A button without room is moved out of the row, not hidden: its visibility keeps
        // saying which one of a pair the selection calls for.
        int left = slot.overflowed ? room + slot.left : slot.left;
        slot.button->setGeometry(left, 0, slot.width, m_toolRowHeight);
        if (slot.partner)
            slot.partner->setGeometry(left, 0, slot.width, m_toolRowHeight);
    }
    m_toolMore->setVisible(overflow);
    if (overflow) {
        m_toolMore->setGeometry(room - moreWidth, 0, moreWidth, m_toolRowHeight);
        m_toolMore->raise();
    }
}

void TFormTCVarnel::FillToolOverflowMenu() {
    m_toolMoreMenu->clear();
    for (const ToolSlot& slot : m_toolSlots) {
        if (!slot.overflowed)
            continue;
        TMenuSpeedButton* shown =
            slot.partner && slot.partner->isVisibleTo(m_toolRow) ? slot.partner : slot.button;
        QAction* action = m_toolMoreMenu->addAction(shown->icon(), shown->text());
        action->setEnabled(shown->isEnabled());
        action->setToolTip(shown->toolTip());
        if (shown->DropDownMenu())
            action->setMenu(shown->DropDownMenu());
        else
            connect(action, &QAction::triggered, shown, &TMenuSpeedButton::RunCommand);
    }
}

// ---- Sizing and closing ------------------------------------------------------------------

void TFormTCVarnel::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    PlaceSizeGrip();
    if (m_created)
        FitNameColumn();
}

void TFormTCVarnel::PlaceSizeGrip() {
    bool grip = !m_statusBar1->isVisibleTo(this);
    static_cast<SizeGripCorner*>(m_sizeGrip)->SetShown(grip);
    if (grip) {
        m_sizeGrip->move(width() - kSizeGrip, height() - kSizeGrip);
        m_sizeGrip->raise();
    }
}

void TFormTCVarnel::SaveWindowSettings() {
    Settings& s = AppSettings();
    s.Left = pos().x();
    s.Top = pos().y();
    s.Width = width();
    s.Height = height();
    for (int c = 0; c < kPluginListColumns; ++c)
        s.ColumnWidths[static_cast<size_t>(c)] =
            m_listView1->isColumnHidden(c) ? 0 : m_listView1->columnWidth(c);
    s.TabIndex = SelectedTab();
    s.RefreshInterval = m_timer1->interval();
    WriteSettingsAtExit(s);
}

void TFormTCVarnel::closeEvent(QCloseEvent* event) {
    if (BusyWaiting()) {
        event->ignore(); // the command under way finishes first
        return;
    }
    QMainWindow::closeEvent(event);
    if (event->isAccepted() && m_created && !m_oneShot) {
        m_timer1->stop();
        SaveWindowSettings();
        m_created = false; // written once
    }
}

} // namespace varnel
