#include "support/run_marker.h"

#include <unistd.h>

#include <cerrno>

#include "support/crash_handler.h"
#include "support/page_opener.h"
#include "support/prompter.h"

namespace sonaro {
namespace {

constexpr std::string_view kTitle = "Abnormal Termination Detected";
constexpr std::string_view kFailedQuestion =
    "Did Sonaro Sound Recorder hang or crash when last run?\r\n\r\nClick Yes if the program "
    "failed. Click No if it was because of something else (a hard logoff for example) or if you "
    "did not notice anything wrong or don't remember.";
constexpr std::string_view kReportQuestion =
    "Would you be willing to complete a Kestrix Software Bug Report so our programmers can try "
    "to fix this? Please click Yes and then enter the field to tell us exactly what you did so we "
    "can attempt to repeat it and fix it.";

void putLittleEndian(unsigned char* to, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        to[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

std::uint32_t getLittleEndian(const unsigned char* from) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | from[i];
    }
    return value;
}

bool readExactly(int fd, unsigned char* to, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, to + done, size - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace

RunMarker::RunMarker(std::string path, const Clock& clock, Prompter& prompter, PageOpener& pages,
                     std::string bugReportUrl)
    : m_path(std::move(path)),
      m_clock(clock),
      m_prompter(prompter),
      m_pages(pages),
      m_bugReportUrl(std::move(bugReportUrl)) {}

RunMarker::~RunMarker() {
    if (m_file.valid()) {
        SetCrashMarkerPath(nullptr);
    }
}

bool RunMarker::PreviousRunFailed(std::uint32_t now, std::uint32_t tick, std::uint32_t then,
                                  std::uint32_t thenTick) {
    const std::uint32_t expected = (now - then) * 1000u + thenTick;
    const auto difference = static_cast<std::int32_t>(tick - expected);
    return difference > -2000 && difference < 2000;
}

void RunMarker::CheckRunMarker() {
    const auto now = static_cast<std::uint32_t>(m_clock.Now());
    const std::uint32_t tick = m_clock.TickCount();
    RemoveRunMarker();
    if (createMarker(now, tick)) {
        return;
    }
    FileHandle old = OpenFileWithRetry(m_path, FileAccess::Read, FileShare::Read,
                                       FileDisposition::OpenExisting, 0, m_clock);
    // A FIFO or device in its place is no marker of ours; anything else that cannot be read
    // (another running instance holds it) is left alone.
    if (!old.valid() && old.error() != EINVAL) {
        return;
    }
    unsigned char record[8];
    const bool complete = old.valid() && readExactly(old.fd(), record, sizeof record);
    old.close();
    unlink(m_path.c_str());
    // The next crash must be noticed as well, also when this start follows one.
    createMarker(now, tick);
    if (complete &&
        PreviousRunFailed(now, tick, getLittleEndian(record), getLittleEndian(record + 4))) {
        askAboutPreviousRun();
    }
}

bool RunMarker::createMarker(std::uint32_t now, std::uint32_t tick) {
    m_file = OpenFileWithRetry(m_path, FileAccess::ReadWrite, FileShare::None,
                               FileDisposition::CreateNew, 0, m_clock);
    if (!m_file.valid()) {
        return false;
    }
    unsigned char record[8];
    putLittleEndian(record, now);
    putLittleEndian(record + 4, tick);
    if (::write(m_file.fd(), record, sizeof record) != static_cast<ssize_t>(sizeof record)) {
        RemoveRunMarker();
        return false;
    }
    SetCrashMarkerPath(m_path.c_str());
    return true;
}

void RunMarker::askAboutPreviousRun() {
    if (!m_prompter.AskYesNo(kFailedQuestion, kTitle, PromptAnswer::No)) {
        return;
    }
    m_clock.Sleep(kSecondQuestionDelayMs);
    if (m_prompter.AskYesNo(kReportQuestion, kTitle, PromptAnswer::No) && !m_bugReportUrl.empty()) {
        m_pages.OpenPage(m_bugReportUrl);
    }
}

void RunMarker::RemoveRunMarker() {
    if (m_file.valid()) {
        SetCrashMarkerPath(nullptr);
        unlink(m_path.c_str());
        m_file.close();
    }
}

}  // namespace sonaro
