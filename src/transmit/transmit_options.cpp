#include "transmit/transmit_options.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace sonaro {
namespace {

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
    options.sendEmail = settings.Read(setting::kSendEmail);
    options.to = settings.Read(setting::kEmailTo);
    options.sendFtp = settings.Read(setting::kSendFtp);
    options.ftpServer = settings.Read(setting::kFtpServer);
    options.ftpUser = settings.Read(setting::kFtpUserName);
    options.ftpPassword = ReadFtpPassword(passwords);
    options.ftpDirectory = settings.Read(setting::kFtpDirectory);
    options.ftpSecure = settings.Read(setting::kFtpUseSsl);
    options.ftpAllowPlainPassword = settings.Read(setting::kFtpAllowPlainPassword);
    options.sendFolder = settings.Read(setting::kSendFolder);
    options.folder = settings.Read(setting::kSendFolderDir);
    options.sendRun = settings.Read(setting::kSendRun);
    options.program = settings.Read(setting::kSendRunExe);
    options.prompt = settings.Read(setting::kPromptTransmit);
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
        settings.Write(setting::kSendEmail, options.sendEmail);
        settings.Write(setting::kEmailTo, options.to);
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
        settings.Write(setting::kSendFtp, options.sendFtp);
        settings.Write(setting::kFtpServer, options.ftpServer);
        settings.Write(setting::kFtpUserName, options.ftpUser);
        settings.Write(setting::kFtpDirectory, options.ftpDirectory);
        settings.Write(setting::kFtpUseSsl, options.ftpSecure);
        settings.Write(setting::kFtpAllowPlainPassword, options.ftpAllowPlainPassword);
        if (auto refused = checkFolder(options)) {
            return refused;
        }
        settings.Write(setting::kSendFolder, options.sendFolder);
        settings.Write(setting::kSendFolderDir, options.folder);
        if (options.sendRun && options.program.empty()) {
            return Balloon(TransmitField::Program,
                           "Please enter the exe or bat file you want to run.", "Invalid Exe File");
        }
        settings.Write(setting::kSendRun, options.sendRun);
        settings.Write(setting::kSendRunExe, options.program);
    }
    if (promptChanged) {
        settings.Write(setting::kPromptTransmit, options.prompt);
    }
    return std::nullopt;
}

}  // namespace sonaro
