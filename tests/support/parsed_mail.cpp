#include "support/parsed_mail.h"

#include <unistd.h>

#include <random>
#include <sstream>

#include "support/temp_home.h"
#include "threads/child_process.h"

namespace sonaro::test {

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(generator() & 0xFF);
    }
    return bytes;
}

ParsedMail ParseStoredMail(const std::string& path) {
    ParsedMail mail;
    const std::string out = MakeTempDir("parsed");
    SpawnOptions options;
    options.argv = {access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3",
                    std::string(SONARO_SOURCE_DIR) + "/tests/support/parse_mail.py", path, out};
    options.pipeStdout = true;
    ChildProcess parser;
    if (!parser.start(options)) {
        return mail;
    }
    std::istringstream lines(parser.readAllOutput());
    mail.ok = parser.wait(10000) == 0;
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t tab = line.find('\t');
        const std::string key = line.substr(0, tab);
        const std::string value = line.substr(tab + 1);
        if (key == "subject") {
            mail.subject = value;
        } else if (key == "from") {
            mail.from = value;
        } else if (key == "to") {
            mail.to = value;
        } else if (key == "attachment") {
            const std::size_t second = value.find('\t');
            const std::string file = out + "/" + std::to_string(mail.attachments.size());
            mail.attachments.push_back(
                {value.substr(0, second), value.substr(second + 1), ReadTextFile(file)});
        }
    }
    mail.text = ReadTextFile(out + "/text");
    RemoveTree(out);
    return mail;
}

}  // namespace sonaro::test
