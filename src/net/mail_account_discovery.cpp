#include "net/mail_account_discovery.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <vector>

namespace sonaro {
namespace {

constexpr std::size_t kMaxValue = 259;

struct IniSection {
    std::string name;
    std::vector<std::pair<std::string, std::string>> values;

    const std::string* find(std::string_view key) const {
        for (const auto& [valueName, value] : values) {
            if (valueName == key) {
                return &value;
            }
        }
        return nullptr;
    }
};

std::string trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(" \t\r");
    return std::string(text.substr(first, last - first + 1));
}

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<IniSection> parseIni(const std::string& text) {
    std::vector<IniSection> sections;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const std::string item = trim(line);
        if (item.size() >= 2 && item.front() == '[' && item.back() == ']') {
            sections.push_back({item.substr(1, item.size() - 2), {}});
        } else if (const std::size_t equals = item.find('=');
                   !sections.empty() && equals != std::string::npos) {
            sections.back().values.emplace_back(trim(item.substr(0, equals)),
                                                trim(item.substr(equals + 1)));
        }
    }
    return sections;
}

std::string profileFolder(const std::string& base, const IniSection& section) {
    const std::string* path = section.find("Path");
    const std::string* relative = section.find("IsRelative");
    if (relative != nullptr && *relative == "0") {
        return *path;
    }
    return base + "/" + *path;
}

// The profile marked default first: a profile section with "Default" not 0, or an install
// section, whose "Default" names the profile that installation uses. Else the first profile.
std::optional<std::string> chooseProfile(const std::string& base,
                                         const std::vector<IniSection>& sections) {
    for (const IniSection& section : sections) {
        const std::string* marked = section.find("Default");
        if (marked == nullptr || *marked == "0") {
            continue;
        }
        if (section.find("Path") != nullptr) {
            return profileFolder(base, section);
        }
        if (section.name.starts_with("Install") && !marked->empty()) {
            return base + "/" + *marked;
        }
    }
    for (const IniSection& section : sections) {
        if (section.find("Path") != nullptr) {
            return profileFolder(base, section);
        }
    }
    return std::nullopt;
}

std::string quotedValue(std::string_view text) {
    std::string value;
    for (std::size_t i = 0; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            ++i;
        }
        value += text[i];
    }
    return value;
}

std::string firstOfList(const std::string& list) {
    return trim(list.substr(0, list.find(',')));
}

}  // namespace

std::optional<std::string> ReadPreference(std::string_view prefsText, std::string_view name) {
    std::size_t start = 0;
    while (start < prefsText.size()) {
        std::size_t end = prefsText.find('\n', start);
        end = end == std::string_view::npos ? prefsText.size() : end;
        const std::string_view line = prefsText.substr(start, end - start);
        start = end + 1;
        const std::size_t quote = line.find('"');
        if (quote == std::string_view::npos) {
            continue;
        }
        std::string_view rest = line.substr(quote + 1);
        if (!rest.starts_with(name) || rest.substr(name.size(), 1) != "\"") {
            continue;
        }
        rest.remove_prefix(name.size() + 1);
        rest.remove_prefix(std::min(rest.find_first_not_of(" \t,"), rest.size()));
        std::string value = rest.starts_with('"') ? quotedValue(rest.substr(1))
                                                  : trim(rest.substr(0, rest.find_first_of(");")));
        value.resize(std::min(value.size(), kMaxValue));
        return value;
    }
    return std::nullopt;
}

std::optional<MailAccount> DiscoverDefaultMailAccount(const std::string& home) {
    const std::string base = home + "/.thunderbird";
    const auto profiles = readFile(base + "/profiles.ini");
    if (!profiles) {
        return std::nullopt;
    }
    const auto folder = chooseProfile(base, parseIni(*profiles));
    const auto prefs = folder ? readFile(*folder + "/prefs.js") : std::nullopt;
    if (!prefs) {
        return std::nullopt;
    }
    MailAccount account;
    std::string serverKey;
    if (const auto name = ReadPreference(*prefs, "mail.accountmanager.defaultaccount")) {
        if (const auto ids = ReadPreference(*prefs, "mail.account." + *name + ".identities")) {
            const std::string identity = firstOfList(*ids);
            account.emailAddress =
                ReadPreference(*prefs, "mail.identity." + identity + ".useremail").value_or("");
            serverKey =
                ReadPreference(*prefs, "mail.identity." + identity + ".smtpServer").value_or("");
        }
    }
    // Identities without a server of their own send through the default server.
    if (serverKey.empty()) {
        serverKey = ReadPreference(*prefs, "mail.smtp.defaultserver").value_or("");
    }
    if (serverKey.empty()) {
        return std::nullopt;
    }
    const auto host = ReadPreference(*prefs, "mail.smtpserver." + serverKey + ".hostname");
    if (!host || host->empty()) {
        return std::nullopt;
    }
    account.smtpServer = *host;
    return account;
}

}  // namespace sonaro
