#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/component_manager.h"

namespace sonaro {

// What LaunchProgram starts: one of the maker's other programs.
struct LaunchRequest {
    std::string_view progressTitle;  // title of the install progress window
    std::string_view key;            // the program's settings key ("SoundEditor")
    std::string_view action;         // the value holding the command template
    std::string_view setupName;      // its installer
    std::string_view shownName;      // its name in the texts
    std::string_view argumentText;   // put where the template has "%s"
    bool wait = false;               // wait until the program has ended
};

// Starts the maker's other programs from their command templates, installing them first when
// they are missing. Used on the user-interface thread.
class ProgramLauncher {
  public:
    ProgramLauncher(SettingsStore& settings, ComponentManager& components, Prompter& prompter,
                    PageOpener& pages, UiDispatcher& dispatcher);

    InstallResult LaunchProgram(const LaunchRequest& request);
    // Starts `argv` as LaunchProgram starts a found program (waiting when the request says so):
    // for a program found another way than by its template.
    InstallResult RunProgram(const LaunchRequest& request, std::vector<std::string> argv);

    // The template of the program: the value `action` of "Software\Kestrix Audio\<key>\Settings"
    // (machine-wide first), else "\"<path>\" %s" for the program `key` (or its lower-case name)
    // on PATH; empty when there is neither.
    std::string FindCommandTemplate(std::string_view key, std::string_view action) const;

  private:
    // Installs the program behind a progress window and waits until its template can be found.
    InstallResult installAndFind(const LaunchRequest& request, std::string& commandTemplate);

    SettingsStore& m_settings;
    ComponentManager& m_components;
    Prompter& m_prompter;
    PageOpener& m_pages;
    UiDispatcher& m_dispatcher;
};

// `commandTemplate` with its first "%s" replaced by `argument` and "%%" made "%".
std::string FillCommandTemplate(std::string_view commandTemplate, std::string_view argument);

// Splits a command line into words at blanks; double quotes group blanks into a word and are
// removed. No shell is involved.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

}  // namespace sonaro
