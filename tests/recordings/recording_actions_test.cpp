#include "recordings/recording_actions.h"

#include <filesystem>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string_view>

#include "platform/curl_downloader.h"
#include "platform/freedesktop_trash.h"
#include "recordings/backup_job.h"
#include "recordings/file_copy.h"
#include "settings/setting_names.h"
#include "support/audio_files.h"
#include "support/component_manager.h"
#include "support/manual_dispatcher.h"
#include "support/program_launcher.h"
#include "support/recording_maker.h"
#include "support/recording_page_opener.h"
#include "support/scripted_prompter.h"
#include "support/settings_home.h"
#include "support/temp_home.h"
#include "threads/child_process.h"

namespace sonaro {
namespace {

namespace fs = std::filesystem;

void writeScript(const std::string& path, const std::string& body) {
    std::ofstream(path) << "#!/bin/sh\n" << body;
    chmod(path.c_str(), 0700);
}

std::vector<std::string> folderNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A job whose worker is the test's own thread; it asks to stop after `stopAfter` progress reports.
class InlineJob final : public LProgressReporter {
  public:
    explicit InlineJob(UiDispatcher& dispatcher, int stopAfter = -1)
        : LProgressReporter(dispatcher), m_stopAfter(stopAfter) {}
    bool IsStopRequested() const override { return m_stopAfter >= 0 && m_reports >= m_stopAfter; }
    void ReportProgress(double) override { ++m_reports; }

  protected:
    void Run() override {}

  private:
    int m_stopAfter;
    int m_reports = 0;
};

class ActionsTest : public test::SettingsTest {
  protected:
    ActionsTest()
        : m_rec(m_dir + "/rec"),
          m_out(m_dir + "/out"),
          m_bin(m_dir + "/bin"),
          m_temp(m_dir + "/tmp"),
          m_prompter(&m_dispatcher),
          m_trash(m_dir + "/share"),
          m_components(m_settings, m_downloader, m_prompter, m_pages, m_dispatcher, m_temp),
          m_launcher(m_settings, m_components, m_prompter, m_pages, m_dispatcher),
          m_actions(RecordingActionParts{m_settings,
                                         m_prompter,
                                         m_dispatcher,
                                         m_trash,
                                         m_launcher,
                                         {},
                                         {},
                                         m_dir + "/data",
                                         m_temp}) {
        for (const std::string& folder : {m_rec, m_out, m_bin, m_temp}) {
            fs::create_directories(folder);
        }
    }

