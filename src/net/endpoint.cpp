#include "net/endpoint.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <memory>

namespace sonaro {
namespace {

constexpr std::size_t kMaxText = 259;
constexpr std::size_t kMaxAddresses = 4;

struct AddrInfoFree {
    void operator()(addrinfo* info) const { freeaddrinfo(info); }
};
using AddrInfoPtr = std::unique_ptr<addrinfo, AddrInfoFree>;

AddrInfoPtr lookUp(const std::string& host, int flags) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags;
    addrinfo* result = nullptr;
    if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0) {
        return nullptr;
    }
    return AddrInfoPtr(result);
}

std::uint32_t addressOf(const addrinfo* info) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(info->ai_addr);
    return ntohl(in->sin_addr.s_addr);
}

std::optional<std::uint32_t> parseDotted(const std::string& host) {
    in_addr parsed{};
    if (inet_pton(AF_INET, host.c_str(), &parsed) != 1) {
        return std::nullopt;
    }
    return ntohl(parsed.s_addr);
}

std::vector<std::uint32_t> resolveHost(const std::string& host, std::size_t limit) {
    if (const auto dotted = parseDotted(host)) {
        return {*dotted};
    }
    std::vector<std::uint32_t> result;
    const AddrInfoPtr answer = lookUp(host, 0);
    for (const addrinfo* info = answer.get(); info != nullptr && result.size() < limit;
         info = info->ai_next) {
        result.push_back(addressOf(info));
    }
    return result;
}

std::string reverseName(std::uint32_t address) {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(address);
    std::array<char, NI_MAXHOST> name{};
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&in), sizeof in, name.data(), name.size(),
                    nullptr, 0, NI_NAMEREQD) != 0) {
        return {};
    }
    return name.data();
}

}  // namespace

EndpointText SplitEndpointText(std::string_view text) {
    text = text.substr(0, kMaxText);
    EndpointText result;
    const std::size_t colon = text.find(':');
    result.host = std::string(text.substr(0, colon));
    if (colon == std::string_view::npos) {
        return result;
    }
    std::uint32_t port = 0;
    bool digits = false;
    for (const char c : text.substr(colon + 1)) {
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
            break;
        }
        port = (port * 10 + static_cast<std::uint32_t>(c - '0')) & 0xFFFFu;
        digits = true;
    }
    if (digits) {
        result.port = static_cast<std::uint16_t>(port);
    }
    return result;
}

Endpoint ResolveEndpoint(std::string_view text, std::uint16_t defaultPort) {
    const EndpointText split = SplitEndpointText(text);
    const std::vector<std::uint32_t> addresses = resolveHost(split.host, 1);
    return Endpoint{addresses.empty() ? 0u : addresses.front(), split.port.value_or(defaultPort)};
}

AddressList ResolveAllAddresses(std::string_view text, std::uint16_t defaultPort) {
    const EndpointText split = SplitEndpointText(text);
    return AddressList{resolveHost(split.host, kMaxAddresses), split.port.value_or(defaultPort)};
}

std::string FormatAddress(std::uint32_t address) {
    in_addr in{};
    in.s_addr = htonl(address);
    std::array<char, INET_ADDRSTRLEN> text{};
    inet_ntop(AF_INET, &in, text.data(), text.size());
    return text.data();
}

std::string LocalHostName() {
    std::array<char, 256> own{};
    if (gethostname(own.data(), own.size() - 1) != 0) {
        return "localhost";
    }
    const std::vector<std::uint32_t> addresses = resolveHost(own.data(), 1);
    if (!addresses.empty()) {
        std::string name = reverseName(addresses.front());
        if (!name.empty()) {
            return name;
        }
    }
    const AddrInfoPtr answer = lookUp(own.data(), AI_CANONNAME);
    if (answer && answer->ai_canonname != nullptr && answer->ai_canonname[0] != '\0') {
        return answer->ai_canonname;
    }
    return "localhost";
}

}  // namespace sonaro
