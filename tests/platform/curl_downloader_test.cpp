#include "platform/curl_downloader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <optional>

#include "support/function_job.h"
#include "support/local_http_server.h"
#include "support/manual_dispatcher.h"
#include "support/scripted_prompter.h"
#include "support/temp_home.h"

namespace sonaro {
namespace {

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

    // A job that downloads `url` to target() and keeps the result in m_result.
    FunctionJob job(const std::string& url) {
        m_result.reset();
        return FunctionJob(m_dispatcher, [this, url](LProgressReporter& self) {
            m_result = m_downloader.DownloadToFile(self, url, target());
        });
    }

    std::optional<SendResult> download(const std::string& url,
                                       test::ProgressLog* progress = nullptr) {
        FunctionJob running = job(url);
        running.SetListener(progress);
        running.Start();
        EXPECT_TRUE(m_dispatcher.pumpUntil([&] { return !running.IsRunning(); }));
        running.Stop();
        m_dispatcher.pump();
        return m_result;
    }
    std::string target() const { return m_out + "/setup.run"; }

    const test::TempDir m_root{"www"};
    const test::TempDir m_out{"dl"};
    std::string m_body;
    test::LocalHttpServer m_server;
    test::ManualDispatcher m_dispatcher;
    CurlDownloader m_downloader;
    std::optional<SendResult> m_result;
};

TEST_F(CurlDownloaderTest, BodyArrivesWithAndWithoutContentLength) {
    ASSERT_TRUE(m_server.started());
    test::ProgressLog withLength;
    EXPECT_EQ(download(m_server.baseUrl() + "setup.run", &withLength), SendResult::Ok);
    EXPECT_EQ(test::ReadTextFile(target()), m_body);
    ASSERT_FALSE(withLength.progress.empty());
    EXPECT_DOUBLE_EQ(withLength.progress.back(), 1.0);

    // Without a length, progress counts against 100000 bytes.
    test::ProgressLog withoutLength;
    EXPECT_EQ(download(m_server.baseUrl() + "nolength/setup.run", &withoutLength), SendResult::Ok);
    EXPECT_EQ(test::ReadTextFile(target()), m_body);
    ASSERT_FALSE(withoutLength.progress.empty());
    EXPECT_DOUBLE_EQ(withoutLength.progress.back(), 0.05);
}

TEST_F(CurlDownloaderTest, NotFoundOrRefusedLeavesNoFile) {
    ASSERT_TRUE(m_server.started());
    for (const std::string& url :
         {m_server.baseUrl() + "missing.run", std::string("file:///etc/hostname")}) {
        EXPECT_EQ(download(url), SendResult::Failed) << url;
        EXPECT_NE(access(target().c_str(), F_OK), 0) << url;
    }
}

TEST_F(CurlDownloaderTest, CancelDuringTheTransferLeavesNoFile) {
    ASSERT_TRUE(m_server.started());
    test::ProgressLog progress;
    FunctionJob running = job(m_server.baseUrl() + "hang/big.run");
    running.SetListener(&progress);
    running.Start();
    // The first 4096 bytes arrive; then the server stalls until we cancel.
    EXPECT_TRUE(m_dispatcher.pumpUntil([&] {
        return (!progress.progress.empty() && progress.progress.back() > 0.0) ||
               !running.IsRunning();
    }));
    ASSERT_FALSE(progress.progress.empty());
    EXPECT_GT(progress.progress.back(), 0.0);
    running.Stop();
    EXPECT_EQ(m_result, SendResult::Stopped);
    EXPECT_NE(access(target().c_str(), F_OK), 0);
}

}  // namespace
}  // namespace sonaro
