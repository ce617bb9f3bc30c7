#include <QApplication>
#include <QPointer>
#include <QSessionManager>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/forward_paths.h"
#include "app/process_options.h"
#include "app/session_commands.h"
#include "app/session_playback.h"
#include "app/single_instance.h"
#include "formats/codec_manager.h"
#include "formats/format_settings.h"
#include "formats/output_writer.h"
#include "net/mail_account_discovery.h"
#include "net/mail_handoff.h"
#include "net/mail_sender.h"
#include "platform/curl_downloader.h"
#include "platform/dbus_remote_control.h"
#include "platform/flock_startup_lock.h"
#include "platform/freedesktop_trash.h"
#include "platform/mpris_service.h"
#include "platform/openssl_secret_cipher.h"
#include "platform/pocketsphinx_engines.h"
#include "platform/portal_hot_key_registrar.h"
#include "platform/program_paths.h"
#include "platform/pulse_tone_player.h"
#include "platform/pulse_wave_in_list.h"
#include "platform/pulse_wave_out_list.h"
#include "platform/qt_ui_dispatcher.h"
#include "platform/sqlite_settings_backend.h"
#include "platform/termination_signal_watcher.h"
#include "platform/unix_instance_channel.h"
#include "platform/user_dirs.h"
#include "platform/x11_hot_key_registrar.h"
#include "platform/xdg_autostart.h"
#include "platform/xdg_page_opener.h"
#include "record/capture_engine.h"
#include "record/file_naming.h"
#include "record/output_options.h"
#include "record/recording_session.h"
#include "recordings/playback_engine.h"
#include "recordings/recording_actions.h"
#include "settings/settings_store.h"
#include "settings/stored_password.h"
#include "support/activity_record.h"
#include "support/clock.h"
#include "support/component_manager.h"
#include "support/crash_handler.h"
#include "support/crash_report.h"
#include "support/help_contents.h"
#include "support/program_launcher.h"
#include "support/program_log.h"
#include "support/run_marker.h"
#include "support/server_addresses.h"
#include "support/worker_prompter.h"
#include "transmit/background_sender.h"
#include "transmit/recording_transmitter.h"
#include "ui/email_send_dlg.h"
#include "ui/format_options.h"
#include "ui/main_window.h"
#include "ui/options_dialog.h"
#include "ui/qt_prompter.h"
#include "ui/recordings_window.h"

namespace {

using namespace sonaro;

// Without a display the program still records from the command line: Qt renders offscreen.
void chooseOffscreenWithoutDisplay() {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((display == nullptr || *display == '\0') && (wayland == nullptr || *wayland == '\0')) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    }
}

int setAutorun(const ProgramPaths& paths, AutorunChange change, const std::string& argument0) {
    const XdgAutostart autostart(paths.configHome);
    bool done = true;
    if (change == AutorunChange::Enable) {
        done = autostart.Enable(OwnProgramPath(argument0));
    } else if (change == AutorunChange::Disable) {
        done = autostart.Disable();
    }
    if (!done) {
        std::fprintf(stderr, "Sonaro: cannot change the start at logon (%s)\n",
                     autostart.entryPath().c_str());
        return 1;
    }
    return 0;
}

// Options that end the process before anything else starts; nothing when there is none.
std::optional<int> runProcessOption(const std::vector<std::string>& args) {
    const ProcessOption option = ParseProcessOption(args);
    switch (option.kind) {
        case ProcessOptionKind::None:
            return std::nullopt;
        case ProcessOptionKind::SetAutorun:
            return setAutorun(ProgramPaths::FromEnvironment(), option.autorun, args[0]);
        case ProcessOptionKind::RunTool:  // no helper tool exists yet, so every name is unknown
        case ProcessOptionKind::Installer:
            return 0;
    }
    return 0;
}

