#pragma once
// Keeps the windows alive while the program waits: for a helper process, or for work on another
// thread. Meanwhile the windows keep painting and user input waits; after 300 ms a busy indicator
// appears, with a Cancel button where stopping early is safe.

#include <atomic>
#include <functional>

namespace varnel {

// How long a wait may last before the busy indicator shows.
inline constexpr unsigned kBusyIndicatorAfterMs = 300;

// True while a wait is in progress: timers that would touch the plugin table skip their turn,
// and the main window does not close.
bool BusyWaiting();

// Makes every wait for a helper process keep the windows alive. Such a wait can always be
// cancelled: the helper is stopped, and a query stopped early writes nothing.
void InstallBusyWaitObserver();

// Runs `work` on another thread and waits for it as above. With `stop`, Cancel sets it and the
// work is to end soon after; without, the indicator has no Cancel button. An exception thrown by
// the work is thrown again here.
void RunOffGuiThread(const std::function<void()>& work, std::atomic<bool>* stop = nullptr);

} // namespace varnel
