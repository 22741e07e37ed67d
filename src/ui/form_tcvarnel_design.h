#pragma once
// The main window's design geometry and the size grip it paints itself, shared by the files
// that build and lay out the window.

#include <QPainter>
#include <QSizeGrip>
#include <QStyleOptionSizeGrip>

namespace varnel {

// Design geometry of the window (client size and position).
inline constexpr int kDesignLeft = 186;
inline constexpr int kDesignTop = 103;
inline constexpr int kDesignWidth = 636;
inline constexpr int kDesignHeight = 426;
inline constexpr int kMinimumWidth = 450;
inline constexpr int kMinimumHeight = 250;
inline constexpr int kStatusBarDesignHeight = 19;
inline constexpr int kSizeGrip = 17;

// The size grip painted in the bottom-right corner when the status bar is hidden. QSizeGrip
// decides on its own visibility by the window manager's state; this one is shown exactly when
// the window says so.
class SizeGripCorner : public QSizeGrip {
public:
    using QSizeGrip::QSizeGrip;
    void SetShown(bool shown) { QWidget::setVisible(shown); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QStyleOptionSizeGrip option;
        option.initFrom(this);
        option.corner = Qt::BottomRightCorner;
        style()->drawControl(QStyle::CE_SizeGrip, &option, &painter, this);
    }
};

} // namespace varnel
