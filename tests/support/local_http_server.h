#pragma once

#include <string>

#include "support/python_server.h"

namespace sonaro::test {

// The HTTP server of tests/support/net_servers.py on 127.0.0.1, serving the files of `root`.
// Besides plain files (with their length, 404 when missing) it answers "/nolength/<file>" without
// a content length and "/hang/<file>" with the first 4096 bytes of the file and then nothing
// until the connection is closed. Stopped when the object is destroyed.
class LocalHttpServer {
  public:
    explicit LocalHttpServer(const std::string& root) { m_server.start({"http", root}); }

    bool started() const { return m_server.port() > 0; }
    // "http://127.0.0.1:<port>/"
    std::string baseUrl() const {
        return "http://127.0.0.1:" + std::to_string(m_server.port()) + "/";
    }

  private:
    PythonServer m_server;
};

}  // namespace sonaro::test
