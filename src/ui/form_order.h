#pragma once
// The Order dialog: the plugins of one kind in the order the host tries them; Up, Down, Ctrl+Up,
// Ctrl+Down and dragging move the selected one, OK writes the order.

#include "catalog/plugin_table.h"
#include "ops/plugin_order.h"
#include "platform/profile.h"

#include <QDialog>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace varnel {

class TFormOrder : public QDialog {
    Q_OBJECT
public:
    // `startFile`: the module the user started from, selected when the dialog opens.
    TFormOrder(PluginKind orderKind, QWidget* parent = nullptr, std::string startFile = {});
    ~TFormOrder() override;

    PluginKind OrderKind() const { return m_orderKind; }

    void btnUpClick();
    void btnDownClick();
    void btnOkClick();
    // Moves the selected row to `to` and keeps it selected.
    void MoveSelectedTo(int to);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void done(int result) override;

private:
    void Fill(int select);
    int SelectedRow() const;
    void UpdateButtons();

    PluginKind m_orderKind;
    std::string m_startFile;
    std::unique_ptr<PluginOrder> m_order;
    std::optional<platform::ProfileSnapshot> m_since;
    std::vector<int> m_unsizedColumns;
    bool m_fitWidth = false; // no width stored yet // the host's file as the list was read
    QLabel* m_label1 = nullptr;
    QTreeWidget* m_listView1 = nullptr;
    QPushButton* m_btnOk = nullptr;
    QPushButton* m_btnCancel = nullptr;
    QPushButton* m_btnUp = nullptr;
    QPushButton* m_btnDown = nullptr;
};

} // namespace varnel
