#pragma once
// Language files: every caption and message comes from Language\<name>.lng beside the program,
// with English.lng as the fall-back. Messages are loaded once per language into the message store.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "lang/interaction.h"

namespace varnel {

// Message-box styles, as the system's message box takes them.
enum MessageBoxStyle : int {
    kMbOk = 0,
    kMbOkCancel = 0x1,
    kMbIconError = 0x10,
    kMbIconQuestion = 0x20,
    kMbIconInformation = 0x40,
    kMbDefButton2 = 0x100, // Cancel is the default: a script's standing "yes" does not answer it
    kMbTaskModal = 0x2000,
    // Not a system style: the question gives another plugin's registration away (a script answers
    // it with --replace, never with a standing "yes").
    kMbReplace = 0x10000000,
    kMbSetForeground = 0x10000,
    kStyleError = kMbIconError,                     // 16
    kStyleQuestion = kMbIconQuestion | kMbOkCancel, // 33
    kStyleInformation = kMbIconInformation,         // 64
    // A question whose "yes" writes a guess (a default where the plugin gave no answer): only a
    // person answers it.
    kStyleGuessQuestion = kStyleQuestion | kMbDefButton2,
    // A question whose "yes" replaces another plugin's registration.
    kStyleReplaceQuestion = kStyleQuestion | kMbDefButton2 | kMbReplace,
};
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

// The message box, shown by the interaction in use (interaction.h). Every box gets
// MB_SETFOREGROUND added; an error box says what kind of failure it reports.
// message: the number of the message the text says (0: none).
int ShowMessageBox(std::string_view text, std::string_view title, int style,
                   Outcome failure = Outcome::Failed, int message = 0);

// What happens after the fatal "language file not found" box: the application ends the program
// there. Library code never ends the process itself.
using FatalHandler = std::function<void()>;
FatalHandler SetFatalHandler(FatalHandler handler);

// Chooses Language\<name>.lng. On success runs the loaded-hook (which reloads all messages) and
// returns true; a missing file shows the fatal box, calls the fatal handler and returns false.
bool SetLanguage(std::string_view name);
const std::string& CurrentLanguageFile();
const std::string& EnglishLanguageFile();

using LanguageLoadedHook = std::function<void()>;
void SetLanguageLoadedHook(LanguageLoadedHook hook);

std::string GetCaption(int number);
std::string GetCaptionNoAccel(int number);
std::string GetMessageText(int number);
std::string ReadLanguageValue(std::string_view section, std::string_view key);

// The message store.
void LoadMessages();
const std::string& Message(int number);
const std::string& LanguageAuthor();
// The numbers LoadMessages reads, ascending.
const std::vector<int>& MessageNumbers();
// Back to the five built-in state words and nothing else (start of the program, and tests).
void ResetMessageStore();

// Language names (file names without extension) of Language\*.lng, in file-system order.
std::vector<std::string> ListLanguages();

// A box titled with message 51, as nearly every box of the program is.
// message: the number of the message the text says, for whoever tells outcomes apart by it.
int ShowAppMessage(std::string_view text, int style, Outcome failure = Outcome::Failed, int message = 0);

} // namespace varnel
