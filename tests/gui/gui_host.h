#pragma once
// A window test's world: a fresh copy of the demo host, a portable program folder with the
// shipped language files, scripted message boxes and dialogs, and the main window on top.

#include <QAction>
#include <QApplication>
#include <QTableWidget>
#include <memory>
#include <string>

#include "demo_host.h"
#include "message_log.h"
#include "scripted_dialogs.h"
#include "temp_prefix.h"
#include "ui/form_tcvarnel.h"

namespace varnel::test {

class GuiHost {
public:
    // settings: extra lines for TC_varnel.ini ("[Options]\r\nShowTypes=0\r\n").
    explicit GuiHost(const std::string& settings = {}, bool makeDemo = true);
    ~GuiHost();

    // Creates and shows the window (the show handler runs, the list is filled).
    TFormTCVarnel& Open(const std::string& firstArgument = {});
    TFormTCVarnel& Window() { return *m_window; }

    template <typename T> T* Find(const char* name) { return m_window->findChild<T*>(name); }
    QAction* Action(const char* name) { return m_window->findChild<QAction*>(name); }
    QTableWidget* List() { return Find<QTableWidget>("ListView1"); }
    // Selects list rows by position (clearing the selection first).
    void Select(std::initializer_list<int> positions);
    std::string RowText(int position, int column);
    std::string WincmdIni() const;
    void SetWincmdIni(const std::string& text) const;

    TempPrefix prefix;
    MessageLog boxes;
    ScriptedDialogs dialogs;

private:
    std::unique_ptr<TFormTCVarnel> m_window;
};

// Waits for queued work of the window (its show handler runs from the event loop).
void Settle();

} // namespace varnel::test
