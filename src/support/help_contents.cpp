#include "support/help_contents.h"

#include <filesystem>

#include "support/page_opener.h"
#include "support/prompter.h"

namespace sonaro {

std::string HelpContentsAddress(std::string_view webServer,
                                const std::vector<std::string>& manualFiles) {
    if (!webServer.empty()) {
        return std::string(webServer) + "software/sonaro/help.html";
    }
    for (const std::string& file : manualFiles) {
        std::error_code error;
        if (std::filesystem::is_regular_file(file, error)) {
            return file;
        }
    }
    return {};
}

void OpenHelpContents(std::string_view webServer, const std::vector<std::string>& manualFiles,
                      PageOpener& pages, Prompter& prompter) {
    const std::string address = HelpContentsAddress(webServer, manualFiles);
    if (address.empty()) {
        std::string text = "The manual was not found. It is installed with the program as:";
        for (const std::string& file : manualFiles) {
            text += "\r\n" + file;
        }
        prompter.ShowError(text, kHelpTitle);
        return;
    }
    if (!pages.OpenPage(address)) {
        prompter.ShowError("No program could be started to show the manual " + address +
                               ". Install xdg-utils and a web browser or text viewer.",
                           kHelpTitle);
    }
}

}  // namespace sonaro
