#include "support/fake_clock.h"

#include <ctime>

namespace sonaro::test {

std::tm FakeClock::LocalTime(std::int64_t seconds) const {
    const auto value = static_cast<std::time_t>(seconds);
    std::tm result{};
    gmtime_r(&value, &result);
    return result;
}

void FakeClock::Sleep(int ms) const {
    m_sleeps.push_back(ms);
    m_tick += static_cast<std::uint32_t>(ms);
}

std::int64_t UtcSeconds(int year, int month, int day, int hour, int minute, int second) {
    std::tm time{};
    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    return static_cast<std::int64_t>(timegm(&time));
}

}  // namespace sonaro::test
