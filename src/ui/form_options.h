#pragma once
// The options dialog. The program creates it once, keeps it hidden and reuses it; its pages come
// with the options command, which this build does not offer yet.

#include <QDialog>

namespace varnel {

class TFormOptions : public QDialog {
    Q_OBJECT
public:
    explicit TFormOptions(QWidget* parent = nullptr);
};

} // namespace varnel
