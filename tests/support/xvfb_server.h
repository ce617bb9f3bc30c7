#pragma once

#include <string>
#include <vector>

#include "threads/child_process.h"

namespace sonaro::test {

// A private X server (Xvfb) on a display number it chooses itself, for the life of the object;
// the destructor kills it. `xdotool` runs against it through Run.
class XvfbServer {
  public:
    XvfbServer();
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // False when Xvfb is missing or did not come up; error() says why.
    bool running() const { return !m_display.empty(); }
    const std::string& error() const { return m_error; }
    // ":<number>", as DISPLAY.
    const std::string& display() const { return m_display; }

    // Runs a program with DISPLAY set to this server and waits up to `timeoutMs`; its exit code,
    // or -1 when it could not start or ran too long. `output` receives its standard output.
    int Run(const std::vector<std::string>& argv, std::string* output = nullptr,
            int timeoutMs = 10000);

  private:
    ChildProcess m_server;
    std::string m_display;
    std::string m_error;
};

}  // namespace sonaro::test