// "close now" ends the event loop; the end of the desktop session and a termination signal take
// the path of "-exit".
void connectExitPaths(QApplication& qtApplication, MainWindow& window,
                      TerminationSignalWatcher& signalWatcher) {
    QObject::connect(&window, &MainWindow::closedNow, &qtApplication, &QApplication::quit);
    QObject::connect(&qtApplication, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager&) { window.Exit(); });
    QObject::connect(&signalWatcher, &TerminationSignalWatcher::terminate, &window,
                     &MainWindow::Exit);
}

// The reporting mode the crash handler starts: logs the crash code, asks about a bug report,
// nothing else runs.
int runCrashReport(int argc, char** argv) {
    chooseOffscreenWithoutDisplay();
    QApplication qtApplication(argc, argv);
    const ProgramPaths paths = ProgramPaths::FromEnvironment();
    const SystemClock clock;
    ProgramLog(paths.dataDir + "/Logs", clock).Log("Sonaro Sound Recorder crashed: ", argv[2]);
    SqliteSettingsBackend backend(paths.userRegistry, paths.machineRegistry);
    SettingsStore settings(backend);
    QtPrompter prompter;
    XdgPageOpener pages;
    return RunCrashReport(argv[2], prompter, pages, ServerAddresses::Read(settings).web);
}

// "bgsend.lst" in the per-user data folder: the session resumes it, the sender works on it.
std::string sendQueuePath(const ProgramPaths& paths) {
    return paths.dataDir + "/" + std::string(BackgroundSender::kQueueFileName);
}

// The recorder's engine and session; built after the settings, before the window.
struct Recorder {
    Recorder(SettingsStore& settings, FormatSettings& formats, const ProgramPaths& paths,
             const Clock& clock, Prompter& prompter, ProgramLog& log)
        : naming(settings, clock, FindDocumentsFolder(paths)),
          engine(devices, dispatcher),
          session(RecordingSessionParts{
              settings, formats, naming, engine, devices, prompter, log, tones,
              [this, &settings](const std::string& path, const RecordingFormat& format) {
                  return OpenOutputWriter(path, format, codecs,
                                          FindComponent(settings, kMp3EncoderComponent));
              },
              sendQueuePath(paths), paths.dataDir + "/" + RecordingJournal::kFileName}),
          commands(session),
          playback(player, prompter, [this] {
              session.OnPlaybackChanged();
              if (playbackChanged) {
                  playbackChanged();
              }
          }) {
        session.SetPlayer(&playback);
    }
    ~Recorder() { session.SetPlayer(nullptr); }

    QtUiDispatcher dispatcher;
    CodecManager codecs;
    PulseWaveInList devices;
    PulseTonePlayer tones;
    FileNaming naming;
    CaptureEngine engine;
    LRecordingSession session;
    SessionCommands commands;
    PulseWaveOutList outputs;
    PlaybackEngine player{outputs, dispatcher};
    SessionPlayback playback;
    // The MPRIS player's notice; empty while there is none.
    std::function<void()> playbackChanged;
    // The player window's own engine: the session's Play keeps its listener.
    PlaybackEngine windowPlayer{outputs, dispatcher};
};

// The send queue: one per process, the session's transmit hand-off from construction on, so the
// session's Attach resumes the queue left by earlier runs. Built before the window and destroyed
// after it: the window's teardown calls `sender.Shutdown()` (null listener, stop, wait); so does
// the end of the event loop and the sender's own destructor, for a window that did not.
struct TransmitQueue : TransmitHandoff {
    TransmitQueue(SettingsStore& settings, Recorder& recorder, const ProgramPaths& paths,
                  Prompter& prompter, ProgramLog& log)
        : session(recorder.session),
          cipher(paths.dataDir + "/" + OpenSslSecretCipher::kKeyFileName),
          passwords(settings, &cipher),
          questions(prompter, recorder.dispatcher),
          methods(RecordingTransmitterParts{
              settings,
              &passwords,
              [home = paths.home] { return DiscoverDefaultMailAccount(home); },
              {},
              {},
              3600000,
              [&log](std::string_view details) { log.Log("Secure connection: ", details); }}),
          sender({recorder.dispatcher, settings, methods, questions, &log, sendQueuePath(paths)}) {
        session.SetTransmit(this);
    }
    ~TransmitQueue() override { session.SetTransmit(nullptr); }

