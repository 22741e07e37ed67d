#include "ui/form_options.h"

#include "app/settings.h"
#include "catalog/file_types.h"
#include "catalog/host_config.h"
#include "lang/interaction.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/button_bar.h"
#include "ops/command.h"
#include "ops/options.h"
#include "platform/environment.h"
#include "platform/process.h"
#include "ui/qt_text.h"
#include "util/text.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>
#include <charconv>

namespace varnel {

namespace {

// The page about the external restarter the restart option names.
constexpr const char* kRestarterPage = "https://www.ghisler.ch/wiki/index.php?title=Restart";

constexpr int kMaxRefreshSeconds = 24 * 60 * 60;
constexpr int kFoldersPage = 3; // the plugin folders

std::optional<int> WholeNumber(const QString& text) {
    const std::string digits = ToAnsi(text.trimmed());
    int value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    return value;
}

} // namespace

TFormOptions::TFormOptions(QWidget* parent) : QDialog(parent) {
    setObjectName("TFormOptions");
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    m_pages = new QTabWidget(this);
    m_pages->setObjectName("PageControl1");
    auto page = [this](const char* name) {
        auto* w = new QWidget(m_pages);
        w->setObjectName(name);
        m_pages->addTab(w, QString());
        return w;
    };
    auto named = [](auto* widget, const char* name) {
        widget->setObjectName(name);
        return widget;
    };
    // Page 1: the list and the language.
    QWidget* sheet1 = page("TabSheet1");
    m_ffTabs = named(new QCheckBox(sheet1), "ffTabs");
    m_ffTypes = named(new QCheckBox(sheet1), "ffTypes");
    m_ffVersions = named(new QCheckBox(sheet1), "ffVersions");
    m_ffDescriptions = named(new QCheckBox(sheet1), "ffDescriptions");
    m_ffRegister = named(new QCheckBox(sheet1), "ffRegister");
    m_label2 = named(new QLabel(sheet1), "Label2");
    m_btnBarAdd = named(new QPushButton(sheet1), "btnBarAdd");
    connect(m_btnBarAdd, &QPushButton::clicked, this, &TFormOptions::btnBarAddClick);
    m_label1 = named(new QLabel(sheet1), "Label1");
    m_sLang = named(new QComboBox(sheet1), "sLang");
    m_labelBy = named(new QLabel(sheet1), "LabelBy");
    connect(m_sLang, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_filling)
            sLangChange();
    });
    auto* layout1 = new QGridLayout(sheet1);
    layout1->addWidget(m_ffTabs, 0, 0, 1, 2);
    layout1->addWidget(m_ffTypes, 1, 0, 1, 2);
    layout1->addWidget(m_ffVersions, 2, 0, 1, 2);
    layout1->addWidget(m_ffDescriptions, 3, 0, 1, 2);
    // Small pictures: a plugin file beside the registration, the program beside the bar button.
    auto withPicture = [&](QWidget* control, const char* name, const char* icon, int stretch) {
        auto* row = new QHBoxLayout();
        auto* image = named(new QLabel(sheet1), name);
        image->setPixmap(QIcon(icon).pixmap(20, 20));
        row->addWidget(control, stretch);
        row->addWidget(image);
        if (stretch == 0)
            row->addStretch(1);
        return row;
    };
    layout1->addLayout(withPicture(m_ffRegister, "Image1", ":/icons/packer.svg", 0), 4, 0, 1, 2);
    layout1->addWidget(m_label2, 5, 0, 1, 2);
    layout1->addLayout(withPicture(m_btnBarAdd, "Image2", ":/icons/varnel.svg", 1), 6, 0, 1, 2);
    layout1->addWidget(m_label1, 7, 0);
    layout1->addWidget(m_sLang, 7, 1);
    layout1->addWidget(m_labelBy, 8, 1);
    layout1->setRowStretch(9, 1);

    // Page 2: refreshing and installing.
    QWidget* sheet2 = page("TabSheet2");
    m_ffTimer = named(new QCheckBox(sheet2), "ffTimer");
    connect(m_ffTimer, &QCheckBox::clicked, this, &TFormOptions::ffTimerClick);
    m_ffTimerSec = named(new QLineEdit(sheet2), "ffTimerSec");
    m_ffTimerSec->setMaximumWidth(60);
    m_label3 = named(new QLabel(sheet2), "Label3");
    m_label4 = named(new QLabel(sheet2), "Label4");
    m_ffUseTCVar = named(new QCheckBox(sheet2), "ffUseTCVar");
    m_ffInstTweak = named(new QCheckBox(sheet2), "ffInstTweak");
    m_ffInstRestart = named(new QCheckBox(sheet2), "ffInstRestart");
    m_labelFtp = named(new QLabel(sheet2), "LabelFtp");
    m_ffFtpIni = named(new QLineEdit(sheet2), "ffFtpIni");
    m_btnFtpBrowse = named(new QPushButton("...", sheet2), "btnFtpBrowse");
    connect(m_btnFtpBrowse, &QPushButton::clicked, this, &TFormOptions::btnFtpBrowseClick);
    m_labelRar = named(new QLabel("WinRAR.exe:", sheet2), "LabelRar");
    m_ffRarPath = named(new QLineEdit(sheet2), "ffRarPath");
    m_btnRarBrowse = named(new QPushButton("...", sheet2), "btnRarBrowse");
    connect(m_btnRarBrowse, &QPushButton::clicked, this, &TFormOptions::btnRarBrowseClick);
    m_btnFtpBrowse->setMaximumWidth(30);
    m_btnRarBrowse->setMaximumWidth(30);
    auto* timer = new QHBoxLayout;
    timer->addWidget(m_ffTimer);
    timer->addWidget(m_ffTimerSec);
    timer->addWidget(m_label3);
    timer->addStretch(1);
    auto* layout2 = new QGridLayout(sheet2);
    layout2->addLayout(timer, 0, 0, 1, 3);
    layout2->addWidget(m_label4, 1, 0, 1, 3);
    layout2->addWidget(m_ffUseTCVar, 2, 0, 1, 3);
    layout2->addWidget(m_ffInstTweak, 3, 0, 1, 3);
    layout2->addWidget(m_ffInstRestart, 4, 0, 1, 3);
    layout2->addWidget(m_labelFtp, 5, 0);
    layout2->addWidget(m_ffFtpIni, 5, 1);
    layout2->addWidget(m_btnFtpBrowse, 5, 2);
    layout2->addWidget(m_labelRar, 6, 0);
    layout2->addWidget(m_ffRarPath, 6, 1);
    layout2->addWidget(m_btnRarBrowse, 6, 2);
    layout2->setRowStretch(7, 1);

    // Page 3: restarting the host.
    QWidget* sheet3 = page("TabSheet3");
    m_ffRestart1 = named(new QRadioButton(sheet3), "ffRestart1");
    m_ffRestart2 = named(new QRadioButton(sheet3), "ffRestart2");
    m_ffRestart3 = named(new QRadioButton(sheet3), "ffRestart3");
    for (QRadioButton* radio : {m_ffRestart1, m_ffRestart2, m_ffRestart3})
        connect(radio, &QRadioButton::toggled, this, &TFormOptions::ffRestart1Click);
    m_ffRestartExt = named(new QLineEdit(sheet3), "ffRestartExt");
    m_btnLink1 = named(new QPushButton("?", sheet3), "btnLink1");
    m_btnLink1->setMaximumWidth(30);
    connect(m_btnLink1, &QPushButton::clicked, this, &TFormOptions::btnLink1Click);
    m_label5 = named(new QLabel(sheet3), "Label5");
    m_ffRestartTime = named(new QLineEdit(sheet3), "ffRestartTime");
    m_ffRestartTime->setMaximumWidth(80);
    auto* layout3 = new QGridLayout(sheet3);
    layout3->addWidget(m_ffRestart1, 0, 0, 1, 2);
    layout3->addWidget(m_ffRestart2, 1, 0, 1, 2);
    layout3->addWidget(m_ffRestart3, 2, 0, 1, 2);
    layout3->addWidget(m_ffRestartExt, 3, 0);
    layout3->addWidget(m_btnLink1, 3, 1);
    auto* time = new QHBoxLayout;
    time->addWidget(m_label5);
    time->addWidget(m_ffRestartTime);
    time->addStretch(1);
    layout3->addLayout(time, 4, 0, 1, 2);
    layout3->setRowStretch(5, 1);

    // Page 4: where plugins from archives go.
    QWidget* sheet4 = page("TabSheet4");
    m_label6 = named(new QLabel(sheet4), "Label6");
    auto* layout4 = new QGridLayout(sheet4);
    layout4->addWidget(m_label6, 0, 0, 1, 2);
    const char* labels[] = {"LabelLister", "LabelPacker", "LabelFS", "LabelContent"};
    const char* edits[] = {"ffPluginsLister", "ffPluginsPacker", "ffPluginsFS", "ffPluginsContent"};
    for (int k = 0; k < 4; ++k) {
        m_labelKind[k] = named(new QLabel(sheet4), labels[k]);
        m_ffPlugins[k] = named(new QLineEdit(sheet4), edits[k]);
        layout4->addWidget(m_labelKind[k], k + 1, 0);
        layout4->addWidget(m_ffPlugins[k], k + 1, 1);
    }
    layout4->setRowStretch(5, 1);

    m_btnOk = named(new QPushButton(this), "btnOk");
    m_btnOk->setDefault(true);
    m_btnCancel = named(new QPushButton(this), "btnCancel");
    connect(m_btnOk, &QPushButton::clicked, this, &TFormOptions::accept);
    connect(m_btnCancel, &QPushButton::clicked, this, &TFormOptions::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_btnOk);
    buttons->addWidget(m_btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pages);
    layout->addLayout(buttons);
    resize(460, 360);
    hide();
}

