#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "support/recording_task.h"
#include "support/temp_home.h"
#include "support/test_certificates.h"

namespace sonaro::test {

// Tests against servers with the test certificates: the test CA is the only trusted authority
// (SSL_CERT_FILE, the trust store that OpenSSL's default paths read) unless a test says otherwise.
class TlsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(certificates().ok()) << certificates().error();
        trust(certificates().authority());
    }
    void TearDown() override { m_trust.reset(); }

    static const TestCertificates& certificates() { return TestCertificates::Shared(); }
    // Makes `file` the whole trust store for the rest of the test.
    void trust(const std::string& file) {
        m_trust.reset();
        m_trust = std::make_unique<ScopedEnv>("SSL_CERT_FILE", file);
    }

  private:
    std::unique_ptr<ScopedEnv> m_trust;
};

inline bool Contains(std::string_view haystack, std::string_view needle) {
    return haystack.find(needle) != std::string_view::npos;
}

// Milliseconds since construction.
class Stopwatch {
  public:
    long long ms() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - m_start)
            .count();
    }

  private:
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

}  // namespace sonaro::test
