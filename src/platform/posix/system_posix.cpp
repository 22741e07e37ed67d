#include "platform/system.h"

#include <chrono>
#include <ctime>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <thread>

namespace varnel::platform {

namespace {
SleepHandler& Handler() {
    static SleepHandler handler;
    return handler;
}

std::string FormatNow(const char* format) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[32];
    size_t n = std::strftime(buffer, sizeof buffer, format, &local);
    return std::string(buffer, n);
}
} // namespace

void SleepMs(unsigned milliseconds) {
    if (Handler()) {
        Handler()(milliseconds);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

SleepHandler SetSleepHandler(SleepHandler handler) {
    SleepHandler previous = std::move(Handler());
    Handler() = std::move(handler);
    return previous;
}

void KeepLargeBuffersForReuse() {
#if defined(__GLIBC__)
    // Buffers up to 64 MB come from the heap, and up to 256 MB of free heap stays mapped.
    mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
#endif
}

std::string DateText() {
    return FormatNow("%d.%m.%y");
}
std::string TimeText() {
    return FormatNow("%H:%M:%S");
}

} // namespace varnel::platform