void TFormOptions::Load(const Settings& s, int refreshMs) {
    m_ffTabs->setChecked(s.ShowTabs);
    m_ffTypes->setChecked(s.ShowTypes);
    m_ffVersions->setChecked(s.ShowVersionsCol);
    m_ffDescriptions->setChecked(s.ShowDescriptions);
    m_ffRegister->setChecked(s.RegisterExt);
    m_ffTimer->setChecked(s.Refresh);
    m_ffTimerSec->setText(QString::number(refreshMs / 1000));
    m_ffUseTCVar->setChecked(s.UseTCVar);
    m_ffInstTweak->setChecked(s.InstTweak);
    m_ffInstRestart->setChecked(s.InstRestart);
    m_ffFtpIni->setText(FromAnsi(s.FtpIni));
    m_ffRarPath->setText(FromAnsi(s.RarPath));
    // A radio group shows none checked only with exclusivity off while clearing.
    for (QRadioButton* radio : {m_ffRestart1, m_ffRestart2, m_ffRestart3}) {
        radio->setAutoExclusive(false);
        radio->setChecked(false);
        radio->setAutoExclusive(true);
    }
    if (s.RestartCmd == 0)
        m_ffRestart1->setChecked(true);
    else if (s.RestartCmd == 1)
        m_ffRestart2->setChecked(true);
    else if (s.RestartCmd > 1)
        m_ffRestart3->setChecked(true);
    m_ffRestartExt->setText(FromAnsi(s.RestartExt));
    m_ffRestartTime->setText(QString::number(s.RestartTime));
    const std::string* folders[] = {&s.PluginsLister, &s.PluginsPacker, &s.PluginsFS, &s.PluginsContent};
    for (int k = 0; k < 4; ++k)
        m_ffPlugins[k]->setText(FromAnsi(*folders[k]));
    m_languageName = s.Language;
    BarFile = GetButtonBarFile(Host());
}

