#pragma once
// The program's texts are Windows-1252; Qt's are Unicode.

#include <QString>
#include <string>
#include <string_view>

#include "platform/codepage.h"

namespace varnel {

// Host text may carry UTF-8 behind its mark; text that does not fit the code page goes back that way.
inline QString FromAnsi(std::string_view ansi) {
    return QString::fromStdString(platform::HostTextToUtf8(ansi));
}
inline std::string ToAnsi(const QString& text) {
    return platform::Utf8ToHostText(text.toStdString());
}

// Message texts break lines with CR, LF or both (the language files' "\n" is a CR).
inline QString ForDisplay(std::string_view ansi) {
    QString text = FromAnsi(ansi);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace varnel