    std::string m_rec;
    std::string m_out;
    std::string m_bin;
    std::string m_temp;
    test::ManualDispatcher m_dispatcher;
    test::ScriptedPrompter m_prompter;
    test::RecordingPageOpener m_pages;
    FreedesktopTrash m_trash;
    CurlDownloader m_downloader;
    ComponentManager m_components;
    ProgramLauncher m_launcher;
    RecordingActions m_actions;
};

TEST_F(ActionsTest, SavingIntoAFolderThatHoldsOneNameReportsItAndCopiesTheOther) {
    test::WriteTextFile(m_rec + "/a.wav", "new a");
    test::WriteTextFile(m_rec + "/b.wav", "b");
    test::WriteTextFile(m_out + "/a.wav", "old a");
    m_actions.SaveInto({m_rec + "/a.wav", m_rec + "/b.wav"}, m_out);

    ASSERT_EQ(m_prompter.shown().size(), 1u);
    EXPECT_EQ(m_prompter.shown()[0].text, "Could not save " + m_rec + "/a.wav to the new location");
    EXPECT_EQ(m_prompter.shown()[0].title, "The file could not be copied");
    EXPECT_EQ(test::ReadTextFile(m_out + "/a.wav"), "old a");
    EXPECT_EQ(test::ReadTextFile(m_out + "/b.wav"), "b");
    EXPECT_EQ(folderNames(m_out), (std::vector<std::string>{"a.wav", "b.wav"}));
    EXPECT_EQ(m_prompter.progressTitles(),
              (std::vector<std::string>{"Save Recording", "Save Recording"}));
    EXPECT_EQ(m_settings.Read(setting::kSaveFolder), m_out);
}

TEST_F(ActionsTest, ACancelledCopyLeavesNothingAtTheTarget) {
    const std::string source = m_rec + "/long.wav";
    std::ofstream(source) << std::string(5 << 20, 'x');
    for (const bool replace : {false, true}) {
        SCOPED_TRACE(replace);
        if (replace) {
            test::WriteTextFile(m_out + "/long.wav", "kept");
        }
        InlineJob job(m_dispatcher, 2);
        EXPECT_EQ(CopyFileWithProgress(source, m_out + "/long.wav", replace, JobShare(job)).result,
                  CopyResult::Cancelled);
        EXPECT_EQ(folderNames(m_out),
                  replace ? std::vector<std::string>{"long.wav"} : std::vector<std::string>{});
    }
    EXPECT_EQ(test::ReadTextFile(m_out + "/long.wav"), "kept");
}

TEST_F(ActionsTest, HandOffsRunArgumentVectorsAndAnswerForMissingPrograms) {
    const test::ScopedEnv path("PATH", m_bin);
    const std::string file = m_rec + "/it's a \"take\".wav";
    test::WriteTextFile(file, "x");

    // Nothing installed and no server: the hand-off fails and says what to install.
    m_actions.EditAudio(file);
    EXPECT_EQ(m_actions.lastHandOff().result, InstallResult::Failed);
    EXPECT_TRUE(m_actions.lastHandOff().missing);
    ASSERT_EQ(m_prompter.shown().size(), 1u);
    EXPECT_EQ(m_prompter.shown()[0].text, SiblingProgramOf(Sibling::Moldra).missingText);

    // A registered command naming a program that is not there.
    const char* moldraKey = "Software\\Kestrix Audio\\Moldra\\Settings";
    m_settings.WriteRegistryText(RegistryRoot::LocalMachine, moldraKey, "RunEdit",
                                 "\"" + m_bin + "/gone\" %s");
    m_actions.EditAudio(file);
    EXPECT_EQ(m_actions.lastHandOff().result, InstallResult::Failed);
    EXPECT_FALSE(m_actions.lastHandOff().missing);
    EXPECT_EQ(m_prompter.shown().size(), 2u);

    // One that exits at once: waited for and reaped.
    writeScript(m_bin + "/quick", "exit 3\n");
    m_settings.WriteRegistryText(RegistryRoot::LocalMachine, moldraKey, "RunEdit",
                                 "\"" + m_bin + "/quick\" %s");
    m_actions.EditAudio(file);
    EXPECT_EQ(m_actions.lastHandOff().result, InstallResult::Done);
    EXPECT_EQ(m_prompter.progressTitles().back(), "Waiting for Moldra");
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    // Burning without Discor: brasero from PATH gets the files, newest selection first, and
    // the index page; the list and the page are gone afterwards.
    writeScript(m_bin + "/brasero", "printf '%s\\n' \"$@\" > '" + m_dir + "/args'\n");
    const std::string other = m_rec + "/b c.mp3";
    test::WriteTextFile(other, "y");
    m_actions.Burn({file, other});
    EXPECT_EQ(m_actions.lastHandOff().result, InstallResult::Done);
    EXPECT_EQ(test::ReadTextFile(m_dir + "/args"),
              "--data\n" + other + "\n" + file + "\n" + m_temp + "/index.html\n");
    EXPECT_EQ(folderNames(m_temp), std::vector<std::string>{});
}

// ffmpeg or ffprobe with `args`, told when the input is raw GSM; what it printed, empty when it
// failed.
std::string ffmpegTool(const char* tool, bool rawGsm, const std::vector<std::string>& args) {
    std::vector<std::string> argv{tool, "-v", "error"};
    if (rawGsm) {
        argv.insert(argv.end(), {"-f", "gsm"});
    }
    argv.insert(argv.end(), args.begin(), args.end());
    bool ok = false;
    const std::vector<std::uint8_t> output = test::RunForOutput(argv, ok);
    return ok ? std::string(output.begin(), output.end()) : std::string();
}

// lame's fixed delay (576 + 529 frames) and the frame size of MPEG 2 and 2.5 layer III.
constexpr double kLameDelayFrames = 1105;
constexpr double kMp3FrameSamples = 576;

TEST_F(ActionsTest, BackupEntriesDecodeToTheLengthAndRateOfTheirFormat) {
    test::RecordingMaker maker;
    ASSERT_TRUE(maker.hasMp3Encoder());
    const std::vector<std::pair<std::string, double>> sources = {
        {m_rec + "/take 1\xC3\xA9.wav", 3.0}, {m_rec + "/tone.mp3", 2.5}, {m_rec + "/c.aiff", 4.0}};
    BackupPlan plan;
    for (const auto& [file, seconds] : sources) {
        ASSERT_TRUE(maker.Make(file, seconds));
        plan.files.push_back(file);
    }
    plan.copyFolder = m_dir + "/data/TempCopy";
    plan.mp3Encoder = FindProgramOnPath("lame");
    for (const BackupEntry entry :
         {BackupEntry::Gsm, BackupEntry::Mp3At8, BackupEntry::Mp3At16, BackupEntry::WavGsm}) {
        SCOPED_TRACE(kBackupEntryNames[static_cast<std::size_t>(entry)]);
        plan.entry = entry;
        plan.targetFolder = m_out + "/" + std::to_string(static_cast<int>(entry));
        fs::create_directories(plan.targetFolder);
        InlineJob job(m_dispatcher);
        const BackupOutcome outcome = RunBackup(plan, job);
        ASSERT_EQ(outcome.result, BackupResult::Done) << outcome.error;
        ASSERT_EQ(outcome.written.size(), sources.size());
        EXPECT_TRUE(fs::is_empty(plan.copyFolder));
        const bool rawGsm = entry == BackupEntry::Gsm;
        for (std::size_t i = 0; i < sources.size(); ++i) {
            const std::string& written = outcome.written[i];
            EXPECT_EQ(fs::path(written).stem(), fs::path(sources[i].first).stem());
            EXPECT_EQ(fs::path(written).extension(), BackupExtension(entry));
            const auto probe = [&](const char* field) {
                const std::string text = ffmpegTool(
                    "ffprobe", rawGsm,
                    {"-select_streams", "a:0", "-show_entries", std::string("stream=") + field,
                     "-of", "default=nw=1:nk=1", written});
                return text.substr(0, text.find('\n'));
            };
            const double rate = std::atof(probe("sample_rate").c_str());
            if (rawGsm || entry == BackupEntry::WavGsm) {
                EXPECT_EQ(rate, 8000);
            } else {
                EXPECT_EQ(probe("bit_rate"), entry == BackupEntry::Mp3At8 ? "8000" : "16000");
            }
            ASSERT_GT(rate, 0);
            const std::string pcm =
                ffmpegTool("ffmpeg", rawGsm, {"-i", written, "-ac", "1", "-f", "s16le", "pipe:1"});
            double seconds = static_cast<double>(pcm.size() / 2) / rate;
            double padding = 0;
            if (NeedsMp3Encoder(entry)) {
                // A frame at these rates is too small for lame's gapless tag, so decoders keep
                // the encoder's delay and up to one frame of padding.
                seconds -= kLameDelayFrames / rate;
                padding = kMp3FrameSamples / rate;
            }
            const double expected = sources[i].second;
            EXPECT_GE(seconds, expected * 0.99) << written;
            EXPECT_LE(seconds, expected * 1.01 + padding) << written;
        }
    }

    // The index page of the three: alternating rows, links percent-encoded byte by byte.
    const std::string page = m_out + "/index.html";
    ASSERT_TRUE(WriteIndexPage(page, plan.files, ""));
    const std::string html = test::ReadTextFile(page);
    std::vector<std::string> rows;
    constexpr std::string_view kRow = "<tr bgcolor=\"#";
    for (std::size_t at = html.find(kRow); at != std::string::npos; at = html.find(kRow, at + 1)) {
        if (html.compare(at + kRow.size() + 6, 24, "\"><td></td><td><a href=\"") == 0) {
            rows.push_back(html.substr(at + kRow.size(), 6));
        }
    }
    EXPECT_EQ(rows, (std::vector<std::string>{"ffffff", "eef2fe", "ffffff"}));
    EXPECT_NE(html.find("<a href=\"take%201%C3%A9.wav\">take 1\xC3\xA9</a>"), std::string::npos);
    EXPECT_NE(html.find("<a href=\"tone.mp3\">tone</a>"), std::string::npos);
    EXPECT_EQ(PercentEncodeFileName("a-b_c.d!e~f(g)+h"), "a-b_c.d!e~f%28g%29%2Bh");
}

}  // namespace
}  // namespace sonaro
