#include "recordings/sibling_programs.h"

#include <utility>

#include "threads/child_process.h"

namespace sonaro {

const SiblingProgram& SiblingProgramOf(Sibling sibling) {
    static const SiblingProgram kMoldra{
        "Moldra",
        "moldrasetup",
        "Moldra",
        "Run Moldra",
        {"audacity", "tenacity"},
        "No sound editor is installed. Install Moldra, or the audio editor Audacity or Tenacity "
        "(package \"audacity\"), and try again."};
    static const SiblingProgram kTyprel{
        "Typrel",
        "typrelsetup",
        "Typrel",
        "Run Typrel",
        {},
        "Typrel is not installed. Install the transcription program Typrel and try again."};
    static const SiblingProgram kConvro{
        "Convro",
        "convrosetup",
        "Convro",
        "Run Convro",
        {},
        "Convro is not installed. Install the sound format converter Convro and try again."};
    static const SiblingProgram kDiscor{
        "Discor",
        "discorsetup",
        "Discor",
        "Run Discor",
        {"brasero", "k3b"},
        "No disc burning program is installed. Install Discor, or the disc burner Brasero or K3b "
        "(package \"brasero\" or \"k3b\"), and try again."};
    static const SiblingProgram kCindle{
        "Cindle", "cindlesetup",
        "Cindle", "Run Cindle",
        {},       "Cindle is not installed. Install the CD ripper Cindle and try again."};
    switch (sibling) {
        case Sibling::Moldra:
            return kMoldra;
        case Sibling::Typrel:
            return kTyprel;
        case Sibling::Convro:
            return kConvro;
        case Sibling::Discor:
            return kDiscor;
        case Sibling::Cindle:
            return kCindle;
    }
    return kMoldra;
}

HandOffOutcome SiblingLauncher::HandOff(const HandOffRequest& request) {
    const SiblingProgram& program = SiblingProgramOf(request.program);
    LaunchRequest launch;
    launch.progressTitle = program.progressTitle;
    launch.key = program.key;
    launch.action = request.action;
    launch.setupName = program.setupName;
    launch.shownName = program.shownName;
    launch.argumentText = request.argumentText;
    launch.wait = request.wait;
    if (!m_launcher.FindCommandTemplate(program.key, request.action).empty()) {
        return {m_launcher.LaunchProgram(launch), false};
    }
    for (const char* fallback : program.fallbacks) {
        if (std::string path = FindProgramOnPath(fallback); !path.empty()) {
            std::vector<std::string> argv{std::move(path)};
            argv.insert(argv.end(), request.fallbackArguments.begin(),
                        request.fallbackArguments.end());
            launch.shownName = fallback;
            return {m_launcher.RunProgram(launch, std::move(argv)), false};
        }
    }
    const InstallResult installed = m_launcher.LaunchProgram(launch);
    return {installed, installed == InstallResult::Failed};
}

}  // namespace sonaro
