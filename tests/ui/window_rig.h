#pragma once

#include <QDir>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/session_commands.h"
#include "formats/format_settings.h"
#include "platform/qt_ui_dispatcher.h"
#include "record/capture_engine.h"
#include "record/file_naming.h"
#include "record/recording_session.h"
#include "support/fake_clock.h"
#include "support/memory_sink.h"
#include "support/program_log.h"
#include "support/scripted_prompter.h"
#include "support/scripted_wave_in.h"
#include "support/settings_home.h"
#include "ui/main_window.h"

namespace sonaro::test {

class SilentTones final : public TonePlayer {
  public:
    bool PlayTone(std::string_view) override { return true; }
};

// A main window over a real recording session and capture engine that record from scripted
// microphones into memory, in a temporary home.
class WindowRig {
  public:
    explicit WindowRig(std::vector<ScriptedInput> inputs)
        : formats(settings, home.path() + "/data"),
          naming(settings, clock, home.path() + "/Documents"),
          log(home.path() + "/Logs", clock),
          devices(std::move(inputs)),
          engine(devices, dispatcher, 60000),
          session(RecordingSessionParts{settings, formats, naming, engine, devices, prompter, log,
                                        tones,
                                        [this](const std::string& path, const RecordingFormat&) {
                                            opened.push_back(path);
                                            return MakeSink<MemorySink>(8000, 1);
                                        },
                                        home.path() + "/bgsend.lst"}),
          commands(session),
          application(settings, formats, commands) {
        clock.setNow(UtcSeconds(2026, 3, 7, 9, 5, 4));
        recordings = home.path() + "/Recordings";
        QDir().mkpath(QString::fromStdString(recordings));
        settings.WriteSettingString("FindPlay", "DefaultRecordFolder", recordings);
    }

    ~WindowRig() { window.reset(); }

    MainWindow& open() {
        window = std::make_unique<MainWindow>(application, settings);
        MainWindow::Services services;
        services.devices = &devices;
        services.dispatcher = &dispatcher;
        services.formats = &formats;
        window->SetServices(std::move(services));
        window->AttachSession(session, naming);
        return *window;
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
    FormatSettings formats;
    FakeClock clock;
    FileNaming naming;
    ProgramLog log;
    ScriptedPrompter prompter;
    SilentTones tones;
    ScriptedWaveInList devices;
    QtUiDispatcher dispatcher;
    CaptureEngine engine;
    LRecordingSession session;
    SessionCommands commands;
    Application application;
    std::unique_ptr<MainWindow> window;
    std::vector<std::string> opened;
    std::string recordings;
};

// Saves a picture of `widget` as <build>/screenshots/<name>.
inline bool SaveScreenshot(QWidget& widget, const QString& name) {
    const QString folder = QStringLiteral(SONARO_BINARY_DIR) + "/screenshots";
    QDir().mkpath(folder);
    return widget.grab().save(folder + "/" + name);
}

}  // namespace sonaro::test
