#include "ui/qt_integration.h"

#include "lang/language.h"
#include "lang/messages.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "ui/busy_wait.h"
#include "ui/form_add.h"
#include "ui/form_tweak.h"
#include "ui/qt_text.h"

#include <QApplication>
#include <QFileDialog>
#include <QHelpEvent>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QProxyStyle>
#include <QPushButton>
#include <QToolTip>
#include <QTranslator>

namespace varnel {

int QtInteraction::Show(const Notice& notice) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(ForDisplay(notice.title));
    box.setText(ForDisplay(notice.text));
    const int style = notice.style;
    if (style & kMbIconError)
        box.setIcon(QMessageBox::Critical);
    else if (style & kMbIconQuestion)
        box.setIcon(QMessageBox::Question);
    else if (style & kMbIconInformation)
        box.setIcon(QMessageBox::Information);
    if (style & kMbOkCancel) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton((style & kMbDefButton2) ? QMessageBox::Cancel : QMessageBox::Ok);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    box.raise();
    box.activateWindow();
    return box.exec() == QMessageBox::Ok ? kIdOk : kIdCancel;
}

CopyChoice QtInteraction::AskCopyModule(const std::string& question) {
    QMessageBox box(QApplication::activeWindow());
    box.setObjectName("CopyQuestion");
    box.setWindowTitle(FromAnsi(Message(Msg::AppTitle)));
    box.setIcon(QMessageBox::Question);
    box.setText(ForDisplay(question));
    QPushButton* copy = box.addButton(FromAnsi(GetCaption(443)), QMessageBox::AcceptRole);
    copy->setObjectName("btnCopy");
    QPushButton* inPlace = box.addButton(FromAnsi(GetCaption(444)), QMessageBox::ActionRole);
    inPlace->setObjectName("btnInPlace");
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(copy);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == copy)
        return CopyChoice::Copy;
    return box.clickedButton() == inPlace ? CopyChoice::InPlace : CopyChoice::Cancel;
}

std::vector<std::string> QtInteraction::OpenFiles(const FileDialogRequest& request) {
    QFileDialog dialog(QApplication::activeWindow(), FromAnsi(request.title));
    if (!platform::PrefersSystemFileDialogs())
        dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (request.save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setOption(QFileDialog::ReadOnly);
        dialog.setFileMode(request.multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    }
    QStringList filters;
    for (const auto& [description, patterns] : request.filters) {
        // Qt reads the patterns from the last parentheses of the text: put them there, once.
        QString text = FromAnsi(description).trimmed();
        if (text.endsWith(')') && text.contains('('))
            text = text.left(text.lastIndexOf('(')).trimmed();
        QString globs = FromAnsi(patterns);
        globs.replace(';', ' ');
        filters << text + " (" + globs + ")";
    }
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    if (!request.initialFolder.empty())
        dialog.setDirectory(QString::fromStdString(platform::ToHostPath(request.initialFolder)));
    if (!request.defaultName.empty())
        dialog.selectFile(FromAnsi(request.defaultName));
    std::vector<std::string> chosen;
    if (dialog.exec() != QDialog::Accepted)
        return chosen;
    for (const QString& file : dialog.selectedFiles())
        chosen.push_back(platform::ToWindowsPath(file.toStdString()));
    return chosen;
}

std::optional<std::string> QtInteraction::AskAssociation(const std::string& modulePath, int8_t kind,
                                                         const std::string& proposal, bool allowEmpty) {
    TFormAdd dialog(FromAnsi(modulePath), kind, FromAnsi(proposal), allowEmpty, QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return ToAnsi(dialog.Text());
}

std::optional<std::string> QtInteraction::AskText(const std::string& title, const std::string& label,
                                                  const std::string& text) {
    TFormAddExt dialog(QApplication::activeWindow());
    dialog.SetTexts(FromAnsi(title), FromAnsi(label), FromAnsi(GetCaption(105)), FromAnsi(GetCaption(151)));
    dialog.SetText(FromAnsi(text));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return ToAnsi(dialog.Text());
}

bool QtInteraction::TweakPacker(const std::string& modulePath) {
    TFormTweak dialog(modulePath, QApplication::activeWindow());
    return dialog.exec() == QDialog::Accepted;
}

namespace {

constexpr int kHintDelayMs = 300;
constexpr int kHintShownMs = 3500;

class VarnelStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_ToolTip_WakeUpDelay)
            return kHintDelayMs;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// Shows every hint for the program's fixed time instead of Qt's length-dependent one.
class HintTimer : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ToolTip)
            return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || widget->toolTip().isEmpty())
            return false;
        auto* help = static_cast<QHelpEvent*>(event);
        QToolTip::showText(help->globalPos(), widget->toolTip(), widget, QRect(), kHintShownMs);
        return true;
    }
};

// Some font engines report glyph boxes several times the font's height (GDI under Wine does).
// A line edit centres its text on that box and draws it above its own top edge, out of sight;
// aligned to the top, the text sits where the box begins and shows.
bool GlyphBoxesTooTall() {
    const QFontMetrics metrics(QApplication::font());
    return metrics.boundingRect(QStringLiteral("TC Varnel Xg")).height() > 2 * metrics.height();
}

class TopAlignedLineEdits : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Polish)
            if (auto* edit = qobject_cast<QLineEdit*>(watched))
                edit->setAlignment((edit->alignment() & Qt::AlignHorizontal_Mask) | Qt::AlignTop);
        return false;
    }
};

} // namespace

void ApplyQtTranslation(const std::string& languageName) {
    // The language files are named in their own language; Qt's by the language's code.
    static const std::pair<const char*, const char*> kCodes[] = {{"Deutsch", "de"}};
    static QTranslator* installed = nullptr;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
        installed = nullptr;
    }
    // Numbers and dates (the details pane's size and date, the file dialog) follow the program's
    // language too: in the user's own region's form where the system speaks that language.
    QLocale locale(QLocale::English);
    for (const auto& [name, code] : kCodes)
        if (languageName == name)
            locale = QLocale(QLatin1String(code));
    QLocale::setDefault(QLocale::system().language() == locale.language() ? QLocale::system() : locale);
    for (const auto& [name, code] : kCodes) {
        if (languageName != name)
            continue;
        auto* translator = new QTranslator(qApp);
        const QString file = QStringLiteral("qtbase_") + QLatin1String(code);
        if (translator->load(file,
                             QCoreApplication::applicationDirPath() + QStringLiteral("/translations")) ||
            translator->load(file, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            QCoreApplication::installTranslator(translator);
            installed = translator;
        } else {
            delete translator;
        }
    }
}

void SetUpApplication(QApplication& app) {
    app.setApplicationName("TC Varnel");
    app.setStyle(new VarnelStyle);
    app.installEventFilter(new HintTimer(&app));
    if (GlyphBoxesTooTall())
        app.installEventFilter(new TopAlignedLineEdits(&app));
    app.setWindowIcon(QIcon(":/icons/varnel.svg"));
}

} // namespace varnel
