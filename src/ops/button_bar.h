#pragma once
// The host's button bar file (an INI file, section "Buttonbar"): finding it, reading and writing
// its per-button keys, and adding this program's five buttons after taking out earlier ones.

#include "ops/command.h"

#include <string>
#include <string_view>

namespace varnel {

// The bar file the host shows: its configuration's Buttonbar value, expanded, else
// "<host folder>\Default.bar".
std::string GetButtonBarFile(const HostContext& host);

std::string ReadBarValue(std::string_view file, std::string_view key);
// Writing an empty value keeps the key with an empty value; no key of the bar is ever deleted.
void WriteBarValue(std::string_view file, std::string_view key, std::string_view value);

int ButtonCount(std::string_view file);
// The first button whose command contains text (A-Z folded), 1-based; 0 when there is none.
int FindButton(std::string_view file, std::string_view text);
// Appends a button; the icon value is iconFile alone for index 0, else "iconFile,index".
void AddButton(std::string_view file, std::string_view command, std::string_view parameters,
               std::string_view iconFile, int iconIndex, std::string_view tooltip);
void AddSeparatorIfNeeded(std::string_view file);
// Takes out every button whose command contains text, closing the gap.
void RemoveButtons(std::string_view file, std::string_view text);

// The program's buttons: itself, then /install, /installZip, /order and /restart, behind a
// separator, after taking out every button that already starts it. The whole edit replaces the
// file once. The icons come from iconFile (the program's icon module). Fails (said) when the bar
// could not be read or written; it is then left as it was.
Result AddProgramButtons(const Context& context, std::string_view file, std::string_view programPath,
                         std::string_view iconFile);

} // namespace varnel
