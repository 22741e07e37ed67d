#include "ui/form_tweak.h"

#include "catalog/host_config.h"
#include "lang/interaction.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/command.h"
#include "ops/history.h"
#include "ops/install.h"
#include "ops/plugin_commands.h"
#include "ui/qt_text.h"
#include "util/names.h"
#include "util/text.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace varnel {

namespace {

// The bits the boxes stand for; any higher bit of a stored value is kept as it is.
constexpr int32_t kBoxBits = (1 << kTweakFlagBoxes) - 1;
// Caption of each box: 303 to 311, then this program's own 312 for bit 9.
constexpr int kFlagCaptions[kTweakFlagBoxes] = {303, 304, 305, 306, 307, 308, 309, 310, 311, 312};

} // namespace

TFormTweak::TFormTweak(const std::string& modulePath, QWidget* parent) : QDialog(parent) {
    setObjectName("TFormTweak");
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowIcon(QIcon(":/icons/tweak.svg"));
    auto label = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(name);
        return l;
    };
    auto button = [this](const char* name, void (TFormTweak::*handler)()) {
        auto* b = new QPushButton(this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, handler);
        return b;
    };
    m_label2 = label("Label2");
    m_ffFile = new QLineEdit(this);
    m_ffFile->setObjectName("ffFile");
    m_ffFile->setReadOnly(true);
    m_ffFile->setMinimumWidth(360);
    m_label3 = label("Label3");
    m_ffExt = new QComboBox(this);
    m_ffExt->setObjectName("ffExt");
    m_ffExt->setEditable(false);
    connect(m_ffExt, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_refreshing)
            ffExtChange();
    });
    m_btnRemove = button("btnRemove", &TFormTweak::btnRemoveClick);
    m_btnAdd = button("btnAdd", &TFormTweak::btnAddClick);
    m_label4 = label("Label4");
    m_labelFlags = label("LabelFlags");
    m_labelFlags->setText("(000)");
    for (int i = 0; i < kTweakFlagBoxes; ++i) {
        auto* box = new QCheckBox(this);
        box->setObjectName(QString("ffFlag%1").arg(i));
        connect(box, &QCheckBox::clicked, this, &TFormTweak::ffFlag0Click);
        m_ffFlag[static_cast<size_t>(i)] = box;
    }
    m_btnDefault = button("btnDefault", &TFormTweak::btnDefaultClick);
    m_btnOk = button("btnOk", &TFormTweak::btnOkClick);
    m_btnOk->setDefault(true);
    m_btnCancel = button("btnCancel", &QDialog::reject);

    auto* grid = new QGridLayout;
    grid->addWidget(m_label2, 0, 0);
    grid->addWidget(m_ffFile, 0, 1, 1, 3);
    grid->addWidget(m_label3, 1, 0);
    grid->addWidget(m_ffExt, 1, 1);
    grid->addWidget(m_btnRemove, 1, 2);
    grid->addWidget(m_btnAdd, 1, 3);
    grid->addWidget(m_label4, 2, 0);
    grid->addWidget(m_labelFlags, 2, 1);
    grid->setColumnStretch(1, 1);
    auto* flags = new QVBoxLayout;
    for (QCheckBox* box : m_ffFlag)
        flags->addWidget(box);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_btnDefault);
    buttons->addStretch(1);
    buttons->addWidget(m_btnOk);
    buttons->addWidget(m_btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(flags);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_ffFile->setText(FromAnsi(modulePath));
    m_since = HostConfigSnapshot();
    m_list = ReadPackerAssociations(modulePath);
    m_list.selected = 0;
}

void TFormTweak::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Refresh();
}

