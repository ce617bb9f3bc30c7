#include "net/tls_session.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace sonaro {
namespace {

SSL_CTX* newContext(std::string& failure) {
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (context == nullptr) {
        failure = "cannot set up encryption: " + TakeTlsErrors();
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    // A missing store is no failure here: the certificate check names what is untrusted.
    SSL_CTX_set_default_verify_paths(context);
    ERR_clear_error();
    return context;
}

bool isDottedAddress(std::string_view host) {
    in_addr address{};
    return inet_pton(AF_INET, std::string(host).c_str(), &address) == 1;
}

std::string nameLine(const X509_NAME* name) {
    char text[256];
    return X509_NAME_oneline(name, text, sizeof text) != nullptr ? text : "";
}

}  // namespace

std::string TakeTlsErrors() {
    std::string text;
    while (const unsigned long error = ERR_get_error()) {
        char buffer[256];
        ERR_error_string_n(error, buffer, sizeof buffer);
        const char* reason = ERR_reason_error_string(error);
        if (!text.empty()) {
            text += "; ";
        }
        text += reason != nullptr ? reason : buffer;
    }
    return text;
}

std::unique_ptr<TlsSession> TlsSession::Create(int fd, std::string_view hostName,
                                               const TlsSession* resumeFrom, std::string& failure) {
    SSL_CTX* context = nullptr;
    if (resumeFrom != nullptr) {
        context = resumeFrom->m_context;
        SSL_CTX_up_ref(context);
    } else {
        context = newContext(failure);
        if (context == nullptr) {
            return nullptr;
        }
    }
    SSL* ssl = SSL_new(context);
    if (ssl == nullptr) {
        failure = "cannot set up encryption: " + TakeTlsErrors();
        SSL_CTX_free(context);
        return nullptr;
    }
    std::unique_ptr<TlsSession> session(new TlsSession(context, ssl));
    SSL_set_app_data(ssl, session.get());
    SSL_set_verify(ssl, SSL_VERIFY_PEER, &TlsSession::noteRefusal);
    SSL_set_mode(ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    const std::string host(hostName);
    bool named = SSL_set_fd(ssl, fd) == 1;
    if (isDottedAddress(host)) {
        named = named && X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str()) == 1;
    } else {
        named = named && !host.empty() && SSL_set1_host(ssl, host.c_str()) == 1 &&
                SSL_set_tlsext_host_name(ssl, host.c_str()) == 1;
    }
    if (!named) {
        failure = "cannot check the certificate for host \"" + host + "\"";
        TakeTlsErrors();
        return nullptr;
    }
    if (resumeFrom != nullptr) {
        if (SSL_SESSION* offered = SSL_get_session(resumeFrom->m_ssl)) {
            SSL_set_session(ssl, offered);
        }
    }
    return session;
}

TlsSession::~TlsSession() {
    SSL_free(m_ssl);
    SSL_CTX_free(m_context);
}

int TlsSession::noteRefusal(int preverified, X509_STORE_CTX* store) {
    auto* ssl =
        static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* session = ssl != nullptr ? static_cast<TlsSession*>(SSL_get_app_data(ssl)) : nullptr;
    X509* certificate = X509_STORE_CTX_get_current_cert(store);
    if (preverified == 0 && session != nullptr && session->m_refused.empty() &&
        certificate != nullptr) {
        session->m_refused = "certificate " + nameLine(X509_get_subject_name(certificate)) +
                             " issued by " + nameLine(X509_get_issuer_name(certificate)) +
                             " (depth " + std::to_string(X509_STORE_CTX_get_error_depth(store)) +
                             ")";
    }
    return preverified;
}

bool TlsSession::reused() const {
    return SSL_session_reused(m_ssl) == 1;
}

std::string TlsSession::describe(std::string_view errors) const {
    std::string text = SSL_get_version(m_ssl);
    if (const SSL_CIPHER* cipher = SSL_get_current_cipher(m_ssl)) {
        text += std::string(", ") + SSL_CIPHER_get_name(cipher);
    }
    if (X509* peer = SSL_get0_peer_certificate(m_ssl)) {
        text += ", certificate " + nameLine(X509_get_subject_name(peer)) + " issued by " +
                nameLine(X509_get_issuer_name(peer));
    } else if (!m_refused.empty()) {
        text += ", refused " + m_refused;
    }
    if (reused()) {
        text += ", session reused";
    }
    if (!errors.empty()) {
        text += "; OpenSSL: ";
        text += errors;
    }
    return text;
}

std::string TlsSession::handshakeFailure(int sslError, std::string_view fallback,
                                         std::string& details) const {
    const long verified = SSL_get_verify_result(m_ssl);
    std::string queued = TakeTlsErrors();
    details = describe(queued);
    if (verified == X509_V_ERR_HOSTNAME_MISMATCH || verified == X509_V_ERR_IP_ADDRESS_MISMATCH) {
        return "host name does not match the certificate";
    }
    if (verified != X509_V_OK) {
        return X509_verify_cert_error_string(verified);
    }
    if (!queued.empty()) {
        return queued;
    }
    if (sslError == SSL_ERROR_SYSCALL || sslError == SSL_ERROR_ZERO_RETURN) {
        return "the server closed the connection";
    }
    return std::string(fallback);
}

}  // namespace sonaro
