#include "record/file_naming.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "formats/format_settings.h"
#include "support/prompter.h"

namespace sonaro {
namespace {

constexpr std::string_view kCounterField = "autonumber";
constexpr std::string_view kCounterToken = "%autonumber%";
constexpr std::uint32_t kUnknownSpaceKb = 16777216;
constexpr std::string_view kInvalidFolderTitle = "Invalid output folder";

bool isForbidden(char c) {
    static constexpr std::string_view kForbidden = "<>\"*./:?\\|";
    return static_cast<unsigned char>(c) < 0x20 || kForbidden.find(c) != std::string_view::npos;
}

std::string twoDigits(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%.2d", value);
    return text;
}

bool pathExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

bool isFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

CleanedName CleanFileName(std::string_view text) {
    CleanedName result;
    for (char c : text) {
        if (!isForbidden(c)) {
            result.name.push_back(c);
        }
    }
    result.valid = !result.name.empty();
    return result;
}

std::string BuildRecordingPath(std::string_view folder, std::string_view name,
                               std::string_view extension) {
    std::string path(folder);
    if (path.empty() || (path.back() != '/' && path.back() != '\\')) {
        path.push_back('/');
    }
    path.append(name).append(extension);
    return path;
}

std::string PathLengthRefusal(std::string_view path) {
    if (path.size() > kMaxPathBytes) {
        return "The path is " + std::to_string(path.size()) +
               " bytes long; the system takes at most " + std::to_string(kMaxPathBytes) + ".";
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string_view part = path.substr(start, end - start);
        if (part.size() > kMaxNameBytes) {
            return "The name \"" + std::string(part) + "\" is " + std::to_string(part.size()) +
                   " bytes long; the system takes at most " + std::to_string(kMaxNameBytes) +
                   " in a name.";
        }
        start = end + 1;
    }
    return {};
}

std::uint32_t KilobytesOf(std::uint64_t bytes) {
    const std::uint64_t high = std::min<std::uint64_t>(bytes >> 32, 1023);
    const std::uint64_t low = bytes & 0xFFFFFFFFu;
    return static_cast<std::uint32_t>((high << 22) + low / 1024);
}

bool ValidateFileNamePattern(std::string_view pattern, std::string* message) {
    std::string_view refusal;
    const std::size_t counter = pattern.find(kCounterToken);
    if (pattern.empty()) {
        refusal = "File name format is invalid. Please try again.";
    } else if (counter != std::string_view::npos &&
               counter + kCounterToken.size() < pattern.size()) {
        refusal =
            "File name format contains \"%autonumber%\" are not allowed to have post string. "
            "Please try again.";
    } else if (counter == std::string_view::npos &&
               pattern.find("%SS%") == std::string_view::npos) {
        refusal =
            "File name format must contain either \"%autonumber%\" or \"%SS%\". Please try again.";
    }
    if (message != nullptr) {
        *message = refusal;
    }
    return refusal.empty();
}

FileNaming::FileNaming(SettingsStore& settings, const Clock& clock, std::string documentsFolder,
                       StatVfsFunction statVfs)
    : m_settings(settings),
      m_clock(clock),
      m_documentsFolder(std::move(documentsFolder)),
      m_statVfs(statVfs ? std::move(statVfs) : StatVfsFunction(::statvfs)) {}

const std::string& FileNaming::DefaultRecordingsFolder() {
    if (!m_defaultFolder) {
        m_defaultFolder = m_documentsFolder + "/Sonaro";
        mkdir(m_documentsFolder.c_str(), 0777);
        mkdir(m_defaultFolder->c_str(), 0777);
    }
    return *m_defaultFolder;
}

std::string FileNaming::GetOutputFolder() {
    return m_settings.ReadIfStored(setting::kDefaultRecordFolder)
        .value_or(DefaultRecordingsFolder());
}

std::string FileNaming::CurrentExtension() const {
    const auto format = static_cast<std::size_t>(m_settings.Read(setting::kFormat));
    return std::string(kFormatExtensions[format].extension);
}

std::string FileNaming::fieldValue(std::string_view field, const std::tm& time, bool& usedCounter) {
    if (field == "YYYY") {
        char year[16];
        std::snprintf(year, sizeof year, "%.4d", time.tm_year + 1900);
        return year;
    }
    if (field == "MM")
        return twoDigits(time.tm_mon + 1);
    if (field == "DD")
        return twoDigits(time.tm_mday);
    if (field == "HH")
        return twoDigits(time.tm_hour);
    if (field == "MIN")
        return twoDigits(time.tm_min);
    if (field == "SS")
        return twoDigits(time.tm_sec);
    if (field == kCounterField) {
        usedCounter = true;
        const int counter = m_settings.Read(setting::kAutoNumber);
        m_settings.Write(setting::kAutoNumber, counter < INT32_MAX ? counter + 1 : counter);
        char number[32];
        std::snprintf(number, sizeof number, "%03d", counter);
        return number;
    }
    return {};
}

std::string FileNaming::expandOnce(std::string_view pattern, const std::tm& time,
                                   bool& usedCounter) {
    std::string result;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%' || i + 1 == pattern.size()) {
            result.push_back(pattern[i]);
            continue;
        }
        const std::size_t close = pattern.find('%', i + 1);
        const std::size_t end = close == std::string_view::npos ? pattern.size() : close;
        const std::string_view field = pattern.substr(i + 1, end - i - 1);
        result += field.empty() ? std::string("%") : fieldValue(field, time, usedCounter);
        i = end;
    }
    return CleanFileName(result).name;
}

