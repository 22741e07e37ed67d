#pragma once
// Text helpers for the host's 8-bit ANSI strings. Pure functions: no OS calls.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace varnel {

// Maps only A to Z; the host's own lower-casing does the same.
char LowerAsciiChar(char c);
std::string LowerAscii(std::string_view text);
bool EqualsNoCaseAscii(std::string_view a, std::string_view b);

// Case folding for Windows-1252 text (A-Z plus the accented capitals), as the system's
// case-insensitive ANSI comparison treats file names.
char FoldAnsiChar(char c);
bool EqualsNoCaseAnsi(std::string_view a, std::string_view b);

// Case folding for UTF-8 text, letter by letter: the Latin, Greek and Cyrillic capitals fold as
// the system's Unicode comparison folds them. Bytes that are no UTF-8 compare as they are.
bool EqualsNoCaseUtf8(std::string_view a, std::string_view b);

// Appends one code point as UTF-8 (surrogates too, as 3 bytes: they stand for raw 16-bit units).
void AppendUtf8(uint32_t codePoint, std::string& out);

// The folded forms: two texts are equal without regard to case exactly when these are equal.
std::string FoldAnsi(std::string_view text);
// Whether every byte is plain ASCII (which reads the same in every code page and in UTF-8).
bool IsAscii(std::string_view text);
std::string FoldUtf8(std::string_view text);

// The system's wildcard match of one file name: "*" any run of characters, "?" any one character,
// letters compared without regard to case; "*.*" matches every name, with or without a dot.
bool WildcardMatch(std::string_view pattern, std::string_view name);

std::string ReplaceFirst(std::string_view text, std::string_view find, std::string_view by);
std::string ReplaceFirstNoCase(std::string_view text, std::string_view find, std::string_view by);
std::string ReplaceAll(std::string_view text, std::string_view find, std::string_view by);
std::string ReplaceAllNoCase(std::string_view text, std::string_view find, std::string_view by);

std::string TextBefore(std::string_view text, std::string_view separator);
std::string TextAfter(std::string_view text, std::string_view separator);
std::string FileNamePart(std::string_view path);
std::string FolderPart(std::string_view path);
// folder\name, with one backslash between them (none added after an empty folder).
std::string JoinPath(std::string_view folder, std::string_view name);
// A Windows path as the system writes it: "C:/Downloads/x.wlx" (as file dialogs, drops and
// typed arguments may give it) becomes "C:\\Downloads\\x.wlx".
std::string WithBackslashes(std::string_view path);
std::string ExtensionPart(std::string_view path);

std::string IntText(int64_t number);
int IntFromText(std::string_view text, int defaultValue);
std::string TextAfterEquals(std::string_view text);

// Blanks as the profile functions see them: space and tab.
std::string_view TrimBlanks(std::string_view text);

// One argument of FormatPrintf: a number or a text.
using FormatArg = std::variant<int64_t, std::string_view>;
struct PrintfArg {
    FormatArg value;
    PrintfArg(int v) : value(int64_t{v}) {}
    PrintfArg(unsigned v) : value(int64_t{v}) {}
    PrintfArg(long v) : value(int64_t{v}) {}
    PrintfArg(long long v) : value(int64_t{v}) {}
    PrintfArg(unsigned long v) : value(static_cast<int64_t>(v)) {}
    PrintfArg(std::string_view v) : value(v) {}
    PrintfArg(const std::string& v) : value(std::string_view(v)) {}
    PrintfArg(const char* v) : value(std::string_view(v ? v : "")) {}
};

// printf-style expansion with the rules of wvsprintfA: %s %c %d %i %u %x %X and "%%", the flags
// "-", "0" and "#", width and precision, the size prefixes "l" and "h" (accepted, ignored).
// The result is at most 1024 characters; the rest of a longer result is cut off.
// Text formatting with indexed arguments, all texts: "%s" takes the next argument, "%2:s" argument
// 2 (and the next "%s" argument 3), "%-40s" pads with blanks on the right to at least 40
// characters, "%12s" on the left; longer texts are never cut. "%%" is a percent sign. A missing
// argument is empty; any other conversion is copied as it stands. With `utf8`, widths count
// characters of UTF-8 text instead of bytes.
std::string FormatIndexed(std::string_view format, const std::vector<std::string>& args, bool utf8 = false);

constexpr size_t kFormatPrintfLimit = 1024;
std::string FormatPrintf(std::string_view format, std::initializer_list<PrintfArg> args);

} // namespace varnel