void TFormTweak::Refresh() {
    auto caption = [](int n) { return FromAnsi(GetCaption(n)); };
    setWindowTitle(caption(94));
    m_label2->setText(caption(300));
    m_label3->setText(caption(301));
    m_label4->setText(caption(302));
    for (int i = 0; i < kTweakFlagBoxes; ++i)
        m_ffFlag[static_cast<size_t>(i)]->setText(caption(kFlagCaptions[i]));
    m_btnRemove->setText(caption(313));
    m_btnAdd->setText(caption(314));
    m_btnDefault->setText(caption(315));
    m_btnOk->setText(caption(105));
    m_btnCancel->setText(caption(151));
    {
        m_refreshing = true;
        m_ffExt->clear();
        for (int i = 0; i < m_list.count; ++i)
            m_ffExt->addItem(FromAnsi(m_list.pairs[static_cast<size_t>(i)].extension));
        m_ffExt->setCurrentIndex(m_list.selected < m_list.count ? m_list.selected : -1);
        m_refreshing = false;
    }
    ffExtChange();
    m_ffExt->setFocus();
}

void TFormTweak::ffExtChange() {
    m_list.selected = m_ffExt->currentIndex();
    const int32_t flags = m_list.selected >= 0 ? m_list.pairs[static_cast<size_t>(m_list.selected)].flags : 0;
    for (int i = 0; i < kTweakFlagBoxes; ++i)
        m_ffFlag[static_cast<size_t>(i)]->setChecked((flags >> i) & 1);
    ffFlag0Click();
    const bool any = m_list.count > 0;
    for (QCheckBox* box : m_ffFlag)
        box->setEnabled(any);
    m_btnRemove->setEnabled(any);
    m_btnDefault->setEnabled(any);
}

void TFormTweak::ffFlag0Click() {
    int32_t value = 0;
    for (int i = 0; i < kTweakFlagBoxes; ++i)
        if (m_ffFlag[static_cast<size_t>(i)]->isChecked())
            value |= 1 << i;
    if (m_list.selected >= 0) {
        int32_t& flags = m_list.pairs[static_cast<size_t>(m_list.selected)].flags;
        flags = (flags & ~kBoxBits) | value; // bits the boxes do not show stay
        value = flags;
    }
    m_labelFlags->setText(FromAnsi(FormatPrintf("(%d)", {value})));
}

void TFormTweak::btnAddClick() {
    std::optional<std::string> text =
        User().AskText(ToAnsi(m_btnAdd->text()), ToAnsi(m_label3->text()), std::string());
    if (!text || TrimBlanks(*text).empty())
        return;
    // Each extension becomes a key of the host's file.
    if (!IsSafeProfileKey(TrimBlanks(*text))) {
        ShowAppMessage(UnusableMessage(*text), kStyleError, Outcome::Failed, Msg::UnusableText);
        return;
    }
    // Two pairs of one extension would write the same key twice, the later one winning.
    for (int i = 0; i < m_list.count; ++i) {
        if (EqualsNoCaseAnsi(TrimBlanks(m_list.pairs[static_cast<size_t>(i)].extension), TrimBlanks(*text))) {
            ShowAppMessage(FormatPrintf(Message(Msg::ExtensionListed), {std::string(TrimBlanks(*text))}),
                           kStyleError, Outcome::Failed, Msg::ExtensionListed);
            return;
        }
    }
    m_list.pairs.resize(static_cast<size_t>(m_list.count));
    m_list.pairs.push_back({*text, m_list.defaultFlags});
    m_list.selected = m_list.count++;
    Refresh();
}

void TFormTweak::btnRemoveClick() {
    if (m_list.count <= 0 || m_list.selected < 0)
        return;
    for (int i = m_list.selected; i + 1 < m_list.count; ++i)
        m_list.pairs[static_cast<size_t>(i)] = m_list.pairs[static_cast<size_t>(i + 1)];
    --m_list.count;
    if (m_list.selected >= m_list.count)
        m_list.selected = m_list.count - 1;
    Refresh();
}

void TFormTweak::btnDefaultClick() {
    if (m_list.selected < 0)
        return;
    m_list.pairs[static_cast<size_t>(m_list.selected)].flags = m_list.defaultFlags;
    Refresh();
}

void TFormTweak::btnOkClick() {
    const std::string file = ToAnsi(m_ffFile->text());
    if (WritePackerFlags(ProgramContext(), file, FileNamePart(file), m_list, *m_since).Done())
        accept();
}

} // namespace varnel
