#pragma once

#include <string>
#include <vector>

namespace sonaro::test {

struct ParsedAttachment {
    std::string type;
    std::string name;
    std::string bytes;
};

// A stored message as Python's e-mail parser reads it (tests/support/parse_mail.py).
struct ParsedMail {
    bool ok = false;
    std::string subject;
    std::string from;
    std::string to;
    std::string text;
    std::vector<ParsedAttachment> attachments;
};

ParsedMail ParseStoredMail(const std::string& path);

// `size` bytes of a fixed pseudo-random sequence.
std::string RandomBytes(std::size_t size, unsigned seed);

}  // namespace sonaro::test
