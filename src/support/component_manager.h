#pragma once

#include <string>
#include <string_view>

#include "settings/settings_store.h"
#include "support/downloader.h"

namespace sonaro {

class LProgressReporter;
class PageOpener;
class Prompter;
class UiDispatcher;

// The executable of an installed component: its registration ("Path" under
// "Software\Kestrix Software\Components\<name>", per-user first, then machine-wide, counting only
// when the file exists), else the program on PATH for the names that have one; empty when absent.
std::string FindComponent(const SettingsStore& settings, std::string_view name);

// Result of an install or a launch.
enum class InstallResult : int { Done = 0, Cancelled = 1, Failed = 2 };

// Separately installed components: finds them through their registration ("Path" under
// "Software\Kestrix Software\Components\<name>", per-user first, then machine-wide, counting only
// when the file exists; then the program on PATH for the names that have one), and fetches and
// runs their installers from the component server and then the web server (ServerAddresses).
//
// The forms without a job run on the user-interface thread; InstallOnDemand and the job form of
// EnsureComponent run on a job's worker thread.
class ComponentManager {
  public:
    // `tempFolder` is the per-user temporary folder, where installers are saved; empty when
    // there is no private one, and then nothing is downloaded.
    ComponentManager(SettingsStore& settings, Downloader& downloader, Prompter& prompter,
                     PageOpener& pages, UiDispatcher& dispatcher, std::string tempFolder);

    // True when the component is present; its executable's path goes to `path`.
    bool IsComponentInstalled(std::string_view name, std::string* path = nullptr) const;
    // Installs a missing component behind a progress window; shows the installer's address when
    // that did not make it present.
    bool EnsureComponent(std::string_view name);
    // The same inside a running job: failures go to the job's ReportMessage.
    bool EnsureComponent(std::string_view name, LProgressReporter& job);

    // Downloads "<setup>.run" and runs it with LQUIET=1 in its environment, waits up to 20 s for
    // it to end, then deletes the download. Gives the download's result.
    SendResult InstallOnDemand(LProgressReporter& job, std::string_view setupName);

    // The installer's address on the component server, else on the web server (the servers
    // InstallOnDemand tries); empty when neither is set.
    std::string InstallerAddress(std::string_view setupName) const;
    // The message shown when a component could not be installed: it names the installer's
    // address, or the missing setting when there is none.
    std::string FailureText(std::string_view setupName) const;

    static constexpr int kInstallerWaitMs = 20000;

  private:
    SendResult fetchInstaller(LProgressReporter& job, std::string_view setupName,
                              const std::string& path);
    void runInstaller(LProgressReporter& job, const std::string& path);
    std::string serverAddress(std::string_view server, std::string_view setupName) const;

    SettingsStore& m_settings;
    Downloader& m_downloader;
    Prompter& m_prompter;
    PageOpener& m_pages;
    UiDispatcher& m_dispatcher;
    std::string m_tempFolder;
};

// True for an https address, and for an http address whose host is a loopback address
// ("localhost", 127.0.0.0/8, "[::1]"): the only addresses a program to run is fetched from.
bool IsSafeProgramAddress(std::string_view url);

}  // namespace sonaro
