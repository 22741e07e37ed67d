#include "ui/form_order.h"

#include "app/settings.h"
#include "catalog/host_config.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/command.h"
#include "ops/history.h"
#include "ops/install.h"
#include "ops/plugin_list.h"
#include "ui/fit_to_content.h"
#include "ui/qt_text.h"
#include "util/text.h"

#include <QDropEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSizeGrip>
#include <QTreeWidget>
#include <algorithm>

namespace varnel {

namespace {

constexpr int kColumns = 3; // plugin, registration, file

// The list: a row dragged to another place is moved there through the dialog.
class OrderList : public QTreeWidget {
public:
    OrderList(TFormOrder* form, QWidget* parent) : QTreeWidget(parent), m_form(form) {
        setDragDropMode(QAbstractItemView::InternalMove);
        setDefaultDropAction(Qt::MoveAction);
    }

protected:
    void dropEvent(QDropEvent* event) override {
        event->setDropAction(Qt::IgnoreAction); // the dialog moves the row itself
        event->accept();
        QModelIndex target = indexAt(event->position().toPoint());
        int to = target.isValid() ? target.row() : topLevelItemCount() - 1;
        if (target.isValid() && dropIndicatorPosition() == QAbstractItemView::BelowItem)
            ++to;
        const int from = currentIndex().row();
        if (to > from)
            --to; // the rows below the moved one shift up
        m_form->MoveSelectedTo(std::clamp(to, 0, topLevelItemCount() - 1));
    }

private:
    TFormOrder* m_form;
};

} // namespace

TFormOrder::TFormOrder(PluginKind orderKind, QWidget* parent, std::string startFile)
    : QDialog(parent), m_orderKind(orderKind), m_startFile(std::move(startFile)) {
    setObjectName("TFormOrder");
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    m_label1 = new QLabel(this);
    m_label1->setObjectName("Label1");
    m_listView1 = new OrderList(this, this);
    m_listView1->setObjectName("ListView1");
    m_listView1->setRootIsDecorated(false);
    m_listView1->setColumnCount(kColumns);
    m_listView1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listView1->installEventFilter(this);
    connect(m_listView1, &QTreeWidget::currentItemChanged, this, [this] { UpdateButtons(); });
    auto button = [this](const char* name, void (TFormOrder::*handler)()) {
        auto* b = new QPushButton(this);
        b->setObjectName(name);
        connect(b, &QPushButton::clicked, this, handler);
        return b;
    };
    m_btnOk = button("btnOk", &TFormOrder::btnOkClick);
    m_btnOk->setDefault(true);
    // Leaving without writing needs no key to know (Escape does the same).
    m_btnCancel = button("btnCancel", &TFormOrder::reject);
    m_btnCancel->setAutoDefault(false);
    m_btnUp = button("btnUp", &TFormOrder::btnUpClick);
    m_btnDown = button("btnDown", &TFormOrder::btnDownClick);
    m_btnUp->setAutoDefault(false);
    m_btnDown->setAutoDefault(false);

    auto* layout = new QGridLayout(this);
    layout->addWidget(m_label1, 0, 0, 1, 2);
    layout->addWidget(m_btnOk, 1, 1);
    layout->addWidget(m_btnCancel, 2, 1);
    layout->addWidget(m_btnUp, 3, 1);
    layout->addWidget(m_btnDown, 4, 1);
    layout->setRowStretch(5, 1);
    layout->setColumnStretch(0, 1);
    layout->addWidget(m_listView1, 1, 0, 5, 1);
    layout->addWidget(new QSizeGrip(this), 6, 1, Qt::AlignBottom | Qt::AlignRight);
    setMinimumSize(300, 100);

    const int width = ReadSettingInt("Window", "OrderWidth", 0);
    m_fitWidth = width <= 0;
    resize(m_fitWidth ? 512 : width, ReadSettingInt("Window", "OrderHeight", 254));
    move(ReadSettingInt("Window", "OrderLeft", 130), ReadSettingInt("Window", "OrderTop", 141));
    // Columns without a stored width are fitted to their texts when the rows are there.
    for (int c = 0; c < kColumns; ++c)
        if (const int w = ReadSettingInt("Window", FormatPrintf("OrderColumn%dW", {c}), 0); w > 0)
            m_listView1->setColumnWidth(c, w);
        else
            m_unsizedColumns.push_back(c);
}

TFormOrder::~TFormOrder() = default;

void TFormOrder::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    setWindowTitle(FromAnsi(GetCaptionNoAccel(250)));
    m_btnOk->setText(FromAnsi(GetCaption(105)));
    m_btnCancel->setText(FromAnsi(GetCaption(151)));
    m_btnUp->setText(FromAnsi(GetCaption(252)));
    m_btnDown->setText(FromAnsi(GetCaption(253)));
    m_listView1->setHeaderLabels(
        {FromAnsi(GetCaption(77)), FromAnsi(GetCaption(80)), FromAnsi(GetCaptionNoAccel(413))});
    m_label1->setText(
        FromAnsi(FormatPrintf(GetCaption(251), {KindShortName(Message(Msg::KindLister + m_orderKind))})));
    m_since = HostConfigSnapshot();
    LoadTable(true);
    m_order = std::make_unique<PluginOrder>(Table(), m_orderKind);
    int start = 0;
    for (size_t r = 0; r < m_order->Rows().size(); ++r)
        if (!m_startFile.empty() && EqualsNoCaseAnsi(m_order->Rows()[r].file, m_startFile)) {
            start = static_cast<int>(r);
            break;
        }
    Fill(start);
    if (!m_unsizedColumns.empty()) {
        FitColumns(m_listView1, screen()->availableGeometry().width() / 3);
        for (int c = 0; c < kColumns; ++c)
            if (std::find(m_unsizedColumns.begin(), m_unsizedColumns.end(), c) == m_unsizedColumns.end())
                m_listView1->setColumnWidth(c,
                                            ReadSettingInt("Window", FormatPrintf("OrderColumn%dW", {c}), 0));
        m_unsizedColumns.clear();
    }
    // The first time, the dialog is as wide as its columns need, within the screen.
    if (m_fitWidth) {
        m_fitWidth = false;
        WidenToColumns(this, m_listView1);
    }
}

