#pragma once

#include "support/downloader.h"

namespace sonaro {

// Downloads over HTTP and HTTPS with libcurl: agent "Sonaro Sound Recorder", the system's proxy
// variables, no redirects, certificate checks on. Safe to use from several workers at once.
class CurlDownloader final : public Downloader {
  public:
    static constexpr int kConnectTimeoutMs = 30000;
    // A transfer slower than 1 byte/s for this long fails.
    static constexpr long kStallSeconds = 60;

    CurlDownloader();

    SendResult DownloadToFile(LProgressReporter& job, const std::string& url,
                              const std::string& path) override;
};

}  // namespace sonaro
