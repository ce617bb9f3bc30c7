#include "support/component_manager.h"

#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "platform/curl_downloader.h"
#include "support/function_job.h"
#include "support/local_http_server.h"
#include "support/manual_dispatcher.h"
#include "support/page_opener.h"
#include "support/program_launcher.h"
#include "support/recording_page_opener.h"
#include "support/scripted_prompter.h"
#include "support/server_addresses.h"
#include "support/settings_home.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

void writeScript(const std::string& path, const std::string& body) {
    std::ofstream(path) << "#!/bin/sh\n" << body;
    chmod(path.c_str(), 0700);
}

bool isEmptyFolder(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_empty(path, error) && !error;
}

class ComponentTest : public test::SettingsTest {
  protected:
    ComponentTest()
        : m_www(m_dir + "/www"),
          m_temp(m_dir + "/tmp"),
          m_bin(m_dir + "/bin"),
          m_server((mkdir(m_www.c_str(), 0700), m_www)),
          m_prompter(&m_dispatcher),
          m_components(m_settings, m_downloader, m_prompter, m_pages, m_dispatcher, m_temp),
          m_launcher(m_settings, m_components, m_prompter, m_pages, m_dispatcher) {
        mkdir(m_temp.c_str(), 0700);
        mkdir(m_bin.c_str(), 0700);
        mkdir((m_www + "/components").c_str(), 0700);
    }

    void SetUp() override { ASSERT_TRUE(m_server.started()); }

    void registerComponent(const std::string& name, const std::string& program,
                           RegistryRoot root = RegistryRoot::CurrentUser) {
        m_settings.WriteRegistryText(root, "Software\\Kestrix Software\\Components\\" + name,
                                     "Path", program);
    }
    // An installer that records its LQUIET value and creates `program`.
    void serveInstaller(const std::string& setupName, const std::string& program,
                        const std::string& programBody) {
        writeScript(m_www + "/components/" + setupName + ".run",
                    "printf '%s' \"$LQUIET\" > '" + m_dir + "/lquiet'\n" + "printf '#!/bin/sh\\n" +
                        programBody + "\\n' > '" + program + "'\n" + "chmod 700 '" + program +
                        "'\n");
    }
    // "testdec" registered at a program that is not there yet, and an installer that creates it.
    void serveTestdec() {
        registerComponent("testdec", m_bin + "/testdec");
        serveInstaller("testdec", m_bin + "/testdec", "exit 0");
    }
    void setComponentServer(const std::string& address) {
        m_settings.Write(setting::kComponentServerUrl, address);
    }

    std::string m_www;
    std::string m_temp;
    std::string m_bin;
    test::LocalHttpServer m_server;
    test::ManualDispatcher m_dispatcher;
    test::ScriptedPrompter m_prompter;
    test::RecordingPageOpener m_pages;
    CurlDownloader m_downloader;
    ComponentManager m_components;
    ProgramLauncher m_launcher;
};

TEST_F(ComponentTest, RegistrationCountsOnlyWhenItsFileExists) {
    const std::string program = m_bin + "/testdec";
    registerComponent("testdec", program);
    EXPECT_FALSE(m_components.IsComponentInstalled("testdec"));

    const std::string machineCopy = m_dir + "/machine-testdec";
    writeScript(machineCopy, "exit 0\n");
    registerComponent("testdec", machineCopy, RegistryRoot::LocalMachine);
    std::string found;
    EXPECT_TRUE(m_components.IsComponentInstalled("testdec", &found));
    EXPECT_EQ(found, machineCopy);

    writeScript(program, "exit 0\n");
    EXPECT_TRUE(m_components.IsComponentInstalled("testdec", &found));
    EXPECT_EQ(found, program);
}

// The outside decoder of the audio file opener: a registered "ffmpeg" component first, else the
// program on PATH.
TEST_F(ComponentTest, TheDecoderComponentFallsBackToFfmpegOnPath) {
    writeScript(m_bin + "/ffmpeg", "exit 0\n");
    const test::ScopedEnv path("PATH", m_bin);
    EXPECT_EQ(FindComponent(m_settings, "ffmpeg"), m_bin + "/ffmpeg");

    const std::string registered = m_dir + "/own-ffmpeg";
    writeScript(registered, "exit 0\n");
    registerComponent("ffmpeg", registered);
    EXPECT_EQ(FindComponent(m_settings, "ffmpeg"), registered);

    const test::ScopedEnv empty("PATH", m_temp);
    registerComponent("ffmpeg", m_dir + "/gone");
    EXPECT_EQ(FindComponent(m_settings, "ffmpeg"), "");
}

