#include "record/recording_session.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "formats/format_arguments.h"
#include "formats/format_settings.h"
#include "formats/recording_repair.h"
#include "record/file_naming.h"
#include "record/input_selection.h"
#include "settings/settings_store.h"
#include "support/program_log.h"
#include "support/prompter.h"

namespace sonaro {
namespace {

constexpr std::string_view kProgramName = "Sonaro";
constexpr int kTrayIdle = 1;
constexpr int kTrayPaused = 7;

constexpr std::string_view kFileExistsText =
    "Another file with the same name and format already exists. Do you want to replace it? ";

bool pathExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// An existing file is replaced only when it is a regular file named like a recording, so that a
// mistyped "-recordfile" never destroys a document or writes into a device.
std::string replaceRefusal(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return {};
    }
    if (!S_ISREG(info.st_mode)) {
        return "It exists and is not a regular file.";
    }
    if (!FormatFromPath(path)) {
        return "It exists and is not a recording (.wav, .mp3, .aif, .aiff, .flac or .opus), so "
               "it is not replaced.";
    }
    return {};
}

bool isDirectory(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// "h:mm:ss.mmm", as a place in a recording.
std::string positionText(std::int64_t ms) {
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%03lld",
                  static_cast<long long>(ms / 3600000), static_cast<long long>(ms / 60000 % 60),
                  static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
    return text;
}

std::string fileNamePart(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::int64_t ParseTimeText(std::string_view text) {
    constexpr std::int64_t kFieldLimit = 1'000'000'000;
    std::int64_t total = 0;
    std::int64_t field = 0;
    int colons = 0;
    bool inFraction = false;
    std::int64_t fractionStep = 100;
    std::int64_t fraction = 0;
    bool negative = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            if (!inFraction) {
                field = std::min(field * 10 + (c - '0'), kFieldLimit);
            } else if (fractionStep > 0) {
                fraction += (c - '0') * fractionStep;
                fractionStep /= 10;
            }
        } else if ((c == ':' || c == '.') && !inFraction) {
            if (c == '.' || ++colons == 3) {
                inFraction = true;
            } else {
                total = std::min((total + field) * 60, kFieldLimit);
                field = 0;
            }
        } else if (c == '-') {
            negative = true;
        }
    }
    const std::int64_t ms = (total + field) * 1000 + fraction;
    return negative ? -ms : ms;
}

LRecordingSession::LRecordingSession(RecordingSessionParts parts)
    : m_parts(std::move(parts)), m_journal(m_parts.journalPath) {}

LRecordingSession::~LRecordingSession() {
    Shutdown();
}

void LRecordingSession::SetDisplay(RecordingDisplay* display) {
    m_display = display != nullptr ? display : &m_noDisplay;
    m_hasWindow = display != nullptr;
}

void LRecordingSession::SetPlayer(RecordingPlayer* player) {
    m_player = player != nullptr ? player : &m_noPlayer;
}

void LRecordingSession::SetTransmit(TransmitHandoff* transmit) {
    m_transmit = transmit != nullptr ? transmit : &m_noTransmit;
}

bool LRecordingSession::captureRunning() const {
    return m_parts.engine.state() != CaptureState::Idle;
}

bool LRecordingSession::Record(int maxMs) {
    if (captureRunning() || m_player->IsBusy()) {
        return captureRunning();
    }
    const std::string folder = m_parts.naming.GetOutputFolder();
    if (!isDirectory(folder)) {
        m_display->ReportInvalidOutputFolder();
        return false;
    }
    if (!m_path.empty() && !m_completed) {
        if (m_reopen) {
            m_reopen = false;
            if (!openOutputFile()) {
                return false;
            }
        }
        return beginCapture(maxMs);
    }
    std::string name;
    if (!chooseNewName(name)) {
        return false;
    }
    m_format = m_parts.formats.LoadRecordingFormat();
    const std::string_view extension =
        kFormatExtensions[static_cast<std::size_t>(m_format.format)].extension;
    startNewFile(BuildRecordingPath(folder, name, extension));
    return openOutputFile() && beginCapture(maxMs);
}

void LRecordingSession::startNewFile(std::string path) {
    m_path = std::move(path);
    m_recordedMs = 0;
    m_completed = false;
    m_reopen = false;
    m_previousPath = m_parts.settings.Read(setting::kLastRecordingFilePath);
    m_parts.settings.Write(setting::kLastRecordingFilePath, m_path);
    refreshFileDisplay();
}

bool LRecordingSession::chooseNewName(std::string& name) {
    if (m_display->SupplyFileName(name)) {
        return true;
    }
    if (m_parts.settings.Read(setting::kPromptForName)) {
        return promptForName(name);
    }
    name = m_parts.naming.ExpandFileNamePattern(m_parts.settings.Read(setting::kFileNameFormat));
    bool promptAgain = false;
    return !m_parts.naming.RecordingExists(name) || confirmReplace(false, promptAgain);
}

bool LRecordingSession::promptForName(std::string& name) {
    for (;;) {
        std::string answer;
        if (!m_display->PromptForFileName(answer)) {
            m_display->SetButtonChecked(SessionButton::Pause, false);
            return false;
        }
        const CleanedName cleaned = CleanFileName(answer);
        if (!cleaned.valid) {
            m_parts.prompter.ShowMessage({"The name must contain text.", "Name Invalid",
                                          PromptButtons::Ok, PromptIcon::Information,
                                          PromptAnswer::Ok});
            continue;
        }
        name = cleaned.name;
        bool promptAgain = false;
        if (!m_parts.naming.RecordingExists(name) || confirmReplace(true, promptAgain)) {
            return true;
        }
        if (!promptAgain) {
            return false;
        }
    }
}

// Replacing a recording is never the answer taken without a user: the default is No (Cancel
// for the prompted name, so no prompt loop starts).
bool LRecordingSession::confirmReplace(bool prompted, bool& promptAgain) {
    const PromptAnswer answer = m_parts.prompter.ShowMessage(
        {kFileExistsText, "File Exists", PromptButtons::YesNoCancel, PromptIcon::Question,
         prompted ? PromptAnswer::Cancel : PromptAnswer::No});
    promptAgain = prompted && answer == PromptAnswer::No;
    return answer == PromptAnswer::Yes;
}

bool LRecordingSession::RecordToFile(const std::string& path, int maxMs) {
    if (const std::string refusal = replaceRefusal(path); !refusal.empty()) {
        m_parts.log.Log("Recording refused for file: ", path + " (" + refusal + ")");
        m_parts.prompter.ShowError(
            "Sonaro cannot record to the file \"" + path + "\".\r\n\r\n" + refusal, kProgramName);
        return false;
    }
    // The file being recorded is closed as it stands (not completed) before the new one opens,
    // so that no two writers ever hold one file.
    if (captureRunning()) {
        m_parts.engine.StopCapture();
    }
    if (!m_path.empty() && !m_completed) {
        releaseFile();
    }
    m_paused = false;
    m_format = m_parts.formats.LoadRecordingFormat();
    startNewFile(path);
    return openOutputFile() && beginCapture(maxMs);
}

bool LRecordingSession::openOutputFile() {
    const std::string tooLong = PathLengthRefusal(m_path);
    m_writer = tooLong.empty() ? m_parts.openWriter(m_path, m_format) : SinkRef();
    m_failing = false;
    if (!m_writer->isUnusable()) {
        if (!m_journal.Add(m_path)) {
            m_parts.log.Log("Recording not listed for repair after a crash: ", m_path);
        }
        return true;
    }
    const std::string reason = tooLong.empty() ? m_writer->WriteError() : tooLong;
    m_parts.log.Log("Recording failed for file: ",
                    m_path + " (" + (reason.empty() ? "the writer cannot start" : reason) + ")");
    std::string text;
    if (m_writer->isFormatRefused()) {
        text = "Sonaro cannot record to the file \"" + m_path + "\" in the chosen format.\r\n\r\n" +
               reason + "\r\n\r\nPlease choose another format in settings.";
    } else {
        text = "Sonaro cannot open the file \"" + m_path +
               "\" for recording.\r\n\r\nPlease check you have selected the correct output "
               "folder in settings.";
        if (!tooLong.empty()) {
            text += "\r\n\r\n" + tooLong;
        }
    }
    m_writer.reset();
    m_parts.prompter.ShowError(text, kProgramName);
    forgetFile();
    showIdle();
    m_display->SetButtonChecked(SessionButton::Pause, false);
    return false;
}

bool LRecordingSession::releaseFile() {
    const bool kept = m_writer->isUnusable() || m_writer->position() > 0;
    m_writer.reset();
    m_journal.Remove(m_path);
    if (!kept) {
        ::unlink(m_path.c_str());
    }
    return kept;
}

void LRecordingSession::forgetFile() {
    if (!m_path.empty() && !pathExists(m_path) &&
        m_parts.settings.Read(setting::kLastRecordingFilePath) == m_path) {
        m_parts.settings.Write(setting::kLastRecordingFilePath, m_previousPath);
    }
    m_path.clear();
    m_paused = false;
    refreshFileDisplay();
}

void LRecordingSession::showIdle() {
    m_display->SetTrayState(kTrayIdle, kProgramName);
    m_display->ShowIdleControls();
    m_display->ShowIndicator(0);
}

bool LRecordingSession::beginCapture(int maxMs) {
    if (captureRunning()) {
        m_parts.engine.StopCapture();
    }
    if (m_writer->isUnusable()) {
        return false;
    }
    m_parts.engine.ApplyInputSelection(LoadInputSelection(m_parts.settings, m_parts.devices));
    m_parts.engine.ApplyRecordVolume(
        static_cast<std::int8_t>(m_parts.settings.Read(setting::kRecordVolume)));
    if (m_parts.settings.Read(setting::kRecordTone)) {
        playTone(TonePlayer::kRecordTone);
    }
    std::int8_t voiceLevel = LevelSet::kSilence;
    int silenceMs = CaptureEngine::kNoSilenceLimitMs;
    m_parts.engine.SetVoicePreRoll(0);
    if (m_parts.settings.Read(setting::kVoiceActivate)) {
        voiceLevel = static_cast<std::int8_t>(m_parts.settings.Read(setting::kVoiceActivateLevel));
        silenceMs = m_parts.settings.Read(setting::kVoiceHangMs);
        m_parts.engine.SetVoicePreRoll(m_parts.settings.Read(setting::kVoicePreRollMs));
    }
    // The limits hold for the whole recording: reports come ten times a second.
    m_checkMaxTime = m_parts.settings.Read(setting::kCheckMaxTime);
    if (m_checkMaxTime) {
        m_maxTimeMs = std::int64_t{m_parts.settings.Read(setting::kMaxTimeHours)} * 3600000 +
                      std::int64_t{m_parts.settings.Read(setting::kMaxTimeMinutes)} * 60000 +
                      std::int64_t{m_parts.settings.Read(setting::kMaxTimeSeconds)} * 1000;
        m_maxTimeTextMs = ParseTimeText(m_parts.settings.Read(setting::kMaxTime));
        m_stopAtMaxTime = m_parts.settings.Read(setting::kStopReachMaxTime);
    }
    m_parts.log.LogFormat("Recording to file: %s (Recording time: %d mins. %d seconds)",
                          m_path.c_str(), maxMs / 60000, (maxMs / 1000) % 60);
    m_display->ShowStatusText("");
    if (!m_parts.engine.StartCapture(m_writer, maxMs, voiceLevel, silenceMs, 0)) {
        m_parts.log.Log("Recording failed for file: ",
                        m_path + " (the sound device cannot be opened)");
        m_parts.prompter.ShowError(
            "Sonaro cannot open the sound device for recording.\r\n\r\nPlease check you have "
            "selected the correct Sound Record Device in Settings",
            kProgramName);
        // A file that holds nothing yet is not left behind; a paused one keeps its recording.
        if (m_writer->position() == 0) {
            releaseFile();
            forgetFile();
            showIdle();
        }
        return false;
    }
    m_paused = false;
    if (m_parts.settings.Read(setting::kIntervalTone) && m_hasWindow && intervalMs() > 0) {
        m_display->ArmTimer(SessionTimer::IntervalTone, intervalMs());
    }
    return true;
}

void LRecordingSession::Pause() {
    if (captureRunning()) {
        if (m_parts.settings.Read(setting::kIntervalTone)) {
            m_display->KillTimer(SessionTimer::IntervalTone);
        }
        m_display->SetTrayState(kTrayPaused, kProgramName);
        m_parts.engine.StopCapture();
        m_paused = true;
        m_reopen = false;
        m_display->ShowPausedControls();
    } else if (m_player->IsPlaying()) {
        m_player->Pause();
        m_display->SetButtonChecked(SessionButton::Play, false);
        m_display->SetButtonChecked(SessionButton::Pause, true);
    }
}

void LRecordingSession::Restart() {
    if (captureRunning() || m_paused) {
        Pause();
        m_writer.reset();
        if (openOutputFile()) {
            beginCapture(kDefaultMaxMs);
        }
        m_reopen = true;
        m_display->ShowTime(0);
    } else if (m_player->IsPlaying()) {
        m_player->RestartPlayback();
    }
}

void LRecordingSession::Stop() {
    if (captureRunning() || m_paused) {
        Done();
    } else if (m_player->IsBusy()) {
        m_player->StopPlayback();
    }
}

void LRecordingSession::Done() {
    if (m_path.empty() || !(captureRunning() || m_paused)) {
        return;
    }
    if (m_parts.settings.Read(setting::kStoppedTone)) {
        playTone(TonePlayer::kStoppedTone);
    }
    if (m_parts.settings.Read(setting::kIntervalTone)) {
        m_display->KillTimer(SessionTimer::IntervalTone);
    }
    m_parts.engine.StopCapture();
    const std::string writeError = m_writer->WriteError();
    const bool kept = releaseFile();
    m_completed = true;
    m_paused = false;
    // A file cut short by a write failure is reported, never sent; an empty one is gone.
    if (!writeError.empty()) {
        abandonRecording(writeError, kept);
        return;
    }
    if (!kept) {
        m_parts.log.Log("Recording stopped for file: ", m_path + " (nothing was recorded)");
        forgetFile();
        showIdle();
        return;
    }
    m_transmit->EnqueueRecording(m_path);
    m_parts.log.Log("Recording complete for file: ", m_path);
    if (!m_parts.settings.Read(setting::kRecordedOneFile)) {
        m_display->ShowButtonTip(SessionButton::Recordings,
                                 "Click this button to view your recordings",
                                 "Click to view recordings");
    }
    if (m_parts.settings.Read(setting::kLaunchPlayWhenStop)) {
        m_display->OpenRecordings();
    }
    showIdle();
    m_parts.settings.Write(setting::kRecordedOneFile, true);
}

void LRecordingSession::Play() {
    if (!IsIdle() || !m_completed || m_path.empty()) {
        return;
    }
    if (m_player->IsPaused()) {
        m_player->Resume();
        return;
    }
    const std::string device = m_parts.settings.Read(setting::kPlaybackDevice);
    if (!m_player->PlayFile(m_path, device)) {
        const std::string reason = m_player->failureText();
        m_parts.prompter.ShowError(
            reason.empty() ? "Could not play file." : "Could not play file.\r\n\r\n" + reason,
            "Playback Error");
    }
}

void LRecordingSession::OnPlaybackChanged() {
    if (!IsIdle()) {
        return;
    }
    m_display->SetButtonChecked(SessionButton::Play,
                                m_player->IsPlaying() && !m_player->IsPaused());
    m_display->SetButtonChecked(SessionButton::Pause, m_player->IsPaused());
}

void LRecordingSession::OnTimer(SessionTimer timer) {
    m_display->KillTimer(timer);
    switch (timer) {
        case SessionTimer::IntervalTone:
            if (intervalMs() > 0) {
                m_display->ArmTimer(SessionTimer::IntervalTone, intervalMs());
                playTone(TonePlayer::kRecordTone);
            }
            break;
        case SessionTimer::FreeSpace:
            m_display->CheckFreeSpace();
            m_display->ArmTimer(SessionTimer::FreeSpace, kFreeSpaceRepeatMs);
            break;
        case SessionTimer::FirstRun:
            m_display->RunFirstRunSetup();
            m_parts.settings.Write(setting::kInstallWizRun, true);
            break;
    }
}

void LRecordingSession::repairInterruptedRecordings() {
    std::string repaired;
    for (const std::string& path : m_journal.Entries()) {
        const RepairResult result = RepairRecording(path);
        if (result.outcome == RepairOutcome::Repaired) {
            m_parts.log.Log("Recording repaired after an interruption: ", path);
            repaired += "\r\n" + path;
        } else if (result.outcome == RepairOutcome::Failed) {
            m_parts.log.Log("Recording could not be repaired: ", result.reason);
        }
    }
    m_journal.Clear();
    if (!repaired.empty()) {
        const std::string text =
            "Sonaro repaired these recordings, which were cut off when it last ended:\r\n" +
            repaired;
        m_parts.prompter.ShowMessage({text, "Recordings Repaired", PromptButtons::Ok,
                                      PromptIcon::Information, PromptAnswer::Ok});
    }
}

void LRecordingSession::Attach() {
    repairInterruptedRecordings();
    m_parts.engine.SetListener(this, 0);
    refreshFileDisplay();
    m_display->ArmTimer(SessionTimer::FreeSpace, kFreeSpaceFirstMs);
    if (m_parts.settings.Read(setting::kRecordWhenRun)) {
        Record(kDefaultMaxMs);
    }
    if (!m_parts.settings.Read(setting::kInstallWizRun)) {
        m_display->ArmTimer(SessionTimer::FirstRun, kFirstRunMs);
    }
    m_transmit->ResumeQueueAtStartup(m_parts.queuePath);
}

void LRecordingSession::Shutdown() {
    m_parts.engine.SetListener(nullptr, 0);
    m_parts.engine.StopCapture();
    if (!m_path.empty() && !m_completed) {
        releaseFile();
    }
}

void LRecordingSession::refreshFileDisplay() {
    const std::string last = m_parts.settings.Read(setting::kLastRecordingFilePath);
    if (!last.empty()) {
        m_display->ShowFileName(fileNamePart(last));
        m_display->ShowFormat(m_parts.formats.FormatLabel());
    } else {
        m_display->ShowFileName("");
        m_display->ShowTime(0);
    }
}

void LRecordingSession::playTone(std::string_view resource) {
    m_parts.tones.PlayTone(resource);
}

void LRecordingSession::OnRecording(std::uint32_t) {
    if (m_parts.engine.state() == CaptureState::Recording) {
        m_display->ShowIndicator(1);
        m_display->ShowRecordingControls();
    }
}

void LRecordingSession::OnWaitingForVoice(std::uint32_t) {
    m_display->ShowIndicator(2);
    m_display->SetTrayState(kTrayIdle, kProgramName);
    m_display->ShowWaitingControls();
}

void LRecordingSession::OnStopped(std::uint32_t) {
    m_display->ShowLevel(LevelSet::kSilence);
    m_display->ShowIndicator(0);
    m_display->ShowIdleControls();
    if (m_exitWhenStopped && m_exitWhenStopped() && m_hasWindow) {
        m_display->ExitProgram();
    }
}

bool LRecordingSession::maxTimeReached(int ms) const {
    if (!m_checkMaxTime) {
        return false;
    }
    // A limit of zero (all three values 0) is no limit, or every recording would end at once.
    return (m_maxTimeMs > 0 && ms > m_maxTimeMs) || (m_maxTimeTextMs > 0 && ms > m_maxTimeTextMs);
}

void LRecordingSession::OnSoundLost(int lostMs, std::int64_t atMs, std::uint32_t) {
    const std::string gap =
        "Recording lost " + std::to_string(lostMs) + " ms of sound at " + positionText(atMs);
    m_parts.log.Log(gap + " in file: ", m_path);
    m_display->ShowStatusText(gap);
}

void LRecordingSession::OnRecordedTime(int ms, std::uint32_t) {
    if (!captureRunning()) {
        return;
    }
    m_recordedMs = ms;
    checkWriteError();
    if (!captureRunning()) {
        return;
    }
    if (maxTimeReached(ms)) {
        Done();
        if (!m_stopAtMaxTime) {
            Record(kDefaultMaxMs);
        }
        return;
    }
    m_display->ShowTime(ms);
}

void LRecordingSession::OnLevels(const LevelSet* levels, std::uint32_t) {
    if (levels != nullptr) {
        m_display->ShowLevels(*levels);
    }
    if (!captureRunning()) {
        m_display->ShowLevel(LevelSet::kSilence);
    }
}

void LRecordingSession::OnCaptureFailed(CaptureFailure failure, std::uint32_t) {
    if (m_path.empty() || m_completed) {
        return;
    }
    m_display->KillTimer(SessionTimer::IntervalTone);
    const bool kept = releaseFile();
    m_completed = true;
    m_paused = false;
    abandonRecording(CaptureFailureText(failure), kept);
}

void LRecordingSession::checkWriteError() {
    if (m_failing || m_writer->WriteError().empty()) {
        return;
    }
    m_failing = true;
    m_display->KillTimer(SessionTimer::IntervalTone);
    m_parts.engine.StopCapture();
    const std::string error = m_writer->WriteError();
    const bool kept = releaseFile();
    m_completed = true;
    m_paused = false;
    abandonRecording(error, kept);
}

void LRecordingSession::abandonRecording(const std::string& reason, bool kept) {
    m_parts.log.Log("Recording stopped for file: ", m_path + " (" + reason + ")");
    showIdle();
    const std::string text = "Sonaro stopped recording to the file \"" + m_path + "\".\r\n\r\n" +
                             reason +
                             (kept ? "\r\n\r\nThe file keeps what was recorded before."
                                   : "\r\n\r\nNothing had been recorded, so the file was removed.");
    if (!kept) {
        forgetFile();
    }
    m_parts.prompter.ShowError(text, "Recording Stopped");
}

// A stored interval of zero or less means no interval tone: taken literally, tones would play
// back to back and hold up the window.
int LRecordingSession::intervalMs() const {
    return static_cast<int>(
        std::clamp<long>(m_parts.settings.Read(setting::kIntervalSecs) * 1000L, 0, INT32_MAX));
}

}  // namespace sonaro
