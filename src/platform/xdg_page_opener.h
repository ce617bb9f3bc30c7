#pragma once

#include "support/page_opener.h"

namespace sonaro {

// Opens pages and folders with xdg-open, which is left to run on by itself.
class XdgPageOpener final : public PageOpener {
  public:
    bool OpenPage(const std::string& address) override;
};

}  // namespace sonaro
