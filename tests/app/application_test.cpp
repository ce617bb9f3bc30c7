#include "app/application.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "app/forward_block.h"
#include "app/process_options.h"
#include "support/activity_record.h"
#include "support/settings_home.h"

namespace sonaro {
namespace {

// Records what the command line asked of the window and of the recording session, in order.
class Journal : public CommandHost, public RecordingCommands {
  public:
    std::vector<std::string> calls;

    void HideWindow() override { calls.push_back("hide"); }
    void ShowWindow() override { calls.push_back("show"); }
    void RestoreAndActivate() override { calls.push_back("restore"); }
    void Exit() override { calls.push_back("exit"); }
    void ArmStopTimer(int ms) override { calls.push_back("timer " + std::to_string(ms)); }
    bool Record(int maxMs) override {
        calls.push_back("record " + std::to_string(maxMs));
        char context[128];
        FormatActivityContext(context, sizeof context);
        recordContext = context;
        return recordingStarts;
    }
    std::string recordContext;
    bool RecordToFile(const std::string& path, int maxMs) override {
        calls.push_back("recordfile " + path + " " + std::to_string(maxMs));
        return recordingStarts;
    }
    bool recordingStarts = true;
    void Pause() override { calls.push_back("pause"); }
    void Restart() override { calls.push_back("restart"); }
    void Done() override { calls.push_back("done"); }
};

class ApplicationTest : public test::SettingsTest {
  protected:
    ApplicationTest()
        : m_formats(m_settings, m_dir + "/data"),
          m_application(m_settings, m_formats, m_journal, m_errors.file) {
        m_application.AttachHost(&m_journal);
    }

    std::vector<std::string> run(std::vector<std::string> options) {
        options.insert(options.begin(), "/usr/bin/sonaro");
        m_application.ProcessCommandLine(options);
        return m_journal.calls;
    }