    void EnqueueRecording(const std::string& path) override {
        sender.EnqueueRecording(path);
        if (completed) {
            completed(path);
        }
    }
    void ResumeQueueAtStartup(const std::string& queuePath) override {
        sender.ResumeQueueAtStartup(queuePath);
    }

    LRecordingSession& session;
    OpenSslSecretCipher cipher;
    StoredPassword passwords;
    WorkerPrompter questions;
    RecordingTransmitter methods;
    BackgroundSender sender;
    // Every completed recording passes here: the D-Bus service announces it.
    std::function<void(const std::string&)> completed;
};

// What the options dialog works with: stored passwords, the logon entry, components, mail.
struct OptionsParts {
    OptionsParts(SettingsStore& settings, FormatSettings& formats, Recorder& recorder,
                 const ProgramPaths& paths, Prompter& prompter, PageOpener& pages)
        : cipher(paths.dataDir + "/" + OpenSslSecretCipher::kKeyFileName),
          passwords(settings, &cipher),
          autostart(paths.configHome),
          components(settings, downloader, prompter, pages, recorder.dispatcher, paths.tempDir),
          services{settings,
                   formats,
                   recorder.naming,
                   recorder.devices,
                   passwords,
                   autostart,
                   prompter,
                   [this](std::string_view name) { return components.EnsureComponent(name); },
                   [home = paths.home] { return DiscoverDefaultMailAccount(home); },
                   [] { return IsMapiAvailable(); },
                   {},
                   {}} {}

    OpenSslSecretCipher cipher;
    StoredPassword passwords;
    XdgAutostart autostart;
    CurlDownloader downloader;
    ComponentManager components;
    OptionsServices services;
};

// The recordings window's actions and the Launch items: the trash and the maker's programs.
struct ActionParts {
    ActionParts(SettingsStore& settings, OptionsParts& options, Recorder& recorder,
                const ProgramPaths& paths, Prompter& prompter, PageOpener& pages)
        : trash(std::filesystem::path(paths.dataDir).parent_path().string()),
          launcher(settings, options.components, prompter, pages, recorder.dispatcher),
          actions(RecordingActionParts{settings, prompter, recorder.dispatcher, trash, launcher,
                                       [&options](std::string_view name) {
                                           return options.components.EnsureComponent(name);
                                       },
                                       [&settings] { return FindComponent(settings, "mp3el"); },
                                       paths.dataDir, paths.tempDir}) {}

    // The e-mail sending dialog for one recording, owned by `owner`.
    static void SendEmail(SettingsStore& settings, OptionsParts& options, UiDispatcher& dispatcher,
                          const std::string& file, QWidget* owner) {
        LEmailSendDlg dialog(
            options.services, dispatcher,
            [&settings, &options](const MailMessage& message, NetTask& task) {
                MailSenderOptions mail;
                mail.smtpPassword = [&options] { return ReadSmtpPassword(options.passwords); };
                return MailSender(settings, mail).SendMailMessage(message, task);
            },
            file, owner);
        dialog.exec();
    }

    FreedesktopTrash trash;
    ProgramLauncher launcher;
    RecordingActions actions;
};

