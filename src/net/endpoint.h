#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sonaro {

// An IPv4 address and port, both in host byte order. Address 0 means the host could not be
// resolved; a connect to it (or to the all-ones address) fails.
struct Endpoint {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
};

// "host" or "host:port" (cut to 259 characters): the part after the first ":" is the port, taken
// as a 16-bit number; no digits there means no port.
struct EndpointText {
    std::string host;
    std::optional<std::uint16_t> port;
};
EndpointText SplitEndpointText(std::string_view text);

// Up to four addresses of one host, and the port.
struct AddressList {
    std::vector<std::uint32_t> addresses;
    std::uint16_t port = 0;
};

// A dotted address as is, else the first IPv4 address of a name lookup, else address 0. Blocks
// in the system resolver.
Endpoint ResolveEndpoint(std::string_view text, std::uint16_t defaultPort);
// A dotted address gives one address; a name the first four of the lookup; none on failure.
AddressList ResolveAllAddresses(std::string_view text, std::uint16_t defaultPort);
// Dotted form of a host-order address.
std::string FormatAddress(std::uint32_t address);

// This machine's name as others would know it: the reverse lookup of its first IPv4 address,
// else the canonical name of its own host name, else "localhost".
std::string LocalHostName();

}  // namespace sonaro