void TFormOrder::Fill(int select) {
    static const char* const icons[] = {":/icons/lister.svg", ":/icons/packer.svg", ":/icons/fs.svg",
                                        ":/icons/content.svg"};
    const QIcon icon(icons[static_cast<size_t>(m_orderKind)]);
    m_listView1->clear();
    for (const OrderRow& row : m_order->Rows()) {
        auto* item = new QTreeWidgetItem(
            m_listView1, {FromAnsi(row.caption), FromAnsi(row.association), FromAnsi(row.file)});
        item->setToolTip(2, FromAnsi(row.file));
        item->setIcon(0, icon);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled);
    }
    const bool any = m_listView1->topLevelItemCount() > 0;
    m_listView1->setEnabled(any);
    if (any) {
        QTreeWidgetItem* item =
            m_listView1->topLevelItem(std::clamp(select, 0, m_listView1->topLevelItemCount() - 1));
        m_listView1->setCurrentItem(item);
        m_listView1->scrollToItem(item);
    }
    m_listView1->setFocus();
    UpdateButtons();
}

int TFormOrder::SelectedRow() const {
    QTreeWidgetItem* item = m_listView1->currentItem();
    return item ? m_listView1->indexOfTopLevelItem(item) : -1;
}

void TFormOrder::UpdateButtons() {
    const int row = SelectedRow();
    m_btnUp->setEnabled(row > 0);
    m_btnDown->setEnabled(row >= 0 && row + 1 < m_listView1->topLevelItemCount());
}

void TFormOrder::MoveSelectedTo(int to) {
    const int from = SelectedRow();
    if (m_order && from != to && m_order->Move(from, to))
        Fill(to);
}

void TFormOrder::btnUpClick() {
    if (SelectedRow() > 0)
        MoveSelectedTo(SelectedRow() - 1);
}

void TFormOrder::btnDownClick() {
    const int row = SelectedRow();
    if (row >= 0 && row + 1 < m_listView1->topLevelItemCount())
        MoveSelectedTo(row + 1);
}

void TFormOrder::btnOkClick() {
    if (m_order) {
        // Changes another program made while the dialog was open are kept, or refused as a
        // conflict when they touch the same section.
        if (!WriteOrder(ProgramContext(), *m_order, *m_since).Done())
            return;
    }
    accept();
}

// Ctrl+Up and Ctrl+Down move the selected row, before the list would take them as moves of its
// cursor alone.
bool TFormOrder::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_listView1 && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::ControlModifier && key->key() == Qt::Key_Up) {
            btnUpClick();
            return true;
        }
        if (key->modifiers() == Qt::ControlModifier && key->key() == Qt::Key_Down) {
            btnDownClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFormOrder::done(int result) {
    // Every way of closing keeps the geometry.
    WriteSettingInt("Window", "OrderLeft", x());
    WriteSettingInt("Window", "OrderTop", y());
    WriteSettingInt("Window", "OrderWidth", width());
    WriteSettingInt("Window", "OrderHeight", height());
    for (int c = 0; c < kColumns; ++c)
        WriteSettingInt("Window", FormatPrintf("OrderColumn%dW", {c}), m_listView1->columnWidth(c));
    QDialog::done(result);
}

} // namespace varnel
