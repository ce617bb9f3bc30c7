#include "platform/curl_downloader.h"

#include <curl/curl.h>
#include <unistd.h>

#include <mutex>

#include "support/open_file_with_retry.h"
#include "threads/progress_reporter.h"

namespace sonaro {
namespace {

constexpr curl_off_t kUnknownLength = 100000;
constexpr int kCreateBudgetMs = 500;

struct Transfer {
    LProgressReporter& job;
    CURL* curl;
    const std::string& path;
    FileHandle file;
    bool refused = false;  // non-2xx status or a file that could not be created
    curl_off_t received = 0;
    curl_off_t length = kUnknownLength;
};

bool isSuccess(long status) {
    return status >= 200 && status <= 299;
}

// Creates the file once the first bytes of a 2xx answer arrive.
bool openTarget(Transfer& transfer) {
    long status = 0;
    curl_easy_getinfo(transfer.curl, CURLINFO_RESPONSE_CODE, &status);
    if (!isSuccess(status)) {
        return false;
    }
    curl_off_t length = -1;
    curl_easy_getinfo(transfer.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    transfer.length = length < 0 ? kUnknownLength : std::max<curl_off_t>(length, 10);
    transfer.file = OpenFileWithRetry(transfer.path, FileAccess::Write, FileShare::None,
                                      FileDisposition::CreateAlways, kCreateBudgetMs);
    return transfer.file.valid();
}

std::size_t onBody(char* data, std::size_t, std::size_t size, void* context) {
    auto& transfer = *static_cast<Transfer*>(context);
    if (transfer.job.IsStopRequested()) {
        return 0;
    }
    if (!transfer.file.valid() && !openTarget(transfer)) {
        transfer.refused = true;
        return 0;
    }
    if (!transfer.file.writeAll(data, size)) {
        return 0;
    }
    transfer.received += static_cast<curl_off_t>(size);
    transfer.job.ReportProgress(static_cast<double>(transfer.received) /
                                static_cast<double>(transfer.length));
    return size;
}

int onProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(context)->job.IsStopRequested() ? 1 : 0;
}

void configure(CURL* curl, const std::string& url, Transfer& transfer) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Sonaro Sound Recorder");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(CurlDownloader::kConnectTimeoutMs));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, CurlDownloader::kStallSeconds);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
}

SendResult finish(Transfer& transfer, CURLcode code) {
    long status = 0;
    curl_easy_getinfo(transfer.curl, CURLINFO_RESPONSE_CODE, &status);
    const bool complete = code == CURLE_OK && isSuccess(status) && !transfer.refused;
    if (complete && !transfer.file.valid() && !openTarget(transfer)) {
        return SendResult::Failed;
    }
    if (complete) {
        transfer.file.close();
        return SendResult::Ok;
    }
    if (transfer.file.valid()) {
        unlink(transfer.path.c_str());
        transfer.file.close();
    }
    return transfer.job.IsStopRequested() ? SendResult::Stopped : SendResult::Failed;
}

}  // namespace

CurlDownloader::CurlDownloader() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

SendResult CurlDownloader::DownloadToFile(LProgressReporter& job, const std::string& url,
                                          const std::string& path) {
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        return SendResult::Failed;
    }
    Transfer transfer{job, curl, path, {}};
    configure(curl, url, transfer);
    const CURLcode code = curl_easy_perform(curl);
    const SendResult result = finish(transfer, code);
    curl_easy_cleanup(curl);
    return result;
}

}  // namespace sonaro
