#pragma once

#include <cstdint>
#include <string>

#include "support/clock.h"
#include "support/open_file_with_retry.h"

namespace sonaro {

class PageOpener;
class Prompter;

// A file that exists exactly while the program runs, so that the next start can tell that the
// previous run ended without closing properly. It holds the start time (32-bit seconds since
// 1970) and the tick count (32-bit ms), little-endian, and stays open with an exclusive lock.
//
// Used on the user-interface thread only.
class RunMarker {
  public:
    static constexpr const char* kFileName = "_sonaro_rl";
    static constexpr int kSecondQuestionDelayMs = 600;

    // `path` is "<temporary folder>/_sonaro_rl"; `bugReportUrl` the page opened when the user
    // agrees to report (empty: none is opened).
    RunMarker(std::string path, const Clock& clock, Prompter& prompter, PageOpener& pages,
              std::string bugReportUrl);
    ~RunMarker();
    RunMarker(const RunMarker&) = delete;
    RunMarker& operator=(const RunMarker&) = delete;

    // Creates the marker. When one is left from a previous run, removes it, creates this run's
    // own and asks about the previous run when the computer has not restarted since that run
    // began.
    void CheckRunMarker();
    // Closes and deletes the marker, if this run holds one.
    void RemoveRunMarker();
    bool holdsMarker() const { return m_file.valid(); }

    // True when the tick count `tick` taken at `now` lies within 2000 ms (exclusive) of the tick
    // expected from the previous start (`then`, `thenTick`), counted modulo 2^32.
    static bool PreviousRunFailed(std::uint32_t now, std::uint32_t tick, std::uint32_t then,
                                  std::uint32_t thenTick);

  private:
    // Creates and fills this run's marker; false when it was not made (one exists already, the
    // folder is unusable, or the record could not be written).
    bool createMarker(std::uint32_t now, std::uint32_t tick);
    void askAboutPreviousRun();

    std::string m_path;
    const Clock& m_clock;
    Prompter& m_prompter;
    PageOpener& m_pages;
    std::string m_bugReportUrl;
    FileHandle m_file;
};

}  // namespace sonaro
