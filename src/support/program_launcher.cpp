#include "support/program_launcher.h"

#include <utility>

#include "support/function_job.h"
#include "support/page_opener.h"
#include "support/prompter.h"
#include "threads/child_process.h"

namespace sonaro {
namespace {

constexpr int kFindPollMs = 250;
constexpr int kWaitPollMs = 100;

std::string withName(std::string_view format, std::string_view name) {
    std::string text(format);
    const std::size_t at = text.find("%s");
    return at == std::string::npos ? text : text.replace(at, 2, name);
}

}  // namespace

std::string FillCommandTemplate(std::string_view commandTemplate, std::string_view argument) {
    std::string result;
    bool filled = false;
    for (std::size_t i = 0; i < commandTemplate.size(); ++i) {
        const char next = i + 1 < commandTemplate.size() ? commandTemplate[i + 1] : '\0';
        if (commandTemplate[i] == '%' && next == '%') {
            result.push_back('%');
            ++i;
        } else if (commandTemplate[i] == '%' && next == 's' && !filled) {
            result.append(argument);
            filled = true;
            ++i;
        } else {
            result.push_back(commandTemplate[i]);
        }
    }
    return result;
}

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (char c : commandLine) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord) {
                words.push_back(word);
            }
            word.clear();
            inWord = false;
        } else {
            word.push_back(c);
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(word);
    }
    return words;
}

ProgramLauncher::ProgramLauncher(SettingsStore& settings, ComponentManager& components,
                                 Prompter& prompter, PageOpener& pages, UiDispatcher& dispatcher)
    : m_settings(settings),
      m_components(components),
      m_prompter(prompter),
      m_pages(pages),
      m_dispatcher(dispatcher) {}

std::string ProgramLauncher::FindCommandTemplate(std::string_view key,
                                                 std::string_view action) const {
    std::string commandTemplate;
    if (m_settings.ReadSiblingProductSetting(false, key, action, commandTemplate) &&
        !commandTemplate.empty()) {
        return commandTemplate;
    }
    std::string path = FindProgramOnPath(key);
    if (path.empty()) {
        std::string lower(key);
        for (char& c : lower) {
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
        path = FindProgramOnPath(lower);
    }
    return path.empty() ? std::string() : "\"" + path + "\" %s";
}

InstallResult ProgramLauncher::installAndFind(const LaunchRequest& request,
                                              std::string& commandTemplate) {
    SendResult downloaded = SendResult::Failed;
    FunctionJob install(m_dispatcher, [&](LProgressReporter& job) {
        downloaded = m_components.InstallOnDemand(job, request.setupName);
    });
    m_prompter.RunWithProgress(request.progressTitle, install);
    if (downloaded == SendResult::Failed) {
        const std::string address = m_components.InstallerAddress(request.setupName);
        if (!address.empty()) {
            m_pages.OpenPage(address);
        }
        return InstallResult::Failed;
    }
    if (downloaded == SendResult::Stopped) {
        return InstallResult::Cancelled;
    }
    FunctionJob find(m_dispatcher, [&](LProgressReporter& job) {
        job.ReportStatus(withName("Waiting for %s to be installed", request.shownName), 0);
        do {
            commandTemplate = FindCommandTemplate(request.key, request.action);
        } while (commandTemplate.empty() && !job.WaitStop(kFindPollMs));
    });
    m_prompter.RunWithProgress(request.progressTitle, find);
    return commandTemplate.empty() ? InstallResult::Cancelled : InstallResult::Done;
}

InstallResult ProgramLauncher::RunProgram(const LaunchRequest& request,
                                          std::vector<std::string> argv) {
    ChildProcess program;
    SpawnOptions options;
    options.argv = std::move(argv);
    if (!program.start(options)) {
        m_prompter.ShowError(program.errorText(), request.shownName);
        return InstallResult::Failed;
    }
    if (request.wait) {
        const std::string closes =
            withName("Sonaro Sound Recorder will continue when %s closes.", request.shownName);
        FunctionJob waiter(m_dispatcher, [&](LProgressReporter& job) {
            job.ReportStatus(closes, 0);
            while (program.running() && !job.IsStopRequested()) {
                program.wait(kWaitPollMs);
            }
        });
        m_prompter.RunWithProgress(withName("Waiting for %s", request.shownName), waiter);
    }
    program.detach();
    return InstallResult::Done;
}

InstallResult ProgramLauncher::LaunchProgram(const LaunchRequest& request) {
    std::string commandTemplate = FindCommandTemplate(request.key, request.action);
    if (commandTemplate.empty()) {
        const InstallResult installed = installAndFind(request, commandTemplate);
        if (installed != InstallResult::Done) {
            return installed;
        }
    }
    return RunProgram(request,
                      SplitCommandLine(FillCommandTemplate(commandTemplate, request.argumentText)));
}

}  // namespace sonaro
