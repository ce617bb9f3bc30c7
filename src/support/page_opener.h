#pragma once

#include <string>

namespace sonaro {

// Opens a web page or a folder in the user's default program, without waiting for it.
class PageOpener {
  public:
    virtual ~PageOpener() = default;
    // False when no program could be started for it.
    virtual bool OpenPage(const std::string& address) = 0;
};

}  // namespace sonaro
