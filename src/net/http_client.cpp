#include "net/http_client.h"

#include <algorithm>

#include "net/endpoint.h"
#include "net/socket.h"

namespace sonaro {
namespace {

constexpr std::uint16_t kHttpPort = 80;
constexpr int kSendBudgetMs = 5000;
constexpr std::size_t kMaxHost = 259;

struct UrlParts {
    std::string host;
    std::string path;
};

// Everything up to "//" is skipped; the host runs to the next "/", the path is the rest.
UrlParts splitUrl(std::string_view url, std::size_t maxPath) {
    const std::size_t scheme = url.find("//");
    if (scheme != std::string_view::npos) {
        url.remove_prefix(scheme + 2);
    }
    const std::size_t slash = url.find('/');
    UrlParts parts;
    parts.host = std::string(url.substr(0, std::min(slash, kMaxHost)));
    parts.path = slash == std::string_view::npos ? "/" : std::string(url.substr(slash, maxPath));
    return parts;
}

bool hasLineBreak(const UrlParts& parts) {
    return parts.host.find_first_of("\r\n") != std::string::npos ||
           parts.path.find_first_of("\r\n ") != std::string::npos;
}

SendResult connectTo(NetTask& task, Socket& socket, const UrlParts& parts) {
    const AddressList addresses = ResolveAllAddresses(parts.host, kHttpPort);
    return ConnectAny(task, socket, addresses.addresses, addresses.port);
}

}  // namespace

SendResult HttpGet(NetTask& task, std::string_view url, std::string& response,
                   std::size_t capacity) {
    response.clear();
    const UrlParts parts = splitUrl(url, 1023);
    if (hasLineBreak(parts)) {
        return SendResult::Failed;
    }
    Socket socket;
    SendResult result = connectTo(task, socket, parts);
    if (result != SendResult::Ok) {
        return result;
    }
    const std::string request =
        "GET " + parts.path + " HTTP/1.0\r\nHost: " + parts.host + "\r\n\r\n";
    result = SendAll(task, socket, request, kSendBudgetMs);
    if (result != SendResult::Ok) {
        return result;
    }
    response.resize(capacity);
    std::size_t count = 0;
    result = ReceiveUntilClosed(task, socket, response.data(), capacity, count);
    response.resize(count);
    return result;
}

SendResult HttpPost(NetTask& task, std::string_view url, std::string_view body) {
    const UrlParts parts = splitUrl(url, 259);
    if (hasLineBreak(parts)) {
        return SendResult::Failed;
    }
    Socket socket;
    SendResult result = connectTo(task, socket, parts);
    if (result != SendResult::Ok) {
        return result;
    }
    const std::string request = "POST " + parts.path + " HTTP/1.0\r\nHost: " + parts.host +
                                "\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                                "Content-Length: " +
                                std::to_string(body.size()) + "\r\n\r\n";
    result = SendAll(task, socket, request, kSendBudgetMs);
    if (result != SendResult::Ok) {
        return result;
    }
    return SendAll(task, socket, body, kSendBudgetMs);
}

}  // namespace sonaro
