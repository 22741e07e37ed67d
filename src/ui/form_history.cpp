#include "ui/form_history.h"

#include "lang/language.h"
#include "lang/messages.h"
#include "ops/command.h"
#include "ops/history.h"
#include "ui/fit_to_content.h"
#include "ui/qt_text.h"
#include "util/text.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTreeWidget>

namespace varnel {

TFormHistory::TFormHistory(QWidget* parent) : QDialog(parent) {
    setObjectName("TFormHistory");
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowTitle(FromAnsi(GetCaptionNoAccel(410)));
    m_listView1 = new QTreeWidget(this);
    m_listView1->setObjectName("ListView1");
    m_listView1->setRootIsDecorated(false);
    m_listView1->setColumnCount(3);
    m_listView1->setHeaderLabels(
        {FromAnsi(GetCaption(411)), FromAnsi(GetCaption(412)), FromAnsi(GetCaption(413))});
    m_listView1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listView1->setColumnWidth(0, 130);
    m_listView1->setColumnWidth(1, 330);
    m_btnUndoToHere = new QPushButton(FromAnsi(GetCaption(414)), this);
    m_btnUndoToHere->setObjectName("btnUndoToHere");
    m_btnClose = new QPushButton(FromAnsi(GetCaption(70)), this);
    m_btnClose->setObjectName("btnClose");
    m_btnClose->setDefault(true);
    connect(m_btnUndoToHere, &QPushButton::clicked, this, [this] { btnUndoToHereClick(); });
    connect(m_btnClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_listView1, &QTreeWidget::currentItemChanged, this, [this] {
        const QTreeWidgetItem* item = m_listView1->currentItem();
        m_btnUndoToHere->setEnabled(item && item->data(0, Qt::UserRole + 1).toBool());
    });
    connect(m_listView1, &QTreeWidget::itemDoubleClicked, this, [this] { btnUndoToHereClick(); });

    auto* layout = new QGridLayout(this);
    layout->addWidget(m_listView1, 0, 0, 1, 3);
    layout->addWidget(m_btnUndoToHere, 1, 0);
    layout->setColumnStretch(1, 1);
    layout->addWidget(m_btnClose, 1, 2);
    resize(760, 380);
    Fill();
}

void TFormHistory::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Laid out now: wide enough for the changes, within the screen.
    if (!m_widened) {
        m_widened = true;
        WidenToColumns(this, m_listView1);
    }
}

void TFormHistory::Fill() {
    m_listView1->clear();
    std::vector<std::string> skipped;
    const std::vector<HistoryRecord> records = LoadHistory(false, &skipped);
    const std::vector<bool> inEffect = RecordsInEffect(records);
    for (size_t i = records.size(); i-- > 0;) {
        const HistoryRecord& record = records[i];
        auto* item = new QTreeWidgetItem(m_listView1);
        const std::string description =
            inEffect[i] ? record.description : GetCaptionNoAccel(415) + " " + record.description;
        std::string time = record.time; // ISO 8601, shown with a blank between date and time
        if (time.size() == 19 && time[10] == 'T')
            time[10] = ' ';
        item->setText(0, FromAnsi(time));
        item->setText(1, FromAnsi(description));
        item->setText(2, FromAnsi(RecordFilesText(record, 3)));
        item->setToolTip(1, FromAnsi(description));
        item->setToolTip(2, FromAnsi(RecordFilesText(record, 20, "\n")));
        item->setData(0, Qt::UserRole, QVariant::fromValue<qulonglong>(record.id));
        item->setData(0, Qt::UserRole + 1, static_cast<bool>(inEffect[i]));
        if (!inEffect[i])
            for (int c = 0; c < 3; ++c)
                item->setForeground(c, palette().brush(QPalette::Disabled, QPalette::Text));
    }
    // A damaged record file is named, below the others, and cannot be undone to.
    for (const std::string& name : skipped) {
        auto* item = new QTreeWidgetItem(m_listView1);
        item->setText(1, FromAnsi(FormatPrintf(Message(Msg::HistoryRecordDamaged), {name})));
        item->setToolTip(1, item->text(1));
        item->setData(0, Qt::UserRole + 1, false);
        for (int c = 0; c < 3; ++c)
            item->setForeground(c, palette().brush(QPalette::Disabled, QPalette::Text));
    }
    // Times and changes whole (a long change up to half the screen; its tooltip has it all).
    FitColumns(m_listView1, screen()->availableGeometry().width() / 2);
    if (m_listView1->topLevelItemCount() > 0)
        m_listView1->setCurrentItem(m_listView1->topLevelItem(0));
    m_btnUndoToHere->setEnabled(m_listView1->currentItem() &&
                                m_listView1->currentItem()->data(0, Qt::UserRole + 1).toBool());
}

void TFormHistory::btnUndoToHereClick() {
    const QTreeWidgetItem* item = m_listView1->currentItem();
    if (!item || !item->data(0, Qt::UserRole + 1).toBool())
        return;
    const uint64_t id = item->data(0, Qt::UserRole).toULongLong();
    // More than one change goes back only when the user agrees, knowing how many.
    const std::vector<HistoryRecord> taken = ChangesToUndo(id);
    if (taken.size() > 1 &&
        ShowAppMessage(FormatPrintf(Message(Msg::ConfirmUndoMany),
                                    {static_cast<int>(taken.size()), taken.back().description}),
                       kStyleQuestion) != kIdOk)
        return;
    UndoToRecord(ProgramContext(), id);
    m_changed = true;
    Fill();
}

} // namespace varnel
