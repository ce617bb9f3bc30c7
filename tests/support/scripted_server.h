#pragma once

#include <cstdint>
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
    ScriptedServer& accept() { return add({Kind::Accept, {}, {}}); }
    ScriptedServer& send(std::string bytes) { return add({Kind::Send, std::move(bytes), {}}); }
    // Sends the pieces one by one with a short pause between them, so that they reach the client
    // in separate receives.
    ScriptedServer& sendPieces(std::vector<std::string> pieces) {
        return add({Kind::SendPieces, {}, std::move(pieces)});
    }
    // Reads one line and compares it, CR LF removed.
    ScriptedServer& expect(std::string line) { return add({Kind::Expect, std::move(line), {}}); }
    // Reads until `terminator` has arrived; the bytes (terminator included) are kept in
    // received().
    ScriptedServer& receiveUntil(std::string terminator) {
        return add({Kind::ReceiveUntil, std::move(terminator), {}});
    }
    // Reads nothing (the client's sends pile up) until the client closes the connection.
    ScriptedServer& silentUntilClosed() { return add({Kind::Silent, {}, {}}); }
    ScriptedServer& close() { return add({Kind::Close, {}, {}}); }
    ScriptedServer& acceptData() { return add({Kind::AcceptData, {}, {}}); }
    // Keeps every byte of the data connection in dataReceived() until the client closes it.
    ScriptedServer& receiveDataUntilClosed() { return add({Kind::ReceiveData, {}, {}}); }
    ScriptedServer& sendData(std::string bytes) {
        return add({Kind::SendData, std::move(bytes), {}});
    }
    ScriptedServer& closeData() { return add({Kind::CloseData, {}, {}}); }

    void start();
    // Waits for the script to end (at most `ms`); empty when every step ran as written, else what
    // went wrong.
    std::string finish(int ms = 10000);

    std::string received() const;
    std::string dataReceived() const;

  private:
    enum class Kind {
        Accept,
        Send,
        SendPieces,
        Expect,
        ReceiveUntil,
        Silent,
        Close,
        AcceptData,
        ReceiveData,
        SendData,
        CloseData
    };
    struct Step {
        Kind kind;
        std::string text;
        std::vector<std::string> pieces;
    };

    ScriptedServer& add(Step step);
    void run();
    bool runStep(const Step& step);
    bool readLine(std::string& line);
    void fail(std::string text);

    int m_listen = -1;
    int m_dataListen = -1;
    int m_conn = -1;
    int m_data = -1;
    int m_wake[2] = {-1, -1};
    std::uint16_t m_port = 0;
    std::uint16_t m_dataPort = 0;
    std::vector<Step> m_steps;
    std::string m_pending;
    std::thread m_thread;
    mutable std::mutex m_lock;
    std::string m_error;
    std::string m_received;
    std::string m_dataReceived;
    std::size_t m_done = 0;
    bool m_finished = false;
};

}  // namespace sonaro::test
