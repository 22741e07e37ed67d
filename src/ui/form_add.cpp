#include "ui/form_add.h"

#include "catalog/detect_string.h"
#include "catalog/registration.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ui/qt_text.h"
#include "util/text.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace varnel {

TFormAdd::TFormAdd(const QString& modulePath, PluginKind kind, const QString& proposal, bool emptyAllowed,
                   QWidget* parent)
    : QDialog(parent), m_kind(kind), m_emptyAllowed(emptyAllowed) {
    setObjectName("TFormAdd");
    setWindowTitle(FromAnsi(GetCaptionNoAccel(150)));
    m_label1 = new QLabel(FromAnsi(GetCaption(152)), this);
    m_label1->setObjectName("Label1");
    m_sFile = new QLineEdit(modulePath, this);
    m_sFile->setObjectName("sFile");
    m_sFile->setReadOnly(true);
    m_sFile->setFocusPolicy(Qt::NoFocus);
    m_sFile->setFrame(false);
    m_sFile->setStyleSheet("background: palette(window);");
    const int label = kind == kPacker ? 301 : kind == kFileSystem ? 153 : 80;
    m_label2 = new QLabel(FromAnsi(GetCaption(label)), this);
    m_label2->setObjectName("Label2");
    m_sExt = new QLineEdit(proposal, this);
    m_sExt->setObjectName("sExt");
    m_btnHelp = new QPushButton("?", this);
    m_btnHelp->setObjectName("btnHelp");
    QFont helpFont = m_btnHelp->font();
    helpFont.setPointSizeF(helpFont.pointSizeF() + 2);
    helpFont.setBold(true);
    m_btnHelp->setFont(helpFont);
    m_btnHelp->setFixedWidth(28);
    m_btnHelp->setAutoDefault(false);
    m_btnOk = new QPushButton(FromAnsi(GetCaption(105)), this);
    m_btnOk->setObjectName("btnOk");
    m_btnOk->setDefault(true);
    m_btnCancel = new QPushButton(FromAnsi(GetCaption(151)), this);
    m_btnCancel->setObjectName("btnCancel");
    m_btnCancel->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label1);
    layout->addWidget(m_sFile);
    layout->addSpacing(6);
    layout->addWidget(m_label2);
    auto* edit = new QHBoxLayout();
    edit->addWidget(m_sExt, 1);
    edit->addWidget(m_btnHelp);
    layout->addLayout(edit);
    m_lblSyntax = new QLabel(this);
    m_lblSyntax->setObjectName("lblSyntax");
    m_lblSyntax->setStyleSheet("color: #b00000;");
    m_lblSyntax->setWordWrap(true);
    m_lblSyntax->setVisible(kind == kLister || kind == kContent);
    layout->addWidget(m_lblSyntax);
    layout->addSpacing(8);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(m_btnOk);
    buttons->addWidget(m_btnCancel);
    layout->addLayout(buttons);

    connect(m_sExt, &QLineEdit::textChanged, this, [this] { sExtChange(); });
    connect(m_btnHelp, &QPushButton::clicked, this, [this] { btnHelpClick(); });
    connect(m_btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    // The dialog takes the size of its content: the whole module path, and the title with room
    // for the frame's buttons, within reason for a long path.
    QFontMetrics metrics(font());
    int wanted =
        std::max({metrics.horizontalAdvance(modulePath) + 16, metrics.horizontalAdvance(windowTitle()) + 140,
                  metrics.horizontalAdvance(m_label2->text()) + 60, 320});
    m_sFile->setMinimumWidth(std::min(wanted, 900));
    m_sFile->setCursorPosition(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_sExt->setFocus();
    sExtChange();
}

QString TFormAdd::Text() const {
    return m_sExt->text();
}

void TFormAdd::sExtChange() {
    m_btnOk->setEnabled(m_emptyAllowed || !m_sExt->text().trimmed().isEmpty());
    if (m_kind != kLister && m_kind != kContent)
        return;
    // Only a warning: the host is the judge, and a string it takes stays possible.
    const std::string text = ToAnsi(m_sExt->text());
    if (std::optional<DetectStringProblem> problem = CheckDetectString(text))
        m_lblSyntax->setText(
            FromAnsi(FormatPrintf(Message(Msg::ErrorAtCharacter),
                                  {static_cast<int>(problem->position) + 1, Message(problem->message)})));
    else
        m_lblSyntax->clear();
}

void TFormAdd::accept() {
    if (std::optional<std::string> bad = UnusableAssociation(m_kind, ToAnsi(m_sExt->text()))) {
        ShowMessageBox(UnusableMessage(*bad), ToAnsi(windowTitle()), kStyleError);
        m_sExt->setFocus();
        return;
    }
    QDialog::accept();
}

void TFormAdd::btnHelpClick() {
    ShowMessageBox(Message(m_kind == kLister || m_kind == kContent ? Msg::DetectHelp : Msg::AssociationHelp),
                   ToAnsi(windowTitle()), kStyleInformation);
    m_sExt->setFocus(); // typing goes on where it was
}

TFormAddExt::TFormAddExt(QWidget* parent) : QDialog(parent) {
    setObjectName("TFormAddExt");
    setWindowTitle("Add new");
    m_label1 = new QLabel("Extension:", this);
    m_label1->setObjectName("Label1");
    m_ffExt = new QLineEdit(this);
    m_ffExt->setObjectName("ffExt");
    m_btnOk = new QPushButton("OK", this);
    m_btnOk->setObjectName("btnOk");
    m_btnOk->setDefault(true);
    m_btnCancel = new QPushButton("Cancel", this);
    m_btnCancel->setObjectName("btnCancel");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label1);
    layout->addWidget(m_ffExt);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(m_btnOk);
    buttons->addWidget(m_btnCancel);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(m_btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    setMinimumWidth(280);
    m_ffExt->setFocus();
}

void TFormAddExt::SetTexts(const QString& title, const QString& label, const QString& ok,
                           const QString& cancel) {
    setWindowTitle(title);
    m_label1->setText(label);
    m_btnOk->setText(ok);
    m_btnCancel->setText(cancel);
}

void TFormAddExt::SetText(const QString& text) {
    m_ffExt->setText(text);
}

QString TFormAddExt::Text() const {
    return m_ffExt->text();
}

} // namespace varnel