// The running instance: everything heavy is created here, after forwarding found no instance.
int runFirstInstance(int argc, char** argv, const std::vector<std::string>& args,
                     ProgramPaths paths, SingleInstance& instance, bool canListen,
                     FlockStartupLock& lock) {
    chooseOffscreenWithoutDisplay();
    QApplication qtApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QGuiApplication::setDesktopFileName(QStringLiteral("org.sonaro.Sonaro"));
    RefreshCrashModules();
    SystemClock clock;
    SqliteSettingsBackend backend(paths.userRegistry, paths.machineRegistry);
    SettingsStore settings(backend);
    FormatSettings formats(settings, paths.dataDir);
    ProgramLog log(paths.dataDir + "/Logs", clock);
    paths.tempDir = ChooseTemporaryFolder(paths.tempDir);
    QtPrompter prompter;
    XdgPageOpener pages;
    RunMarker marker(
        paths.tempDir.empty() ? std::string() : paths.tempDir + "/" + RunMarker::kFileName, clock,
        prompter, pages,
        BugReportUrl(ServerAddresses::Read(settings).web, "AbTermOrHang-" + OsVersionTag()));
    Recorder recorder(settings, formats, paths, clock, prompter, log);
    TransmitQueue transmit(settings, recorder, paths, prompter, log);
    Application application(settings, formats, recorder.commands);
    recorder.session.SetExitWhenStopped([&application] { return application.exitWhenStopped(); });

    SetActivityPhase(ActivityPhase::WindowCreate);
    MainWindow window(application, settings);
    marker.CheckRunMarker();
    TerminationSignalWatcher signalWatcher;
    connectExitPaths(qtApplication, window, signalWatcher);

    UnixInstanceServer server(paths.runtimeDir + "/instance", recorder.dispatcher,
                              [&application](std::span<const char> block) {
                                  return application.HandleForwardedBlock(block);
                              });
    if (canListen) {
        server.Listen();
    }
    DBusRemoteControl remote(application, recorder.session);
    remote.Register();
    transmit.completed = [&remote](const std::string& path) { remote.NotifyCompleted(path); };
    MprisService mpris(recorder.session, recorder.playback,
                       {[&window] { window.RestoreAndActivate(); }, [&window] { window.Exit(); }});
    mpris.Register();
    recorder.playbackChanged = [&mpris] { mpris.OnPlaybackChanged(); };
    window.PlaceWindow();
    if (Application::StartsHidden(args)) {
        window.HideWindow();
    } else {
        window.show();
    }
    MainWindow::Services services;
    services.devices = &recorder.devices;
    services.dispatcher = &recorder.dispatcher;
    services.formats = &formats;
    OptionsParts options(settings, formats, recorder, paths, prompter, pages);
    options.services.showFormatOptions = [&](OutputFormat format, QWidget* owner) {
        return ShowFormatOptions(static_cast<int>(format), owner, formats, prompter);
    };
    services.openOptions = [&](int page) { ShowOptions(&window, options.services, page); };
    services.formatSettings = [&] { ShowFormatOptions(-1, &window, formats, prompter); };
    ActionParts actions(settings, options, recorder, paths, prompter, pages);
    // One recordings window at a time, made for each opening and gone when it closes.
    QPointer<RecordingsWindow> recordings;
    PocketSphinxEngines speechEngines(PocketSphinxEngines::kSystemRoot, paths.dataDir + "/speech",
                                      paths.tempDir);
    services.openRecordings = [&] {
        if (recordings == nullptr) {
            recordings =
                new RecordingsWindow(recorder.windowPlayer, recorder.outputs, settings, prompter,
                                     recorder.dispatcher, recorder.naming.GetOutputFolder(),
                                     paths.dataDir + "/" + RecordingLengthCache::kFileName);
            recordings->setAttribute(Qt::WA_DeleteOnClose);
            recordings->SetActionServices(
                {&actions.actions, [&](const std::string& file, QWidget* owner) {
                     ActionParts::SendEmail(settings, options, recorder.dispatcher, file, owner);
                 }});
            recordings->SetSpeechEngines(speechEngines, &log);
        }
        recordings->show();
        recordings->raise();
        recordings->activateWindow();
    };
    services.stopTransmit = [&transmit] { transmit.sender.Shutdown(); };
    services.launch = [&](int program) {
        static constexpr Sibling kLaunchItems[] = {Sibling::Moldra, Sibling::Discor,
                                                   Sibling::Cindle, Sibling::Convro};
        actions.actions.Launch(kLaunchItems[program], recordings != nullptr
                                                          ? recordings->SelectedRecordingFiles()
                                                          : std::vector<std::string>());
    };
    services.openHelp = [&] {
        // The installed program is <prefix>/bin/sonaro; a build runs from a folder of the tree
        // and makes the page in its desktop/help folder.
        const std::filesystem::path programDir =
            QCoreApplication::applicationDirPath().toStdString();
        OpenHelpContents(ServerAddresses::Read(settings).web,
                         {(programDir.parent_path() / "share/sonaro/help/index.html").string(),
                          (programDir / "desktop/help/index.html").string(),
                          (programDir.parent_path() / "README.md").string()},
                         pages, prompter);
    };
    window.SetServices(std::move(services));
    // Installed before the session's Attach resumes a queue left by an earlier run.
    transmit.sender.SetListener(&window.transmitListener());
    // System-wide keys are X11 grabs; elsewhere (Wayland, offscreen) the desktop portal's global
    // shortcuts, when the session has a portal that offers them.
    const auto onHotKey = [&window](int position) { window.OnHotKey(position); };
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        window.EnableHotKeys(std::make_unique<X11HotKeyRegistrar>(onHotKey));
    } else {
        window.EnableHotKeys(std::make_unique<PortalHotKeyRegistrar>(onHotKey));
    }
    options.services.systemHotKeysAvailable = [&window] { return window.hotKeysAvailable(); };
    window.AttachSession(recorder.session, recorder.naming);
    // Stored folders and files must not depend on where a later start runs.
    std::vector<std::string> ownArgs = args;
    MakePathOptionsAbsolute(ownArgs, WorkingFolder());
    application.ProcessCommandLine(ownArgs);
    instance.ReleaseStartupLock();

    SetActivityPhase(ActivityPhase::Running);
    const int status = QApplication::exec();
    if (recordings != nullptr) {
        recordings->close();
        delete recordings;
    }
    SetActivityPhase(ActivityPhase::WindowDestroy);
    // A send still running ends here (the rest of a resumed queue is dropped, with a log line);
    // the window's own teardown would do it too, but only when the window goes.
    transmit.sender.Shutdown();
    transmit.completed = nullptr;
    recorder.playbackChanged = nullptr;
    const int code = status != 0 ? status : application.exitCode();
    // Removing the socket under the lock keeps a start that is just binding a new one safe.
    const bool locked = canListen && lock.Acquire(1000);
    server.Close();
    if (locked) {
        lock.Release();
    }
    marker.RemoveRunMarker();
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "-crashreport") == 0) {
        return runCrashReport(argc, argv);
    }
    CrashHandlerOptions crash;
    crash.osTag = OsVersionTag();
    InstallCrashHandler(crash);
    const std::vector<std::string> args(argv, argv + argc);
    if (const auto code = runProcessOption(args)) {
        return *code;
    }
    const ProgramPaths paths = ProgramPaths::FromEnvironment();
    const bool privateRuntime = PrepareRuntimeFolder(paths);
    if (!privateRuntime) {
        std::fprintf(stderr,
                     "Sonaro: the runtime folder %s is not private; starting without single "
                     "instance\n",
                     paths.runtimeDir.c_str());
    }
    FlockStartupLock lock(paths.runtimeDir + "/starting.lock");
    UnixInstanceChannel channel(paths.runtimeDir + "/instance");
    SingleInstance instance(lock, channel);
    if (privateRuntime) {
        switch (instance.Start(args)) {
            case StartRole::Forwarded:
                return 0;
            case StartRole::ForwardedRecordingFailed:
                return 1;
            case StartRole::ForwardFailed:
                return 1;
            case StartRole::First:
                break;
        }
    }
    const int code = runFirstInstance(argc, argv, args, paths, instance, privateRuntime, lock);
    SetActivityPhase(ActivityPhase::GlobalsDone);
    return code;
}
