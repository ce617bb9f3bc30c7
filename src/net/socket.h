#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/endpoint.h"
#include "net/net_task.h"
#include "support/send_result.h"

namespace sonaro {

class TlsSession;

// A socket descriptor, or none, and the TLS session over it once StartTls succeeded. Closed by its
// destructor. One thread at a time. The functions below take it as a non-blocking IPv4 TCP
// socket and read and write through the session when there is one; the instance channel holds
// Unix sockets in it.
class Socket {
  public:
    Socket();
    ~Socket();
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    void close();
    // Takes over a non-blocking descriptor (closing the one held).
    void adopt(int fd);
    // The address and port of the connected peer; address 0 when there is none.
    Endpoint peer() const;

    // The TLS session, or nothing while the connection is plain.
    TlsSession* tls() const { return m_tls.get(); }
    bool isEncrypted() const { return m_tls != nullptr; }
    void setTls(std::unique_ptr<TlsSession> tls);

  private:
    int m_fd = -1;
    std::unique_ptr<TlsSession> m_tls;
};

// Every wait below lasts at most `budgetMs` and wakes at once when the task's stop handle is
// signalled; without a handle the stop request is polled every 200 ms.

// Closes `socket`, creates a new one and connects it. Failed on refusal, time-out or an
// unusable address (0 or all ones); the socket is closed on Failed and Stopped.
SendResult ConnectWithTimeout(NetTask& task, Socket& socket, const Endpoint& endpoint,
                              int budgetMs);
// Tries each address with 5,000 ms; the first that does not fail decides.
SendResult ConnectAny(NetTask& task, Socket& socket, const std::vector<std::uint32_t>& addresses,
                      std::uint16_t port);
// Sends every byte. The budget bounds each stall: it restarts whenever bytes go out.
SendResult SendAll(NetTask& task, Socket& socket, std::string_view bytes, int budgetMs);
// Ok when readable (or in error: the following receive reports it).
SendResult WaitReadable(NetTask& task, Socket& socket, int budgetMs);
// Receives at least one and at most `capacity` bytes into `buffer`; `count` is 0 unless Ok. A
// closed connection or an error is Failed.
SendResult ReceiveSome(NetTask& task, Socket& socket, char* buffer, std::size_t capacity,
                       int budgetMs, std::size_t& count);
// Appends received bytes (5,000 ms per receive) until the buffer is full or the peer closes.
SendResult ReceiveUntilClosed(NetTask& task, Socket& socket, char* buffer, std::size_t capacity,
                              std::size_t& count);
// One line up to and including "\n", taken from the socket without consuming a byte beyond it;
// CR and LF at its end are removed. A time-out after part of a line ends the line there (Ok);
// nothing at all, or the peer closing before any byte, is Failed.
SendResult ReceiveLine(NetTask& task, Socket& socket, std::string& line, int budgetMs);

// Encrypts the connected socket as a TLS client within `budgetMs` (the whole handshake). The
// peer's certificate must chain to the trusted store and name `hostName` (a name, or a dotted
// address checked against the certificate's addresses). `resumeFrom`, an encrypted socket,
// lends its context and offers its session for reuse. On Failed `failure` says why in words
// ("certificate has expired", "host name does not match the certificate", ...) and the socket is
// closed; on Stopped it is closed too. `details` (when given) receives, for the program log, the
// protocol, cipher and peer certificate of the session made or refused, and OpenSSL's errors.
SendResult StartTls(NetTask& task, Socket& socket, std::string_view hostName, int budgetMs,
                    std::string& failure, const Socket* resumeFrom = nullptr,
                    std::string* details = nullptr);
// Sends the TLS closing alert within `budgetMs` when the socket is encrypted, then closes it. A
// peer that counts a transfer as complete only with the alert (an FTP data connection) needs it.
void CloseGracefully(NetTask& task, Socket& socket, int budgetMs);

}  // namespace sonaro
