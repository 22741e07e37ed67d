#pragma once
// The program's texts are Windows-1252; Qt's are Unicode.

#include <QString>
#include <string>
#include <string_view>

#include "platform/codepage.h"

namespace varnel {

inline QString FromAnsi(std::string_view ansi) { return QString::fromStdString(platform::AnsiToUtf8(ansi)); }
inline std::string ToAnsi(const QString& text) { return platform::Utf8ToAnsi(text.toStdString()); }

// Message texts break lines with CR, LF or both (the language files' "\n" is a CR).
inline QString ForDisplay(std::string_view ansi) {
    QString text = FromAnsi(ansi);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace varnel
