#include "record/recording_session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "formats/format_settings.h"
#include "formats/output_writer.h"
#include "record/file_naming.h"
#include "support/fake_clock.h"
#include "support/manual_dispatcher.h"
#include "support/memory_sink.h"
#include "support/program_log.h"
#include "support/scripted_prompter.h"
#include "support/scripted_wave_in.h"
#include "support/settings_home.h"

namespace sonaro {
namespace {

using test::MemorySink;
using test::ScriptedInput;
using test::ScriptedWaveInList;
using testing::HasSubstr;

constexpr int kRate = 8000;

// Plays no tones, draws nothing and sends nothing, but notes all that in `events`, `timers` and
// `sent`.
class Watcher final : public TonePlayer, public RecordingDisplay, public TransmitHandoff {
  public:
    bool PlayTone(std::string_view resource) override {
        events.push_back("tone " + std::string(resource));
        return true;
    }
    void ShowIdleControls() override { events.push_back("idle"); }
    void ShowPausedControls() override { events.push_back("paused"); }
    void ReportInvalidOutputFolder() override { events.push_back("invalid folder"); }
    void ShowFileName(std::string_view name) override { fileName = name; }
    void ShowButtonTip(SessionButton, std::string_view text, std::string_view) override {
        events.push_back("tip " + std::string(text));
    }
    void CheckFreeSpace() override { events.push_back("free space"); }
    void ShowStatusText(std::string_view text) override { statusTexts.emplace_back(text); }
    void RunFirstRunSetup() override { events.push_back("first run"); }
    void ExitProgram() override { events.push_back("exit"); }
    void ArmTimer(SessionTimer timer, int ms) override { timers[static_cast<int>(timer)] = ms; }
    void KillTimer(SessionTimer timer) override { timers.erase(static_cast<int>(timer)); }
    void EnqueueRecording(const std::string& path) override { sent.push_back(path); }

    bool saw(const std::string& event) const {
        return std::find(events.begin(), events.end(), event) != events.end();
    }

    std::vector<std::string> events;
    std::map<int, int> timers;
    std::string fileName;
    std::vector<std::string> statusTexts;
    std::vector<std::string> sent;
};

// A memory sink that starts failing, like a full disk, after `goodFrames` frames.
class FillingSink final : public AudioSink {
  public:
    FillingSink(int rate, std::int64_t goodFrames) : AudioSink(rate, 1), m_good(goodFrames) {}
    void Write(const InternalSample*, int frames) override {
        advancePosition(frames);
        if (position() > m_good) {
            std::lock_guard lock(m_lock);
            m_error = "No space left on device";
        }
    }
    void SeekTo(std::int64_t frame) override { setPosition(frame); }
    std::string WriteError() const override {
        std::lock_guard lock(m_lock);
        return m_error;
    }

  private:
    std::int64_t m_good;
    mutable std::mutex m_lock;
    std::string m_error;
};

class RecordingSessionTest : public test::SettingsTest {
  protected:
    RecordingSessionTest()
        : m_formats(m_settings, m_dir),
          m_naming(m_settings, m_clock, m_dir + "/Documents"),
          m_log(m_dir + "/Logs", m_clock) {
        m_clock.setNow(test::UtcSeconds(2026, 3, 7, 9, 5, 4));
        m_settings.WriteSettingString("FindPlay", "DefaultRecordFolder", m_dir);
    }
    ~RecordingSessionTest() override {
        m_session.reset();
        m_engine.reset();
    }

