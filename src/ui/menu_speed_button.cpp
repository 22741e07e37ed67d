#include "ui/menu_speed_button.h"

#include <QMenu>

namespace varnel {

TMenuSpeedButton::TMenuSpeedButton(QWidget* parent) : QToolButton(parent) {
    setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    setAutoRaise(true);
    setIconSize(QSize(24, 24));
    setFocusPolicy(Qt::NoFocus);
    // QToolButton emits clicked() only for a release inside the button.
    connect(this, &QToolButton::clicked, this, &TMenuSpeedButton::OnClicked);
}

void TMenuSpeedButton::SetDropDownMenu(QMenu* menu) {
    m_dropDown = menu;
    // Set as the button's menu only for the arrow it draws: a press held down shows the menu too,
    // a click still runs the command first (OnClicked).
    setMenu(menu);
    setPopupMode(QToolButton::DelayedPopup);
}

void TMenuSpeedButton::RunCommand() {
    if (m_command)
        m_command();
}

void TMenuSpeedButton::OnClicked() {
    RunCommand();
    if (m_dropDown && isVisible()) {
        emit dropDownShown();
        m_dropDown->popup(mapToGlobal(rect().bottomLeft()));
    }
}

} // namespace varnel
