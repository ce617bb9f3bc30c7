#pragma once

#include <string>

#include "app/logon_start.h"

namespace sonaro {

// The start at logon: the desktop entry "$XDG_CONFIG_HOME/autostart/sonaro.desktop", whose
// command is the program path in double quotes followed by " -logon".
class XdgAutostart final : public LogonStart {
  public:
    // `programPath` is the program SetEnabled writes into the entry (this program when empty).
    explicit XdgAutostart(std::string configHome, std::string programPath = {});

    // Writes the entry for `programPath` (replacing any). False when it could not be written.
    bool Enable(const std::string& programPath) const;
    // Removes the entry; true when none is left.
    bool Disable() const;
    bool IsEnabled() const override;
    bool SetEnabled(bool enabled) override;

    std::string entryPath() const;

    // The Exec line's value: the path quoted by the desktop-entry rules, then " -logon".
    static std::string ExecLine(const std::string& programPath);

  private:
    std::string m_configHome;
    std::string m_programPath;
};

// The running program's own file (/proc/self/exe); `fallback` when it cannot be read.
std::string OwnProgramPath(const std::string& fallback);

}  // namespace sonaro
