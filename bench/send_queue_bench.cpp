// Time from the end of a recording (EnqueueRecording) to its arrival (the server accepted it),
// for a 100 MB recording sent through the send queue by SMTP and by FTP to local servers
// (aiosmtpd, pyftpdlib), each side by side with curl sending the same file to the same server
// in the same run. bytes_per_second is the file's size divided by that wall time.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "bench_support.h"
#include "platform/sqlite_settings_backend.h"
#include "settings/setting_names.h"
#include "settings/settings_store.h"
#include "support/prompter.h"
#include "support/worker_prompter.h"
#include "threads/child_process.h"
#include "threads/event.h"
#include "threads/ui_dispatcher.h"
#include "transmit/background_sender.h"
#include "transmit/recording_transmitter.h"

namespace sonaro {
namespace {

constexpr std::size_t kRecordingBytes = 100u * 1000 * 1000;

// No window listens: reports are kept until the run ends and never run.
class KeepingDispatcher final : public UiDispatcher {
  public:
    void post(Task task) override {
        std::lock_guard lock(m_lock);
        m_tasks.push_back(std::move(task));
    }

  private:
    std::mutex m_lock;
    std::vector<Task> m_tasks;
};

// Prompting is off in these runs; a question would be a fault of the benchmark.
class NoPrompter final : public Prompter {
  public:
    PromptAnswer ShowMessage(const PromptMessage& message) override {
        return message.defaultAnswer;
    }
    void RunWithProgress(std::string_view, LProgressReporter&) override {}
};

class ArrivalHook final : public TransmitOutcomeHook {
  public:
    void OnTransmitOutcome(const std::string&, SendResult result) override {
        ok = result == SendResult::Ok;
        arrived.set();
    }
    Event arrived;
    std::atomic<bool> ok{false};
};

std::filesystem::path makeBenchFolder() {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("sonaro-queue-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    return dir;
}

// The servers, the recording and the settings shared by every benchmark of the run.
struct Environment {
    Environment() {
        std::filesystem::create_directories(dir / "mail");
        std::filesystem::create_directories(dir / "ftp");
        recording = (dir / "take.wav").string();
        bench::WriteRandomFile(recording, kRecordingBytes);
        smtpPort = bench::StartTestServer(smtp, {"smtp", (dir / "mail").string()});
        ftpPort = bench::StartTestServer(ftp, {"ftp", (dir / "ftp").string(), "bench", "pw"});
        settings.Write(setting::kPromptTransmit, false);
        settings.Write(setting::kUseMapi, false);
        settings.Write(setting::kUseSmtpHost, true);
        settings.Write(setting::kSendDirect, false);
        settings.Write(setting::kEmailDefaultsSet, true);
        settings.Write(setting::kMailSmtpHost, "127.0.0.1:" + std::to_string(smtpPort));
        settings.Write(setting::kEmailTo, "bench@example.com");
        settings.Write(setting::kReplyToEmail, "rec@example.com");
        settings.Write(setting::kFtpServer, "127.0.0.1:" + std::to_string(ftpPort));
        settings.Write(setting::kFtpUserName, "bench");
        settings.WriteSettingString("Ftp", "Password", "pw");
        // The loopback bench servers do not encrypt.
        settings.Write(setting::kFtpAllowPlainPassword, true);
        sender.SetOutcomeHook(&hook);
    }
    ~Environment() {
        sender.Stop();
        std::filesystem::remove_all(dir);
    }

    void clearReceived() { bench::ClearFolders({dir / "mail", dir / "ftp"}); }
    void only(const BoolSetting& method) {
        for (const BoolSetting* each : {&setting::kSendEmail, &setting::kSendFtp,
                                        &setting::kSendFolder, &setting::kSendRun}) {
            settings.Write(*each, each == &method);
        }
    }

    // First member: the settings database and the queue below are made in it.
    std::filesystem::path dir = makeBenchFolder();
    std::string recording;
    ChildProcess smtp;
    ChildProcess ftp;
    std::uint16_t smtpPort = 0;
    std::uint16_t ftpPort = 0;
    SqliteSettingsBackend backend{(dir / "user.db").string(), (dir / "machine.db").string()};
    SettingsStore settings{backend};
    KeepingDispatcher dispatcher;
    NoPrompter prompter;
    WorkerPrompter questions{prompter, dispatcher};
    RecordingTransmitter methods{
        RecordingTransmitterParts{settings, nullptr, {}, {}, {}, 3600000, {}}};
    BackgroundSender sender{
        {dispatcher, settings, methods, questions, nullptr, (dir / "bgsend.lst").string()}};
    ArrivalHook hook;
};

Environment& environment() {
    static Environment shared;
    return shared;
}

void sendThroughQueue(benchmark::State& state, const BoolSetting& method) {
    Environment& env = environment();
    env.only(method);
    for (auto _ : state) {
        env.hook.arrived.reset();
        env.sender.EnqueueRecording(env.recording);
        if (!env.hook.arrived.wait(600000) || !env.hook.ok) {
            state.SkipWithError("the recording did not arrive");
            break;
        }
        state.PauseTiming();
        env.clearReceived();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kRecordingBytes));
}

void sendWithCurl(benchmark::State& state, const std::vector<std::string>& arguments) {
    Environment& env = environment();
    for (auto _ : state) {
        if (!bench::RunCurl(arguments)) {
            state.SkipWithError("curl failed");
            break;
        }
        state.PauseTiming();
        env.clearReceived();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kRecordingBytes));
}

void BM_Queue100MB_Smtp_Sonaro(benchmark::State& state) {
    sendThroughQueue(state, setting::kSendEmail);
}

void BM_Queue100MB_Smtp_Curl(benchmark::State& state) {
    Environment& env = environment();
    sendWithCurl(state, {"--mail-from", "rec@example.com", "--mail-rcpt", "bench@example.com", "-H",
                         "Subject: bench", "-F", "=attached;type=text/plain", "-F",
                         "=@" + env.recording + ";type=audio/wav;encoder=base64",
                         "smtp://127.0.0.1:" + std::to_string(env.smtpPort)});
}

void BM_Queue100MB_Ftp_Sonaro(benchmark::State& state) {
    sendThroughQueue(state, setting::kSendFtp);
}

void BM_Queue100MB_Ftp_Curl(benchmark::State& state) {
    Environment& env = environment();
    sendWithCurl(state, {"--ftp-pasv", "-T", env.recording,
                         "ftp://bench:pw@127.0.0.1:" + std::to_string(env.ftpPort) + "/take.wav"});
}

BENCHMARK(BM_Queue100MB_Smtp_Sonaro)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Queue100MB_Smtp_Curl)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Queue100MB_Ftp_Sonaro)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Queue100MB_Ftp_Curl)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
}  // namespace sonaro

BENCHMARK_MAIN();
