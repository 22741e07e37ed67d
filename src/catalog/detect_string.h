#pragma once
// The host's detect strings (a Lister's or Content plugin's test of a file): operands EXT, SIZE,
// FORCE, MULTIMEDIA, [n] (a byte of the file's first 8192), numbers and "strings"; the functions
// FIND("...") and FINDI("..."); the operators = != < > & | ! and brackets.

#include <optional>
#include <string_view>

namespace varnel {

// Where a detect string stops making sense, and why (a message number of the language files).
struct DetectStringProblem {
    size_t position = 0; // of the byte where the fault lies, from 0
    int message = 0;
};

// nullopt when the string parses (an empty string does: the plugin then tests nothing).
std::optional<DetectStringProblem> CheckDetectString(std::string_view text);

} // namespace varnel
