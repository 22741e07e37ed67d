#pragma once
// The History dialog: the changes TC Varnel made, newest first; "Undo to here" takes back the
// chosen one and every later one still in effect.

#include <QDialog>

class QPushButton;
class QTreeWidget;

namespace varnel {

class TFormHistory : public QDialog {
    Q_OBJECT
public:
    explicit TFormHistory(QWidget* parent = nullptr);

    void btnUndoToHereClick();
    // True when an undo changed a file (the main window then reads the host again).
    bool Changed() const { return m_changed; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Fill();

    QTreeWidget* m_listView1 = nullptr;
    QPushButton* m_btnUndoToHere = nullptr;
    QPushButton* m_btnClose = nullptr;
    bool m_changed = false;
    bool m_widened = false;
};

} // namespace varnel
