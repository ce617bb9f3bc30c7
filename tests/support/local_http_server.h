#pragma once

#include <string>

#include "threads/child_process.h"

namespace sonaro::test {

// A Python HTTP server on 127.0.0.1 at a port the system chooses, serving the files of `root`.
// Besides plain files (with their length, 404 when missing) it answers "/nolength/<file>" without
// a content length and "/hang/<file>" with the first 4096 bytes of the file and then nothing
// until the connection is closed. Stopped when the object is destroyed.
class LocalHttpServer {
  public:
    explicit LocalHttpServer(const std::string& root);

    bool started() const { return m_port > 0; }
    // "http://127.0.0.1:<port>/"
    std::string baseUrl() const;

  private:
    ChildProcess m_server;
    int m_port = 0;
};

}  // namespace sonaro::test