    // A microphone that plays `ms` of loud tone, then ends as `end` says; or one that cannot be
    // opened at all.
    void build(int ms, test::ScriptEnd end = test::ScriptEnd::Stall, bool failOpen = false) {
        ScriptedInput mic;
        mic.name = "Scripted Mic";
        mic.failOpen = failOpen;
        mic.signal = test::ToneBetween(0.5, 0, ms);
        mic.frames = static_cast<std::int64_t>(ms) * kRate / 1000;
        mic.end = end;
        m_list = std::make_unique<ScriptedWaveInList>(std::vector<ScriptedInput>{mic});
        m_list->SetOverruns(0, m_overruns);
        m_engine = std::make_unique<CaptureEngine>(*m_list, m_dispatcher, 10000);
        m_session = std::make_unique<LRecordingSession>(RecordingSessionParts{
            m_settings, m_formats, m_naming, *m_engine, *m_list, m_prompter, m_log, m_watch,
            [this](const std::string& path, const RecordingFormat& format) {
                return openWriter(path, format);
            },
            m_dir + "/bgsend.lst", m_dir + "/recordings.journal"});
        m_session->SetDisplay(&m_watch);
        m_session->SetTransmit(&m_watch);
        m_session->Attach();
    }

    SinkRef openWriter(const std::string& path, const RecordingFormat& format) {
        m_watch.events.push_back("open " + path.substr(m_dir.size() + 1));
        if (m_failOpen) {
            return SinkRef();
        }
        if (m_realFiles) {
            m_writers.push_back(OpenOutputWriter(path, format, m_codecs, ""));
            return m_writers.back();
        }
        SinkRef sink = m_fillAfter > 0 ? MakeSink<FillingSink>(kRate, m_fillAfter)
                                       : MakeSink<MemorySink>(kRate, 1);
        m_writers.push_back(sink);
        return sink;
    }

    // Waits until the newest writer holds `ms` of sound (each capture opens a new scripted
    // device, which plays its script from the start).
    void playInto(int ms) {
        const std::int64_t frames = static_cast<std::int64_t>(ms) * kRate / 1000;
        ASSERT_TRUE(m_dispatcher.pumpUntil([&] { return m_writers.back()->position() >= frames; }));
    }

    bool record() { return m_session->Record(LRecordingSession::kDefaultMaxMs); }
    bool recordTo(const std::string& path) {
        return m_session->RecordToFile(path, LRecordingSession::kDefaultMaxMs);
    }

    std::int64_t framesOf(std::size_t writer) const {
        return static_cast<const MemorySink*>(m_writers.at(writer).get())->frames();
    }

    std::string logText() const {
        return test::ReadTextFile(m_dir + "/Logs/2026-03-07 Sonaro Sound Recorder Log.txt");
    }

    // The program's writers at the microphone's rate, so that its buffers fill.
    void useRealFiles() {
        m_realFiles = true;
        ASSERT_TRUE(m_formats.SaveWavFormat(MakePcmWaveFormat(kRate, 1, 16)));
        m_formats.SaveAiffSettings({1, kRate, 16});
    }

