// SMTP sending of a 50 MB attachment (STARTTLS) and FTP upload of a 100 MB file (AUTH TLS,
// PROT P) to local servers (aiosmtpd, pyftpdlib with pyOpenSSL), each side by side with curl
// doing the same encrypted transfer to the same server in the same run. Both clients check the
// server's certificate against a CA made for the run with the `openssl` command. The
// bytes_per_second counter is the size of the file sent divided by the wall time.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "net/ftp_client.h"
#include "net/smtp_client.h"
#include "threads/child_process.h"

namespace sonaro {
namespace {

constexpr std::size_t kMailBytes = 50u * 1000 * 1000;
constexpr std::size_t kUploadBytes = 100u * 1000 * 1000;

class QuietTask final : public NetTask {
  public:
    bool IsStopRequested() const override { return false; }
    WaitHandle stopHandle() const override { return -1; }
    void ReportMessage(std::string_view text) override { message = std::string(text); }
    void ReportStatus(std::string_view, int) override {}
    void ReportProgress(double) override {}
    std::string message;
};

bool run(std::vector<std::string> argv) {
    SpawnOptions options;
    options.argv = std::move(argv);
    options.pipeStdout = true;
    ChildProcess child;
    if (!child.start(options)) {
        return false;
    }
    child.readAllOutput();
    return child.wait(-1) == 0;
}

// The servers, certificates and files shared by every benchmark of the run.
struct Environment {
    Environment() {
        dir = std::filesystem::temp_directory_path() /
              ("sonaro-tls-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir / "mail");
        std::filesystem::create_directories(dir / "ftp");
        mailFile = (dir / "take.wav").string();
        uploadFile = (dir / "long.wav").string();
        bench::WriteRandomFile(mailFile, kMailBytes);
        bench::WriteRandomFile(uploadFile, kUploadBytes);
        ready = makeCertificates();
        setenv("SSL_CERT_FILE", authority.c_str(), 1);
        smtpPort = bench::StartTestServer(
            smtp, {"smtp", (dir / "mail").string(), "--tls", certificate, key});
        ftpPort = bench::StartTestServer(
            ftp, {"ftp", (dir / "ftp").string(), "bench", "pw", "--tls", certificate, key});
        ready = ready && smtpPort != 0 && ftpPort != 0;
    }
    ~Environment() { std::filesystem::remove_all(dir); }

    // A CA and a certificate for localhost signed by it.
    bool makeCertificates() {
        const std::string d = dir.string();
        authority = d + "/ca.pem";
        certificate = d + "/server.pem";
        key = d + "/server.key";
        std::ofstream(d + "/ext") << "subjectAltName=DNS:localhost,IP:127.0.0.1\n";
        const std::vector<std::string> ecKey = {"-newkey", "ec", "-pkeyopt",
                                                "ec_paramgen_curve:P-256", "-nodes"};
        std::vector<std::string> ca = {"openssl",     "req",   "-x509",        "-days",
                                       "2",           "-subj", "/CN=Bench CA", "-keyout",
                                       d + "/ca.key", "-out",  authority};
        ca.insert(ca.end(), ecKey.begin(), ecKey.end());
        std::vector<std::string> request = {"openssl", "req", "-subj", "/CN=localhost",
                                            "-keyout", key,   "-out",  d + "/server.csr"};
        request.insert(request.end(), ecKey.begin(), ecKey.end());
        return run(ca) && run(request) &&
               run({"openssl", "x509", "-req", "-in", d + "/server.csr", "-CA", authority, "-CAkey",
                    d + "/ca.key", "-CAcreateserial", "-days", "2", "-extfile", d + "/ext", "-out",
                    certificate});
    }

    void clearReceived() { bench::ClearFolders({dir / "mail", dir / "ftp"}); }

    std::filesystem::path dir;
    std::string mailFile;
    std::string uploadFile;
    std::string authority;
    std::string certificate;
    std::string key;
    bool ready = false;
    ChildProcess smtp;
    ChildProcess ftp;
    std::uint16_t smtpPort = 0;
    std::uint16_t ftpPort = 0;
};

Environment& environment(benchmark::State& state) {
    static Environment shared;
    if (!shared.ready) {
        state.SkipWithError("certificates or servers did not start");
    }
    return shared;
}

bool runCurl(const Environment& env, const std::vector<std::string>& arguments) {
    std::vector<std::string> argv = {"--ssl-reqd", "--cacert", env.authority};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return bench::RunCurl(argv);
}

void BM_SmtpStartTls50MB_Sonaro(benchmark::State& state) {
    Environment& env = environment(state);
    SmtpJob job;
    job.to = "bench@example.com";
    job.sender = "rec@example.com";
    job.subject = "bench";
    job.body = "attached";
    job.attachments = {env.mailFile};
    job.host = "localhost:" + std::to_string(env.smtpPort);
    job.sendDirect = false;
    job.secure = true;
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

void BM_SmtpStartTls50MB_Curl(benchmark::State& state) {
    Environment& env = environment(state);
    for (auto _ : state) {
        if (!runCurl(env, {"--mail-from", "rec@example.com", "--mail-rcpt", "bench@example.com",
                           "-H", "Subject: bench", "-F", "=attached;type=text/plain", "-F",
                           "=@" + env.mailFile + ";type=audio/wav;encoder=base64",
                           "smtp://localhost:" + std::to_string(env.smtpPort)})) {
            state.SkipWithError("curl failed");
            break;
        }
        state.PauseTiming();
        env.clearReceived();
        state.ResumeTiming();
    }
    bench::SetBytesProcessed(state, kMailBytes);
}

void BM_FtpsUpload100MB_Sonaro(benchmark::State& state) {
    Environment& env = environment(state);
    FtpSecurity security;
    security.secure = true;
    security.allowPlainPassword = false;
    for (auto _ : state) {
        QuietTask task;
        FtpConnection connection(task, {}, security);
        if (connection.FtpLogOn("localhost:" + std::to_string(env.ftpPort), "bench", "pw") !=
                SendResult::Ok ||
            connection.FtpUpload("long.wav", env.uploadFile) != SendResult::Ok) {
            state.SkipWithError(("upload failed: " + task.message).c_str());
            break;
        }
        connection.close();
        state.PauseTiming();
        env.clearReceived();
        state.ResumeTiming();
    }
    bench::SetBytesProcessed(state, kUploadBytes);
}

void BM_FtpsUpload100MB_Curl(benchmark::State& state) {
    Environment& env = environment(state);
    for (auto _ : state) {
        if (!runCurl(env,
                     {"--ftp-pasv", "-T", env.uploadFile,
                      "ftp://bench:pw@localhost:" + std::to_string(env.ftpPort) + "/long.wav"})) {
            state.SkipWithError("curl failed");
            break;
        }
        state.PauseTiming();
        env.clearReceived();
        state.ResumeTiming();
    }
    bench::SetBytesProcessed(state, kUploadBytes);
}

BENCHMARK(BM_SmtpStartTls50MB_Sonaro)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_SmtpStartTls50MB_Curl)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_FtpsUpload100MB_Sonaro)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_FtpsUpload100MB_Curl)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
}  // namespace sonaro

BENCHMARK_MAIN();
