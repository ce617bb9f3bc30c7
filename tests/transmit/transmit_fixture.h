#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/openssl_secret_cipher.h"
#include "settings/stored_password.h"
#include "support/fake_clock.h"
#include "support/program_log.h"
#include "support/settings_home.h"
#include "support/temp_home.h"
#include "transmit/send_queue_file.h"

namespace sonaro::test {

// A temporary home with settings, sealed passwords, a program log on a fixed day and the queue
// file's path.
class TransmitTest : public SettingsTest {
  protected:
    TransmitTest() { m_clock.setNow(UtcSeconds(2026, 5, 4, 10, 0, 0)); }

    std::string logText() const {
        return ReadTextFile(m_dir + "/Logs/2026-05-04 Sonaro Sound Recorder Log.txt");
    }
    // The queue file's bytes for `records` under a header with `attempts`.
    static std::string queueBytes(const std::vector<std::string>& records, int attempts = 0) {
        std::string bytes = EncodeQueueHeader({1, static_cast<std::uint16_t>(attempts), 260});
        for (const std::string& record : records) {
            bytes += EncodeQueueRecord(record);
        }
        return bytes;
    }
    void writeQueue(std::string_view bytes) const { writeFile(m_queuePath, bytes); }
    std::string queueOnDisk() const { return ReadTextFile(m_queuePath); }
    static void writeFile(const std::string& path, std::string_view bytes) {
        WriteTextFile(path, std::string(bytes));
    }
    static bool exists(const std::string& path) { return std::filesystem::exists(path); }
    std::string keyPath() const { return m_dir + "/data/" + OpenSslSecretCipher::kKeyFileName; }

    FakeClock m_clock;
    ProgramLog m_log{m_dir + "/Logs", m_clock};
    std::string m_queuePath = m_dir + "/bgsend.lst";
    OpenSslSecretCipher m_cipher{keyPath()};
    StoredPassword m_passwords{m_settings, &m_cipher};
};

}  // namespace sonaro::test
