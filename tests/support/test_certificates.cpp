#include "support/test_certificates.h"

#include <stdlib.h>

#include <cstdlib>
#include <fstream>

#include "support/temp_home.h"
#include "threads/child_process.h"

namespace sonaro::test {
namespace {

constexpr int kOpensslMs = 20000;

// TMPDIR as the program started, read before any test's temporary home moves it: the shared
// certificates outlive every test's home.
const std::string kStartTempBase = [] {
    const char* base = std::getenv("TMPDIR");
    return std::string(base != nullptr && *base != '\0' ? base : "/tmp");
}();

std::string makeCertificateDir() {
    std::string pattern = kStartTempBase + "/certs-XXXXXX";
    return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

constexpr const char* kLoopbackNames = "DNS:localhost,IP:127.0.0.1";

// `openssl req` with `arguments` and a new P-256 key written to `key`.
std::vector<std::string> request(std::vector<std::string> arguments, const std::string& key) {
    arguments.insert(arguments.begin(), "req");
    arguments.insert(arguments.end(), {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                                       "-nodes", "-keyout", key});
    return arguments;
}

}  // namespace

const TestCertificates& TestCertificates::Shared() {
    static const TestCertificates shared;
    return shared;
}

TestCertificates::TestCertificates() : m_dir(makeCertificateDir()) {
    if (m_dir.empty()) {
        m_error = "no folder for the certificates in " + kStartTempBase;
        return;
    }
    m_authority = m_dir + "/ca.pem";
    m_selfSigned = {m_dir + "/self.pem", m_dir + "/self.key"};
    if (run(request({"-x509", "-days", "30", "-subj", "/CN=Test CA", "-out", m_authority},
                    m_dir + "/ca.key")) &&
        issue("loopback", kLoopbackNames, 30, m_loopback) &&
        issue("other", "DNS:mail.example.org", 30, m_otherHost) &&
        issue("expired", kLoopbackNames, -1, m_expired)) {
        run(request(
            {"-x509", "-days", "30", "-subj", "/CN=localhost", "-out", m_selfSigned.certificate,
             "-addext", std::string("subjectAltName=") + kLoopbackNames},
            m_selfSigned.key));
    }
}

TestCertificates::~TestCertificates() {
    RemoveTree(m_dir);
}

bool TestCertificates::run(const std::vector<std::string>& arguments) {
    ChildProcess process;
    std::vector<std::string> argv = {"openssl"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    if (!process.start({argv, {"OPENSSL_CONF=/dev/null"}, false, true, {}})) {
        m_error = "openssl does not start: " + process.errorText();
        return false;
    }
    process.readAllOutput();
    if (process.wait(kOpensslMs) != 0) {
        m_error = "openssl " + arguments.front() + " failed";
        return false;
    }
    return true;
}

// A certificate for `altNames` signed by the test CA, valid for `days` from now (-1: expired
// since yesterday).
bool TestCertificates::issue(const std::string& name, const std::string& altNames, int days,
                             CertificateFiles& files) {
    files = {m_dir + "/" + name + ".pem", m_dir + "/" + name + ".key"};
    const std::string csr = m_dir + "/" + name + ".csr";
    const std::string extensions = m_dir + "/" + name + ".ext";
    std::ofstream(extensions) << "subjectAltName=" << altNames << "\n";
    return run(request({"-subj", "/CN=" + name, "-out", csr}, files.key)) &&
           run({"x509", "-req", "-in", csr, "-CA", m_authority, "-CAkey", m_dir + "/ca.key",
                "-CAcreateserial", "-days", std::to_string(days), "-extfile", extensions, "-out",
                files.certificate});
}

}  // namespace sonaro::test
