#include "platform/curl_downloader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <fstream>

#include "support/local_http_server.h"
#include "support/manual_dispatcher.h"
#include "support/scripted_prompter.h"
#include "support/temp_home.h"
#include "threads/progress_reporter.h"

namespace sonaro {
namespace {

class DownloadJob final : public LProgressReporter {
  public:
    DownloadJob(UiDispatcher& dispatcher, Downloader& downloader, std::string url, std::string path)
        : LProgressReporter(dispatcher),
          m_downloader(downloader),
          m_url(std::move(url)),
          m_path(std::move(path)) {}
    ~DownloadJob() override { Stop(); }

    std::atomic<int> result{-1};

  protected:
    void Run() override {
        result.store(static_cast<int>(m_downloader.DownloadToFile(*this, m_url, m_path)));
    }

  private:
    Downloader& m_downloader;
    std::string m_url;
    std::string m_path;
};

class CurlDownloaderTest : public testing::Test {
  protected:
    CurlDownloaderTest() : m_server(m_root) {
        m_body.resize(5000);
        for (std::size_t i = 0; i < m_body.size(); ++i) {
            m_body[i] = static_cast<char>('a' + i % 26);
        }
        std::ofstream(m_root + "/setup.run", std::ios::binary) << m_body;
        std::ofstream(m_root + "/big.run", std::ios::binary) << std::string(200000, 'z');
    }

    // Runs one download to its end and gives its result.
    SendResult download(const std::string& address, test::ProgressLog& progress) {
        DownloadJob job(m_dispatcher, m_downloader, m_server.baseUrl() + address, target());
        job.SetListener(&progress);
        job.Start();
        EXPECT_TRUE(m_dispatcher.pumpUntil([&] { return !job.IsRunning(); }));
        job.Stop();
        m_dispatcher.pump();
        return static_cast<SendResult>(job.result.load());
    }
    std::string target() const { return m_out + "/setup.run"; }

    const test::TempDir m_root{"www"};
    const test::TempDir m_out{"dl"};
    std::string m_body;
    test::LocalHttpServer m_server;
    test::ManualDispatcher m_dispatcher;
    CurlDownloader m_downloader;
};

TEST_F(CurlDownloaderTest, BodyArrivesWithAndWithoutContentLength) {
    ASSERT_TRUE(m_server.started());
    test::ProgressLog withLength;
    EXPECT_EQ(download("setup.run", withLength), SendResult::Ok);
    EXPECT_EQ(test::ReadTextFile(target()), m_body);
    ASSERT_FALSE(withLength.progress.empty());
    EXPECT_DOUBLE_EQ(withLength.progress.back(), 1.0);

    // Without a length, progress counts against 100000 bytes.
    test::ProgressLog withoutLength;
    EXPECT_EQ(download("nolength/setup.run", withoutLength), SendResult::Ok);
    EXPECT_EQ(test::ReadTextFile(target()), m_body);
    ASSERT_FALSE(withoutLength.progress.empty());
    EXPECT_DOUBLE_EQ(withoutLength.progress.back(), 0.05);
}

TEST_F(CurlDownloaderTest, NotFoundLeavesNoFileAndReplacesNothingLater) {
    ASSERT_TRUE(m_server.started());
    test::ProgressLog progress;
    EXPECT_EQ(download("missing.run", progress), SendResult::Failed);
    EXPECT_NE(access(target().c_str(), F_OK), 0);

    DownloadJob refused(m_dispatcher, m_downloader, "file:///etc/hostname", target());
    refused.Start();
    EXPECT_TRUE(m_dispatcher.pumpUntil([&] { return !refused.IsRunning(); }));
    refused.Stop();
    EXPECT_EQ(refused.result.load(), static_cast<int>(SendResult::Failed));
    EXPECT_NE(access(target().c_str(), F_OK), 0);
}

TEST_F(CurlDownloaderTest, CancelDuringTheTransferLeavesNoFile) {
    ASSERT_TRUE(m_server.started());
    test::ProgressLog progress;
    DownloadJob job(m_dispatcher, m_downloader, m_server.baseUrl() + "hang/big.run", target());
    job.SetListener(&progress);
    job.Start();
    // The first 4096 bytes arrive; then the server stalls until we cancel.
    EXPECT_TRUE(m_dispatcher.pumpUntil([&] {
        return (!progress.progress.empty() && progress.progress.back() > 0.0) || !job.IsRunning();
    }));
    ASSERT_FALSE(progress.progress.empty());
    EXPECT_GT(progress.progress.back(), 0.0);
    job.Stop();
    EXPECT_EQ(job.result.load(), static_cast<int>(SendResult::Stopped));
    EXPECT_NE(access(target().c_str(), F_OK), 0);
}

}  // namespace
}  // namespace sonaro
