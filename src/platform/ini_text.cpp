#include "platform/ini_text.h"

#include "util/text.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace varnel::platform {

namespace {
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
} // namespace

IniText::IniText(std::string bytes, Folding folding) : m_bytes(std::move(bytes)), m_folding(folding) {
    Parse();
}

void IniText::Parse() {
    m_lines.clear();
    SplitLines(0, m_bytes.size(), m_lines);
    RebuildSections();
}

void IniText::SplitLines(size_t from, size_t to, std::vector<Line>& out) const {
    const char* data = m_bytes.data();
    out.reserve(out.size() + static_cast<size_t>(std::count(data + from, data + to, '\n')) + 1);
    size_t pos = from;
    while (pos < to) {
        Line line;
        line.start = pos;
        // A line ends at LF, CR LF or a CR of its own, as the system reads profile files.
        size_t end = pos;
        while (end < m_bytes.size() && data[end] != '\n' && data[end] != '\r')
            ++end;
        line.length = static_cast<uint32_t>(end - pos);
        if (end < m_bytes.size())
            line.breakLength = data[end] == '\r' && end + 1 < m_bytes.size() && data[end + 1] == '\n' ? 2 : 1;
        pos = line.End();
        ParseLine(line);
        out.push_back(line);
    }
}

void IniText::ParseLine(Line& line) const {
    // Offsets always point into the line, even where there is no name or value.
    line.kind = LineKind::Blank;
    line.nameOffset = 0;
    line.nameLength = 0;
    line.hasEquals = false;
    line.valueOffset = line.length;
    line.valueLength = 0;
    std::string_view text(m_bytes.data() + line.start, line.length);
    auto offsetOf = [&](std::string_view part) { return static_cast<uint32_t>(part.data() - text.data()); };
    size_t first = 0;
    while (first < text.size() && IsBlank(text[first]))
        ++first;
    if (first == text.size())
        return;
    if (text[first] == ';') {
        line.kind = LineKind::Comment;
    } else if (text[first] == '[' && text.find(']', first) != std::string_view::npos) {
        line.kind = LineKind::Section;
        size_t close = text.rfind(']');
        std::string_view name = TrimBlanks(text.substr(first + 1, close - first - 1));
        line.nameOffset = name.empty() ? static_cast<uint32_t>(first + 1) : offsetOf(name);
        line.nameLength = static_cast<uint32_t>(name.size());
    } else {
        line.kind = LineKind::Key;
        size_t equals = text.find('=');
        std::string_view name = TrimBlanks(text.substr(0, equals));
        line.nameOffset = name.empty() ? 0 : offsetOf(name);
        line.nameLength = static_cast<uint32_t>(name.size());
        if (equals != std::string_view::npos) {
            line.hasEquals = true;
            std::string_view rest = text.substr(equals + 1);
            size_t lead = 0;
            while (lead < rest.size() && IsBlank(rest[lead]))
                ++lead;
            line.valueOffset = static_cast<uint32_t>(equals + 1 + lead);
            line.valueLength = static_cast<uint32_t>(TrimBlanks(rest).size());
        }
    }
}

void IniText::RebuildSections() {
    m_keyIndex.clear();
    m_sectionIndex.clear();
    m_sections.clear();
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind != LineKind::Section)
            continue;
        if (!m_sections.empty())
            m_sections.back().endLine = i;
        m_sections.push_back({i, m_lines.size()});
    }
}

void IniText::ShiftLines(size_t first, std::ptrdiff_t delta) {
    for (size_t i = first; i < m_lines.size(); ++i)
        m_lines[i].start = static_cast<size_t>(static_cast<std::ptrdiff_t>(m_lines[i].start) + delta);
}

const IniText::Section* IniText::FindSection(std::string_view name) const {
    if (m_sectionIndex.empty() && !m_sections.empty())
        for (size_t i = 0; i < m_sections.size(); ++i)
            m_sectionIndex.try_emplace(Folded(NameOf(m_lines[m_sections[i].headerLine])), i); // first wins
    auto found = m_sectionIndex.find(Folded(TrimBlanks(name)));
    return found == m_sectionIndex.end() ? nullptr : &m_sections[found->second];
}

