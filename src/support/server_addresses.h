#pragma once

#include <string>
#include <string_view>

#include "settings/settings_store.h"

namespace sonaro {

// The maker's two servers, from the settings "WebServerUrl" and "ComponentServerUrl" of section
// "Settings" (for example "https://downloads.example.org/"). An empty address means there is no
// such server. A non-empty address always ends in '/'.
struct ServerAddresses {
    std::string web;
    std::string component;

    static ServerAddresses Read(const SettingsStore& settings);
};

// The problem-report page for the report code `xi` on `webServer`; empty when there is no server.
std::string BugReportUrl(std::string_view webServer, std::string_view xi);

// "Linux<major><minor>" of the running kernel, where the reports name the system's version.
std::string OsVersionTag();

}  // namespace sonaro
