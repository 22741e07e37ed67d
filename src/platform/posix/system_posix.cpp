#include "platform/system.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>
#include <locale.h>
#include <string>
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

int CompareForUser(std::string_view a, std::string_view b) {
    static locale_t collation = [] {
        locale_t user = newlocale(LC_COLLATE_MASK, "", nullptr);
        return user ? user : newlocale(LC_COLLATE_MASK, "C", nullptr);
    }();
    const std::string left(a);
    const std::string right(b);
    return strcoll_l(left.c_str(), right.c_str(), collation);
}

std::string RunningSystemName() {
    std::ifstream in("/etc/os-release");
    std::string line, name, version;
    auto value = [](const std::string& text) {
        std::string v = text.substr(text.find('=') + 1);
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
            v = v.substr(1, v.size() - 2);
        return v;
    };
    while (std::getline(in, line)) {
        if (line.rfind("NAME=", 0) == 0)
            name = value(line);
        else if (line.rfind("VERSION_ID=", 0) == 0)
            version = value(line);
    }
    if (name.empty())
        return "Linux";
    return version.empty() ? name : name + " " + version;
}

std::string DateText() {
    return FormatNow("%d.%m.%y");
}
std::string TimeText() {
    return FormatNow("%H:%M:%S");
}
std::string IsoDateTimeText() {
    return FormatNow("%Y-%m-%dT%H:%M:%S");
}

bool PrefersSystemFileDialogs() {
    return false;
}

} // namespace varnel::platform
