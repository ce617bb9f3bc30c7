#pragma once

#include <string>

#include "support/send_result.h"

namespace sonaro {

class LProgressReporter;

// Fetches a web address into a file.
class Downloader {
  public:
    virtual ~Downloader() = default;

    // Runs on `job`'s worker thread and blocks until done. Replaces `path` with the body of a
    // 2xx answer and reports progress as bytes so far / content length (100000 when the server
    // gives none). A stop request of `job` ends with Stopped and no file left behind; an error,
    // a redirect or a non-2xx status gives Failed and no file.
    virtual SendResult DownloadToFile(LProgressReporter& job, const std::string& url,
                                      const std::string& path) = 0;
};

}  // namespace sonaro