void TFormOptions::Store(Settings& s, int& refreshMs) const {
    s.ShowTabs = m_ffTabs->isChecked();
    s.ShowTypes = m_ffTypes->isChecked();
    s.ShowVersionsCol = m_ffVersions->isChecked();
    s.ShowDescriptions = m_ffDescriptions->isChecked();
    s.RegisterExt = m_ffRegister->isChecked();
    s.Refresh = m_ffTimer->isChecked();
    refreshMs = WholeNumber(m_ffTimerSec->text()).value_or(0) * 1000;
    s.UseTCVar = m_ffUseTCVar->isChecked();
    s.InstRestart = m_ffInstRestart->isChecked();
    s.InstTweak = m_ffInstTweak->isChecked();
    std::string* folders[] = {&s.PluginsLister, &s.PluginsPacker, &s.PluginsFS, &s.PluginsContent};
    for (int k = 0; k < 4; ++k)
        *folders[k] = ToAnsi(m_ffPlugins[k]->text());
    s.RestartCmd = (m_ffRestart2->isChecked() ? 1 : 0) + (m_ffRestart3->isChecked() ? 2 : 0);
    s.RestartExt = ToAnsi(m_ffRestartExt->text());
    s.RestartTime = WholeNumber(m_ffRestartTime->text()).value_or(1000);
    s.FtpIni = ToAnsi(m_ffFtpIni->text());
    s.RarPath = ToAnsi(m_ffRarPath->text());
}

