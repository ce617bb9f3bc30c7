#include "support/python_server.h"

#include <unistd.h>

namespace sonaro::test {
namespace {

constexpr int kStartMs = 10000;

// The system interpreter, which has the distribution's aiosmtpd and pyftpdlib.
std::string interpreter() {
    return access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
}

}  // namespace

bool PythonServer::start(const std::vector<std::string>& arguments) {
    SpawnOptions options;
    options.argv = {interpreter(),
                    std::string(SONARO_SOURCE_DIR) + "/tests/support/net_servers.py"};
    options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
    options.pipeStdout = true;
    if (!m_process.start(options)) {
        return false;
    }
    std::string line;
    while (line.find('\n') == std::string::npos) {
        const WaitHandle output = m_process.outputHandle();
        char buffer[64];
        if (WaitForAnyHandle(&output, 1, kStartMs) != 0) {
            return false;
        }
        const long got = m_process.readOutput(buffer, sizeof buffer);
        if (got <= 0) {
            return false;
        }
        line.append(buffer, static_cast<std::size_t>(got));
    }
    m_port = static_cast<std::uint16_t>(std::stoi(line));
    return m_port != 0;
}

}  // namespace sonaro::test
