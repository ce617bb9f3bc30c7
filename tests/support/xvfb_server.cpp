#include "support/xvfb_server.h"

#include <poll.h>

#include <string>

namespace sonaro::test {

XvfbServer::XvfbServer() {
    if (FindProgramOnPath("Xvfb").empty()) {
        m_error = "Xvfb is not installed";
        return;
    }
    // -displayfd: the server picks a free display number and writes it to our pipe when ready.
    if (!m_server.start({{"Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0",
                          "1024x768x24", "-noreset"},
                         {},
                         false,
                         true,
                         {}})) {
        m_error = m_server.errorText();
        return;
    }
    std::string number;
    pollfd ready{m_server.outputHandle(), POLLIN, 0};
    while (number.find('\n') == std::string::npos && poll(&ready, 1, 15000) > 0) {
        char buffer[32];
        const long got = m_server.readOutput(buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        number.append(buffer, static_cast<std::size_t>(got));
    }
    if (number.empty() || number.find('\n') == std::string::npos) {
        m_error = "Xvfb did not report a display";
        m_server.kill();
        return;
    }
    m_display = ":" + number.substr(0, number.find('\n'));
}

XvfbServer::~XvfbServer() {
    if (m_server.running()) {
        m_server.kill();
    }
}

int XvfbServer::Run(const std::vector<std::string>& argv, std::string* output, int timeoutMs) {
    ChildProcess child;
    if (!child.start({argv, {"DISPLAY=" + m_display}, false, output != nullptr, {}})) {
        return -1;
    }
    if (output != nullptr) {
        *output = child.readAllOutput();
    }
    const auto code = child.wait(timeoutMs);
    if (!code) {
        child.kill();
        return -1;
    }
    return *code;
}

}  // namespace sonaro::test