void TFormOptions::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFormOptions::FormShow() {
    auto caption = [](int n) { return FromAnsi(GetCaption(n)); };
    const std::string title = GetCaptionNoAccel(66);
    setWindowTitle(FromAnsi(title));
    m_pages->setTabText(0, FromAnsi(title));
    m_pages->setTabText(1, FromAnsi(title + "2"));
    m_pages->setTabText(2, caption(215));
    const std::string folders = GetCaption(212);
    m_pages->setTabText(3, FromAnsi(folders.substr(0, folders.find(':'))));
    m_label6->setText(FromAnsi(folders));
    m_ffRegister->setText(caption(200));
    m_label2->setText(caption(201));
    m_label1->setText(caption(202));
    m_ffTimer->setText(caption(203));
    m_label3->setText(caption(204));
    m_ffTabs->setText(caption(205));
    m_ffTypes->setText(caption(206));
    m_label4->setText(caption(208));
    m_ffUseTCVar->setText(caption(209));
    m_ffInstRestart->setText(caption(210));
    m_ffInstTweak->setText(caption(211));
    m_btnBarAdd->setText(FromAnsi(FormatPrintf(GetCaption(214), {FileNamePart(BarFile)})));
    m_ffRestart1->setText(caption(216));
    m_ffRestart2->setText(caption(217));
    m_ffRestart3->setText(caption(218));
    m_label5->setText(caption(219));
    m_ffVersions->setText(caption(220));
    m_ffDescriptions->setText(caption(221));
    m_labelFtp->setText(FromAnsi("FTP " + GetCaption(54)));
    for (int k = 0; k < 4; ++k)
        m_labelKind[k]->setText(FromAnsi(Message(Msg::KindLister + k)));
    m_btnOk->setText(caption(105));
    m_btnCancel->setText(caption(151));
    const std::string& author = LanguageAuthor();
    m_labelBy->setText(FromAnsi(FormatPrintf("(%s)", {author})));
    m_labelBy->setVisible(author.size() > 3);
    ffTimerClick();
    ffRestart1Click();
    QWidget* focus[] = {m_ffTabs, m_ffTimer, m_ffRestartTime, m_ffPlugins[0]};
    focus[std::clamp(m_pages->currentIndex(), 0, 3)]->setFocus();
    const std::vector<std::string> languages = ListLanguages();
    if (languages.empty())
        return;
    m_filling = true;
    m_sLang->clear();
    int selected = -1, english = -1;
    for (size_t i = 0; i < languages.size(); ++i) {
        m_sLang->addItem(FromAnsi(languages[i]));
        if (EqualsNoCaseAnsi(languages[i], m_languageName))
            selected = static_cast<int>(i);
        if (languages[i] == "English")
            english = static_cast<int>(i);
    }
    m_sLang->setCurrentIndex(selected >= 0 ? selected : english);
    m_filling = false;
}

void TFormOptions::sLangChange() {
    m_languageName = m_sLang->currentIndex() >= 0 ? ToAnsi(m_sLang->currentText()) : std::string("English");
    SetLanguage(m_languageName);
    FormShow();
    emit languageChanged();
}

