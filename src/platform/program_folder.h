#pragma once
// The program's own folder (Windows form, ending with "\"): settings and language files lie there.

#include <string>
#include <string_view>

namespace varnel {

std::string ProgramFolder();
// Tests and tools point the program at another portable folder; an empty text restores the
// executable's own folder.
void SetProgramFolder(std::string_view windowsFolder);

} // namespace varnel
