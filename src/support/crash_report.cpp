#include "support/crash_report.h"

#include <string>

#include "support/page_opener.h"
#include "support/prompter.h"
#include "support/server_addresses.h"

namespace sonaro {

int RunCrashReport(std::string_view crashCode, Prompter& prompter, PageOpener& pages,
                   std::string_view webServer) {
    static constexpr std::string_view kQuestion =
        "Sonaro Sound Recorder has crashed because of an abnormal exception.\r\n\r\nWould you be "
        "willing to complete a Kestrix Software Bug Report so our programmers can try to fix "
        "this? If so, please click Yes and then enter the field to tell us exactly what you did "
        "so we can attempt to repeat it and fix it.";
    if (!prompter.AskYesNo(kQuestion, "Abnormal Execution Problem", PromptAnswer::No)) {
        return 0;
    }
    const std::string url = BugReportUrl(webServer, "GUI-" + std::string(crashCode));
    if (!url.empty()) {
        pages.OpenPage(url);
    }
    return 0;
}

}  // namespace sonaro
