#pragma once

#include <string>
#include <vector>

#include "support/page_opener.h"

namespace sonaro::test {

// Remembers every page the program asked to open instead of starting a browser.
class RecordingPageOpener final : public PageOpener {
  public:
    bool OpenPage(const std::string& address) override {
        opened.push_back(address);
        return true;
    }
    std::vector<std::string> opened;
};

}  // namespace sonaro::test