    FormatSettings m_formats;
    Journal m_journal;
    test::CapturedFile m_errors;
    Application m_application;
};

using Calls = std::vector<std::string>;

TEST_F(ApplicationTest, AppliesOptionsInOrderIgnoringCaseAndUnknownWords) {
    EXPECT_EQ(run({"-HIDE", "hello", "-Show", "-pause", "-RESTART", "-done", "-resume", "-exit"}),
              (Calls{"hide", "show", "pause", "restart", "done", "record 216000000", "exit"}));
}

TEST_F(ApplicationTest, OutdirWritesTheRecordingsFolderAndNeedsAValue) {
    const auto folder = [&] {
        return m_settings.ReadSettingString("FindPlay", "DefaultRecordFolder", "");
    };
    run({"-OutDir", "/srv/recordings"});
    EXPECT_EQ(folder(), "/srv/recordings");
    run({"-outdir"});
    EXPECT_EQ(folder(), "/srv/recordings");
    run({"-outdir", "/srv/" + std::string(5000, 'd')});
    EXPECT_EQ(folder(), "/srv/recordings") << "a folder no file can be made in is not stored";
    EXPECT_THAT(m_errors.text(), testing::HasSubstr("the output folder was not changed"));
    const std::string longFolder = "/srv/" + std::string(200, 'a') + "/" + std::string(200, 'b');
    run({"-outdir", longFolder});
    EXPECT_EQ(folder(), longFolder) << "longer than 259 characters, read back whole";
}

// Format words after -record, or the extension after -recordfile, choose the format; only
// complete format options are stored, and any other word is left for the next option.
TEST_F(ApplicationTest, RecordOptionsChooseTheFormatAndStoreCompleteFormatOptions) {
    const struct {
        OutputFormat before;
        std::vector<std::string> args;
        Calls calls;
        const char* label;
    } cases[] = {
        {OutputFormat::Wav, {"-record", "-hide"}, {"record 216000000", "hide"}, "44100Hz Mono Wav"},
        {OutputFormat::Wav,
         {"-record", "MP3", "-cbr", "-b", "128", "-m", "j", "-hide"},
         {"record 216000000", "hide"},
         "128KBps Joint Mp3"},
        {OutputFormat::Mp3,
         {"-record", "wav", "-s", "22050", "-m", "1"},
         {"record 216000000"},
         "44100Hz Mono Wav"},
        {OutputFormat::Wav,
         {"-recordfile", "/rec/take.AIF", "-s", "8000", "-m", "1", "-hide"},
         {"recordfile /rec/take.AIF 216000000", "hide"},
         "Mono 8000 AIFF"},
        {OutputFormat::Mp3,
         {"-recordfile", "/rec/take.ogg", "-ms", "3000"},
         {"recordfile /rec/take.ogg 216000000", "timer 3000"},
         "128KBps Joint Mp3"},
        {OutputFormat::Mp3, {"-recordfile"}, {}, "128KBps Joint Mp3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        m_formats.SetOutputFormat(c.before);
        m_journal.calls.clear();
        EXPECT_EQ(run(c.args), c.calls);
        EXPECT_EQ(m_formats.FormatLabel(), c.label);
    }
    EXPECT_FALSE(std::filesystem::exists(m_formats.wavFormatPath()));
}

TEST_F(ApplicationTest, TimerValuesReadAsDecimalNumbers) {
    EXPECT_EQ(run({"-ms", "5000ms", "-ms", "soon", "-ms", "-40", "-ms"}),
              (Calls{"timer 5000", "timer 0", "timer 0"}));
    m_application.OnStopTimer();
    EXPECT_EQ(m_journal.calls.back(), "exit");
    EXPECT_EQ(m_journal.calls[m_journal.calls.size() - 2], "done");
}

TEST_F(ApplicationTest, ExitIfStopSetsTheFlagOnly) {
    EXPECT_FALSE(m_application.exitWhenStopped());
    EXPECT_TRUE(run({"-exitifstop"}).empty());
    EXPECT_TRUE(m_application.exitWhenStopped());
    m_application.clearExitWhenStopped();
    EXPECT_FALSE(m_application.exitWhenStopped());
}

TEST_F(ApplicationTest, PlainForwardedStartBringsTheWindowToTheFront) {
    EXPECT_EQ(m_application.HandleForwardedBlock(BuildForwardBlock({"/usr/bin/sonaro"})),
              ForwardAnswer::Applied);
    EXPECT_EQ(m_journal.calls, (Calls{"restore"}));
    EXPECT_EQ(m_application.HandleForwardedBlock(BuildForwardBlock({"sonaro", "-hide"})),
              ForwardAnswer::Applied);
    EXPECT_EQ(m_journal.calls, (Calls{"restore", "hide"}));
    const std::vector<char> wrong(100, '\0');
    EXPECT_EQ(m_application.HandleForwardedBlock(wrong), ForwardAnswer::Refused);
    EXPECT_EQ(m_journal.calls.size(), 2u);

    m_journal.recordingStarts = false;
    EXPECT_EQ(m_application.HandleForwardedBlock(BuildForwardBlock({"s", "-record", "-done"})),
              ForwardAnswer::RecordingFailed);
    m_journal.recordingStarts = true;
    EXPECT_EQ(m_application.HandleForwardedBlock(BuildForwardBlock({"s", "-done"})),
              ForwardAnswer::Applied)
        << "an earlier failure is not this command line's";
}

TEST_F(ApplicationTest, CrashReportsNameTheForwardedCommandLineWhileItRuns) {
    MarkActivityMainThread();
    SetActivityPhase(ActivityPhase::Running);
    m_application.HandleForwardedBlock(BuildForwardBlock({"s", "-record"}));
    EXPECT_TRUE(m_journal.recordContext.starts_with("MainUkn0(Msg74Lst"))
        << m_journal.recordContext;
    char context[128];
    FormatActivityContext(context, sizeof context);
    EXPECT_TRUE(std::string(context).starts_with("MainUkn0(Msg0Lst")) << context;
}

TEST_F(ApplicationTest, WindowOptionsWaitForAWindow) {
    m_application.AttachHost(nullptr);
    EXPECT_TRUE(run({"-hide", "-exit", "-ms", "10", "-done"}) == (Calls{"done"}));
}

// A rate no device opens would make every later recording fail too once stored: it is refused
// before anything is saved, and the start reports the failure in its exit status.
TEST_F(ApplicationTest, AnImpossibleSampleRateIsRefusedUnsavedAndFailsTheStart) {
    EXPECT_TRUE(run({"-record", "wav", "-s", "2147483647", "-m", "2", "-b", "16", "-hide"}) ==
                (Calls{"hide"}));
    EXPECT_FALSE(std::filesystem::exists(m_formats.wavFormatPath()));
    EXPECT_THAT(m_errors.text(), testing::HasSubstr("sample rate must be 1000 to 384000 Hz"));
    EXPECT_EQ(m_application.exitCode(), 1);

    run({"-recordfile", "/rec/take.aif", "-s", "1000000007", "-m", "2"});
    EXPECT_EQ(m_formats.LoadAiffSettings().sampleRate, 44100);
    EXPECT_EQ(m_formats.GetOutputFormat(), OutputFormat::Wav);

    run({"-record", "wav", "-s", "0", "-m", "2", "-b", "16"});
    EXPECT_EQ(m_journal.calls.back(), "record 216000000") << "0 is the default rate";
    EXPECT_EQ(m_application.exitCode(), 0);
    m_journal.recordingStarts = false;
    run({"-recordfile", "/rec/take.wav"});
    EXPECT_EQ(m_application.exitCode(), 1) << "a recording that did not start";
}

TEST(ApplicationStart, OnlyAnExactLogonFirstArgumentStartsHidden) {
    EXPECT_TRUE(Application::StartsHidden({"sonaro", "-logon", "-record"}));
    EXPECT_FALSE(Application::StartsHidden({"sonaro", "-LOGON"}));
    EXPECT_FALSE(Application::StartsHidden({"sonaro", "-hide", "-logon"}));
    EXPECT_FALSE(Application::StartsHidden({"sonaro"}));
}

ProcessOptionKind kindOf(std::vector<std::string> args) {
    args.insert(args.begin(), "sonaro");
    return ParseProcessOption(args).kind;
}

TEST(ProcessOptions, AreCaseSensitiveAndNeedTheirArguments) {
    EXPECT_EQ(kindOf({"-exe", "DSSDecode"}), ProcessOptionKind::RunTool);
    EXPECT_EQ(kindOf({"-EXE", "DSSDecode"}), ProcessOptionKind::None);
    EXPECT_EQ(kindOf({"-exe"}), ProcessOptionKind::None);
    EXPECT_EQ(kindOf({"-setautorun"}), ProcessOptionKind::None);
    EXPECT_EQ(kindOf({"-extfind"}), ProcessOptionKind::Installer);
    EXPECT_EQ(kindOf({"-addfiletyperunspecial", "a"}), ProcessOptionKind::None);
    EXPECT_EQ(kindOf({"-remfiletyperunspecial", "a", "b"}), ProcessOptionKind::Installer);
    EXPECT_EQ(kindOf({"-addremfiletyperunspecial", "a", "b", "c", "d"}),
              ProcessOptionKind::Installer);
    EXPECT_EQ(kindOf({"-addfiletyperunspecial", "a", "b", "c", "d", "e"}), ProcessOptionKind::None);
    EXPECT_EQ(kindOf({"-record", "-exe", "x"}), ProcessOptionKind::None);
    EXPECT_EQ(kindOf({}), ProcessOptionKind::None);
}

TEST(ProcessOptions, AutorunCodeIsReadFromItsSecondCharacter) {
    EXPECT_EQ(ParseProcessOption({"s", "-setautorun", "X1"}).autorun, AutorunChange::Enable);
    EXPECT_EQ(ParseProcessOption({"s", "-setautorun", "X0"}).autorun, AutorunChange::Disable);
    EXPECT_EQ(ParseProcessOption({"s", "-setautorun", "1"}).autorun, AutorunChange::None);
    EXPECT_EQ(ParseProcessOption({"s", "-setautorun", ""}).autorun, AutorunChange::None);
    EXPECT_EQ(ParseProcessOption({"s", "-setautorun", "Y2"}).autorun, AutorunChange::None);
}

}  // namespace
}  // namespace sonaro
