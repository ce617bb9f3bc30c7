#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "formats/format_settings.h"
#include "record/capture_engine.h"
#include "record/file_naming.h"
#include "record/recording_session.h"
#include "support/fake_clock.h"
#include "support/memory_sink.h"
#include "support/program_log.h"
#include "support/scripted_prompter.h"
#include "support/scripted_wave_in.h"
#include "support/settings_home.h"

namespace sonaro::test {

class SilentTones final : public TonePlayer {
  public:
    bool PlayTone(std::string_view) override { return true; }
};

// A real recording session and capture engine that record from scripted microphones into
// memory, in a temporary home whose output folder exists. Reports reach `dispatcher`.
struct SessionRig {
    SessionRig(UiDispatcher& dispatcher, std::vector<ScriptedInput> inputs)
        : devices(std::move(inputs)), engine(devices, dispatcher, 60000) {
        clock.setNow(UtcSeconds(2026, 3, 7, 9, 5, 4));
        std::filesystem::create_directories(recordings);
        settings.WriteSettingString("FindPlay", "DefaultRecordFolder", recordings);
    }

    // A microphone named "Scripted Mic" that plays `amplitude` of a tone for 30 s or more.
    static ScriptedInput Microphone(double amplitude) {
        ScriptedInput mic;
        mic.name = "Scripted Mic";
        mic.sourceLines = {"Microphone", "Line In"};
        mic.signal = ToneBetween(amplitude, 0, 3600000);
        mic.frames = 30 * 44100;
        return mic;
    }

    SettingsHome home;
    SettingsStore& settings = home.settings;
    std::string recordings = home.path() + "/Recordings";
    FormatSettings formats{settings, home.path() + "/data"};
    FakeClock clock;
    FileNaming naming{settings, clock, home.path() + "/Documents"};
    ProgramLog log{home.path() + "/Logs", clock};
    ScriptedPrompter prompter;
    SilentTones tones;
    ScriptedWaveInList devices;
    CaptureEngine engine;
    std::vector<std::string> opened;
    LRecordingSession session{
        RecordingSessionParts{settings, formats, naming, engine, devices, prompter, log, tones,
                              [this](const std::string& path, const RecordingFormat&) {
                                  opened.push_back(path);
                                  return MakeSink<MemorySink>(8000, 1);
                              },
                              home.path() + "/bgsend.lst", home.path() + "/recordings.journal"}};
};

}  // namespace sonaro::test
