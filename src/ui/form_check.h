#pragma once
// The Check dialog: what is wrong with the host's plugins, each finding with its repair; the
// ticked repairs run as one change.

#include "ops/health_check.h"

#include <QDialog>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace varnel {

class TFormCheck : public QDialog {
    Q_OBJECT
public:
    explicit TFormCheck(QWidget* parent = nullptr);

    void btnRepairClick();
    void btnCheckAgainClick();
    bool Changed() const { return m_changed; }

private:
    void Fill();

    std::vector<HealthFinding> m_findings;
    QTreeWidget* m_listView1 = nullptr;
    QLabel* m_label1 = nullptr;
    QPushButton* m_btnRepair = nullptr;
    QPushButton* m_btnCheckAgain = nullptr;
    QPushButton* m_btnClose = nullptr;
    bool m_changed = false;
};

} // namespace varnel
