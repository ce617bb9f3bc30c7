// SMTP sending of a 50 MB attachment and FTP upload of a 200 MB file to local servers (aiosmtpd,
// pyftpdlib), each side by side with curl doing the same transfer in the same run. The
// bytes_per_second counter is the size of the file sent divided by the wall time.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "net/ftp_client.h"
#include "net/smtp_client.h"
#include "threads/child_process.h"

namespace sonaro {
namespace {

constexpr std::size_t kMailBytes = 50u * 1000 * 1000;
constexpr std::size_t kUploadBytes = 200u * 1000 * 1000;

class QuietTask final : public NetTask {
  public:
    bool IsStopRequested() const override { return false; }
    WaitHandle stopHandle() const override { return -1; }
    void ReportMessage(std::string_view text) override { message = std::string(text); }
    void ReportStatus(std::string_view, int) override {}
    void ReportProgress(double) override {}
    std::string message;
};

// The servers and files shared by every benchmark of the run.
struct Environment {
    Environment() {
        dir = std::filesystem::temp_directory_path() /
              ("sonaro-net-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir / "mail");
        std::filesystem::create_directories(dir / "ftp");
        mailFile = (dir / "take.wav").string();
        uploadFile = (dir / "long.wav").string();
        bench::WriteRandomFile(mailFile, kMailBytes);
        bench::WriteRandomFile(uploadFile, kUploadBytes);
        smtpPort = bench::StartTestServer(smtp, {"smtp", (dir / "mail").string()});
        ftpPort = bench::StartTestServer(ftp, {"ftp", (dir / "ftp").string(), "bench", "pw"});
    }
    ~Environment() { std::filesystem::remove_all(dir); }

    void clearReceived() { bench::ClearFolders({dir / "mail", dir / "ftp"}); }

    std::filesystem::path dir;
    std::string mailFile;
    std::string uploadFile;
    ChildProcess smtp;
    ChildProcess ftp;
    std::uint16_t smtpPort = 0;
    std::uint16_t ftpPort = 0;
};

Environment& environment() {
    static Environment shared;
    return shared;
}

void BM_SmtpAttachment50MB_Sonaro(benchmark::State& state) {
    Environment& env = environment();
    SmtpJob job;
    job.to = "bench@example.com";
    job.sender = "rec@example.com";
    job.subject = "bench";
    job.body = "attached";
    job.attachments = {env.mailFile};
    job.host = "127.0.0.1:" + std::to_string(env.smtpPort);
    job.sendDirect = false;
    for (auto _ : state) {
        QuietTask task;
        if (SendSmtpMail(job, task) != SendResult::Ok) {
            state.SkipWithError(("send failed: " + task.message).c_str());
            break;
        }
        state.PauseTiming();
        env.clearReceived();
        state.ResumeTiming();
    }
    bench::SetBytesProcessed(state, kMailBytes);
}

void BM_SmtpAttachment50MB_Curl(benchmark::State& state) {
    Environment& env = environment();
    for (auto _ : state) {
        if (!bench::RunCurl({"--mail-from", "rec@example.com", "--mail-rcpt", "bench@example.com",
                             "-H", "Subject: bench", "-F", "=attached;type=text/plain", "-F",
                             "=@" + env.mailFile + ";type=audio/wav;encoder=base64",
                             "smtp://127.0.0.1:" + std::to_string(env.smtpPort)})) {
            state.SkipWithError("curl failed");
            break;
        }
        state.PauseTiming();
        env.clearReceived();
        state.ResumeTiming();
    }
    bench::SetBytesProcessed(state, kMailBytes);
}

void BM_FtpUpload200MB_Sonaro(benchmark::State& state) {
    Environment& env = environment();
    for (auto _ : state) {
        QuietTask task;
        FtpConnection connection(task);
        if (connection.FtpLogOn("127.0.0.1:" + std::to_string(env.ftpPort), "bench", "pw") !=
                SendResult::Ok ||
            connection.FtpUpload("long.wav", env.uploadFile) != SendResult::Ok) {
            state.SkipWithError("upload failed");
            break;
        }
        connection.close();
        state.PauseTiming();
        env.clearReceived();
        state.ResumeTiming();
    }
    bench::SetBytesProcessed(state, kUploadBytes);
}

void BM_FtpUpload200MB_Curl(benchmark::State& state) {
    Environment& env = environment();
    for (auto _ : state) {
        if (!bench::RunCurl(
                {"--ftp-pasv", "-T", env.uploadFile,
                 "ftp://bench:pw@127.0.0.1:" + std::to_string(env.ftpPort) + "/long.wav"})) {
            state.SkipWithError("curl failed");
            break;
        }
        state.PauseTiming();
        env.clearReceived();
        state.ResumeTiming();
    }
    bench::SetBytesProcessed(state, kUploadBytes);
}

BENCHMARK(BM_SmtpAttachment50MB_Sonaro)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(BM_SmtpAttachment50MB_Curl)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_FtpUpload200MB_Sonaro)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_FtpUpload200MB_Curl)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
}  // namespace sonaro

BENCHMARK_MAIN();
