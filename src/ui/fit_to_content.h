#pragma once
// Lists and dialogs sized to what they show, within the screen they open on.

class QAbstractItemView;
class QHeaderView;
class QTreeView;
class QWidget;
class QString;

namespace varnel {

// The width a column needs for its widest text and for its header.
int ColumnContentWidth(const QAbstractItemView* view, const QHeaderView* header, int column);
// Shrinks the window to the screen it is on where it is larger, and moves it onto that screen.
void KeepOnScreen(QWidget* window);

// Every column but the last as wide as its widest text or its header, at most `cap` pixels; the
// last takes what is left and scrolls.
void FitColumns(QTreeView* view, int cap);
// Widens the window until the list shows all its columns, up to nine tenths of the screen, and
// moves it onto the screen. Call it once the window is laid out (when it is shown).
void WidenToColumns(QWidget* window, QTreeView* view);
// A text in which a path may wrap after each backslash (a zero-width blank follows it), for lists
// that wrap their texts.
QString WrappablePath(const QString& text);

} // namespace varnel
