#include "ui/form_check.h"

#include "catalog/plugin_table.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ui/fit_to_content.h"
#include "ui/qt_text.h"
#include "util/text.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

namespace varnel {

TFormCheck::TFormCheck(QWidget* parent) : QDialog(parent) {
    setObjectName("TFormCheck");
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowTitle(FromAnsi(GetCaptionNoAccel(420)));
    m_label1 = new QLabel(this);
    m_label1->setObjectName("Label1");
    m_listView1 = new QTreeWidget(this);
    m_listView1->setObjectName("ListView1");
    m_listView1->setRootIsDecorated(false);
    m_listView1->setColumnCount(2);
    m_listView1->setHeaderLabels({FromAnsi(GetCaption(421)), FromAnsi(GetCaption(422))});
    m_listView1->setColumnWidth(0, 560);
    m_listView1->setWordWrap(true);
    m_btnRepair = new QPushButton(FromAnsi(GetCaption(423)), this);
    m_btnRepair->setObjectName("btnRepair");
    m_btnCheckAgain = new QPushButton(FromAnsi(GetCaption(424)), this);
    m_btnCheckAgain->setObjectName("btnCheckAgain");
    m_btnClose = new QPushButton(FromAnsi(GetCaption(70)), this);
    m_btnClose->setObjectName("btnClose");
    m_btnClose->setDefault(true);
    connect(m_btnRepair, &QPushButton::clicked, this, [this] { btnRepairClick(); });
    connect(m_btnCheckAgain, &QPushButton::clicked, this, [this] { btnCheckAgainClick(); });
    connect(m_btnClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_listView1, &QTreeWidget::itemChanged, this, [this] {
        bool any = false;
        for (int i = 0; i < m_listView1->topLevelItemCount(); ++i)
            any = any || m_listView1->topLevelItem(i)->checkState(0) == Qt::Checked;
        m_btnRepair->setEnabled(any);
    });

    auto* layout = new QGridLayout(this);
    layout->addWidget(m_label1, 0, 0, 1, 4);
    layout->addWidget(m_listView1, 1, 0, 1, 4);
    layout->addWidget(m_btnRepair, 2, 0);
    layout->addWidget(m_btnCheckAgain, 2, 1);
    layout->setColumnStretch(2, 1);
    layout->addWidget(m_btnClose, 2, 3);
    resize(820, 400);
    Fill();
}

void TFormCheck::Fill() {
    m_findings = CheckHostHealth(ProgramContext());
    QSignalBlocker block(m_listView1);
    m_listView1->clear();
    for (const HealthFinding& finding : m_findings) {
        auto* item = new QTreeWidgetItem(m_listView1);
        // Long paths wrap in their column instead of being cut.
        item->setText(0, WrappablePath(FromAnsi(finding.text)));
        item->setToolTip(0, FromAnsi(finding.text));
        item->setText(1, WrappablePath(FromAnsi(finding.repair)));
        if (finding.repairable) {
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(0, finding.safe ? Qt::Checked : Qt::Unchecked);
        } else {
            item->setForeground(1, palette().brush(QPalette::Disabled, QPalette::Text));
        }
    }
    m_label1->setText(
        m_findings.empty() ? FromAnsi(Message(Msg::CheckNothingWrong))
        : m_findings.size() == 1
            ? FromAnsi(Message(Msg::CheckOneProblem))
            : FromAnsi(FormatPrintf(Message(Msg::CheckProblems), {static_cast<int>(m_findings.size())})));
    bool any = false;
    for (const HealthFinding& finding : m_findings)
        any = any || (finding.repairable && finding.safe);
    m_btnRepair->setEnabled(any);
}

void TFormCheck::btnRepairClick() {
    std::vector<HealthFinding> picked;
    for (int i = 0; i < m_listView1->topLevelItemCount() && i < static_cast<int>(m_findings.size()); ++i)
        if (m_listView1->topLevelItem(i)->checkState(0) == Qt::Checked)
            picked.push_back(m_findings[static_cast<size_t>(i)]);
    if (picked.empty())
        return;
    RepairFindings(ProgramContext(), picked);
    m_changed = true;
    LoadTable(false);
    Fill();
}

void TFormCheck::btnCheckAgainClick() {
    LoadTable(false);
    Fill();
}

} // namespace varnel
