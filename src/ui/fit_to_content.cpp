#include "ui/fit_to_content.h"

#include <QHeaderView>
#include <QScreen>
#include <QString>
#include <QTreeView>
#include <QWidget>
#include <algorithm>

namespace varnel {

namespace {

// The width of a column's widest text (public on the base class only).
int ContentWidth(const QAbstractItemView* view, int column) {
    return view->sizeHintForColumn(column);
}

} // namespace

void FitColumns(QTreeView* view, int cap) {
    QHeaderView* header = view->header();
    for (int c = 0; c + 1 < header->count(); ++c)
        if (!header->isSectionHidden(c))
            view->setColumnWidth(c,
                                 std::min(cap, std::max(ContentWidth(view, c), header->sectionSizeHint(c))));
}

void WidenToColumns(QWidget* window, QTreeView* view) {
    QHeaderView* header = view->header();
    int columns = 0;
    for (int c = 0; c < header->count(); ++c)
        if (!header->isSectionHidden(c))
            columns += c + 1 < header->count() ? header->sectionSize(c)
                                               : std::max(ContentWidth(view, c), header->sectionSizeHint(c));
    const QRect screen = window->screen()->availableGeometry();
    const int needed = window->width() - view->viewport()->width() + columns;
    window->resize(std::clamp(needed, window->width(), std::max(window->width(), screen.width() * 9 / 10)),
                   std::min(window->height(), screen.height()));
    const QRect frame = window->frameGeometry();
    window->move(
        std::clamp(frame.x(), screen.left(), std::max(screen.left(), screen.right() + 1 - frame.width())),
        std::clamp(frame.y(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - frame.height())));
}

QString WrappablePath(const QString& text) {
    QString wrappable = text;
    wrappable.replace(QLatin1Char('\\'), QStringLiteral("\\\u200B"));
    return wrappable;
}

} // namespace varnel
