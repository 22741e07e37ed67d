#pragma once
// The text engine behind the profile-file functions: parses an INI file kept as its exact bytes
// and edits it the way the system's profile functions do, touching nothing but the line that
// changes. Pure: no file access.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace varnel::platform {

class IniText {
public:
    enum class Folding {
        Ansi,   // 8-bit Windows-1252 text: A-Z and the accented capitals fold
        Unicode // UTF-8 text (a Unicode file): letters fold as the system's Unicode comparison folds them
    };

    explicit IniText(std::string bytes = {}, Folding folding = Folding::Ansi);

    const std::string& Bytes() const { return m_bytes; }

    // The value as the system returns it: trimmed, one pair of enclosing quotes removed, cut to
    // bufferChars - 1 characters and at the first NUL. nullopt when the key or section is missing.
    std::optional<std::string> ReadValue(std::string_view section, std::string_view key,
                                         size_t bufferChars) const;

    // The key-name list of a section as the system fills a buffer of bufferChars characters:
    // names each ended by a NUL, the list ended by another NUL; too small a buffer cuts the list
    // and still ends it with two NULs. Returns the buffer's contents up to and including the final
    // NUL; `count` receives the character count the system call would return.
    std::string ReadKeyNames(std::string_view section, size_t bufferChars, size_t* count = nullptr) const;

    // Packs names into a key-list buffer of bufferChars characters, as ReadKeyNames does.
    static std::string PackKeyNames(const std::vector<std::string>& names, size_t bufferChars, size_t* count);

    // The key names of a section in file order (empty names left out).
    std::vector<std::string> KeyNames(std::string_view section) const;

    // Writes key=value (value nullopt deletes the key). Returns true when the bytes changed.
    bool Write(std::string_view section, std::string_view key, std::optional<std::string_view> value);

    // Takes away the key lines the list names (each name as often as listed) and writes the
    // entries: what deleting the keys one by one and then writing the entries one by one would
    // give, at the cost of one edit when the entries' keys are new (as in a renumbering).
    // A missing section is made by the writes. Returns true when the bytes changed.
    bool ReplaceKeys(std::string_view section, const std::vector<std::string>& removeKeys,
                     const std::vector<std::pair<std::string, std::string>>& entries);

    bool HasSection(std::string_view section) const;
    // The section names in file order, each once (the first spelling of a repeated one).
    std::vector<std::string> SectionNames() const;
    // Removes a section whose header is followed by nothing but blank lines; true when it did.
    bool RemoveEmptySection(std::string_view section);

    // The line break new lines get: the file's own, CR LF when it has none.
    std::string_view LineBreak() const;

private:
    enum class LineKind : uint8_t { Blank, Comment, Section, Key };
    // Name and value are kept as offsets from the line's start, so that moving a line moves them
    // along; a file holds hundreds of thousands of lines, hence the narrow fields.
    struct Line {
        size_t start = 0;
        uint32_t length = 0;     // without the line break
        uint32_t nameOffset = 0; // the trimmed name
        uint32_t nameLength = 0;
        uint32_t valueOffset = 0; // the trimmed value
        uint32_t valueLength = 0;
        uint8_t breakLength = 0;
        LineKind kind = LineKind::Blank;
        bool hasEquals = false;
        size_t NameStart() const { return start + nameOffset; }
        size_t ValueStart() const { return start + valueOffset; }
        size_t End() const { return start + length + breakLength; } // past the line break
    };
    struct Section {
        size_t headerLine = 0;
        size_t endLine = 0; // one past the section's last line
    };

    void Parse();
    // Splits the text between two line starts into lines and classifies each.
    void SplitLines(size_t from, size_t to, std::vector<Line>& out) const;
    // Classifies one line from its start, length and line break.
    void ParseLine(Line& line) const;
    void RebuildSections();
    // Moves the lines from `first` on by `delta` bytes.
    void ShiftLines(size_t first, std::ptrdiff_t delta);
    std::string_view NameOf(const Line& line) const {
        return {m_bytes.data() + line.NameStart(), line.nameLength};
    }
    const Section* FindSection(std::string_view name) const;
    std::optional<size_t> FindKeyLine(const Section& section, std::string_view key) const;

    std::string m_bytes;
    Folding m_folding;
    std::vector<Line> m_lines;
    std::vector<Section> m_sections;
    // Per section (by header line): folded key name -> its first line. Built on the first look-up
    // and dropped by every edit, so that reading every key of a section costs its lines once.
    mutable std::unordered_map<size_t, std::unordered_map<std::string, size_t>> m_keyIndex;
    // Folded section name -> its first section; built on the first look-up after a change.
    mutable std::unordered_map<std::string, size_t> m_sectionIndex;
    std::string Folded(std::string_view name) const;
};

} // namespace varnel::platform
