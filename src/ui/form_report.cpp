#include "ui/form_report.h"

#include "app/settings.h"
#include "lang/language.h"
#include "ui/qt_text.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace varnel {

TFormReport::TFormReport(QWidget* parent) : QDialog(parent) {
    setObjectName("TFormReport");
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    auto* panel = new QFrame(this);
    panel->setObjectName("Panel1");
    panel->setFrameShape(QFrame::StyledPanel);
    auto label = [panel](const char* name) {
        auto* l = new QLabel(panel);
        l->setObjectName(name);
        return l;
    };
    auto box = [panel](const char* name) {
        auto* b = new QCheckBox(panel);
        b->setObjectName(name);
        return b;
    };
    m_label1 = label("Label1");
    m_label1->setWordWrap(true);
    m_label2 = label("Label2");
    m_sFile = new QLineEdit(panel);
    m_sFile->setObjectName("sFile");
    m_sFile->setMinimumWidth(320);
    m_label3 = label("Label3");
    m_fName = box("fName");
    m_fVersion = box("fVersion");
    m_fState = box("fState");
    m_fAssoc = box("fAssoc");
    m_fFileName = box("fFileName");
    m_btnOk = new QPushButton(this);
    m_btnOk->setObjectName("btnOk");
    m_btnOk->setDefault(true);
    m_btnCancel = new QPushButton(this);
    m_btnCancel->setObjectName("btnCancel");
    connect(m_btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* columns = new QGridLayout;
    columns->addWidget(m_fName, 0, 0);
    columns->addWidget(m_fVersion, 0, 1);
    columns->addWidget(m_fState, 0, 2);
    columns->addWidget(m_fAssoc, 1, 0);
    columns->addWidget(m_fFileName, 1, 1);
    auto* inside = new QVBoxLayout(panel);
    inside->addWidget(m_label1);
    inside->addWidget(m_label2);
    inside->addWidget(m_sFile);
    inside->addWidget(m_label3);
    inside->addLayout(columns);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_btnOk);
    buttons->addWidget(m_btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setTabOrder(m_sFile, m_fName);
    setTabOrder(m_fName, m_fVersion);
    setTabOrder(m_fVersion, m_fState);
    setTabOrder(m_fState, m_fAssoc);
    setTabOrder(m_fAssoc, m_fFileName);
    setTabOrder(m_fFileName, m_btnOk);
    setTabOrder(m_btnOk, m_btnCancel);
}

void TFormReport::LoadSettings() {
    const Settings& s = AppSettings();
    m_sFile->setText(FromAnsi(s.ReportFile));
    m_fName->setChecked(s.ReportName);
    m_fVersion->setChecked(s.ReportVersion);
    m_fState->setChecked(s.ReportState);
    m_fAssoc->setChecked(s.ReportAssoc);
    m_fFileName->setChecked(s.ReportFileName);
}

void TFormReport::StoreSettings() const {
    Settings& s = AppSettings();
    s.ReportFile = ToAnsi(m_sFile->text());
    s.ReportName = m_fName->isChecked();
    s.ReportVersion = m_fVersion->isChecked();
    s.ReportState = m_fState->isChecked();
    s.ReportAssoc = m_fAssoc->isChecked();
    s.ReportFileName = m_fFileName->isChecked();
}

void TFormReport::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    auto caption = [](int n) { return FromAnsi(GetCaption(n)); };
    setWindowTitle(caption(350));
    m_btnOk->setText(caption(105));
    m_btnCancel->setText(caption(151));
    m_label1->setText(caption(351));
    m_label2->setText(caption(352));
    m_label3->setText(caption(353));
    m_fName->setText(caption(354));
    m_fVersion->setText(caption(356));
    m_fState->setText(caption(357));
    m_fAssoc->setText(caption(358));
    m_fFileName->setText(caption(359));
    m_sFile->setFocus();
}

} // namespace varnel
