#pragma once
// The observer that SetWaitObserver installs, for the waits of both platforms' process functions.

#include "platform/process.h"

#include <chrono>

namespace varnel::platform::detail {

WaitObserver& CurrentWaitObserver();

// Whether a wait for a child that began at `started` is to end now: its time is up (sets
// result.timedOut) or the observer asks to stop (sets result.cancelled). The caller then stops it.
bool WaitMustEnd(std::chrono::steady_clock::time_point started, unsigned timeoutMs, CapturedRun& result);

// Whether a serving child's output holds a whole line that begins with endLine.
bool HasAnswerEnd(std::string_view output, std::string_view endLine);

// Tells the observer, when it goes, that a wait is over.
struct WaitEndNotice {
    WaitEndNotice() = default;
    WaitEndNotice(const WaitEndNotice&) = delete;
    WaitEndNotice& operator=(const WaitEndNotice&) = delete;
    ~WaitEndNotice() {
        if (CurrentWaitObserver())
            CurrentWaitObserver()(0, true);
    }
};

} // namespace varnel::platform::detail
