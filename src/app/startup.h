#pragma once
// The program's start, before any window: the message store takes its place as the language
// hook, then the settings are loaded (which chooses the language).

namespace varnel {

// False when the program must end at once (the language file is missing; its box was shown).
bool InitializeProgram();

// The application's way of ending the program at once with exit code 0; installed as the
// language layer's fatal handler by main().
[[noreturn]] void EndProgramNow();

} // namespace varnel
