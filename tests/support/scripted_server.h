#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sonaro::test {

// A TCP server on 127.0.0.1 (system-chosen ports) that plays a script given by the test, one step
// after another, on its own thread: it greets, expects lines, answers (whole or in pieces), stays
// silent, drops the connection, and can run a second "data" listener for FTP. The first
// mismatch ends the script; `finish` tells whether every step ran as written.
class ScriptedServer {
  public:
    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t port() const { return m_port; }
    std::uint16_t dataPort() const { return m_dataPort; }

    // Script steps, added before start().
    ScriptedServer& accept();
    ScriptedServer& send(std::string bytes);
    // Sends the pieces one by one with a short pause between them, so that they reach the client
    // in separate receives.
    ScriptedServer& sendPieces(std::vector<std::string> pieces);
    // Reads one line and compares it, CR LF removed.
    ScriptedServer& expect(std::string line);
    // Reads until `terminator` has arrived; the bytes (terminator included) are kept in
    // received().
    ScriptedServer& receiveUntil(std::string terminator);
    // Reads nothing (the client's sends pile up) until the client closes the connection.
    ScriptedServer& silentUntilClosed();
    ScriptedServer& close();
    ScriptedServer& acceptData();
    // Keeps every byte of the data connection in dataReceived() until the client closes it.
    ScriptedServer& receiveDataUntilClosed();
    ScriptedServer& sendData(std::string bytes);
    ScriptedServer& closeData();

    void start();
    // Waits for the script to end (at most `ms`); empty when every step ran as written, else what
    // went wrong.
    std::string finish(int ms = 10000);

    std::string received() const;
    std::string dataReceived() const;

  private:
    // A step is false when it went wrong (after fail()).
    ScriptedServer& add(std::function<bool()> step);
    void run();
    // Takes what arrived up to `terminator` (included) into `taken` and received().
    bool takeUntil(const std::string& terminator, std::string& taken);
    bool fail(std::string text);

    int m_listen = -1;
    int m_dataListen = -1;
    int m_conn = -1;
    int m_data = -1;
    int m_wake[2] = {-1, -1};
    std::uint16_t m_port = 0;
    std::uint16_t m_dataPort = 0;
    std::vector<std::function<bool()>> m_steps;
    std::string m_pending;
    std::thread m_thread;
    mutable std::mutex m_lock;
    std::condition_variable m_ended;
    std::string m_error;
    std::string m_received;
    std::string m_dataReceived;
    std::size_t m_done = 0;
    bool m_finished = false;
};

}  // namespace sonaro::test
