#include "support/server_addresses.h"
#include "support/percent_encoding.h"

#include <sys/utsname.h>

#include <cstdio>
#include <cstdlib>

namespace sonaro {
namespace {

std::string withSlash(std::string address) {
    if (!address.empty() && address.back() != '/') {
        address.push_back('/');
    }
    return address;
}

}  // namespace

ServerAddresses ServerAddresses::Read(const SettingsStore& settings) {
    ServerAddresses addresses;
    addresses.web = withSlash(settings.Read(setting::kWebServerUrl));
    addresses.component = withSlash(settings.Read(setting::kComponentServerUrl));
    return addresses;
}

std::string BugReportUrl(std::string_view webServer, std::string_view xi) {
    if (webServer.empty()) {
        return {};
    }
    std::string url(webServer);
    if (url.back() != '/') {
        url.push_back('/');
    }
    return url + "software/bug.html?software=Sonaro&version=3.03&xi=" + PercentEncode(xi);
}

std::string OsVersionTag() {
    utsname name{};
    int major = 0;
    int minor = 0;
    if (uname(&name) == 0) {
        std::sscanf(name.release, "%d.%d", &major, &minor);
    }
    return "Linux" + std::to_string(major) + std::to_string(minor);
}

}  // namespace sonaro
