#pragma once

#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_host.h"
#include "app/instance_channel.h"
#include "app/recording_commands.h"
#include "formats/format_settings.h"
#include "settings/settings_store.h"

namespace sonaro {

// The running recorder as the command line sees it: applies command options, forwarded command
// lines and the stop timer to the settings, the recording session and the main window.
// Lives from start-up to exit; every call is made on the user-interface thread.
class Application {
  public:
    static constexpr std::string_view kLogonOption = "-logon";

    // `errors` receives a line for each option that could not be carried out.
    Application(SettingsStore& settings, FormatSettings& formats, RecordingCommands& recording,
                std::FILE* errors = stderr);

    // The main window once it exists; nullptr when it is gone (window options are then ignored).
    void AttachHost(CommandHost* host) { m_host = host; }

    // Applies the command options of args[1..] in order, ignoring case; unknown words are skipped
    // and an option whose value is missing at the end is ignored. False when a recording command
    // among them failed.
    bool ProcessCommandLine(const std::vector<std::string>& args);

    // A block from a second start: a plain start (count 1) brings the window to the front, then
    // the options are applied. Refused (and nothing done) for a block that is not a forwarding
    // block. While it runs, crash reports name kForwardedBlockMessage, the message number a
    // forwarded command line arrives with.
    ForwardAnswer HandleForwardedBlock(std::span<const char> block);
    static constexpr int kForwardedBlockMessage = 0x004A;

    // The "-ms" timer fired: complete the recording, then exit.
    void OnStopTimer();

    // Set by "-exitifstop"; the recording session reads it when capture stops and clears it when
    // it is created.
    bool exitWhenStopped() const { return m_exitWhenStopped; }
    void clearExitWhenStopped() { m_exitWhenStopped = false; }

    // The program's exit status: 1 when the last recording command failed (its format was refused,
    // its file could not be opened or the sound device not started), so that a start whose only
    // job was to record reports the failure to its caller.
    int exitCode() const { return m_recordingFailed ? 1 : 0; }

    // A start at logon (first argument exactly "-logon", case-sensitive) keeps the window hidden.
    static bool StartsHidden(const std::vector<std::string>& args);

  private:
    // Each handler gets the index after the option word and gives the index of the next word.
    std::size_t applyRecord(const std::vector<std::string>& args, std::size_t next);
    std::size_t applyRecordFile(const std::vector<std::string>& args, std::size_t next);
    // False when the options were refused: the recording command is then not carried out.
    bool applyFormatArguments(OutputFormat format, const std::vector<std::string>& args,
                              std::size_t& next);
    bool applyWindowOption(std::string_view option);
    void noteRecording(bool started);
    void applyOutputFolder(const std::string& folder);
    void report(const std::string& text);

    SettingsStore& m_settings;
    FormatSettings& m_formats;
    RecordingCommands& m_recording;
    std::FILE* m_errors;
    CommandHost* m_host = nullptr;
    bool m_exitWhenStopped = false;
    bool m_recordingFailed = false;
    bool m_lineRecordingFailed = false;
};

}  // namespace sonaro
