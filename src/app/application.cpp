#include "app/application.h"

#include <algorithm>
#include <cctype>
#include <climits>

#include "app/forward_block.h"
#include "app/option_word.h"
#include "audio/audio_samples.h"
#include "formats/format_arguments.h"
#include "record/file_naming.h"
#include "support/activity_record.h"

namespace sonaro {
namespace {

int millisecondsFrom(std::string_view text) {
    return static_cast<int>(std::clamp<long>(ParseSettingNumber(text), 0, INT_MAX));
}

}  // namespace

Application::Application(SettingsStore& settings, FormatSettings& formats,
                         RecordingCommands& recording, std::FILE* errors)
    : m_settings(settings), m_formats(formats), m_recording(recording), m_errors(errors) {}

bool Application::StartsHidden(const std::vector<std::string>& args) {
    return args.size() > 1 && args[1] == kLogonOption;
}

bool Application::ProcessCommandLine(const std::vector<std::string>& args) {
    m_lineRecordingFailed = false;
    std::size_t next = 1;
    while (next < args.size()) {
        const std::string& word = args[next++];
        const bool hasValue = next < args.size();
        if (IsOption(word, "-record")) {
            next = applyRecord(args, next);
        } else if (IsOption(word, "-resume")) {
            noteRecording(m_recording.Record(RecordingCommands::kCommandLineMaxMs));
        } else if (IsOption(word, "-recordfile") && hasValue) {
            next = applyRecordFile(args, next);
        } else if (IsOption(word, "-pause")) {
            m_recording.Pause();
        } else if (IsOption(word, "-restart")) {
            m_recording.Restart();
        } else if (IsOption(word, "-done")) {
            m_recording.Done();
        } else if (IsOption(word, "-exitifstop")) {
            m_exitWhenStopped = true;
        } else if (IsOption(word, "-outdir") && hasValue) {
            applyOutputFolder(args[next++]);
        } else if (IsOption(word, "-ms") && hasValue) {
            const int ms = millisecondsFrom(args[next++]);
            if (m_host != nullptr) {
                m_host->ArmStopTimer(ms);
            }
        } else {
            applyWindowOption(word);
        }
    }
    return !m_lineRecordingFailed;
}

void Application::noteRecording(bool started) {
    m_recordingFailed = !started;
    m_lineRecordingFailed = m_lineRecordingFailed || !started;
}

bool Application::applyWindowOption(std::string_view option) {
    if (m_host == nullptr) {
        return false;
    }
    if (IsOption(option, "-exit")) {
        m_host->Exit();
    } else if (IsOption(option, "-hide")) {
        m_host->HideWindow();
    } else if (IsOption(option, "-show")) {
        m_host->ShowWindow();
    } else {
        return false;
    }
    return true;
}

std::size_t Application::applyRecord(const std::vector<std::string>& args, std::size_t next) {
    if (next < args.size()) {
        if (const auto format = FormatFromWord(args[next])) {
            ++next;
            if (!applyFormatArguments(*format, args, next)) {
                noteRecording(false);
                return next;
            }
            m_formats.SetOutputFormat(*format);
        }
    }
    noteRecording(m_recording.Record(RecordingCommands::kCommandLineMaxMs));
    return next;
}

std::size_t Application::applyRecordFile(const std::vector<std::string>& args, std::size_t next) {
    const std::string& path = args[next++];
    const auto chosen = FormatFromPath(path);
    const OutputFormat format = chosen.value_or(m_formats.GetOutputFormat());
    if (!applyFormatArguments(format, args, next)) {
        noteRecording(false);
        return next;
    }
    if (chosen) {
        m_formats.SetOutputFormat(format);
    }
    noteRecording(m_recording.RecordToFile(path, RecordingCommands::kCommandLineMaxMs));
    return next;
}

bool Application::applyFormatArguments(OutputFormat format, const std::vector<std::string>& args,
                                       std::size_t& next) {
    switch (ApplyFormatArguments(m_formats, format, args, next)) {
        case FormatArgumentsResult::Applied:
        case FormatArgumentsResult::Incomplete:
            return true;
        case FormatArgumentsResult::SaveFailed:
            report("cannot save the WAV format to " + m_formats.wavFormatPath());
            return true;
        case FormatArgumentsResult::RateRefused:
            report("the sample rate must be " + std::to_string(kMinSampleRate) + " to " +
                   std::to_string(kMaxSampleRate) +
                   " Hz: the format was not changed and nothing was recorded");
            return false;
    }
    return false;
}

ForwardAnswer Application::HandleForwardedBlock(std::span<const char> block) {
    const ScopedActivityMessage activity(kForwardedBlockMessage);
    const auto args = ParseForwardBlock(block);
    if (!args) {
        return ForwardAnswer::Refused;
    }
    if (args->size() == 1 && m_host != nullptr) {
        m_host->RestoreAndActivate();
    }
    return ProcessCommandLine(*args) ? ForwardAnswer::Applied : ForwardAnswer::RecordingFailed;
}

void Application::OnStopTimer() {
    m_recording.Done();
    if (m_host != nullptr) {
        m_host->Exit();
    }
}

// A folder the system cannot take would read back as the default folder: it is not stored.
void Application::applyOutputFolder(const std::string& folder) {
    if (const std::string refusal = PathLengthRefusal(folder); !refusal.empty()) {
        report("the output folder was not changed: " + refusal);
        return;
    }
    m_settings.Write(setting::kDefaultRecordFolder, folder);
}

void Application::report(const std::string& text) {
    std::fprintf(m_errors, "Sonaro: %s\n", text.c_str());
    std::fflush(m_errors);
}

}  // namespace sonaro