std::string IniText::Folded(std::string_view name) const {
    return m_folding == Folding::Ansi ? FoldAnsi(name) : FoldUtf8(name);
}

std::optional<size_t> IniText::FindKeyLine(const Section& section, std::string_view key) const {
    key = TrimBlanks(key);
    if (key.empty())
        return std::nullopt;
    auto [entry, made] = m_keyIndex.try_emplace(section.headerLine);
    std::unordered_map<std::string, size_t>& index = entry->second;
    if (made)
        for (size_t i = section.headerLine + 1; i < section.endLine; ++i)
            if (m_lines[i].kind == LineKind::Key)
                index.try_emplace(Folded(NameOf(m_lines[i])), i); // the first line of a name wins
    auto found = index.find(Folded(key));
    if (found == index.end())
        return std::nullopt;
    return found->second;
}

std::optional<std::string> IniText::ReadValue(std::string_view section, std::string_view key,
                                              size_t bufferChars) const {
    const Section* s = FindSection(section);
    if (!s)
        return std::nullopt;
    std::optional<size_t> index = FindKeyLine(*s, key);
    if (!index)
        return std::nullopt;
    const Line& line = m_lines[*index];
    std::string_view value(m_bytes.data() + line.ValueStart(), line.hasEquals ? line.valueLength : 0);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    size_t nul = value.find('\0');
    if (nul != std::string_view::npos)
        value = value.substr(0, nul);
    if (bufferChars == 0)
        return std::string();
    if (value.size() > bufferChars - 1)
        value = value.substr(0, bufferChars - 1);
    return std::string(value);
}

std::vector<std::string> IniText::KeyNames(std::string_view section) const {
    std::vector<std::string> names;
    if (const Section* s = FindSection(section)) {
        for (size_t i = s->headerLine + 1; i < s->endLine; ++i) {
            const Line& line = m_lines[i];
            if (line.kind != LineKind::Key || !line.hasEquals)
                continue; // a line without "=" is no key to the system's key lists
            std::string_view name = NameOf(line);
            // A NUL inside a name would end the list early; the name stops there.
            name = name.substr(0, name.find('\0'));
            if (!name.empty())
                names.emplace_back(name);
        }
    }
    return names;
}

std::string IniText::PackKeyNames(const std::vector<std::string>& names, size_t bufferChars, size_t* count) {
    std::string list;
    for (const std::string& name : names) {
        list.append(name);
        list.push_back('\0');
    }
    if (bufferChars < 2) {
        if (count)
            *count = 0;
        return std::string(bufferChars, '\0');
    }
    // A list that exactly fills the buffer counts as cut too, as the system counts it.
    if (list.size() + 1 >= bufferChars) {
        list.resize(bufferChars - 2);
        if (count)
            *count = bufferChars - 2;
        list.append(2, '\0');
        return list;
    }
    if (count)
        *count = list.size();
    list.push_back('\0');
    if (list.size() == 1)
        list.push_back('\0');
    return list;
}

std::string IniText::ReadKeyNames(std::string_view section, size_t bufferChars, size_t* count) const {
    return PackKeyNames(KeyNames(section), bufferChars, count);
}

std::string_view IniText::LineBreak() const {
    for (const Line& line : m_lines) {
        if (line.breakLength == 2)
            return "\r\n";
        if (line.breakLength == 1)
            return m_bytes[line.start + line.length] == '\r' ? "\r" : "\n";
    }
    return "\r\n";
}

