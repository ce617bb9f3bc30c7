#include "transmit/transmit_options.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace sonaro {
namespace {

constexpr std::string_view kSettings = "Settings";
constexpr std::string_view kEmail = "Email";
constexpr std::string_view kFtp = "Ftp";
constexpr std::string_view kInvalidEmailTitle = "Invalid Email";
constexpr std::string_view kInvalidFolderTitle = "Invalid Folder";

bool isFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::optional<FieldComplaint> checkEmail(const TransmitOptions& options) {
    if (!options.sendEmail) {
        return std::nullopt;
    }
    if (options.to.empty()) {
        return Balloon(TransmitField::To,
                       "Please enter the email of the person you want to send recordings to.",
                       kInvalidEmailTitle);
    }
    if (!IsPlausibleEmailAddress(options.to)) {
        return Balloon(TransmitField::To, "Please enter a valid email address.",
                       kInvalidEmailTitle);
    }
    return std::nullopt;
}

std::optional<FieldComplaint> checkFolder(const TransmitOptions& options) {
    if (!options.sendFolder) {
        return std::nullopt;
    }
    if (options.folder.empty()) {
        return Balloon(TransmitField::Folder,
                       "The folder specified is invalid. Please select a valid folder that you "
                       "want to backup recordings.",
                       kInvalidFolderTitle);
    }
    if (!isFolder(options.folder)) {
        return Balloon(TransmitField::Folder,
                       "The specified folder does not exist. Please select a valid folder to "
                       "transmit recordings to.",
                       kInvalidFolderTitle);
    }
    if (!CanWriteToFolder(options.folder)) {
        return Balloon(TransmitField::Folder,
                       "You don't have the permission to write to the specified folder. Please "
                       "select a valid folder to transmit recordings to.",
                       kInvalidFolderTitle);
    }
    return std::nullopt;
}

}  // namespace

bool IsPlausibleEmailAddress(std::string_view text) {
    const std::size_t at = text.rfind('@');
    const std::size_t dot = text.rfind('.');
    const std::size_t a = at == std::string_view::npos ? 0 : at;
    const std::size_t d = dot == std::string_view::npos ? 0 : dot;
    return a > 0 && d > a && d + 2 < text.size();
}

bool CanWriteToFolder(const std::string& folder) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    path += "__wt";
    // O_EXCL: a file of that name that someone else keeps there is never removed.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        return errno == EEXIST && access(folder.c_str(), W_OK) == 0;
    }
    close(fd);
    unlink(path.c_str());
    return true;
}

TransmitOptions LoadTransmitOptions(const SettingsStore& settings,
                                    const StoredPassword& passwords) {
    TransmitOptions options;
    options.sendEmail = settings.ReadSettingBool(kSettings, "SendEmail", false);
    options.to = settings.ReadSettingString(kEmail, "To", "");
    options.sendFtp = settings.ReadSettingBool(kSettings, "SendFtp", false);
    options.ftpServer = settings.ReadSettingString(kFtp, "Server", "");
    options.ftpUser = settings.ReadSettingString(kFtp, "UserName", "");
    options.ftpPassword = ReadFtpPassword(passwords);
    options.ftpDirectory = settings.ReadSettingString(kFtp, "Directory", "/");
    options.sendFolder = settings.ReadSettingBool(kSettings, "SendFolder", false);
    options.folder = settings.ReadSettingString(kSettings, "SendFolderDir", "");
    options.sendRun = settings.ReadSettingBool(kSettings, "SendRun", false);
    options.program = settings.ReadSettingString(kSettings, "SendRunExe", "");
    options.prompt = settings.ReadSettingBool(kSettings, "bPromptTransmit", true);
    return options;
}

std::optional<FieldComplaint> SaveTransmitOptions(SettingsStore& settings,
                                                  StoredPassword& passwords,
                                                  const TransmitOptions& options,
                                                  bool methodsChanged, bool promptChanged) {
    if (methodsChanged) {
        if (auto refused = checkEmail(options)) {
            return refused;
        }
        settings.WriteSettingBool(kSettings, "SendEmail", options.sendEmail);
        settings.WriteSettingString(kEmail, "To", options.to);
        if (options.sendFtp &&
            (options.ftpServer.empty() || options.ftpUser.empty() || options.ftpPassword.empty())) {
            return Balloon(TransmitField::FtpServer, "FTP Server or user details are required.",
                           "");
        }
        std::string problem;
        if (!StoreFtpPassword(passwords, options.ftpPassword, problem)) {
            return FieldComplaint{static_cast<int>(TransmitField::FtpServer),
                                  PasswordNotSavedMessage(problem),
                                  std::string(kPasswordNotSavedTitle), PromptIcon::Warning};
        }
        settings.WriteSettingBool(kSettings, "SendFtp", options.sendFtp);
        settings.WriteSettingString(kFtp, "Server", options.ftpServer);
        settings.WriteSettingString(kFtp, "UserName", options.ftpUser);
        settings.WriteSettingString(kFtp, "Directory", options.ftpDirectory);
        if (auto refused = checkFolder(options)) {
            return refused;
        }
        settings.WriteSettingBool(kSettings, "SendFolder", options.sendFolder);
        settings.WriteSettingString(kSettings, "SendFolderDir", options.folder);
        if (options.sendRun && options.program.empty()) {
            return Balloon(TransmitField::Program,
                           "Please enter the exe or bat file you want to run.", "Invalid Exe File");
        }
        settings.WriteSettingBool(kSettings, "SendRun", options.sendRun);
        settings.WriteSettingString(kSettings, "SendRunExe", options.program);
    }
    if (promptChanged) {
        settings.WriteSettingBool(kSettings, "bPromptTransmit", options.prompt);
    }
    return std::nullopt;
}

}  // namespace sonaro
