#include "platform/wait_observer.h"

#include <chrono>

namespace varnel::platform {

namespace detail {

WaitObserver& CurrentWaitObserver() {
    static WaitObserver observer;
    return observer;
}

bool WaitMustEnd(std::chrono::steady_clock::time_point started, unsigned timeoutMs, CapturedRun& result) {
    const auto elapsed = static_cast<unsigned>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
            .count());
    result.timedOut = elapsed >= timeoutMs;
    result.cancelled = !result.timedOut && CurrentWaitObserver() && CurrentWaitObserver()(elapsed, false);
    return result.timedOut || result.cancelled;
}

bool HasAnswerEnd(std::string_view output, std::string_view endLine) {
    if (output.empty() || output.back() != '\n')
        return false;
    output.remove_suffix(1);
    const size_t start = output.rfind('\n');
    return output.substr(start == std::string_view::npos ? 0 : start + 1).starts_with(endLine);
}

} // namespace detail

using detail::CurrentWaitObserver;

WaitObserver SetWaitObserver(WaitObserver observer) {
    WaitObserver previous = std::move(CurrentWaitObserver());
    CurrentWaitObserver() = std::move(observer);
    return previous;
}

namespace {
bool g_childWindow = false;
} // namespace

ChildWindowWait::ChildWindowWait() : m_previous(g_childWindow) {
    g_childWindow = true;
}

ChildWindowWait::~ChildWindowWait() {
    g_childWindow = m_previous;
}

bool ChildWindowWait::Active() {
    return g_childWindow;
}

namespace {
long long NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

BusyWork::BusyWork() : m_startedMs(NowMs()), m_lastTurnMs(m_startedMs) {}

BusyWork::~BusyWork() {
    if (m_told && CurrentWaitObserver())
        CurrentWaitObserver()(0, true);
}

bool BusyWork::Turn() {
    if (m_cancelled)
        return true;
    // The observer paints windows: every 20 ms is enough, and cheap for a walk of many entries.
    const long long now = NowMs();
    if (now - m_lastTurnMs < 20 || !CurrentWaitObserver())
        return false;
    m_lastTurnMs = now;
    m_told = true;
    m_cancelled = CurrentWaitObserver()(static_cast<unsigned>(now - m_startedMs), false);
    return m_cancelled;
}

} // namespace varnel::platform
