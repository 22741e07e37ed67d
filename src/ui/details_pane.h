#pragma once
// The details pane below the plugin list: everything known about the selected plugin, with links
// that open its settings file, its Descript.ion and its folder.

#include <QTextBrowser>
#include <string>
#include <vector>

namespace varnel {

class TDetailsPane : public QTextBrowser {
    Q_OBJECT
public:
    explicit TDetailsPane(QWidget* parent = nullptr);

    // Shows the plugin of a table row (0: none).
    void ShowPlugin(int tableRow);
    // The targets the links open, in the order the pane shows them (tests look at them).
    const std::vector<std::string>& LinkTargets() const { return m_targets; }

private:
    std::vector<std::string> m_targets;
};

} // namespace varnel
