// Feeds the INI engine arbitrary files and arbitrary edits. Beyond not crashing, every value
// written under a well-formed name must read back as written (after trimming and the removal of
// one pair of enclosing quotes), and every edit must leave the rest of the file alone.

#include "platform/ini_text.h"
#include "util/text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>

using varnel::platform::IniText;

namespace {

// A name the file format can hold: no line breaks or NULs, no "=" or brackets, not a comment.
std::string WellFormedName(FuzzedDataProvider& data) {
    std::string raw = data.ConsumeRandomLengthString(24);
    std::string name;
    for (char c : raw)
        if (c != '\r' && c != '\n' && c != '\0' && c != '=' && c != '[' && c != ']')
            name.push_back(c);
    name = std::string(varnel::TrimBlanks(name));
    if (name.empty() || name.front() == ';')
        name.insert(0, "k");
    return name;
}

std::string WellFormedValue(FuzzedDataProvider& data) {
    std::string raw = data.ConsumeRandomLengthString(64);
    std::string value;
    for (char c : raw)
        if (c != '\r' && c != '\n' && c != '\0')
            value.push_back(c);
    return value;
}

std::string Expected(std::string_view written) {
    std::string_view v = varnel::TrimBlanks(written);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return std::string(v);
}

void CheckAt(bool condition, int line) {
    if (!condition) {
        std::fprintf(stderr, "check failed at line %d\n", line);
        std::abort();
    }
}
#define Check(condition) CheckAt((condition), __LINE__)

// The one contiguous stretch in which two texts differ: what `before` lost and `after` gained.
void Difference(const std::string& before, const std::string& after, std::string& removed,
                std::string& added) {
    size_t limit = std::min(before.size(), after.size());
    size_t prefix = 0;
    while (prefix < limit && before[prefix] == after[prefix])
        ++prefix;
    size_t suffix = 0;
    while (suffix < limit - prefix && before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    removed = before.substr(prefix, before.size() - prefix - suffix);
    added = after.substr(prefix, after.size() - prefix - suffix);
}

} // namespace

// Edits keep the line index up to date without parsing the file again; a fresh parse of the
// same bytes must see exactly the same sections, keys and values.
void CheckIndex(const IniText& text, IniText::Folding folding, const std::string& section,
                const std::string& key) {
    IniText fresh(text.Bytes(), folding);
    Check(fresh.ReadKeyNames(section, 100000) == text.ReadKeyNames(section, 100000));
    Check(fresh.ReadValue(section, key, 100000) == text.ReadValue(section, key, 100000));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    IniText::Folding folding = data.ConsumeBool() ? IniText::Folding::Ansi : IniText::Folding::Unicode;
    IniText text(data.ConsumeRandomLengthString(2048), folding);
    while (data.remaining_bytes() > 0) {
        switch (data.ConsumeIntegralInRange(0, 4)) {
        case 0: {
            std::string section = WellFormedName(data);
            std::string key = WellFormedName(data);
            std::string value = WellFormedValue(data);
            std::string before = text.Bytes();
            bool changed = text.Write(section, key, std::string_view(value));
            Check(text.ReadValue(section, key, std::string::npos) == Expected(value));
            // An edit never reaches into another line: whatever the file lost lies inside one line.
            std::string removed, added;
            Difference(before, text.Bytes(), removed, added);
            Check(changed || (removed.empty() && added.empty()));
            Check(removed.find('\n') == std::string::npos);
            CheckIndex(text, folding, section, key);
            break;
        }
        case 1: {
            std::string section = WellFormedName(data);
            std::string key = WellFormedName(data);
            std::string before = text.Bytes();
            bool changed = text.Write(section, key, std::nullopt);
            // A deletion takes away one line and adds nothing.
            std::string removed, added;
            Difference(before, text.Bytes(), removed, added);
            Check(added.empty());
            Check(changed ? !removed.empty() && std::count(removed.begin(), removed.end(), '\n') <= 1
                          : removed.empty());
            CheckIndex(text, folding, section, key);
            // Taking away a section left empty keeps the index too, and only ever shortens the text.
            if (data.ConsumeBool()) {
                size_t length = text.Bytes().size();
                if (text.RemoveEmptySection(section))
                    Check(text.Bytes().size() < length);
                CheckIndex(text, folding, section, key);
            }
            break;
        }
        case 2: {
            std::string section = data.ConsumeRandomLengthString(16);
            std::string key = data.ConsumeRandomLengthString(16);
            size_t buffer = data.ConsumeIntegralInRange<size_t>(0, 300);
            std::optional<std::string> value = text.ReadValue(section, key, buffer);
            if (value)
                Check(buffer == 0 ? value->empty() : value->size() < buffer);
            break;
        }
        case 3: {
            // Replacing keys in one edit is the same as the edits one by one.
            std::string section = WellFormedName(data);
            std::vector<std::string> remove = text.KeyNames(section);
            if (!remove.empty() && data.ConsumeBool())
                remove.resize(data.ConsumeIntegralInRange<size_t>(0, remove.size()));
            std::vector<std::pair<std::string, std::string>> entries;
            for (int n = data.ConsumeIntegralInRange(0, 4); n > 0; --n)
                entries.emplace_back(WellFormedName(data), WellFormedValue(data));
            IniText stepwise = text;
            for (const std::string& key : remove)
                stepwise.Write(section, key, std::nullopt);
            for (const auto& [key, value] : entries)
                stepwise.Write(section, key, std::string_view(value));
            text.ReplaceKeys(section, remove, entries);
            Check(text.Bytes() == stepwise.Bytes());
            CheckIndex(text, folding, section, entries.empty() ? std::string("k") : entries.front().first);
            break;
        }
        default: {
            std::string section = data.ConsumeRandomLengthString(16);
            size_t buffer = data.ConsumeIntegralInRange<size_t>(0, 300);
            size_t count = 0;
            std::string list = text.ReadKeyNames(section, buffer, &count);
            Check(list.size() <= std::max<size_t>(buffer, 2));
            if (buffer >= 2)
                Check(list.size() >= 2 && list[list.size() - 1] == '\0' && list[list.size() - 2] == '\0');
            break;
        }
        }
    }
    return 0;
}
