#include "support/program_log.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>

#include "support/open_file_with_retry.h"

namespace sonaro {
namespace {

void makeFolderChain(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0777);
    }
    mkdir(path.c_str(), 0777);
}

}  // namespace

ProgramLog::ProgramLog(std::string logFolder, const Clock& clock)
    : m_folder(std::move(logFolder)), m_clock(clock) {
    makeFolderChain(m_folder);
}

void ProgramLog::refreshStamp(std::string& timeText, std::string& path) {
    const std::int64_t now = m_clock.Now();
    std::lock_guard lock(m_stampLock);
    if (now != m_stampSeconds) {
        const std::tm local = m_clock.LocalTime(now);
        char text[16];
        std::snprintf(text, sizeof text, "%.2d:%.2d:%.2d", local.tm_hour, local.tm_min,
                      local.tm_sec);
        char name[64];
        std::snprintf(name, sizeof name, "%.4d-%.2d-%.2d Sonaro Sound Recorder Log.txt",
                      local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
        m_timeText = text;
        m_path = m_folder + "/" + name;
        m_stampSeconds = now;
    }
    timeText = m_timeText;
    path = m_path;
}

void ProgramLog::Log(std::string_view text) {
    std::string timeText;
    std::string path;
    refreshStamp(timeText, path);
    std::string line = timeText + " ";
    line.append(text).append("\r\n");
    line.resize(std::min(line.size(), kLineBytes - 1));
    FileHandle file = OpenFileWithRetry(path, FileAccess::ReadWrite, FileShare::Read,
                                        FileDisposition::OpenAlways, kOpenBudgetMs, m_clock);
    if (file.valid() && lseek(file.fd(), 0, SEEK_END) >= 0) {
        file.writeAll(line.data(), line.size());
    }
}

void ProgramLog::Log(std::string_view prefix, std::string_view text) {
    std::string joined(prefix);
    joined.append(text);
    joined.resize(std::min<std::size_t>(joined.size(), 1023));
    Log(joined);
}

void ProgramLog::LogFormat(const char* format, ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    Log(text);
}

}  // namespace sonaro
