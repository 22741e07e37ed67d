#include "ui/form_about.h"

#include "app/settings.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/plugin_list.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/program_folder.h"
#include "ui/qt_text.h"
#include "util/text.h"

#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace varnel {

namespace {

// A label that acts as a link: blue, with the hand cursor, and a click runs `onClick`.
class LinkLabel : public QLabel {
public:
    LinkLabel(const QString& text, std::function<void()> onClick, QWidget* parent)
        : QLabel(text, parent), m_onClick(std::move(onClick)) {
        setCursor(Qt::PointingHandCursor);
        setStyleSheet("color: blue;");
    }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            m_onClick();
        QLabel::mouseReleaseEvent(event);
    }

private:
    std::function<void()> m_onClick;
};

// The translators' list, under a heading in the user's language (the file's own first line is
// the English heading, for whoever reads the file).
QString CreditsText() {
    QFile file(":/text/LANGS");
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    const qsizetype firstLine = text.indexOf('\n');
    return FromAnsi(GetCaption(450)) + (firstLine < 0 ? QString() : text.mid(firstLine));
}

} // namespace

TFormAbout::TFormAbout(QWidget* parent) : QDialog(parent) {
    setObjectName("TFormAbout");
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    auto* image1 = new QLabel(this);
    image1->setObjectName("Image1");
    image1->setPixmap(QIcon(":/icons/varnel.svg").pixmap(48, 48));
    image1->setAlignment(Qt::AlignTop);
    auto named = [this](QLabel* label, const char* name) {
        label->setObjectName(name);
        return label;
    };
    m_label0 = named(new QLabel(this), "Label0");
    QFont bold = m_label0->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    m_label0->setFont(bold);
    m_label2 = named(new QLabel(this), "Label2");
    m_label1 = named(new QLabel(this), "Label1");
    m_label4 = named(new QLabel(this), "Label4");
    m_label4->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_sHomepage = named(new LinkLabel(
                            kReadmeFileName, [this] { sHomepageClick(); }, this),
                        "sHomepage");
    m_label6 = named(new QLabel(this), "Label6");
    m_label6->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_sPluginPage = named(new LinkLabel(
                              kPluginPageAddress, [this] { sPluginPageClick(); }, this),
                          "sPluginPage");
    // Where settings and history are kept: beside the program, or in %APPDATA% when the program's
    // folder takes no files.
    m_labelSettings = named(new QLabel(this), "LabelSettings");
    m_labelSettings->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_settingsPath = named(new QLabel(this), "SettingsPath");
    m_settingsPath->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_memo1 = new QPlainTextEdit(this);
    m_memo1->setObjectName("Memo1");
    m_memo1->setReadOnly(true);
    m_memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_memo1->setPlainText(CreditsText());
    QPalette palette = m_memo1->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window)); // the dialog's own colour
    m_memo1->setPalette(palette);
    m_btnOk = new QPushButton(this);
    m_btnOk->setObjectName("btnOk");
    m_btnOk->setDefault(true);
    connect(m_btnOk, &QPushButton::clicked, this, &QDialog::accept);

    auto* names = new QVBoxLayout;
    names->addWidget(m_label0);
    names->addWidget(m_label2);
    names->addWidget(m_label1);
    auto* head = new QHBoxLayout;
    head->addWidget(image1);
    head->addLayout(names, 1);
    auto* links = new QGridLayout;
    links->addWidget(m_label4, 0, 0);
    links->addWidget(m_sHomepage, 0, 1);
    links->addWidget(m_label6, 1, 0);
    links->addWidget(m_sPluginPage, 1, 1);
    links->addWidget(m_labelSettings, 2, 0);
    links->addWidget(m_settingsPath, 2, 1);
    links->setColumnStretch(1, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(m_btnOk);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addLayout(links);
    layout->addWidget(m_memo1, 1);
    layout->addLayout(bottom);
    // The credits show a few lines at a time; the box keeps one size.
    m_memo1->setFixedHeight(m_memo1->fontMetrics().lineSpacing() * 5 + 8);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TFormAbout::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFormAbout::FormShow() {
    setWindowTitle(FromAnsi(GetCaptionNoAccel(68)));
    m_label0->setText(FromAnsi(GetCaption(100)));
    m_label2->setText(FromAnsi(GetCaption(101)));
    m_label1->setText(
        FromAnsi(FormatPrintf(Message(Msg::VersionLine), {std::string(kProgramVersionText),
                                                          std::string("(") + VARNEL_BUILD_DATE + ")"})));
    m_label4->setText(FromAnsi(GetCaption(104)));
    // The README is linked only where it is: a program folder without one shows no dead link.
    const bool readme = platform::IsRegularFile(ProgramFolder() + kReadmeFileName);
    m_label4->setVisible(readme);
    m_sHomepage->setVisible(readme);
    m_label6->setText(FromAnsi(GetCaption(103)));
    m_labelSettings->setText(FromAnsi(GetCaption(453)));
    m_settingsPath->setText(FromAnsi(SettingsFilePath()));
    m_btnOk->setText(FromAnsi(GetCaption(105)));
}

// A link that cannot be opened fails silently.
void TFormAbout::sHomepageClick() {
    platform::ShellRun(ProgramFolder() + kReadmeFileName, "", platform::ShowMode::Shown, false);
}

void TFormAbout::sPluginPageClick() {
    platform::ShellOpen(kPluginPageAddress);
}

} // namespace varnel
