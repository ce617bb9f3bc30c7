#pragma once

namespace sonaro {

// The entry that starts the program when the user logs on.
class LogonStart {
  public:
    virtual ~LogonStart() = default;

    virtual bool IsEnabled() const = 0;
    // True when the entry is in the wanted state afterwards.
    virtual bool SetEnabled(bool enabled) = 0;
};

}  // namespace sonaro
