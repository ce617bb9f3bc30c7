#include "platform/xdg_autostart.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/program_paths.h"

namespace sonaro {

XdgAutostart::XdgAutostart(std::string configHome, std::string programPath)
    : m_configHome(std::move(configHome)), m_programPath(std::move(programPath)) {}

std::string XdgAutostart::entryPath() const {
    return m_configHome + "/autostart/sonaro.desktop";
}

std::string XdgAutostart::ExecLine(const std::string& programPath) {
    // Inside double quotes the entry format escapes " ` $ \ with a backslash; '%' starts a
    // field code everywhere and is written twice.
    std::string quoted = "\"";
    for (const char c : programPath) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += "\\\\";
            quoted += c == '\\' ? "\\\\" : std::string(1, c);
            continue;
        }
        quoted += c == '%' ? std::string("%%") : std::string(1, c);
    }
    return quoted + "\" -logon";
}

bool XdgAutostart::Enable(const std::string& programPath) const {
    const std::string folder = m_configHome + "/autostart";
    if (!MakeDirectories(folder)) {
        return false;
    }
    const std::string text =
        "[Desktop Entry]\nType=Application\nName=Sonaro\nExec=" + ExecLine(programPath) +
        "\nTerminal=false\nNoDisplay=true\n";
    std::string temp = entryPath() + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                         fchmod(fd, 0644) == 0 && fsync(fd) == 0;
    if (close(fd) != 0 || !written || std::rename(temp.c_str(), entryPath().c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

bool XdgAutostart::Disable() const {
    return unlink(entryPath().c_str()) == 0 || errno == ENOENT;
}

bool XdgAutostart::IsEnabled() const {
    return access(entryPath().c_str(), F_OK) == 0;
}

bool XdgAutostart::SetEnabled(bool enabled) {
    const bool done = enabled
                          ? Enable(m_programPath.empty() ? OwnProgramPath("sonaro") : m_programPath)
                          : Disable();
    return done && IsEnabled() == enabled;
}

std::string OwnProgramPath(const std::string& fallback) {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : fallback;
}

}  // namespace sonaro
