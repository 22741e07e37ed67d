#pragma once
// The free-text descriptions users give plugin modules, kept in a "Descript.ion" file in each
// module's folder: one line per described file, its name (written in double quotes), a blank, the
// text. Lines are ended by CR LF; the file is hidden.

#include "ops/command.h"

#include <string>
#include <string_view>

namespace varnel {

inline constexpr std::string_view kDescriptionFile = "Descript.ion";

// The module's description, or "" when its folder's file has none (or cannot be read).
std::string ReadDescription(std::string_view modulePath, std::string_view fileName = kDescriptionFile);

// Sets the module's description; an empty text or "-" removes it. The file is replaced in one
// step, so a crash leaves the old file or the new one. False when it could not be written.
bool WriteDescription(std::string_view modulePath, std::string_view text,
                      std::string_view fileName = kDescriptionFile);

// Edits the description of the table row's module with the one-line dialog.
Result EditDescription(const Context& context, int row);

} // namespace varnel
