#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "app/logon_start.h"
#include "formats/format_settings.h"
#include "record/file_naming.h"
#include "record/wave_in_device.h"
#include "settings/stored_password.h"
#include "support/prompter.h"
#include "transmit/email_settings.h"

class QWidget;

namespace sonaro {

// What the options dialog's pages work with; owned by the caller for as long as the dialog
// shows. Used on the user-interface thread.
struct OptionsServices {
    SettingsStore& settings;
    FormatSettings& formats;
    FileNaming& naming;
    WaveInDeviceList& devices;
    StoredPassword& passwords;
    LogonStart& logonStart;
    Prompter& prompter;
    // Installs a missing component (EnsureComponent); false when it is not there afterwards.
    std::function<bool(std::string_view)> ensureComponent;
    // The default mail account to pre-fill the e-mail settings from, once per user.
    MailAccountFinder findMailAccount;
    // Whether mail can be handed to the system (IsMapiAvailable).
    std::function<bool()> mapiAvailable;
    // Opens the settings dialog of an output format; true when closed with OK.
    std::function<bool(OutputFormat, QWidget*)> showFormatOptions;
    // Whether the desktop offers system-wide keys in this session; unset counts as yes.
    std::function<bool()> systemHotKeysAvailable;
};

}  // namespace sonaro
