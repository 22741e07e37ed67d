#include "lang/language.h"
#include "lang/messages.h"

#include "platform/files.h"
#include "platform/profile.h"
#include "platform/program_folder.h"
#include "util/text.h"

#include <map>

namespace varnel {

namespace {

constexpr size_t kLanguageValueBuffer = 501;

struct LanguageState {
    std::string currentFile;
    std::string englishFile;
    LanguageLoadedHook loadedHook;
    FatalHandler fatal;
    std::map<int, std::string> messages;
    std::string author;
};

LanguageState& State() {
    static LanguageState state = [] {
        LanguageState s;
        s.messages = {{20, "idle"}, {21, "loaded"}, {22, "running"}, {23, "-disabled-"}, {24, "-deleted-"}};
        return s;
    }();
    return state;
}

std::string NumberKey(int number) {
    return FormatPrintf("%4.4d", {number});
}

std::string ReadWithFallback(std::string_view section, int number) {
    std::string key = NumberKey(number);
    std::string value =
        platform::ProfileReadString(State().currentFile, section, key, "", kLanguageValueBuffer);
    if (value.empty())
        value = platform::ProfileReadString(State().englishFile, section, key, "", kLanguageValueBuffer);
    return value;
}

} // namespace

int ShowMessageBox(std::string_view text, std::string_view title, int style, Outcome failure, int message) {
    return User().Show(
        Notice{std::string(text), std::string(title), style | kMbSetForeground, failure, message});
}

FatalHandler SetFatalHandler(FatalHandler handler) {
    FatalHandler previous = std::move(State().fatal);
    State().fatal = std::move(handler);
    return previous;
}

bool SetLanguage(std::string_view name) {
    std::string dir = ProgramFolder();
    State().currentFile = FormatPrintf("%sLanguage\\%s.lng", {dir, name});
    State().englishFile = FormatPrintf("%sLanguage\\English.lng", {dir});
    if (!platform::FileExists(State().currentFile)) {
        std::string text =
            FormatPrintf("Language file \"%s\" not found!\rTry to reinstall program.", {State().currentFile});
        ShowMessageBox(text, "TC Varnel", kStyleError);
        if (State().fatal)
            State().fatal();
        return false;
    }
    if (State().loadedHook)
        State().loadedHook();
    return true;
}

const std::string& CurrentLanguageFile() {
    return State().currentFile;
}
const std::string& EnglishLanguageFile() {
    return State().englishFile;
}

void SetLanguageLoadedHook(LanguageLoadedHook hook) {
    State().loadedHook = std::move(hook);
}

std::string GetCaption(int number) {
    return ReadWithFallback("Captions", number);
}

std::string GetCaptionNoAccel(int number) {
    return ReplaceFirst(GetCaption(number), "&", "");
}

std::string GetMessageText(int number) {
    std::string text = ReadWithFallback("Messages", number);
    // The language files' own convention: "\n" is a carriage return and "\r" a line feed.
    text = ReplaceAll(text, "\\n", "\r");
    text = ReplaceAll(text, "\\r", "\n");
    text = ReplaceAll(text, "\\t", "\t");
    return text;
}

std::string ReadLanguageValue(std::string_view section, std::string_view key) {
    return platform::ProfileReadString(State().currentFile, section, key, "", kLanguageValueBuffer);
}

const std::vector<int>& MessageNumbers() {
    static const std::vector<int> numbers = [] {
        std::vector<int> n;
        auto range = [&n](int from, int to) {
            for (int i = from; i <= to; ++i)
                n.push_back(i);
        };
        range(20, 24);
        range(40, 43);
        range(50, 64);
        range(68, 75);
        range(80, 90);
        // This program's own additions: a host file that could not be written, a program that
        // could not be started, a host that would not close, a helper that could not answer, an
        // unusable Wine prefix, a file nothing could open, a host still running after a restart;
        // the bitness of modules and a module the host cannot load; a host missing on the command line;
        // why a command is off; a configuration that cannot be read; a name that cannot be a key;
        // a configuration changed by another program meanwhile; the busy indicator; an extension
        // listed twice; options that are no numbers, and a refresh too often; an archive entry that
        // would leave its folder, an archive bomb, an archiver that wrote elsewhere, and an archive
        // whose pluginst.inf names no plugin, one holding a link or a special file, and a refresh
        // period out of range, and a program path no command can hold; the list's count of one plugin;
        // the bar buttons added, or the bar that could not be written; the change history's
        // descriptions of changes, an undo, nothing to undo, a repair, and a damaged record.
        range(91, 140);
        // An FS plugin that cannot be configured here, or not loaded; copying a module into the
        // plugin folder, and a different file in its way; a detect string nested too deeply; a
        // history that cannot be written; a link in a download folder; a change too large to keep
        // whole; a copy that a link would lead out of the plugin folder.
        range(141, 149);
        // The detect-string check's faults, its error line and syntax help; the health check's
        // findings, their repairs, and its summary.
        range(150, 168);
        // The health check's repairs and summary; an FS plugin name another plugin has; disabling
        // several plugins; the summary's count of one.
        range(170, 183);
        // The command-line tool's own words.
        range(190, 243);
        return n;
    }();
    return numbers;
}

void LoadMessages() {
    // Every text is read at once: the language files are looked at once, not once per text.
    platform::ProfileReadScope reads;
    State().author = ReadLanguageValue("Language", "Author");
    for (int number : MessageNumbers())
        State().messages[number] = GetMessageText(number);
}

const std::string& Message(int number) {
    static const std::string empty;
    auto found = State().messages.find(number);
    return found == State().messages.end() ? empty : found->second;
}

const std::string& LanguageAuthor() {
    return State().author;
}

void ResetMessageStore() {
    State().messages = {{20, "idle"}, {21, "loaded"}, {22, "running"}, {23, "-disabled-"}, {24, "-deleted-"}};
    State().author.clear();
}

std::vector<std::string> ListLanguages() {
    std::vector<std::string> names;
    std::string folder = ProgramFolder();
    if (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    for (const platform::FindData& found : platform::FindFiles(folder + "\\Language\\*.lng")) {
        if (found.IsFolder)
            continue;
        size_t dot = found.Name.rfind('.');
        names.push_back(dot == std::string::npos ? found.Name : found.Name.substr(0, dot));
    }
    return names;
}

int ShowAppMessage(std::string_view text, int style, Outcome failure, int message) {
    return ShowMessageBox(text, Message(Msg::AppTitle), style, failure, message);
}

} // namespace varnel