TEST_F(ComponentTest, MissingComponentIsFetchedAndInstalledQuietly) {
    serveTestdec();
    setComponentServer(m_server.baseUrl());

    EXPECT_TRUE(m_components.EnsureComponent("testdec"));
    EXPECT_EQ(test::ReadTextFile(m_dir + "/lquiet"), "1");
    EXPECT_EQ(std::getenv("LQUIET"), nullptr);
    EXPECT_TRUE(isEmptyFolder(m_temp));
    EXPECT_EQ(m_prompter.progressTitles(), (std::vector<std::string>{"Install-on-Demand"}));
    // The reporter keeps only the latest status of a kind, so a busy machine may skip the first.
    const std::vector<std::string> stages = {"Download install-on-demand", "testdec",
                                             "Running install-on-demand"};
    const std::vector<std::string>& seen = m_prompter.jobStatuses();
    std::vector<std::string> inOrder;
    std::copy_if(
        stages.begin(), stages.end(), std::back_inserter(inOrder),
        [&](const std::string& stage) { return std::count(seen.begin(), seen.end(), stage); });
    EXPECT_EQ(seen, inOrder) << "statuses out of order, repeated or unknown";
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), stages.back());
    EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(ComponentTest, FailureShowsTheAddressAndOpensIt) {
    setComponentServer(m_server.baseUrl());
    EXPECT_FALSE(m_components.EnsureComponent("testdec"));
    const std::string address = m_server.baseUrl() + "components/testdec.run";
    ASSERT_EQ(m_prompter.shown().size(), 1u);
    EXPECT_EQ(m_prompter.shown()[0].text,
              "An install-on-demand component could not be installed automatically. Please run "
              "it from the URL below then try again.\r\n   " +
                  address);
    EXPECT_EQ(m_prompter.shown()[0].icon, PromptIcon::Error);
    EXPECT_EQ(m_pages.opened, (std::vector<std::string>{address}));
    EXPECT_TRUE(isEmptyFolder(m_temp));

    // Inside a job the text goes to the job instead of a box.
    FunctionJob job(m_dispatcher, [this](LProgressReporter& self) {
        m_components.EnsureComponent("testdec", self);
    });
    m_prompter.RunWithProgress("Decoding", job);
    EXPECT_EQ(m_prompter.shown().size(), 1u);
    EXPECT_EQ(m_prompter.jobMessages().back(), m_prompter.shown()[0].text);

    // Without a component server the installer was looked for on the web server: the message
    // names that address; without either it says to install the component by hand.
    setComponentServer("");
    m_settings.Write(setting::kWebServerUrl, m_server.baseUrl() + "web/");
    EXPECT_FALSE(m_components.EnsureComponent("testdec"));
    const std::string webAddress = m_server.baseUrl() + "web/components/testdec.run";
    ASSERT_EQ(m_prompter.shown().size(), 2u);
    EXPECT_TRUE(m_prompter.shown()[1].text.ends_with("\r\n   " + webAddress));
    EXPECT_EQ(m_pages.opened.back(), webAddress);

    m_settings.Write(setting::kWebServerUrl, "");
    const std::size_t opened = m_pages.opened.size();
    EXPECT_FALSE(m_components.EnsureComponent("testdec"));
    ASSERT_EQ(m_prompter.shown().size(), 3u);
    EXPECT_EQ(m_prompter.shown()[2].text.find("<"), std::string::npos);
    EXPECT_THAT(m_prompter.shown()[2].text, testing::HasSubstr("install testdec yourself"));
    EXPECT_EQ(m_pages.opened.size(), opened);
}

TEST_F(ComponentTest, OnlyAPrivateTemporaryFolderReceivesAnInstallerFromEitherServer) {
    serveTestdec();
    setComponentServer(m_server.baseUrl());
    ComponentManager homeless(m_settings, m_downloader, m_prompter, m_pages, m_dispatcher, "");
    EXPECT_FALSE(homeless.EnsureComponent("testdec"));
    ASSERT_FALSE(m_prompter.jobMessages().empty());
    EXPECT_EQ(m_prompter.jobMessages()[0],
              "There is no private temporary folder to download the installer to.");
    EXPECT_NE(access("/testdec.run", F_OK), 0) << "nothing lands in the root folder";
    EXPECT_NE(access((m_dir + "/lquiet").c_str(), F_OK), 0) << "no installer ran";

    // With the folder, a component server without the installer falls back to the web server.
    setComponentServer(m_server.baseUrl() + "nothing-here");
    m_settings.Write(setting::kWebServerUrl, m_server.baseUrl());
    EXPECT_TRUE(m_components.EnsureComponent("testdec"));
}

