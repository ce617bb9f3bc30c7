#pragma once

#include <cstdint>
#include <vector>

#include "support/clock.h"

namespace sonaro::test {

// A clock that moves only when told. Local time is UTC, so tests do not depend on the zone.
// Sleep advances the clock and is recorded.
class FakeClock final : public Clock {
  public:
    std::int64_t Now() const override { return m_now; }
    std::tm LocalTime(std::int64_t seconds) const override;
    std::uint32_t TickCount() const override { return m_tick; }
    void Sleep(int ms) const override;

    void setNow(std::int64_t seconds) { m_now = seconds; }
    void setTick(std::uint32_t tick) { m_tick = tick; }
    const std::vector<int>& sleeps() const { return m_sleeps; }

  private:
    std::int64_t m_now = 0;
    mutable std::uint32_t m_tick = 0;
    mutable std::vector<int> m_sleeps;
};

// Seconds since 1970 of a UTC calendar time.
std::int64_t UtcSeconds(int year, int month, int day, int hour, int minute, int second);

}  // namespace sonaro::test