bool IniText::Write(std::string_view section, std::string_view key, std::optional<std::string_view> value) {
    section = TrimBlanks(section);
    key = TrimBlanks(key);
    if (key.empty())
        return false;
    const Section* s = FindSection(section);
    std::optional<size_t> keyLine = s ? FindKeyLine(*s, key) : std::nullopt;

    // The edits below keep the line index current instead of parsing the whole text again, so
    // a command of many writes costs what its lines cost, not what the file costs.
    if (!value) {
        if (!keyLine)
            return false;
        const Line line = m_lines[*keyLine];
        size_t removed = line.length + line.breakLength;
        m_bytes.erase(line.start, removed);
        m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(*keyLine));
        ShiftLines(*keyLine, -static_cast<std::ptrdiff_t>(removed));
        RebuildSections();
        return true;
    }

    if (keyLine) {
        Line& line = m_lines[*keyLine];
        std::ptrdiff_t delta;
        if (line.hasEquals) {
            std::string_view old(m_bytes.data() + line.ValueStart(), line.valueLength);
            if (old == *value)
                return false;
            m_bytes.replace(line.ValueStart(), line.valueLength, *value);
            delta =
                static_cast<std::ptrdiff_t>(value->size()) - static_cast<std::ptrdiff_t>(line.valueLength);
        } else {
            std::string tail = "=";
            tail.append(*value);
            m_bytes.insert(line.start + line.length, tail);
            delta = static_cast<std::ptrdiff_t>(tail.size());
        }
        line.length = static_cast<uint32_t>(static_cast<std::ptrdiff_t>(line.length) + delta);
        ParseLine(line);
        ShiftLines(*keyLine + 1, delta);
        return true;
    }

    std::string_view lineBreak = LineBreak();
    std::string keyText(key);
    keyText.push_back('=');
    keyText.append(*value);

    if (s) {
        size_t after = s->headerLine;
        for (size_t i = s->headerLine + 1; i < s->endLine; ++i)
            if (m_lines[i].kind == LineKind::Key)
                after = i;
        Line& anchor = m_lines[after];
        size_t insertAt = anchor.End();
        std::string insert;
        if (anchor.breakLength == 0) {
            // The anchor was the file's last line, without a break: it gets one.
            insert.append(lineBreak);
            anchor.breakLength = static_cast<uint8_t>(lineBreak.size());
        }
        Line added;
        added.start = insertAt + insert.size();
        added.length = static_cast<uint32_t>(keyText.size());
        added.breakLength = static_cast<uint8_t>(lineBreak.size());
        insert.append(keyText);
        insert.append(lineBreak);
        m_bytes.insert(insertAt, insert);
        ShiftLines(after + 1, static_cast<std::ptrdiff_t>(insert.size()));
        ParseLine(added);
        m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(after + 1), added);
        RebuildSections();
        return true;
    }

    if (!m_lines.empty() && m_lines.back().breakLength == 0) {
        // The last line gets a break before the new section follows it.
        m_bytes.append(lineBreak);
        m_lines.back().breakLength = static_cast<uint8_t>(lineBreak.size());
    }
    const size_t from = m_bytes.size();
    m_bytes.push_back('[');
    m_bytes.append(section);
    m_bytes.push_back(']');
    m_bytes.append(lineBreak);
    m_bytes.append(keyText);
    m_bytes.append(lineBreak);
    SplitLines(from, m_bytes.size(), m_lines);
    RebuildSections();
    return true;
}

bool IniText::HasSection(std::string_view section) const {
    return FindSection(section) != nullptr;
}

std::vector<std::string> IniText::SectionNames() const {
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
    for (const Section& section : m_sections) {
        std::string name(NameOf(m_lines[section.headerLine]));
        if (seen.insert(Folded(name)).second)
            names.push_back(std::move(name));
    }
    return names;
}

bool IniText::RemoveEmptySection(std::string_view section) {
    const Section* s = FindSection(section);
    if (!s)
        return false;
    for (size_t i = s->headerLine + 1; i < s->endLine; ++i)
        if (m_lines[i].kind != LineKind::Blank)
            return false;
    const size_t first = s->headerLine;
    const size_t end = s->endLine;
    const Line& last = m_lines[end - 1];
    size_t start = m_lines[first].start;
    size_t removed = last.End() - start;
    m_bytes.erase(start, removed);
    m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(first),
                  m_lines.begin() + static_cast<std::ptrdiff_t>(end));
    ShiftLines(first, -static_cast<std::ptrdiff_t>(removed));
    RebuildSections();
    return true;
}

