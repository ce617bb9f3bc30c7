#pragma once

#include <QApplication>
#include <QDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "formats/format_settings.h"
#include "net/mail_account_discovery.h"
#include "platform/openssl_secret_cipher.h"
#include "platform/xdg_autostart.h"
#include "record/file_naming.h"
#include "settings/stored_password.h"
#include "support/clock.h"
#include "support/scripted_prompter.h"
#include "support/scripted_wave_in.h"
#include "support/settings_home.h"
#include "ui/balloon_tip.h"
#include "ui/options_services.h"

namespace sonaro::test {

inline constexpr int kDialogGraceMs = 5000;

// Runs `act` on the first visible dialog of type T once it shows (modal dialogs block the test).
template <typename T, typename Act>
void WhenShown(Act act) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<T*>(widget); dialog && dialog->isVisible()) {
                poll->stop();
                poll->deleteLater();
                act(dialog);
                // A dialog that stayed open would block the test for good: it is closed, and
                // the test's own checks then fail.
                QTimer::singleShot(kDialogGraceMs, dialog, [dialog] {
                    if (dialog->isVisible()) {
                        dialog->reject();
                    }
                });
                return;
            }
        }
    });
    poll->start(10);
}

// Counts every change made through it, so a test can tell that nothing was written.
class CountingBackend final : public SettingsBackend {
  public:
    explicit CountingBackend(SettingsBackend& inner) : m_inner(inner) {}

    bool keyExists(RegistryRoot root, std::string_view path) override {
        return m_inner.keyExists(root, path);
    }
    bool createKey(RegistryRoot root, std::string_view path) override {
        ++changes;
        return m_inner.createKey(root, path);
    }
    bool deleteKey(RegistryRoot root, std::string_view path) override {
        ++changes;
        return m_inner.deleteKey(root, path);
    }
    std::vector<std::string> subkeys(RegistryRoot root, std::string_view path) override {
        return m_inner.subkeys(root, path);
    }
    std::vector<std::string> valueNames(RegistryRoot root, std::string_view path) override {
        return m_inner.valueNames(root, path);
    }
    std::optional<RegistryValue> readValue(RegistryRoot root, std::string_view path,
                                           std::string_view name) override {
        return m_inner.readValue(root, path, name);
    }
    bool writeValue(RegistryRoot root, std::string_view path, std::string_view name,
                    const RegistryValue& value) override {
        ++changes;
        return m_inner.writeValue(root, path, name, value);
    }
    bool deleteValue(RegistryRoot root, std::string_view path, std::string_view name) override {
        ++changes;
        return m_inner.deleteValue(root, path, name);
    }

    int changes = 0;

  private:
    SettingsBackend& m_inner;
};

// Everything the options pages need, on real settings files in a temporary home.
struct OptionsFixture {
    OptionsFixture()
        : backend(home.backend),
          settings(backend),
          formats(settings, paths.dataDir),
          naming(settings, clock, home.path() + "/Documents",
                 [this](const char* path, struct statvfs* info) {
                     const int result = statvfs(path, info);
                     if (noFreeSpace) {
                         info->f_bavail = 0;
                     }
                     return result;
                 }),
          devices({{"Built-in Microphone",
                    {"Front Mic", "Line In"},
                    {},
                    false,
                    nullptr,
                    0,
                    ScriptEnd::Stall},
                   {"USB Headset", {}, {}, false, nullptr, 0, ScriptEnd::Stall}}),
          cipher(paths.dataDir + "/" + OpenSslSecretCipher::kKeyFileName),
          passwords(settings, &cipher),
          autostart(paths.configHome, "/opt/sonaro/bin/sonaro"),
          services{settings,
                   formats,
                   naming,
                   devices,
                   passwords,
                   autostart,
                   prompter,
                   [this](std::string_view name) {
                       ensured.emplace_back(name);
                       return componentInstalls;
                   },
                   [this] { return DiscoverDefaultMailAccount(home.path()); },
                   [this] { return mapiAvailable; },
                   {}} {}

    // Saves a picture of `widget` as "<build>/screenshots/<name>.png".
    static void screenshot(QWidget* widget, const QString& name) {
        const QString folder = QStringLiteral(SONARO_BINARY_DIR "/screenshots");
        QDir().mkpath(folder);
        QApplication::processEvents();
        QVERIFY(widget->grab().save(folder + "/" + name + ".png"));
    }

    static QString balloonText() {
        BalloonTip* tip = BalloonTip::Current();
        return tip != nullptr && tip->isVisible() ? tip->text() : QString();
    }
    static QString balloonTitle() {
        BalloonTip* tip = BalloonTip::Current();
        return tip != nullptr && tip->isVisible() ? tip->title() : QString();
    }
    static QWidget* balloonField() {
        BalloonTip* tip = BalloonTip::Current();
        return tip != nullptr && tip->isVisible() ? tip->field() : nullptr;
    }

    SettingsHome home;
    const ProgramPaths& paths = home.paths;
    CountingBackend backend;
    SettingsStore settings;
    FormatSettings formats;
    SystemClock clock;
    bool noFreeSpace = false;
    FileNaming naming;
    ScriptedWaveInList devices;
    OpenSslSecretCipher cipher;
    StoredPassword passwords;
    XdgAutostart autostart;
    ScriptedPrompter prompter;
    std::vector<std::string> ensured;
    bool componentInstalls = true;
    bool mapiAvailable = false;
    OptionsServices services;
};

}  // namespace sonaro::test
