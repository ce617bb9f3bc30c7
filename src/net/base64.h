#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sonaro {

// Standard base64 (RFC 4648 alphabet, "=" fill), no line breaks.
std::string Base64Encode(std::string_view bytes);

// Appends `bytes` as base64 lines of 76 characters (57 source bytes), each followed by "\r\n";
// a shorter last line for the rest. The bytes on the wire equal encoding 57 bytes at a time.
void AppendBase64Lines(std::string_view bytes, std::string& out);

}  // namespace sonaro
