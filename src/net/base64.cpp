#include "net/base64.h"

#include <algorithm>

namespace sonaro {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kLineSourceBytes = 57;

void appendEncoded(std::string_view bytes, std::string& out) {
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        const auto c = static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[a >> 2];
        out += kAlphabet[((a & 0x03) << 4) | (b >> 4)];
        out += kAlphabet[((b & 0x0F) << 2) | (c >> 6)];
        out += kAlphabet[c & 0x3F];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest == 0) {
        return;
    }
    const auto a = static_cast<unsigned char>(bytes[i]);
    const auto b = rest == 2 ? static_cast<unsigned char>(bytes[i + 1]) : 0;
    out += kAlphabet[a >> 2];
    out += kAlphabet[((a & 0x03) << 4) | (b >> 4)];
    out += rest == 2 ? kAlphabet[(b & 0x0F) << 2] : '=';
    out += '=';
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    appendEncoded(bytes, out);
    return out;
}

void AppendBase64Lines(std::string_view bytes, std::string& out) {
    out.reserve(out.size() + (bytes.size() + 2) / 3 * 4 + bytes.size() / kLineSourceBytes * 2 + 2);
    while (!bytes.empty()) {
        const std::size_t take = std::min(kLineSourceBytes, bytes.size());
        appendEncoded(bytes.substr(0, take), out);
        out += "\r\n";
        bytes.remove_prefix(take);
    }
}

}  // namespace sonaro
