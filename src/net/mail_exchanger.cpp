#include "net/mail_exchanger.h"

#include <arpa/nameser.h>
#include <netinet/in.h>
#include <resolv.h>

#include <algorithm>
#include <array>

namespace sonaro {
namespace {

constexpr std::uint16_t kSmtpPort = 25;
constexpr std::size_t kMaxHostLength = 259;
constexpr int kAnswerBytes = 8192;

bool readMx(const ns_msg& message, const ns_rr& record, MxRecord& out) {
    if (ns_rr_type(record) != ns_t_mx || ns_rr_rdlen(record) < 3) {
        return false;
    }
    const unsigned char* data = ns_rr_rdata(record);
    std::array<char, NS_MAXDNAME> name{};
    if (ns_name_uncompress(ns_msg_base(message), ns_msg_end(message), data + 2, name.data(),
                           name.size()) < 0) {
        return false;
    }
    out.preference = static_cast<std::uint16_t>((data[0] << 8) | data[1]);
    out.host = std::string(name.data()).substr(0, kMaxHostLength);
    return true;
}

}  // namespace

std::vector<MxRecord> ParseMxAnswer(const unsigned char* packet, std::size_t length) {
    std::vector<MxRecord> records;
    ns_msg message{};
    if (ns_initparse(packet, static_cast<int>(length), &message) != 0) {
        return records;
    }
    const int count = ns_msg_count(message, ns_s_an);
    for (int i = 0; i < count; ++i) {
        ns_rr record{};
        if (ns_parserr(&message, ns_s_an, i, &record) != 0) {
            break;
        }
        MxRecord mx;
        if (readMx(message, record, mx)) {
            records.push_back(std::move(mx));
        }
    }
    std::stable_sort(records.begin(), records.end(), [](const MxRecord& a, const MxRecord& b) {
        return a.preference < b.preference;
    });
    return records;
}

std::vector<MxRecord> QueryMailExchangers(std::string_view domain) {
    struct __res_state state {};
    if (res_ninit(&state) != 0) {
        return {};
    }
    std::array<unsigned char, kAnswerBytes> answer{};
    const std::string name(domain);
    const int length = res_nquery(&state, name.c_str(), ns_c_in, ns_t_mx, answer.data(),
                                  static_cast<int>(answer.size()));
    res_nclose(&state);
    if (length <= 0) {
        return {};
    }
    return ParseMxAnswer(answer.data(), static_cast<std::size_t>(length));
}

std::vector<Endpoint> ResolveMailExchangers(std::string_view domain) {
    const EndpointText split = SplitEndpointText(domain);
    std::vector<std::string> hosts;
    if (!split.port) {
        for (const MxRecord& record : QueryMailExchangers(split.host)) {
            hosts.push_back(record.host);
        }
    }
    if (hosts.empty()) {
        hosts.push_back(split.host);
    }
    std::vector<Endpoint> endpoints;
    for (const std::string& host : hosts) {
        const Endpoint endpoint = ResolveEndpoint(host, split.port.value_or(kSmtpPort));
        if (endpoint.address != 0) {
            endpoints.push_back(endpoint);
        }
    }
    return endpoints;
}

Endpoint ResolveMailExchanger(std::string_view domain) {
    const std::vector<Endpoint> endpoints = ResolveMailExchangers(domain);
    return endpoints.empty() ? Endpoint{0, kSmtpPort} : endpoints.front();
}

}  // namespace sonaro