bool IniText::ReplaceKeys(std::string_view section, const std::vector<std::string>& removeKeys,
                          const std::vector<std::pair<std::string, std::string>>& entries) {
    const Section* found = FindSection(section);
    if (!found) {
        bool changed = false;
        for (const auto& [key, value] : entries)
            changed = Write(section, key, std::string_view(value)) || changed;
        return changed;
    }
    const Section s = *found;
    // Each name takes away as many key lines of that name as the list holds, first ones first.
    std::unordered_map<std::string, int> toRemove;
    for (const std::string& key : removeKeys)
        ++toRemove[std::string(TrimBlanks(key))];
    std::vector<size_t> kept;
    size_t anchor = s.headerLine; // new keys follow the last key line that stays
    bool removedAny = false;
    for (size_t i = s.headerLine + 1; i < s.endLine; ++i) {
        const Line& line = m_lines[i];
        if (line.kind == LineKind::Key) {
            auto it = toRemove.find(std::string(NameOf(line)));
            if (it != toRemove.end() && it->second > 0) {
                --it->second;
                removedAny = true;
                continue;
            }
            anchor = i;
        }
        kept.push_back(i);
    }
    // An entry whose key is still there (a line without "=") or came earlier in the list is an
    // update of that line, as writing it one by one would be: it goes through Write afterwards.
    std::unordered_set<std::string> taken; // folded names of the key lines that stay or are added
    for (size_t i : kept)
        if (m_lines[i].kind == LineKind::Key)
            taken.insert(Folded(NameOf(m_lines[i])));
    std::vector<std::pair<std::string, std::string>> appended;
    std::vector<std::pair<std::string, std::string>> updates;
    for (const auto& [rawKey, value] : entries) {
        std::string_view key = TrimBlanks(rawKey);
        if (key.empty() || !taken.insert(Folded(key)).second)
            updates.emplace_back(key, value);
        else
            appended.emplace_back(key, value);
    }
    if (!removedAny && appended.empty()) {
        bool changed = false;
        for (const auto& [key, value] : updates)
            changed = Write(section, key, std::string_view(value)) || changed;
        return changed;
    }

    const std::string_view lineBreak = LineBreak();
    auto lineText = [&](size_t i) {
        const Line& line = m_lines[i];
        return std::string_view(m_bytes.data() + line.start, line.length + line.breakLength);
    };
    std::string region(lineText(s.headerLine));
    auto appendEntries = [&] {
        if (appended.empty())
            return;
        if (!region.empty() && region.back() != '\n' && region.back() != '\r')
            region.append(lineBreak); // the anchor was the file's last line, without a break
        for (const auto& [key, value] : appended) {
            region.append(key);
            region.push_back('=');
            region.append(value);
            region.append(lineBreak);
        }
    };
    if (anchor == s.headerLine)
        appendEntries();
    for (size_t i : kept) {
        region.append(lineText(i));
        if (i == anchor)
            appendEntries();
    }

    // One splice of the text and one move of the lines after it, whatever the number of keys.
    const Line& last = m_lines[s.endLine - 1];
    const size_t start = m_lines[s.headerLine].start;
    const size_t oldEnd = last.End();
    m_bytes.replace(start, oldEnd - start, region);
    std::vector<Line> lines;
    SplitLines(start, start + region.size(), lines);
    const std::ptrdiff_t delta =
        static_cast<std::ptrdiff_t>(region.size()) - static_cast<std::ptrdiff_t>(oldEnd - start);
    m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(s.headerLine),
                  m_lines.begin() + static_cast<std::ptrdiff_t>(s.endLine));
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(s.headerLine), lines.begin(), lines.end());
    ShiftLines(s.headerLine + lines.size(), delta);
    RebuildSections();
    for (const auto& [key, value] : updates)
        Write(section, key, std::string_view(value));
    return true;
}

} // namespace varnel::platform
