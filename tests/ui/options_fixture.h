#pragma once

#include <memory>
#include <string>
#include <utility>
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
#include "ui/options_dialog.h"
#include "ui/options_services.h"
#include "widget_driving.h"

namespace sonaro::test {

// Everything the options pages need, on real settings files in a temporary home.
struct OptionsFixture {
    OptionsFixture()
        : formats(settings, paths.dataDir),
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
                   {},
                   [this] { return hotKeysAvailable; }} {}
    ~OptionsFixture() { BalloonTip::HideCurrent(); }

    // The options dialog shown on page `index`, and that page.
    template <typename PageType>
    std::pair<std::unique_ptr<OptionsDialog>, PageType*> showPage(OptionsDialog::Page index) {
        auto dialog = std::make_unique<OptionsDialog>(services, index);
        dialog->show();
        PageType* page = dialog->page<PageType>(index);
        return {std::move(dialog), page};
    }

    SettingsHome home;
    const ProgramPaths& paths = home.paths;
    SettingsStore& settings = home.settings;
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
    bool hotKeysAvailable = true;
    OptionsServices services;
};

}  // namespace sonaro::test
