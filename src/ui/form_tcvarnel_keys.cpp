// The main window: the keyboard map.
#include "ui/form_tcvarnel.h"

#include "ui/busy_wait.h"
#include "ui/menu_speed_button.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QTableWidget>
#include <QTimer>
#include <QToolTip>

namespace varnel {

// ---- Keys ----------------------------------------------------------------

bool TFormTCVarnel::eventFilter(QObject* watched, QEvent* event) {
    // The application filter also sees the tool row being resized: its buttons follow.
    if (watched == m_toolRow && event->type() == QEvent::Resize)
        PlaceToolButtons();
    // Coming back to the window after another program (varnel, a second TC Varnel, the host)
    // changed the configuration shows the change at once, whatever the refresh timer does.
    if (watched == this && event->type() == QEvent::WindowActivate && m_hostFound && !BusyWaiting() &&
        HostConfigChangedSinceFill())
        QTimer::singleShot(0, this, [this] { FillList(); });
    if (watched == m_listView1->viewport() && event->type() == QEvent::ToolTip) {
        if (!ShowCellToolTip(static_cast<QHelpEvent*>(event)->pos()))
            QToolTip::hideText();
        return true;
    }
    if (event->type() == QEvent::KeyPress && isActiveWindow()) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Esc empties the filter; in the filter box, the keys other than F1 to F12 are the box's own.
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier &&
            !m_ffFilter->text().isEmpty() && watched == (focusWidget() ? focusWidget() : this)) {
            m_ffFilter->clear();
            m_listView1->setFocus();
            return true;
        }
        // Function keys still run their commands from there.
        const bool functionKey = key->key() >= Qt::Key_F1 && key->key() <= Qt::Key_F12;
        if (focusWidget() == m_ffFilter && !functionKey) {
            if (watched == m_ffFilter && (key->key() == Qt::Key_Down || key->key() == Qt::Key_Return)) {
                m_listView1->setFocus();
                return true;
            }
            return QMainWindow::eventFilter(watched, event);
        }
        // A key the focused control does not take travels on to its parents, and the
        // application's filter sees it at each of them: act on its first delivery only.
        auto* widget = qobject_cast<QWidget*>(watched);
        QWidget* first = focusWidget() ? focusWidget() : this;
        if (widget == first)
            FormKeyDown(key->key(), key->modifiers(), key->modifiers().testFlag(Qt::KeypadModifier));
    }
    return QMainWindow::eventFilter(watched, event); // the focused control still gets the key
}

bool TFormTCVarnel::FormKeyDown(int key, Qt::KeyboardModifiers modifiers, bool keypad) {
    Qt::KeyboardModifiers held = modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    bool none = held == Qt::NoModifier;
    bool ctrl = held == Qt::ControlModifier;
    bool alt = held == Qt::AltModifier;
    bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    auto run = [](QWidget* control, auto handler) {
        if (!control->isEnabled())
            return false;
        handler();
        return true;
    };
    if (key == Qt::Key_A && ctrl) {
        bool placeholderOnly = m_rows.size() == 1 && m_rows.front().placeholder;
        if (!placeholderOnly)
            m_listView1->selectAll();
        return true;
    }
    // Space ticks or unticks the current row's box from any column (in the first, the list does).
    if (key == Qt::Key_Space && none && focusWidget() == m_listView1 && m_listView1->currentColumn() > 0) {
        QTableWidgetItem* box = m_listView1->item(m_listView1->currentRow(), 0);
        if (box && (box->flags() & Qt::ItemIsUserCheckable))
            box->setCheckState(box->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        return true;
    }
    if ((key == Qt::Key_Delete || key == Qt::Key_F8) && none)
        return run(m_btnRemove, [this] { btnRemoveClick(); });
    if (key == Qt::Key_Insert && none)
        return run(m_btnAdd, [this] {
            if (CommandAvailable("btnAddClick"))
                btnAddClick();
        });
    if (key == Qt::Key_Insert && ctrl)
        return run(m_btnAdd, [this] {
            if (CommandAvailable("mnuInstallZipClick"))
                mnuInstallZipClick();
        });
    if (key == Qt::Key_F6 && none) {
        if (m_btnRename->isEnabled() && m_btnRename->isVisible())
            return run(m_btnRename, [this] { btnRenameClick(); });
        return run(m_btnTweak, [this] { btnTweakClick(); });
    }
    if ((key == Qt::Key_F9 && none) || (enter && alt))
        return run(m_btnConfigure, [this] { btnConfigureClick(); });
    if (key == Qt::Key_F4 && none) {
        if (!m_mnuBrowse->isEnabled())
            return false;
        mnuBrowseClick();
        return true;
    }
    if (enter && none)
        return run(m_btnDisable, [this] { btnDisableClick(); });
    if (key == Qt::Key_O && ctrl)
        return run(m_btnOrder, [this] { btnOrderClick(); });
    if (key == Qt::Key_R && ctrl) {
        btnRefreshClick();
        return true;
    }
    if (key == Qt::Key_Z && ctrl) {
        if (!m_mnuUninstall->isEnabled() || !CommandAvailable("mnuDescClick"))
            return false;
        mnuDescClick();
        return true;
    }
    // Main-keyboard digits 1 to 5, with any modifiers (Shift turns them into !"#$% on US keyboards).
    static const int digitKeys[5][2] = {{Qt::Key_1, Qt::Key_Exclam},
                                        {Qt::Key_2, Qt::Key_At},
                                        {Qt::Key_3, Qt::Key_NumberSign},
                                        {Qt::Key_4, Qt::Key_Dollar},
                                        {Qt::Key_5, Qt::Key_Percent}};
    if (!keypad) {
        for (int d = 0; d < 5; ++d) {
            if (key != digitKeys[d][0] && key != digitKeys[d][1])
                continue;
            if (d < m_tabControl1->count()) {
                QSignalBlocker block(m_tabControl1);
                m_tabControl1->setCurrentIndex(d);
            }
            TabControl1Change();
            return true;
        }
    }
    if (key == Qt::Key_F1 && none) {
        if (!CommandAvailable("btnAboutClick"))
            return false;
        btnAboutClick();
        return true;
    }
    return false;
}

} // namespace varnel
