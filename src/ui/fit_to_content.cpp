#include "ui/fit_to_content.h"

#include <QHeaderView>
#include <QScreen>
#include <QString>
#include <QTreeView>
#include <QWidget>
#include <algorithm>

namespace varnel {

int ColumnContentWidth(const QAbstractItemView* view, const QHeaderView* header, int column) {
    return std::max(view->sizeHintForColumn(column), header->sectionSizeHint(column));
}

void KeepOnScreen(QWidget* window) {
    const QRect screen = window->screen()->availableGeometry();
    const QRect frame = window->frameGeometry();
    const int extraWidth = frame.width() - window->width();
    const int extraHeight = frame.height() - window->height();
    if (frame.width() > screen.width() || frame.height() > screen.height())
        window->resize(std::min(window->width(), screen.width() - extraWidth),
                       std::min(window->height(), screen.height() - extraHeight));
    const QRect fitted = window->frameGeometry();
    window->move(
        std::clamp(fitted.x(), screen.left(), std::max(screen.left(), screen.right() + 1 - fitted.width())),
        std::clamp(fitted.y(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - fitted.height())));
}

void FitColumns(QTreeView* view, int cap) {
    QHeaderView* header = view->header();
    for (int c = 0; c + 1 < header->count(); ++c)
        if (!header->isSectionHidden(c))
            view->setColumnWidth(c, std::min(cap, ColumnContentWidth(view, header, c)));
}

void WidenToColumns(QWidget* window, QTreeView* view) {
    QHeaderView* header = view->header();
    int columns = 0;
    for (int c = 0; c < header->count(); ++c)
        if (!header->isSectionHidden(c))
            columns += c + 1 < header->count() ? header->sectionSize(c) : ColumnContentWidth(view, header, c);
    const QRect screen = window->screen()->availableGeometry();
    const int needed = window->width() - view->viewport()->width() + columns;
    window->resize(std::clamp(needed, window->width(), std::max(window->width(), screen.width() * 9 / 10)),
                   window->height());
    KeepOnScreen(window);
}

QString WrappablePath(const QString& text) {
    QString wrappable = text;
    wrappable.replace(QLatin1Char('\\'), QStringLiteral("\\\u200B"));
    return wrappable;
}

} // namespace varnel
