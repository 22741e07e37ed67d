// Every window and dialog, in English and German, on the screen the test's environment sets up
// (1366x768 at 100 %, or 1920x1080 at 150 %): no label, button, tab, column header or list column
// cuts its text, and every window lies within the screen. With VARNEL_SHOT_DIR set, each window is
// also saved there as a PNG for looking at.

#include "all_dialogs.h"
#include "gui_host.h"
#include "lang/language.h"
#include "ops/history.h"
#include "ops/plugin_commands.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <QTextDocument>
#include <QTreeView>

using namespace varnel;
using namespace varnel::test;

namespace {

// The size a tab asks for (a protected function, reached through a member pointer).
struct TabBarAccess : QTabBar {
    using QTabBar::tabSizeHint;
};
int TabNeeds(QTabBar* tabs, int index) {
    QSize (QTabBar::*hint)(int) const = &TabBarAccess::tabSizeHint;
    return (tabs->*hint)(index).width();
}

QString Describe(QWidget* widget, const QString& text, int needs, int has) {
    return QString("%1 \"%2\" needs %3 px, has %4").arg(widget->objectName(), text).arg(needs).arg(has);
}

// The texts of one window that its controls show only in part.
QStringList CutTexts(QWidget* window) {
    QStringList cut;
    auto shown = [window](QWidget* widget) { return widget->window() == window && widget->isVisible(); };
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (!shown(label) || label->text().isEmpty())
            continue;
        if (label->wordWrap()) {
            const int needs = label->heightForWidth(label->width());
            if (needs > label->height())
                cut << Describe(label, label->text(), needs, label->height()) + " (height)";
        } else if (label->sizeHint().width() > label->width()) {
            cut << Describe(label, label->text(), label->sizeHint().width(), label->width());
        }
    }
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        if (!shown(button) || button->text().isEmpty())
            continue;
        // A push button's size hint has a minimum width of the style's; its text needs less.
        int needs = button->sizeHint().width();
        if (auto* push = qobject_cast<QPushButton*>(button)) {
            QStyleOptionButton option;
            option.initFrom(push);
            option.text = push->text();
            option.icon = push->icon();
            option.iconSize = push->iconSize();
            if (push->autoDefault() || push->isDefault())
                option.features |= QStyleOptionButton::AutoDefaultButton;
            QSize content = push->fontMetrics().size(Qt::TextShowMnemonic, push->text());
            if (!push->icon().isNull())
                content.rwidth() += push->iconSize().width() + 4;
            // (The style's result has a minimum width that a short text such as "..." does not need.)
            needs = std::min(
                push->style()->sizeFromContents(QStyle::CT_PushButton, &option, content, push).width(),
                content.width() + 2 * push->style()->pixelMetric(QStyle::PM_ButtonMargin));
        }
        if (needs > button->width())
            cut << Describe(button, button->text(), needs, button->width());
    }
    for (QGroupBox* group : window->findChildren<QGroupBox*>())
        if (shown(group) && group->minimumSizeHint().width() > group->width())
            cut << Describe(group, group->title(), group->minimumSizeHint().width(), group->width());
    for (QTabBar* tabs : window->findChildren<QTabBar*>())
        if (shown(tabs))
            for (int i = 0; i < tabs->count(); ++i)
                if (tabs->tabRect(i).width() < TabNeeds(tabs, i))
                    cut << Describe(tabs, tabs->tabText(i), TabNeeds(tabs, i), tabs->tabRect(i).width());
    for (QAbstractItemView* view : window->findChildren<QAbstractItemView*>()) {
        if (!shown(view) || !view->model())
            continue;
        QHeaderView* header = nullptr;
        bool wraps = false;
        if (auto* tree = qobject_cast<QTreeView*>(view)) {
            header = tree->header();
            wraps = tree->wordWrap();
        } else if (auto* table = qobject_cast<QTableView*>(view)) {
            header = table->horizontalHeader();
            wraps = table->wordWrap();
        }
        if (!header || header->isHidden())
            continue;
        // The last column may run on past the view's edge: it is scrolled to, not cut.
        int last = -1;
        for (int c = 0; c < header->count(); ++c)
            if (!header->isSectionHidden(c) && header->sectionSize(c) > 0)
                last = std::max(last, header->visualIndex(c));
        for (int c = 0; c < header->count(); ++c) {
            if (header->isSectionHidden(c) || header->sectionSize(c) == 0)
                continue;
            const QString title = view->model()->headerData(c, Qt::Horizontal).toString();
            const int has = header->sectionSize(c);
            if (header->sectionSizeHint(c) > has)
                cut << Describe(view, "header " + title, header->sectionSizeHint(c), has);
            // (A list that wraps its texts makes its rows taller instead.)
            if (header->visualIndex(c) != last && !wraps && view->sizeHintForColumn(c) > has)
                cut << Describe(view, "column " + title, view->sizeHintForColumn(c), has);
        }
    }
    const QRect screen = window->screen()->availableGeometry();
    if (!screen.contains(window->frameGeometry()))
        cut << QString("%1 at %2,%3 %4x%5 is not within the screen %6x%7")
                   .arg(window->objectName())
                   .arg(window->frameGeometry().x())
                   .arg(window->frameGeometry().y())
                   .arg(window->frameGeometry().width())
                   .arg(window->frameGeometry().height())
                   .arg(screen.width())
                   .arg(screen.height());
    return cut;
}

// Shows the window, checks it and saves its picture when asked to.
QStringList Check(QWidget* window, const QString& language) {
    window->show();
    Settle();
    if (const QByteArray folder = qgetenv("VARNEL_SHOT_DIR"); !folder.isEmpty()) {
        const int percent = qRound(window->screen()->devicePixelRatio() * 100);
        window->grab().save(QString("%1/%2-%3-%4.png")
                                .arg(QString::fromLocal8Bit(folder), window->objectName(), language)
                                .arg(percent));
    }
    QStringList faults;
    for (const QString& fault : CutTexts(window))
        faults << language + ": " + fault;
    return faults;
}

} // namespace

class FittedTextsTest : public QObject {
    Q_OBJECT
private slots:
    void everyWindowShowsItsTextsWhole_data() {
        QTest::addColumn<QString>("language");
        QTest::newRow("English") << "English";
        QTest::newRow("Deutsch") << "Deutsch";
    }

    void everyWindowShowsItsTextsWhole() {
        QFETCH(QString, language);
        // All columns shown, as a user who has switched them on has them.
        GuiHost host("[Options]\r\nLanguage=" + language.toStdString() +
                     "\r\nShowVersionsCol=1\r\nShowDescriptions=1\r\n");
        host.Open();
        host.Action("mnuDetails")->trigger();
        host.Select({0});
        // A change for the History dialog to show.
        host.boxes.SetAnswer(kIdOk);
        host.Window().btnDisableClick();
        Settle();
        QStringList faults = Check(&host.Window(), language);

        AllDialogs dialogs(&host.Window());
        for (QWidget* dialog : dialogs.List()) {
            faults << Check(dialog, language);
            dialog->hide();
        }
        QVERIFY2(faults.isEmpty(), qPrintable("\n" + faults.join("\n")));
    }
};

QTEST_MAIN(FittedTextsTest)
#include "fitted_texts_test.moc"
