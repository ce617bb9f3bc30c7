#include "support/component_manager.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "support/function_job.h"
#include "support/page_opener.h"
#include "support/prompter.h"
#include "support/server_addresses.h"
#include "threads/child_process.h"

namespace sonaro {
namespace {

constexpr std::string_view kInstallerSuffix = ".run";
constexpr std::string_view kInstallTitle = "Install-on-Demand";

// Components that a distribution package provides under another name.
struct PathFallback {
    std::string_view component;
    std::string_view program;
};
constexpr PathFallback kPathFallbacks[] = {{"mp3el", "lame"}, {"ffmpeg", "ffmpeg"}};

bool isFile(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool isLoopbackHost(std::string_view host) {
    if (host == "localhost" || host == "[::1]") {
        return true;
    }
    if (host.rfind("127.", 0) != 0) {
        return false;
    }
    for (char c : host) {
        if ((c < '0' || c > '9') && c != '.') {
            return false;
        }
    }
    return true;
}

std::string lowerCase(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return result;
}

}  // namespace

bool IsSafeProgramAddress(std::string_view url) {
    const std::size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos) {
        return false;
    }
    const std::string scheme = lowerCase(url.substr(0, schemeEnd));
    if (scheme == "https") {
        return true;
    }
    if (scheme != "http") {
        return false;
    }
    std::string_view authority = url.substr(schemeEnd + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (authority.find('@') != std::string_view::npos) {
        return false;
    }
    std::string_view host = authority;
    if (host.rfind('[', 0) == 0) {
        host = host.substr(0, host.find(']') + 1);
    } else {
        host = host.substr(0, host.find(':'));
    }
    return isLoopbackHost(lowerCase(host));
}

ComponentManager::ComponentManager(SettingsStore& settings, Downloader& downloader,
                                   Prompter& prompter, PageOpener& pages, UiDispatcher& dispatcher,
                                   std::string tempFolder)
    : m_settings(settings),
      m_downloader(downloader),
      m_prompter(prompter),
      m_pages(pages),
      m_dispatcher(dispatcher),
      m_tempFolder(std::move(tempFolder)) {}

std::string FindComponent(const SettingsStore& settings, std::string_view name) {
    std::string found;
    for (RegistryRoot root : {RegistryRoot::CurrentUser, RegistryRoot::LocalMachine}) {
        if (settings.Read(setting::kComponentPath, root, name, found) && isFile(found)) {
            return found;
        }
    }
    for (const PathFallback& fallback : kPathFallbacks) {
        if (fallback.component == name) {
            return FindProgramOnPath(fallback.program);
        }
    }
    return {};
}

bool ComponentManager::IsComponentInstalled(std::string_view name, std::string* path) const {
    const std::string found = FindComponent(m_settings, name);
    if (path != nullptr) {
        *path = found;
    }
    return !found.empty();
}

std::string ComponentManager::serverAddress(std::string_view server,
                                            std::string_view setupName) const {
    if (server.empty()) {
        return {};
    }
    return std::string(server) + "components/" + std::string(setupName) +
           std::string(kInstallerSuffix);
}

std::string ComponentManager::InstallerAddress(std::string_view setupName) const {
    const ServerAddresses servers = ServerAddresses::Read(m_settings);
    return serverAddress(servers.component.empty() ? servers.web : servers.component, setupName);
}

std::string ComponentManager::FailureText(std::string_view setupName) const {
    const std::string address = InstallerAddress(setupName);
    if (address.empty()) {
        return "An install-on-demand component could not be installed automatically: no "
               "component server is set (\"ComponentServerUrl\" in section \"Settings\"). "
               "Please install " +
               std::string(setupName) + " yourself then try again.";
    }
    return "An install-on-demand component could not be installed automatically. Please run it "
           "from the URL below then try again.\r\n   " +
           address;
}

bool ComponentManager::EnsureComponent(std::string_view name) {
    if (IsComponentInstalled(name)) {
        return true;
    }
    FunctionJob job(m_dispatcher,
                    [this, name](LProgressReporter& self) { InstallOnDemand(self, name); });
    m_prompter.RunWithProgress(kInstallTitle, job);
    if (IsComponentInstalled(name)) {
        return true;
    }
    const std::string address = InstallerAddress(name);
    if (!address.empty()) {
        m_pages.OpenPage(address);
    }
    m_prompter.ShowError(FailureText(name), kInstallTitle);
    return false;
}

bool ComponentManager::EnsureComponent(std::string_view name, LProgressReporter& job) {
    if (IsComponentInstalled(name)) {
        return true;
    }
    InstallOnDemand(job, name);
    if (IsComponentInstalled(name)) {
        return true;
    }
    const std::string address = InstallerAddress(name);
    if (!address.empty()) {
        m_pages.OpenPage(address);
    }
    job.ReportMessage(FailureText(name));
    return false;
}

SendResult ComponentManager::fetchInstaller(LProgressReporter& job, std::string_view setupName,
                                            const std::string& path) {
    const ServerAddresses servers = ServerAddresses::Read(m_settings);
    SendResult result = SendResult::Failed;
    for (const std::string& server : {servers.component, servers.web}) {
        const std::string address = serverAddress(server, setupName);
        if (address.empty()) {
            continue;
        }
        if (!IsSafeProgramAddress(address)) {
            job.ReportMessage("The installer address " + address +
                              " does not use HTTPS, so the installer was not downloaded.");
            continue;
        }
        result = m_downloader.DownloadToFile(job, address, path);
        if (result != SendResult::Failed) {
            break;
        }
    }
    return result;
}

void ComponentManager::runInstaller(LProgressReporter& job, const std::string& path) {
    job.ReportStatus("Running install-on-demand", 0);
    chmod(path.c_str(), 0700);
    ChildProcess installer;
    SpawnOptions options;
    options.argv = {path};
    options.extraEnvironment = {"LQUIET=1"};
    if (!installer.start(options)) {
        job.ReportMessage(installer.errorText());
        return;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kInstallerWaitMs);
    while (installer.running() && !job.IsStopRequested() &&
           std::chrono::steady_clock::now() < deadline) {
        installer.wait(100);
    }
    installer.detach();
}

SendResult ComponentManager::InstallOnDemand(LProgressReporter& job, std::string_view setupName) {
    job.ReportStatus("Download install-on-demand", 0);
    job.ReportStatus(setupName, 1);
    // Installers are run from where they were saved: only a folder private to the user will do.
    if (m_tempFolder.empty()) {
        job.ReportMessage("There is no private temporary folder to download the installer to.");
        return SendResult::Failed;
    }
    const std::string path =
        m_tempFolder + "/" + std::string(setupName) + std::string(kInstallerSuffix);
    const SendResult result = fetchInstaller(job, setupName, path);
    if (result == SendResult::Ok && isFile(path)) {
        runInstaller(job, path);
    }
    unlink(path.c_str());
    return result;
}

}  // namespace sonaro
