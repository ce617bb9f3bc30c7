#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "support/recording_task.h"
#include "support/test_certificates.h"

namespace sonaro::test {

// Tests against servers with the test certificates: the test CA is the only trusted authority
// (SSL_CERT_FILE) unless a test says otherwise.
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
        m_trust = std::make_unique<ScopedEnvironment>("SSL_CERT_FILE", file);
    }

  private:
    std::unique_ptr<ScopedEnvironment> m_trust;
};

// Requests the task's stop `afterMs` from now on a thread of its own; joined by the destructor.
class StopLater {
  public:
    StopLater(RecordingTask& task, int afterMs)
        : m_thread([&task, afterMs] {
              std::this_thread::sleep_for(std::chrono::milliseconds(afterMs));
              task.stop();
          }) {}
    ~StopLater() { m_thread.join(); }
    StopLater(const StopLater&) = delete;
    StopLater& operator=(const StopLater&) = delete;

  private:
    std::thread m_thread;
};

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
