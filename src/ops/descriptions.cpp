#include "ops/descriptions.h"

#include "catalog/plugin_table.h"
#include "lang/interaction.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "ops/command.h"
#include "ops/history.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "util/text.h"

#include <optional>
#include <vector>

namespace varnel {

namespace {

// A description file larger than this is no list of descriptions.
constexpr size_t kMaxDescriptionBytes = 16 * 1024 * 1024;

std::string DescriptionFileOf(std::string_view modulePath, std::string_view fileName) {
    return JoinPath(FolderPart(modulePath), fileName);
}

// The file's lines without their line ends (CR LF, LF or CR).
std::vector<std::string> LinesOf(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string::npos) {
            lines.push_back(bytes.substr(pos));
            break;
        }
        lines.push_back(bytes.substr(pos, end - pos));
        pos = end + (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

struct DescribedLine {
    bool describes = false; // false for a line without a blank
    std::string key;
    std::string text;
};

// A line's key is the text before its first blank without its enclosing quotes, and its text
// what follows that blank without leading blanks. A quoted name may itself hold blanks: then the
// key runs to the closing quote, when a blank follows it.
DescribedLine Parse(std::string_view line) {
    DescribedLine parsed;
    size_t blank = line.find(' ');
    if (blank == std::string_view::npos)
        return parsed;
    parsed.describes = true;
    size_t textStart = blank + 1;
    if (!line.empty() && line.front() == '"') {
        size_t close = line.find('"', 1);
        if (close != std::string_view::npos && close > blank && close + 1 < line.size() &&
            line[close + 1] == ' ') {
            parsed.key = std::string(line.substr(1, close - 1));
            textStart = close + 2;
        }
    }
    if (parsed.key.empty()) {
        std::string_view key = line.substr(0, blank);
        while (!key.empty() && key.front() == '"')
            key.remove_prefix(1);
        while (!key.empty() && key.back() == '"')
            key.remove_suffix(1);
        parsed.key = std::string(key);
    }
    std::string_view text = line.substr(textStart);
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    parsed.text = std::string(text);
    return parsed;
}

bool SameName(std::string_view a, std::string_view b) {
    return EqualsNoCaseAscii(a, b); // only A to Z fold, as the host compares these names
}

} // namespace

// A UTF-8 byte-order mark belongs to the file, not to its first name: a file so marked holds
// UTF-8 (the host writes it so), is read as such and is rewritten in UTF-8 behind its mark.
using platform::kUtf8Mark;

std::string ReadDescription(std::string_view modulePath, std::string_view fileName) {
    std::string bytes;
    if (platform::ReadWholeFile(DescriptionFileOf(modulePath, fileName), bytes, kMaxDescriptionBytes) !=
        platform::ReadResult::Ok)
        return {};
    const bool utf8 = bytes.starts_with(kUtf8Mark);
    if (utf8)
        bytes.erase(0, kUtf8Mark.size());
    const std::string name = FileNamePart(modulePath);
    for (const std::string& line : LinesOf(bytes)) {
        DescribedLine parsed = Parse(line);
        if (parsed.describes && SameName(utf8 ? platform::Utf8ToHostText(parsed.key) : parsed.key, name))
            return utf8 ? platform::Utf8ToHostText(parsed.text) : parsed.text;
    }
    return {};
}

bool WriteDescription(std::string_view modulePath, std::string_view text, std::string_view fileName) {
    const std::string file = DescriptionFileOf(modulePath, fileName);
    const std::string name = FileNamePart(modulePath);
    const std::string newLine =
        text.empty() || text == "-" ? std::string() : FormatPrintf("\"%s\" %s", {name, std::string(text)});
    // A link in a plugin folder may lead anywhere: it is not written through.
    if (platform::IsSymbolicLink(file))
        return false;
    RecordedChange change(FormatPrintf(Message(Msg::HistDescription), {name}));
    platform::RemoveStaleReplacements(file);
    std::string bytes;
    platform::ReadResult read = platform::ReadWholeFile(file, bytes, kMaxDescriptionBytes);
    if (read != platform::ReadResult::Ok && read != platform::ReadResult::Missing)
        return false; // not a file we may rewrite
    std::string result;
    const bool utf8 = bytes.starts_with(kUtf8Mark);
    if (utf8) {
        bytes.erase(0, kUtf8Mark.size());
        result = kUtf8Mark;
    }
    const std::string written = utf8 ? platform::HostTextToUtf8(newLine) : newLine;
    bool replaced = false;
    for (const std::string& line : LinesOf(bytes)) {
        DescribedLine parsed = Parse(line);
        if (!parsed.describes)
            continue;
        if (SameName(utf8 ? platform::Utf8ToHostText(parsed.key) : parsed.key, name)) {
            result.append(written).append("\r\n");
            replaced = true;
        } else {
            result.append(line).append("\r\n");
        }
    }
    if (!replaced)
        result.append(written).append("\r\n");
    if (!platform::ReplaceFileAtomically(file, result))
        return false;
    platform::MarkHiddenArchive(file);
    return true;
}

Result EditDescription(const Context& context, int row) {
    CommandRun run(context, std::string());
    if (row < 1 || row > context.table.Count())
        return run.Stop(Outcome::NotFound);
    const std::string module = context.table.Row(row).FileName;
    std::optional<std::string> text = run.Here().user.AskText(
        FormatPrintf(GetCaption(110), {FileNamePart(module)}), GetCaption(111), ReadDescription(module));
    if (!text)
        return run.Stop(Outcome::Refused);
    if (!WriteDescription(module, *text)) {
        ShowAppMessage(
            FormatPrintf(Message(Msg::FileNotWritten), {DescriptionFileOf(module, kDescriptionFile)}),
            kStyleError, Outcome::Failed, Msg::FileNotWritten);
        return run.Stop(Outcome::Failed);
    }
    return run.Finish();
}

} // namespace varnel