    test::FakeClock m_clock;
    FormatSettings m_formats;
    FileNaming m_naming;
    ProgramLog m_log;
    Watcher m_watch;
    test::ScriptedPrompter m_prompter;
    test::ManualDispatcher m_dispatcher;
    std::unique_ptr<ScriptedWaveInList> m_list;
    std::unique_ptr<CaptureEngine> m_engine;
    std::unique_ptr<LRecordingSession> m_session;
    std::vector<SinkRef> m_writers;
    bool m_failOpen = false;
    std::int64_t m_fillAfter = 0;
    std::vector<std::pair<std::int64_t, int>> m_overruns;
    // Writers of the program instead of memory sinks, for what ends up on disk.
    bool m_realFiles = false;
    CodecManager m_codecs;
};

TEST(ParseTimeTextTest, FieldsFractionsAndSign) {
    EXPECT_EQ(ParseTimeText("1:00:00"), 3600000);
    EXPECT_EQ(ParseTimeText("0:30"), 30000);
    EXPECT_EQ(ParseTimeText("1:30.5"), 90500);
    EXPECT_EQ(ParseTimeText("0:0:1:25"), 1250);
    EXPECT_EQ(ParseTimeText("2.1239"), 2123);
    EXPECT_EQ(ParseTimeText("-1 s"), -1000);
    EXPECT_EQ(ParseTimeText(""), 0);
}

TEST_F(RecordingSessionTest, RecordPauseRecordDoneKeepsBothStretchesInOneFile) {
    build(500);
    record();
    playInto(500);
    m_session->Pause();
    EXPECT_TRUE(m_session->isPaused());
    EXPECT_FALSE(m_session->IsIdle());
    record();
    playInto(1000);
    m_session->Done();

    ASSERT_EQ(m_writers.size(), 1u);
    EXPECT_NEAR(static_cast<double>(framesOf(0)), 2 * 0.5 * kRate, 0.1 * kRate);
    const std::string path = m_dir + "/Untitled 001.wav";
    EXPECT_EQ(m_session->currentPath(), path);
    EXPECT_EQ(m_settings.ReadSettingString("Settings", "LastRecordingFilePath", ""), path);
    EXPECT_EQ(m_watch.fileName, "Untitled 001.wav");
    EXPECT_EQ(m_watch.sent, (std::vector<std::string>{path}));
    EXPECT_EQ(m_writers[0]->refCount(), 1u) << "the session dropped its writer at Done";
    EXPECT_TRUE(m_session->IsIdle());
    const std::vector<std::string> order = {"tone WAV_RECORD_TONE", "paused",
                                            "tone WAV_RECORD_TONE", "tone WAV_STOPPED_TONE"};
    std::vector<std::string> tonesAndPause;
    std::copy_if(m_watch.events.begin(), m_watch.events.end(), std::back_inserter(tonesAndPause),
                 [](const std::string& e) { return e.starts_with("tone") || e == "paused"; });
    EXPECT_EQ(tonesAndPause, order);

    EXPECT_THAT(logText(), HasSubstr("Recording to file: " + path +
                                     " (Recording time: 3600 mins. 0 seconds)"));
    EXPECT_THAT(logText(), HasSubstr("Recording complete for file: " + path));

    // The hint shows only until the first completed file, which is never resumed.
    EXPECT_TRUE(m_watch.saw("tip Click this button to view your recordings"));
    m_watch.events.clear();
    record();
    playInto(100);
    m_session->Stop();
    EXPECT_FALSE(m_watch.saw("tip Click this button to view your recordings"));
    EXPECT_EQ(m_writers.size(), 2u);
    EXPECT_EQ(m_session->currentPath(), m_dir + "/Untitled 002.wav");
}

TEST_F(RecordingSessionTest, RestartKeepsOnlyWhatFollowsAndRecordWhileRecordingIsIgnored) {
    build(400);
    record();
    playInto(400);
    record();
    EXPECT_EQ(m_writers.size(), 1u);
    m_session->Restart();
    playInto(400);
    m_session->Done();

    ASSERT_EQ(m_writers.size(), 2u) << "the same path is created anew";
    EXPECT_EQ(framesOf(0), framesOf(1)) << "the first writer was dropped at the restart";
    EXPECT_NEAR(static_cast<double>(framesOf(1)), 0.4 * kRate, 0.1 * kRate);
    EXPECT_EQ(m_watch.events[std::find(m_watch.events.begin(), m_watch.events.end(), "paused") -
                             m_watch.events.begin() + 1],
              "open Untitled 001.wav");
}

TEST_F(RecordingSessionTest, RecordToFileWhileRecordingMovesToTheNewFileQuietly) {
    build(300);
    record();
    playInto(300);
    m_watch.events.clear();
    const std::string moved = m_dir + "/moved.wav";
    recordTo(moved);

    ASSERT_EQ(m_writers.size(), 2u);
    EXPECT_EQ(m_writers[0]->refCount(), 1u) << "the previous file was closed";
    EXPECT_NEAR(static_cast<double>(framesOf(0)), 0.3 * kRate, 0.1 * kRate);
    EXPECT_TRUE(m_watch.saw("open moved.wav"));
    EXPECT_FALSE(m_watch.saw("tone WAV_STOPPED_TONE"));
    EXPECT_TRUE(m_watch.sent.empty());
    EXPECT_EQ(logText().find("Recording complete"), std::string::npos);
    EXPECT_EQ(m_settings.ReadSettingString("Settings", "LastRecordingFilePath", ""), moved);
    playInto(300);
    m_session->Done();
    EXPECT_EQ(m_watch.sent, (std::vector<std::string>{moved}));
}

TEST_F(RecordingSessionTest, MaxTimeWithoutStoppingMakesConsecutiveFiles) {
    m_settings.WriteSettingBool("Settings", "CheckMaxTime", true);
    m_settings.WriteSettingInt("Settings", "MaxTimeSeconds", 1);
    m_settings.WriteSettingBool("Settings", "StopReachMaxTime", false);
    build(10000);
    record();
    ASSERT_TRUE(m_dispatcher.pumpUntil([&] { return m_writers.size() >= 3; }));
    m_settings.WriteSettingBool("Settings", "StopReachMaxTime", true);
    ASSERT_TRUE(m_dispatcher.pumpUntil([&] { return m_session->IsIdle(); }));

    ASSERT_GE(m_watch.sent.size(), 3u);
    ASSERT_EQ(m_watch.sent.size(), m_writers.size());
    for (std::size_t i = 0; i < m_watch.sent.size(); ++i) {
        char name[48];
        std::snprintf(name, sizeof name, "/Untitled %03zu.wav", i + 1);
        EXPECT_EQ(m_watch.sent[i], m_dir + name);
        // The scripted device runs ahead of the checks, so only the lower bound is exact.
        EXPECT_GT(framesOf(i), kRate);
    }
}

// The limits are taken when capture starts: a change made while recording applies to the next.
TEST_F(RecordingSessionTest, TheMaxTimeTextLimitsEvenWhenTheValuesAllowMore) {
    m_settings.WriteSettingBool("Settings", "CheckMaxTime", true);
    m_settings.WriteSettingInt("Settings", "MaxTimeHours", 1);
    m_settings.WriteSettingInt("Settings", "MaxTimeMinutes", 30);
    build(200);
    record();
    m_settings.WriteSettingString("Settings", "MaxTime", "0:00:01");
    m_settings.WriteSettingBool("Settings", "StopReachMaxTime", false);
    playInto(200);
    m_session->OnRecordedTime(2000, 0);
    EXPECT_FALSE(m_session->IsIdle());
    EXPECT_TRUE(m_watch.sent.empty());
    m_session->OnRecordedTime(3600000, 0);
    EXPECT_FALSE(m_session->IsIdle());
    m_session->OnRecordedTime(3600001, 0);
    EXPECT_TRUE(m_session->IsIdle());
    EXPECT_EQ(m_watch.sent.size(), 1u);
}

TEST_F(RecordingSessionTest, FullDiskStopsKeepsTheFileAndSaysWhich) {
    m_fillAfter = kRate / 4;
    build(2000);
    record();
    ASSERT_TRUE(m_dispatcher.pumpUntil([&] { return m_session->IsIdle(); }));

    const std::string path = m_dir + "/Untitled 001.wav";
    ASSERT_EQ(m_prompter.shown().size(), 1u);
    EXPECT_EQ(m_prompter.shown()[0].title, "Recording Stopped");
    EXPECT_THAT(m_prompter.shown()[0].text, HasSubstr(path));
    EXPECT_THAT(m_prompter.shown()[0].text, HasSubstr("No space left on device"));
    EXPECT_EQ(m_writers[0]->refCount(), 1u) << "the file was completed";
    EXPECT_THAT(logText(),
                HasSubstr("Recording stopped for file: " + path + " (No space left on device)"));
    EXPECT_TRUE(m_watch.sent.empty());
    record();
    EXPECT_EQ(m_session->currentPath(), m_dir + "/Untitled 002.wav")
        << "a failed file is not resumed";
    m_session->Done();
}

TEST_F(RecordingSessionTest, LostDeviceIsReportedWithTheFile) {
    build(300, test::ScriptEnd::Disappear);
    record();
    ASSERT_TRUE(m_dispatcher.pumpUntil([&] { return !m_prompter.shown().empty(); }));
    EXPECT_TRUE(m_session->IsIdle());
    EXPECT_THAT(m_prompter.shown()[0].text, HasSubstr(m_dir + "/Untitled 001.wav"));
    EXPECT_THAT(m_prompter.shown()[0].text,
                HasSubstr(CaptureFailureText(CaptureFailure::DeviceLost)));
    EXPECT_NEAR(static_cast<double>(framesOf(0)), 0.3 * kRate, 0.1 * kRate);
}

TEST_F(RecordingSessionTest, LostSoundIsLoggedWithItsPlaceAndShownUntilTheNextRecording) {
    m_overruns = {{kRate / 5, kRate / 20}};
    build(1000);
    record();
    ASSERT_TRUE(m_dispatcher.pumpUntil([&] { return m_watch.statusTexts.size() == 2; }));
    const std::string gap = "Recording lost 50 ms of sound at 0:00:00.200";
    EXPECT_EQ(m_watch.statusTexts, (std::vector<std::string>{"", gap}));
    EXPECT_THAT(logText(), HasSubstr(gap + " in file: " + m_dir + "/Untitled 001.wav"));
    m_session->Done();
    record();
    EXPECT_EQ(m_watch.statusTexts.back(), "");
    m_session->Done();
}

TEST_F(RecordingSessionTest, NothingStartsWithoutAFolderAWriterOrConsent) {
    build(100);
    m_settings.WriteSettingString("FindPlay", "DefaultRecordFolder", m_dir + "/missing");
    record();
    EXPECT_TRUE(m_watch.saw("invalid folder"));
    EXPECT_TRUE(m_writers.empty());

    m_settings.WriteSettingString("FindPlay", "DefaultRecordFolder", m_dir);
    m_failOpen = true;
    record();
    ASSERT_EQ(m_prompter.shown().size(), 1u);
    EXPECT_EQ(m_prompter.shown()[0].text,
              "Sonaro cannot open the file \"" + m_dir +
                  "/Untitled 001.wav\" for recording.\r\n\r\nPlease check you have selected the "
                  "correct output folder in settings.");
    EXPECT_EQ(m_session->currentPath(), "");
    EXPECT_TRUE(m_session->IsIdle());

    m_failOpen = false;
    m_settings.WriteSettingString("Settings", "FileNameFormat", "Talk");
    std::ofstream(m_dir + "/Talk.wav") << "keep";
    record();
    ASSERT_EQ(m_prompter.shown().size(), 2u);
    EXPECT_EQ(m_prompter.shown()[1].title, "File Exists");
    EXPECT_TRUE(m_writers.empty()) << "the default answer keeps the existing file";
    m_prompter.answer(PromptAnswer::Yes);
    record();
    EXPECT_EQ(m_writers.size(), 1u);
    m_session->Done();
}

TEST_F(RecordingSessionTest, TimersAreOneShotAndRearmedExplicitly) {
    m_settings.WriteSettingBool("Settings", "IntervalTone", true);
    m_settings.WriteSettingInt("Settings", "IntervalSecs", 2);
    build(100);
    EXPECT_EQ(m_watch.timers, (std::map<int, int>{{6, 500}, {7, 500}}));
    m_session->OnTimer(SessionTimer::FirstRun);
    EXPECT_TRUE(m_watch.saw("first run"));
    EXPECT_TRUE(m_settings.ReadSettingBool("Settings", "InstallWizRun", false));
    EXPECT_EQ(m_watch.timers.count(7), 0u);
    m_session->OnTimer(SessionTimer::FreeSpace);
    EXPECT_EQ(m_watch.timers.at(6), 3000);

    record();
    EXPECT_EQ(m_watch.timers.at(5), 2000);
    playInto(100);
    m_watch.events.clear();
    m_session->OnTimer(SessionTimer::IntervalTone);
    EXPECT_EQ(m_watch.events, (std::vector<std::string>{"tone WAV_RECORD_TONE"}));
    EXPECT_EQ(m_watch.timers.at(5), 2000);
    m_session->Done();
    EXPECT_EQ(m_watch.timers.count(5), 0u);
    EXPECT_EQ(m_watch.sent.size(), 1u);

    // A stored interval of zero or less plays no tone.
    for (const char* stored : {"0", "-4"}) {
        m_settings.WriteSettingString("Settings", "IntervalSecs", stored);
        record();
        EXPECT_EQ(m_watch.timers.count(5), 0u) << stored;
        m_watch.events.clear();
        m_session->OnTimer(SessionTimer::IntervalTone);
        EXPECT_EQ(m_watch.timers.count(5), 0u) << stored;
        EXPECT_FALSE(m_watch.saw("tone WAV_RECORD_TONE")) << stored;
        m_session->Done();
    }

    // Huge stored numbers neither overflow nor stop at once.
    m_settings.WriteSettingBool("Settings", "CheckMaxTime", true);
    m_settings.WriteSettingString("Settings", "MaxTimeHours", "99999999999999999999");
    m_settings.WriteSettingString("Settings", "MaxTimeMinutes", "9223372036854775807");
    m_settings.WriteSettingString("Settings", "MaxTime", "");
    m_settings.WriteSettingString("Settings", "IntervalSecs", "9223372036854775807");
    record();
    EXPECT_EQ(m_watch.timers.at(5), INT32_MAX);
    m_session->OnRecordedTime(3000000, 0);
    EXPECT_FALSE(m_session->IsIdle());
    m_session->Done();
}

TEST_F(RecordingSessionTest, ExitWhenStoppedEndsTheProgramAtPause) {
    build(100);
    bool exitWhenStopped = false;
    m_session->SetExitWhenStopped([&] { return exitWhenStopped; });
    record();
    m_session->Pause();
    EXPECT_FALSE(m_watch.saw("exit"));
    exitWhenStopped = true;
    record();
    m_session->Pause();
    EXPECT_TRUE(m_watch.saw("exit"));
}

TEST_F(RecordingSessionTest, ShutdownStopsWithoutToneOrCompletion) {
    build(100);
    record();
    m_watch.events.clear();
    m_session->Shutdown();
    EXPECT_TRUE(m_watch.events.empty());
    EXPECT_TRUE(m_watch.sent.empty());
    EXPECT_EQ(m_engine->state(), CaptureState::Idle);
}

TEST_F(RecordingSessionTest, AFileKeepsItsFormatUntilCompletedAndAFormatChangeTakesTheNextFile) {
    useRealFiles();
    build(300);
    record();
    playInto(300);
    m_formats.SetOutputFormat(OutputFormat::Aiff);
    m_session->Restart();
    playInto(300);
    m_session->Pause();
    record();
    playInto(300);
    m_session->Done();
    EXPECT_EQ(test::ReadTextFile(m_dir + "/Untitled 001.wav").substr(0, 4), "RIFF");

    record();
    playInto(300);
    m_session->Done();
    EXPECT_EQ(m_session->currentPath(), m_dir + "/Untitled 002.aif");
    EXPECT_EQ(test::ReadTextFile(m_session->currentPath()).substr(0, 4), "FORM");
}

TEST_F(RecordingSessionTest, ARecordingThatEndsWithoutFramesLeavesNoFile) {
    useRealFiles();
    build(0);
    m_settings.WriteSettingString("Settings", "LastRecordingFilePath", m_dir + "/earlier.wav");
    EXPECT_TRUE(record());
    m_session->Done();
    EXPECT_FALSE(std::filesystem::exists(m_dir + "/Untitled 001.wav"));
    EXPECT_TRUE(m_watch.sent.empty());
    EXPECT_EQ(logText().find("Recording complete"), std::string::npos);
    EXPECT_THAT(logText(), HasSubstr("Recording stopped for file: " + m_dir +
                                     "/Untitled 001.wav (nothing was recorded)"));
    EXPECT_EQ(m_settings.ReadSettingString("Settings", "LastRecordingFilePath", ""),
              m_dir + "/earlier.wav");
    EXPECT_TRUE(m_session->IsIdle());

    record();
    m_session->Restart();
    m_session->Pause();
    m_session->Done();
    EXPECT_FALSE(std::filesystem::exists(m_dir + "/Untitled 001.wav")) << "after a restart";
    EXPECT_TRUE(m_prompter.shown().empty()) << "an empty recording is not an error";
}

// A name too long for the system is refused, not cut; a format that cannot be recorded is named,
// not blamed on the folder; a device that cannot open leaves no file.
TEST_F(RecordingSessionTest, NamesFormatsAndDevicesThatCannotRecordAreRefused) {
    useRealFiles();
    build(100, test::ScriptEnd::Stall, true);
    m_settings.WriteSettingString("Settings", "FileNameFormat", std::string(300, 'n'));
    EXPECT_FALSE(record());
    EXPECT_TRUE(m_writers.empty());
    ASSERT_EQ(m_prompter.shown().size(), 1u);
    EXPECT_THAT(m_prompter.shown()[0].text, HasSubstr("bytes long"));
    EXPECT_TRUE(m_session->IsIdle());

    m_settings.DeleteSetting("Settings", "FileNameFormat");
    m_formats.SetOutputFormat(OutputFormat::Aiff);
    m_settings.WriteSettingString("AIFFEncode", "SampleRate", "1000000000000");
    EXPECT_FALSE(record());
    ASSERT_EQ(m_prompter.shown().size(), 2u);
    const std::string& text = m_prompter.shown()[1].text;
    EXPECT_THAT(text, testing::HasSubstr("sample rate of 2147483647 Hz"));
    EXPECT_EQ(text.find("output folder"), std::string::npos) << text;
    EXPECT_FALSE(std::filesystem::exists(m_dir + "/Untitled 001.aif"));
    EXPECT_THAT(logText(), HasSubstr("Recording failed for file: " + m_dir +
                                     "/Untitled 001.aif (The "
                                     "sample rate of 2147483647 Hz"));
    EXPECT_TRUE(m_session->IsIdle());

    m_formats.SetOutputFormat(OutputFormat::Wav);
    EXPECT_FALSE(record());
    EXPECT_FALSE(std::filesystem::exists(m_dir + "/Untitled 002.wav"));
    EXPECT_TRUE(m_session->IsIdle());
    EXPECT_EQ(m_session->currentPath(), "");
    ASSERT_EQ(m_prompter.shown().size(), 3u);
    EXPECT_THAT(m_prompter.shown()[2].text, HasSubstr("cannot open the sound device"));
    EXPECT_THAT(logText(), HasSubstr("Recording failed for file: " + m_dir + "/Untitled 002.wav"));
}

TEST_F(RecordingSessionTest, RecordToFileReplacesOnlyRecordings) {
    useRealFiles();
    build(100);
    const std::string notes = m_dir + "/notes.txt";
    std::ofstream(notes) << "keep me";
    std::filesystem::create_directory(m_dir + "/folder.wav");
    EXPECT_FALSE(recordTo(notes));
    EXPECT_FALSE(recordTo(m_dir + "/folder.wav"));
    EXPECT_TRUE(m_writers.empty());
    EXPECT_EQ(test::ReadTextFile(notes), "keep me");
    ASSERT_EQ(m_prompter.shown().size(), 2u);
    EXPECT_THAT(m_prompter.shown()[0].text, HasSubstr("is not a recording"));
    EXPECT_THAT(m_prompter.shown()[1].text, HasSubstr("is not a regular file"));

    std::ofstream(m_dir + "/old.wav") << "an older take";
    EXPECT_TRUE(recordTo(m_dir + "/old.wav"));
    EXPECT_TRUE(recordTo(m_dir + "/new.txt")) << "a new file may have any name";
    playInto(100);
    m_session->Done();
    EXPECT_EQ(test::ReadTextFile(m_dir + "/new.txt").substr(0, 4), "RIFF");
}

}  // namespace
}  // namespace sonaro
