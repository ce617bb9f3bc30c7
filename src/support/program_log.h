#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "support/clock.h"

namespace sonaro {

// The daily program log: "<logFolder>/YYYY-MM-DD Sonaro Sound Recorder Log.txt", one line
// "HH:MM:SS message\r\n" per event. Lines are appended through their own open, append and close,
// so other processes may read the file at any time. A line that cannot be written is lost
// silently.
//
// Any thread may call any operation.
class ProgramLog {
  public:
    static constexpr int kOpenBudgetMs = 500;
    static constexpr std::size_t kLineBytes = 8192;

    // Creates the log folder (and its parent) when missing.
    ProgramLog(std::string logFolder, const Clock& clock);

    void Log(std::string_view text);
    // Joins `prefix` and `text`, cut to 1023 characters.
    void Log(std::string_view prefix, std::string_view text);
    // At most 511 characters of formatted text.
    void LogFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));

    const std::string& folder() const { return m_folder; }

  private:
    // The time text and the path for the current second; formed again only when the second
    // changed since the last line.
    void refreshStamp(std::string& timeText, std::string& path);

    std::string m_folder;
    const Clock& m_clock;
    std::mutex m_stampLock;
    std::int64_t m_stampSeconds = -1;
    std::string m_timeText;
    std::string m_path;
};

}  // namespace sonaro
