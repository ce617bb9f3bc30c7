#include "support/clock.h"

#include <chrono>
#include <thread>

namespace sonaro {

std::int64_t SystemClock::Now() const {
    return static_cast<std::int64_t>(std::time(nullptr));
}

std::tm SystemClock::LocalTime(std::int64_t seconds) const {
    const auto value = static_cast<std::time_t>(seconds);
    std::tm result{};
    localtime_r(&value, &result);
    return result;
}

std::uint32_t SystemClock::TickCount() const {
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                    static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

void SystemClock::Sleep(int ms) const {
    if (ms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

}  // namespace sonaro
