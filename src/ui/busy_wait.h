#pragma once
// Keeps the windows alive while the program waits: for a helper process, or for work on another
// thread. Meanwhile the windows keep painting and user input waits; after 300 ms a busy indicator
// appears, with a Cancel button where stopping early is safe.

#include "lang/interaction.h"

#include <atomic>
#include <functional>
#include <memory>

namespace varnel {

// How long a wait may last before the busy indicator shows.
inline constexpr unsigned kBusyIndicatorAfterMs = 300;

// True while a wait is in progress: timers that would touch the plugin table skip their turn,
// and the main window does not close.
bool BusyWaiting();

// While it lives, every wait for a helper process keeps the windows alive. Such a wait can always
// be cancelled: the helper is stopped, and a query stopped early writes nothing.
class BusyWaits : public Interaction {
public:
    BusyWaits();
    ~BusyWaits() override;
    bool Waiting(unsigned elapsedMs, bool ended) override;

    class Wait; // one wait, with its indicator once it grows long

private:
    std::unique_ptr<Wait> m_current; // the wait for the running helper
};

// Runs `work` on another thread and waits for it as above. With `stop`, Cancel sets it and the
// work is to end soon after; without, the indicator has no Cancel button. An exception thrown by
// the work is thrown again here.
void RunOffGuiThread(const std::function<void()>& work, std::atomic<bool>* stop = nullptr);

} // namespace varnel
