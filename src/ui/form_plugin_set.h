#pragma once
// The plugin set dialog: a list of plugins, each with a box and a line on what happens to it, for
// choosing what to export and for the plan of an import.

#include <QDialog>
#include <memory>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace varnel {

class PluginSetImport;

class TFormPluginSet : public QDialog {
    Q_OBJECT
public:
    struct Row {
        QString plugin;
        QString what;
        bool checked = true;
        bool enabled = true; // false: shown, with its box off and greyed
    };
    // whatColumn: the heading over each row's line (the file, or what an import does).
    TFormPluginSet(QWidget* parent, const QString& title, const QString& label, const QString& whatColumn,
                   const QString& okText, const std::vector<Row>& rows);

    // Each row's box, in the order given.
    std::vector<bool> Checked() const;

private:
    void UpdateOk();

    QTreeWidget* m_listView1 = nullptr;
    QLabel* m_label1 = nullptr;
    QPushButton* m_btnOk = nullptr;
    QPushButton* m_btnCancel = nullptr;
};

// The dialog for an import's plan: each plugin of the set with what importing it does here,
// ticked as the plan chose (those here already greyed).
std::unique_ptr<TFormPluginSet> MakeImportDialog(QWidget* parent, const PluginSetImport& set);

} // namespace varnel
