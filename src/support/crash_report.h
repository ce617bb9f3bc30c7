#pragma once

#include <string_view>

namespace sonaro {

class PageOpener;
class Prompter;

// The reporting mode that the crash handler starts ("-crashreport <code>"): asks whether the
// user will fill in a bug report and opens the report page for `crashCode` on Yes (when a web
// server is configured). Gives the mode's exit code.
int RunCrashReport(std::string_view crashCode, Prompter& prompter, PageOpener& pages,
                   std::string_view webServer);

}  // namespace sonaro
