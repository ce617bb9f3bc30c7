#pragma once

#include <cstdint>
#include <ctime>

namespace sonaro {

// Wall-clock time, local time and the tick count, replaceable in tests. Any thread may call.
class Clock {
  public:
    virtual ~Clock() = default;
    // Seconds since 1970 (the C library's time).
    virtual std::int64_t Now() const = 0;
    // `seconds` broken down in the local time zone.
    virtual std::tm LocalTime(std::int64_t seconds) const = 0;
    // Milliseconds since the system started, counting suspended time, truncated to 32 bits.
    virtual std::uint32_t TickCount() const = 0;
    // Blocks the calling thread for `ms` milliseconds.
    virtual void Sleep(int ms) const = 0;
};

class SystemClock final : public Clock {
  public:
    std::int64_t Now() const override;
    std::tm LocalTime(std::int64_t seconds) const override;
    std::uint32_t TickCount() const override;
    void Sleep(int ms) const override;
};

}  // namespace sonaro
