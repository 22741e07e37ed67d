#include "ui/form_options.h"

#include "lang/language.h"
#include "ui/qt_text.h"

namespace varnel {

TFormOptions::TFormOptions(QWidget* parent) : QDialog(parent) {
    setObjectName("TFormOptions");
    setWindowTitle(FromAnsi(GetCaptionNoAccel(66)));
    hide();
}

} // namespace varnel
