#include "support/python_server.h"

#include <unistd.h>

#include <cstdlib>

namespace sonaro::test {

bool PythonServer::start(const std::vector<std::string>& arguments) {
    SpawnOptions options;
    // The system interpreter, which has the distribution's aiosmtpd and pyftpdlib.
    options.argv = {access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3",
                    std::string(SONARO_SOURCE_DIR) + "/tests/support/net_servers.py"};
    options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
    options.pipeStdout = true;
    if (!m_process.start(options)) {
        return false;
    }
    m_port = static_cast<std::uint16_t>(std::atoi(FirstOutputLine(m_process, 10000).c_str()));
    return m_port != 0;
}

std::string FirstOutputLine(ChildProcess& process, int ms) {
    const WaitHandle output = process.outputHandle();
    std::string text;
    char buffer[64];
    while (text.find('\n') == std::string::npos) {
        const long got =
            WaitForAnyHandle(&output, 1, ms) == 0 ? process.readOutput(buffer, sizeof buffer) : -1;
        if (got <= 0) {
            return {};
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text.substr(0, text.find('\n'));
}

}  // namespace sonaro::test
