#pragma once

#include <string>
#include <string_view>

namespace sonaro {

// `text` with every byte but ASCII letters, digits, "-_.~" and the bytes of `alsoPlain` written
// as "%XX" with upper-case digits (each byte of a UTF-8 character on its own).
std::string PercentEncode(std::string_view text, std::string_view alsoPlain = {});

}  // namespace sonaro
