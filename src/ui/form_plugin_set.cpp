#include "ui/form_plugin_set.h"

#include "lang/language.h"
#include "ops/plugin_set.h"
#include "ui/fit_to_content.h"
#include "ui/qt_text.h"
#include "util/text.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

namespace varnel {

TFormPluginSet::TFormPluginSet(QWidget* parent, const QString& title, const QString& label,
                               const QString& whatColumn, const QString& okText, const std::vector<Row>& rows)
    : QDialog(parent) {
    setObjectName("TFormPluginSet");
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowTitle(title);
    m_label1 = new QLabel(label, this);
    m_label1->setObjectName("Label1");
    m_label1->setWordWrap(true);
    m_listView1 = new QTreeWidget(this);
    m_listView1->setObjectName("ListView1");
    m_listView1->setRootIsDecorated(false);
    m_listView1->setColumnCount(2);
    m_listView1->setHeaderLabels({FromAnsi(GetCaption(463)), whatColumn});
    m_listView1->setColumnWidth(0, 260);
    for (const Row& row : rows) {
        auto* item = new QTreeWidgetItem(m_listView1);
        item->setText(0, row.plugin);
        item->setText(1, WrappablePath(row.what));
        item->setToolTip(1, row.what);
        item->setFlags(row.enabled ? item->flags() | Qt::ItemIsUserCheckable
                                   : item->flags() & ~(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled));
        item->setCheckState(0, row.checked && row.enabled ? Qt::Checked : Qt::Unchecked);
    }
    m_btnOk = new QPushButton(okText, this);
    m_btnOk->setObjectName("btnOk");
    m_btnOk->setDefault(true);
    m_btnCancel = new QPushButton(FromAnsi(GetCaption(151)), this);
    m_btnCancel->setObjectName("btnCancel");
    connect(m_btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_listView1, &QTreeWidget::itemChanged, this, [this] { UpdateOk(); });

    auto* layout = new QGridLayout(this);
    layout->addWidget(m_label1, 0, 0, 1, 3);
    layout->addWidget(m_listView1, 1, 0, 1, 3);
    layout->setColumnStretch(0, 1);
    layout->addWidget(m_btnOk, 2, 1);
    layout->addWidget(m_btnCancel, 2, 2);
    resize(920, 420);
    UpdateOk();
}

std::vector<bool> TFormPluginSet::Checked() const {
    std::vector<bool> checked;
    for (int i = 0; i < m_listView1->topLevelItemCount(); ++i)
        checked.push_back(m_listView1->topLevelItem(i)->checkState(0) == Qt::Checked);
    return checked;
}

// Nothing ticked, nothing to do.
void TFormPluginSet::UpdateOk() {
    bool any = false;
    for (bool checked : Checked())
        any = any || checked;
    m_btnOk->setEnabled(any);
}

std::unique_ptr<TFormPluginSet> MakeImportDialog(QWidget* parent, const PluginSetImport& set) {
    std::vector<TFormPluginSet::Row> shown;
    for (const ImportItem& item : set.Items())
        shown.push_back({FromAnsi(FormatPrintf(
                             "%s (%s)", {item.plugin.name,
                                         std::string(kKindWords[static_cast<size_t>(item.plugin.kind)])})),
                         FromAnsi(FormatPrintf("%s: %s", {ImportPlanText(item), item.target})), item.chosen,
                         item.action != ImportAction::Same});
    return std::make_unique<TFormPluginSet>(parent, FromAnsi(GetCaptionNoAccel(462)),
                                            FromAnsi(GetCaption(469)), FromAnsi(GetCaption(464)),
                                            FromAnsi(GetCaption(466)), shown);
}

} // namespace varnel
