#pragma once

#include <string>
#include <vector>

namespace sonaro::test {

// A certificate and its key, as PEM files.
struct CertificateFiles {
    std::string certificate;
    std::string key;
};

// Certificates made with the `openssl` command in a temporary folder, once per test program: a
// test CA, and server certificates for servers on loopback.
class TestCertificates {
  public:
    // The set of this test program; `ok()` is false when `openssl` failed (`error()` says how).
    static const TestCertificates& Shared();
    ~TestCertificates();
    TestCertificates(const TestCertificates&) = delete;
    TestCertificates& operator=(const TestCertificates&) = delete;

    bool ok() const { return m_error.empty(); }
    const std::string& error() const { return m_error; }
    // The test CA's certificate: the trust store that accepts the CA's certificates.
    const std::string& authority() const { return m_authority; }
    // By the CA, for "localhost" and 127.0.0.1.
    const CertificateFiles& loopback() const { return m_loopback; }
    // By the CA, for "mail.example.org" only.
    const CertificateFiles& otherHost() const { return m_otherHost; }
    // By the CA, for "localhost" and 127.0.0.1, expired a day ago.
    const CertificateFiles& expired() const { return m_expired; }
    // Signed by itself, for "localhost" and 127.0.0.1.
    const CertificateFiles& selfSigned() const { return m_selfSigned; }

  private:
    TestCertificates();
    bool run(const std::vector<std::string>& arguments);
    bool issue(const std::string& name, const std::string& altNames, int days,
               CertificateFiles& files);

    std::string m_dir;
    std::string m_error;
    std::string m_authority;
    CertificateFiles m_loopback;
    CertificateFiles m_otherHost;
    CertificateFiles m_expired;
    CertificateFiles m_selfSigned;
};

}  // namespace sonaro::test
