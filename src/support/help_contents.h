#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sonaro {

class PageOpener;
class Prompter;

inline constexpr const char* kHelpTitle = "Help Contents";

// The manual: the help page on the maker's web server when "WebServerUrl" is set (`webServer`,
// ending in '/'), else the first existing file of `manualFiles` (the user guide installed with
// the program, then the README of the source tree a build runs from). Empty when there is none.
std::string HelpContentsAddress(std::string_view webServer,
                                const std::vector<std::string>& manualFiles);

// Opens the manual through `pages`; says where it was looked for when it is missing or cannot be
// opened.
void OpenHelpContents(std::string_view webServer, const std::vector<std::string>& manualFiles,
                      PageOpener& pages, Prompter& prompter);

}  // namespace sonaro