std::string FileNaming::ExpandFileNamePattern(std::string_view pattern) {
    const std::tm time = m_clock.LocalTime(m_clock.Now());
    const std::string folder = GetOutputFolder();
    const std::string extension = CurrentExtension();
    for (;;) {
        bool usedCounter = false;
        std::string name = expandOnce(pattern, time, usedCounter);
        if (!usedCounter || !pathExists(BuildRecordingPath(folder, name, extension))) {
            return name;
        }
    }
}

bool FileNaming::RecordingExists(std::string_view name) {
    return pathExists(BuildRecordingPath(GetOutputFolder(), name, CurrentExtension()));
}

FreeSpaceReport FileNaming::CheckFreeSpace() {
    FreeSpaceReport report;
    const std::string folder = GetOutputFolder();
    if (!isFolder(folder)) {
        return report;
    }
    report.checked = true;
    report.freeKb = kUnknownSpaceKb;
    report.totalKb = kUnknownSpaceKb;
    struct statvfs info {};
    if (m_statVfs(folder.c_str(), &info) == 0) {
        const std::uint64_t unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
        report.freeKb = KilobytesOf(static_cast<std::uint64_t>(info.f_bavail) * unit);
        report.totalKb = KilobytesOf(static_cast<std::uint64_t>(info.f_blocks) * unit);
    }
    const double freeMb = report.freeKb / 1024.0;
    char status[64];
    std::snprintf(status, sizeof status, "Space Remaining: %5.f MB", freeMb);
    report.statusText = status;
    report.usedFraction =
        report.totalKb == 0 ? 0.0 : 1.0 - static_cast<double>(report.freeKb) / report.totalKb;
    report.usedFraction = std::clamp(report.usedFraction, 0.0, 1.0);
    report.belowLimit = static_cast<double>(m_settings.Read(setting::kWarnSpaceBelow)) > freeMb;
    return report;
}

bool FileNaming::FolderHasFreeSpace(const std::string& folder) const {
    struct statvfs info {};
    return m_statVfs(folder.c_str(), &info) != 0 || info.f_bavail > 0;
}

bool FileNaming::ValidateOutputFolder(std::string_view folder, Prompter& prompter) {
    const std::string path(folder);
    if (path.empty()) {
        prompter.ShowError("Output folder is invalid. Please try again.", kInvalidFolderTitle);
        return false;
    }
    if (const std::string refusal = PathLengthRefusal(path); !refusal.empty()) {
        prompter.ShowError(refusal, kInvalidFolderTitle);
        return false;
    }
    if (isFolder(path)) {
        return true;
    }
    if (!prompter.AskYesNo(
            "The specified output folder doesn't exist. Do you want to create it now?",
            "Create Folder", PromptAnswer::No)) {
        return false;
    }
    if (path.find_first_of("/\\") == std::string::npos) {
        prompter.ShowError("Cannot create the specified folder. Please enter a valid folder.",
                           kInvalidFolderTitle);
        return false;
    }
    if (mkdir(path.c_str(), 0777) != 0 && !(errno == EEXIST && isFolder(path))) {
        prompter.ShowError("Cannot create the specified folder. Please try again.",
                           kInvalidFolderTitle);
        return false;
    }
    return true;
}

}  // namespace sonaro
