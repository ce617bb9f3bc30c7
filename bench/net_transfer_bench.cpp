// SMTP sending of a 50 MB attachment and FTP upload of a 200 MB file to local servers (aiosmtpd,
// pyftpdlib), each side by side with curl doing the same transfer in the same run. The
// bytes_per_second counter is the size of the file sent divided by the wall time.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

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

void writeRandomFile(const std::string& path, std::size_t size) {
    std::mt19937_64 generator(42);
    std::vector<std::uint64_t> block(1 << 17);
    std::ofstream out(path, std::ios::binary);
    for (std::size_t written = 0; written < size;) {
        for (auto& word : block) {
            word = generator();
        }
        const std::size_t take = std::min(size - written, block.size() * sizeof(std::uint64_t));
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(take));
        written += take;
    }
}

// The servers and files shared by every benchmark of the run.
struct Environment {
    Environment() {
        dir = std::filesystem::temp_directory_path() /
              ("sonaro-net-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir / "mail");
        std::filesystem::create_directories(dir / "ftp");
        mailFile = (dir / "take.wav").string();
        uploadFile = (dir / "long.wav").string();
        writeRandomFile(mailFile, kMailBytes);
        writeRandomFile(uploadFile, kUploadBytes);
        smtpPort = startServer(smtp, {"smtp", (dir / "mail").string()});
        ftpPort = startServer(ftp, {"ftp", (dir / "ftp").string(), "bench", "pw"});
    }
    ~Environment() { std::filesystem::remove_all(dir); }

    static std::uint16_t startServer(ChildProcess& child, std::vector<std::string> arguments) {
        SpawnOptions options;
        options.argv = {access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3",
                        std::string(SONARO_SOURCE_DIR) + "/tests/support/net_servers.py"};
        options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
        options.pipeStdout = true;
        if (!child.start(options)) {
            return 0;
        }
        std::string line;
        char c = 0;
        while (child.readOutput(&c, 1) == 1 && c != '\n') {
            line += c;
        }
        return static_cast<std::uint16_t>(std::stoi(line.empty() ? "0" : line));
    }

    void clearReceived() {
        for (const char* folder : {"mail", "ftp"}) {
            for (const auto& entry : std::filesystem::directory_iterator(dir / folder)) {
                std::filesystem::remove_all(entry.path());
            }
        }
    }

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

bool runCurl(const std::vector<std::string>& arguments) {
    SpawnOptions options;
    options.argv = {"curl", "--silent", "--show-error"};
    options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
    ChildProcess curl;
    return curl.start(options) && curl.wait(-1) == 0;
}

void finish(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
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
    finish(state, kMailBytes);
}

void BM_SmtpAttachment50MB_Curl(benchmark::State& state) {
    Environment& env = environment();
    for (auto _ : state) {
        if (!runCurl({"--mail-from", "rec@example.com", "--mail-rcpt", "bench@example.com", "-H",
                      "Subject: bench", "-F", "=attached;type=text/plain", "-F",
                      "=@" + env.mailFile + ";type=audio/wav;encoder=base64",
                      "smtp://127.0.0.1:" + std::to_string(env.smtpPort)})) {
            state.SkipWithError("curl failed");
            break;
        }
        state.PauseTiming();
        env.clearReceived();
        state.ResumeTiming();
    }
    finish(state, kMailBytes);
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
    finish(state, kUploadBytes);
}

void BM_FtpUpload200MB_Curl(benchmark::State& state) {
    Environment& env = environment();
    for (auto _ : state) {
        if (!runCurl({"--ftp-pasv", "-T", env.uploadFile,
                      "ftp://bench:pw@127.0.0.1:" + std::to_string(env.ftpPort) + "/long.wav"})) {
            state.SkipWithError("curl failed");
            break;
        }
        state.PauseTiming();
        env.clearReceived();
        state.ResumeTiming();
    }
    finish(state, kUploadBytes);
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
