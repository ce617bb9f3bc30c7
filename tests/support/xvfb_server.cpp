#include "support/xvfb_server.h"

#include "support/python_server.h"

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
    const std::string number = FirstOutputLine(m_server, 15000);
    if (number.empty()) {
        m_error = "Xvfb did not report a display";
        m_server.kill();
        return;
    }
    m_display = ":" + number;
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
