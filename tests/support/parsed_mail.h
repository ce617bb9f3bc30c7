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

// The whole file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);
// `size` bytes of a fixed pseudo-random sequence.
std::string RandomBytes(std::size_t size, unsigned seed);

}  // namespace sonaro::test
