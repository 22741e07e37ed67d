#pragma once
// Time and waits.

#include <functional>
#include <string>
#include <string_view>

namespace varnel::platform {

// Blocks for the given milliseconds. Tests replace the wait so fixed pauses cost nothing.
void SleepMs(unsigned milliseconds);
using SleepHandler = std::function<void(unsigned)>;
// Installs a replacement (an empty handler restores the real wait); returns the previous one.
SleepHandler SetSleepHandler(SleepHandler handler);

// Asks the allocator to keep freed large buffers for reuse instead of returning them to the system
// at once. A profile file of several megabytes is parsed, copied and rewritten by every command;
// fresh pages for each of those buffers cost far more than the copying itself.
void KeepLargeBuffersForReuse();

// Compares two UTF-8 texts as the user's language sorts them (the collation of the user's locale,
// plain code point order where none is set): below, equal to or above zero.
int CompareForUser(std::string_view a, std::string_view b);

// The system this program runs on, as it names itself ("Debian GNU/Linux 12"); "Linux" when it
// does not say.
std::string RunningSystemName();

// Whether the system's own file dialogs are the ones to use: Windows' are (the user's date format,
// places and columns); elsewhere the toolkit's own dialog speaks the program's language on every
// desktop, and the tests drive it.
bool PrefersSystemFileDialogs();

// Today's date as "dd.MM.yy" and the time as "HH:mm:ss" (24-hour clock).
std::string DateText();
std::string TimeText();
// Now in local time as ISO 8601 ("2026-12-09T10:50:59"), as records and scripts want it.
std::string IsoDateTimeText();

} // namespace varnel::platform
