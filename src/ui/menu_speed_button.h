#pragma once
// The flat tool button of the main window: glyph above caption; a left click released inside runs
// the button's command and then opens its drop-down menu, if it has one, below the button.

#include <QToolButton>
#include <functional>

class QMenu;

namespace varnel {

class TMenuSpeedButton : public QToolButton {
    Q_OBJECT
public:
    explicit TMenuSpeedButton(QWidget* parent = nullptr);

    void SetClickCommand(std::function<void()> command) { m_command = std::move(command); }
    // The button then shows the small arrow of a button with a menu.
    void SetDropDownMenu(QMenu* menu);
    QMenu* DropDownMenu() const { return m_dropDown; }

    // Runs what a click runs (the command, then the menu). Keyboard shortcuts call the command only.
    void RunCommand();

signals:
    void dropDownShown();

private:
    void OnClicked();

    std::function<void()> m_command;
    QMenu* m_dropDown = nullptr;
};

} // namespace varnel