void TFormOptions::ffTimerClick() {
    m_ffTimerSec->setEnabled(m_ffTimer->isChecked());
}

void TFormOptions::ffRestart1Click() {
    m_ffRestartExt->setEnabled(m_ffRestart3->isChecked());
}

void TFormOptions::btnBarAddClick() {
    if (std::optional<std::string> unusable = UnusableProgramPath()) {
        ShowAppMessage(FormatPrintf(Message(Msg::ProgramPathUnusable), {*unusable}), kStyleError,
                       Outcome::Failed, Msg::ProgramPathUnusable);
        return;
    }
    // Said either way, with the bar's path: the host shows the buttons only after it reads the
    // bar again, so nothing on the screen would tell.
    if (AddProgramButtons(ProgramContext(), BarFile, platform::OwnExecutablePath(), ProgramIconFile()).Done())
        ShowAppMessage(FormatPrintf(Message(Msg::BarButtonsAdded), {BarFile}), kStyleInformation);
}

void TFormOptions::btnLink1Click() {
    platform::ShellOpen(kRestarterPage);
}

void TFormOptions::btnFtpBrowseClick() {
    FileDialogRequest request;
    request.initialFolder = platform::WindowsDirectory();
    request.defaultName = "wcx_ftp.ini";
    request.filters = {{"*.ini", "*.ini"}};
    std::vector<std::string> chosen = User().OpenFiles(request);
    if (!chosen.empty())
        m_ffFtpIni->setText(FromAnsi(chosen.front()));
}

void TFormOptions::btnRarBrowseClick() {
    FileDialogRequest request;
    request.initialFolder = "C:\\";
    request.defaultName = "WinRAR.exe";
    request.filters = {{"*.exe", "*.exe"}};
    std::vector<std::string> chosen = User().OpenFiles(request);
    if (!chosen.empty())
        m_ffRarPath->setText(FromAnsi(chosen.front()));
}

// Numbers the settings need are checked before the dialog closes: a refresh period that is no
// number, or under a second, would make the list refresh without pause.
void TFormOptions::accept() {
    std::optional<int> seconds = WholeNumber(m_ffTimerSec->text());
    std::optional<int> restart = WholeNumber(m_ffRestartTime->text());
    if (!seconds || !restart || *restart < 0) {
        QLineEdit* bad = !seconds ? m_ffTimerSec : m_ffRestartTime;
        ShowAppMessage(FormatPrintf(Message(Msg::NotAWholeNumber), {ToAnsi(bad->text())}), kStyleError,
                       Outcome::Failed, Msg::NotAWholeNumber);
        m_pages->setCurrentWidget(bad->parentWidget());
        bad->setFocus();
        return;
    }
    // Milliseconds of more than a day would overflow; a negative period is no period, on or off.
    if (*seconds < 0 || *seconds > kMaxRefreshSeconds) {
        ShowAppMessage(FormatPrintf(Message(Msg::RefreshOutOfRange), {ToAnsi(m_ffTimerSec->text())}),
                       kStyleError, Outcome::Failed, Msg::RefreshOutOfRange);
        m_pages->setCurrentWidget(m_ffTimerSec->parentWidget());
        m_ffTimerSec->setFocus();
        return;
    }
    if (m_ffTimer->isChecked() && *seconds < 1) {
        ShowAppMessage(Message(Msg::RefreshTooOften), kStyleError, Outcome::Failed, Msg::RefreshTooOften);
        m_pages->setCurrentWidget(m_ffTimerSec->parentWidget());
        m_ffTimerSec->setFocus();
        return;
    }
    // The choices are taken over here, so that the dialog stays open when they cannot be.
    Settings chosen = AppSettings();
    int refreshMs = 0;
    Store(chosen, refreshMs);
    chosen.RefreshInterval = refreshMs;
    if (!ApplyOptions(ProgramContext(), chosen).Done()) {
        m_pages->setCurrentIndex(kFoldersPage);
        return;
    }
    QDialog::accept();
}

} // namespace varnel