TEST_F(ComponentTest, PlainHttpToAnotherHostIsRefused) {
    setComponentServer("http://downloads.example.test/");
    EXPECT_FALSE(m_components.EnsureComponent("testdec"));
    ASSERT_EQ(m_prompter.jobMessages().size(), 1u);
    EXPECT_EQ(m_prompter.jobMessages()[0],
              "The installer address http://downloads.example.test/components/testdec.run does "
              "not use HTTPS, so the installer was not downloaded.");

    EXPECT_TRUE(IsSafeProgramAddress("https://example.test/a.run"));
    EXPECT_TRUE(IsSafeProgramAddress("HTTP://127.0.0.1:8080/a.run"));
    EXPECT_TRUE(IsSafeProgramAddress("http://localhost/a.run"));
    EXPECT_TRUE(IsSafeProgramAddress("http://[::1]:99/a.run"));
    EXPECT_FALSE(IsSafeProgramAddress("http://127.0.0.1.example.test/a.run"));
    EXPECT_FALSE(IsSafeProgramAddress("http://127.0.0.1@example.test/a.run"));
    EXPECT_FALSE(IsSafeProgramAddress("ftp://127.0.0.1/a.run"));
    EXPECT_FALSE(IsSafeProgramAddress("example.test/a.run"));
}

TEST(CommandTemplates, FillAndSplitWithoutAShell) {
    EXPECT_EQ(FillCommandTemplate("\"/opt/ed\" -o %s %%s 100%%", "\"a b.wav\""),
              "\"/opt/ed\" -o \"a b.wav\" %s 100%");
    EXPECT_EQ(SplitCommandLine("\"/opt/my ed\"  -o \"a b.wav\" x\"y z\" \"\""),
              (std::vector<std::string>{"/opt/my ed", "-o", "a b.wav", "xy z", ""}));
    EXPECT_EQ(SplitCommandLine("rm -rf $HOME; echo `id`"),
              (std::vector<std::string>{"rm", "-rf", "$HOME;", "echo", "`id`"}));
}

// Opening a file in the sound editor known by `key`, installed by `setupName`, waiting for it.
LaunchRequest editorRequest(const char* key, const char* setupName) {
    LaunchRequest request;
    request.progressTitle = "Sound Editor";
    request.key = key;
    request.action = "OpenFile";
    request.setupName = setupName;
    request.shownName = "Sound Editor";
    request.wait = true;
    return request;
}

TEST_F(ComponentTest, LaunchWithTemplateWaitsForTheProgram) {
    const std::string editor = m_bin + "/editor";
    writeScript(editor, "printf '%s\\n' \"$@\" > '" + m_dir + "/args'\n");
    m_settings.WriteRegistryText(RegistryRoot::LocalMachine,
                                 "Software\\Kestrix Audio\\SoundEditor\\Settings", "OpenFile",
                                 "\"" + editor + "\" -open %s");
    LaunchRequest request = editorRequest("SoundEditor", "soundeditor");
    request.argumentText = "\"/rec/a b.wav\"";
    EXPECT_EQ(m_launcher.LaunchProgram(request), InstallResult::Done);
    EXPECT_EQ(test::ReadTextFile(m_dir + "/args"), "-open\n/rec/a b.wav\n");
    EXPECT_EQ(m_prompter.progressTitles(), (std::vector<std::string>{"Waiting for Sound Editor"}));
    EXPECT_EQ(m_prompter.jobStatuses(),
              (std::vector<std::string>{
                  "Sonaro Sound Recorder will continue when Sound Editor closes."}));
}

TEST_F(ComponentTest, MissingProgramIsInstalledThenStarted) {
    const LaunchRequest request = editorRequest("SonaroTestEditor", "testeditor");
    // Nothing to find, no server: the launch fails without a page.
    EXPECT_EQ(m_launcher.LaunchProgram(request), InstallResult::Failed);
    EXPECT_TRUE(m_pages.opened.empty());

    // The installer puts the program on PATH.
    const test::ScopedEnv path("PATH", m_bin + ":" + test::GetEnv("PATH"));
    serveInstaller("testeditor", m_bin + "/SonaroTestEditor", "touch \"" + m_dir + "/started\"");
    setComponentServer(m_server.baseUrl());
    EXPECT_EQ(m_launcher.LaunchProgram(request), InstallResult::Done);
    EXPECT_EQ(access((m_dir + "/started").c_str(), F_OK), 0);
}

}  // namespace
}  // namespace sonaro
