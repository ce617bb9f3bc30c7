#pragma once

#include <openssl/types.h>

#include <memory>
#include <string>
#include <string_view>

namespace sonaro {

// The client side of one TLS connection over a connected descriptor: a context that trusts the
// system store (OpenSSL's default paths, so SSL_CERT_FILE and SSL_CERT_DIR are honoured) and
// speaks TLS 1.2 or later, and a connection that checks the peer's certificate against the host
// name or address it was made for. The descriptor stays the caller's.
class TlsSession {
  public:
    // Nothing, with `failure` set, when OpenSSL cannot set up the context or the connection.
    // `resumeFrom` shares its context and offers its session for reuse (FTP data connections).
    static std::unique_ptr<TlsSession> Create(int fd, std::string_view hostName,
                                              const TlsSession* resumeFrom, std::string& failure);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    SSL* ssl() const { return m_ssl; }
    // True once a handshake resumed the offered session.
    bool reused() const;
    // Why a handshake that ended with `sslError` failed, in words: the certificate check's
    // reason when it refused the peer, else OpenSSL's first queued error, else `fallback`. The
    // error queue is cleared; `details` receives describe() with the queued errors.
    std::string handshakeFailure(int sslError, std::string_view fallback,
                                 std::string& details) const;
    // For the program log: protocol, cipher, the peer certificate's subject and issuer (as far
    // as the handshake got), whether the session was reused, and `errors` when not empty.
    std::string describe(std::string_view errors = {}) const;

  private:
    TlsSession(SSL_CTX* context, SSL* ssl) : m_context(context), m_ssl(ssl) {}
    static int noteRefusal(int preverified, X509_STORE_CTX* store);

    SSL_CTX* m_context;
    SSL* m_ssl;
    // The first certificate the check refused, for describe(): OpenSSL keeps no peer
    // certificate after a failed check.
    std::string m_refused;
};

// OpenSSL's queued errors as one text ("; " between them), the queue cleared; empty when none.
std::string TakeTlsErrors();

}  // namespace sonaro
