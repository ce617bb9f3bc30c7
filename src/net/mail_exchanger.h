#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/endpoint.h"

namespace sonaro {

struct MxRecord {
    std::uint16_t preference = 0;
    std::string host;
};

// The MX records of a DNS answer packet, most preferred (lowest preference) first; records of the
// same preference keep the order of the answer. A malformed packet gives what was read before the
// fault.
std::vector<MxRecord> ParseMxAnswer(const unsigned char* packet, std::size_t length);

// The MX records of `domain` from the system resolver (res_nquery), in order of preference;
// empty when the query fails or the domain has none. Blocks in the resolver.
std::vector<MxRecord> QueryMailExchangers(std::string_view domain);

// Where mail for `domain` goes, in the order to try: a domain carrying ":port" is its own host at
// that port; otherwise each MX host at port 25 by preference, or the domain itself when there are
// no MX records. Hosts that do not resolve are left out.
std::vector<Endpoint> ResolveMailExchangers(std::string_view domain);

// The most preferred of them (address 0 when there is none).
Endpoint ResolveMailExchanger(std::string_view domain);

}  // namespace sonaro
