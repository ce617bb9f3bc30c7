#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "threads/child_process.h"

namespace sonaro::test {

// One of the real servers of tests/support/net_servers.py, started on loopback for the life of
// the object (killed and reaped by the destructor).
class PythonServer {
  public:
    // False when the server did not start or print its port within 10 s.
    bool start(const std::vector<std::string>& arguments);
    std::uint16_t port() const { return m_port; }

  private:
    ChildProcess m_process;
    std::uint16_t m_port = 0;
};

// The first line `process` writes to its piped standard output, without the line end; empty when
// none comes within `ms`.
std::string FirstOutputLine(ChildProcess& process, int ms);

}  // namespace sonaro::test
