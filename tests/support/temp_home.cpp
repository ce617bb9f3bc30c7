#include "support/temp_home.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace sonaro::test {

std::string MakeTempDir(const std::string& prefix) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed for " + pattern);
    }
    return pattern;
}

std::string ReadTextFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteTextFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string CapturedFile::text() const {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        text.append(buffer, n);
    }
    return text;
}

void RemoveTree(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

TempDir::TempDir(const std::string& prefix) : std::string(MakeTempDir(prefix)) {}

TempDir::~TempDir() {
    RemoveTree(*this);
}

TempHome::TempHome() : m_path(MakeTempDir("sonaro-home")) {
    const std::pair<const char*, std::string> folders[] = {
        {"HOME", m_path},
        {"XDG_CONFIG_HOME", m_path + "/.config"},
        {"XDG_CONFIG_DIRS", m_path + "/etc/xdg"},
        {"XDG_DATA_HOME", m_path + "/.local/share"},
        {"XDG_RUNTIME_DIR", m_path + "/run"},
        {"TMPDIR", m_path + "/tmp"},
        {"XDG_DATA_DIRS", m_path + "/usr/share"}};
    for (const auto& [name, folder] : folders) {
        std::filesystem::create_directories(folder);
        m_variables.emplace_back(name, folder);
    }
    chmod((m_path + "/run").c_str(), 0700);
}

TempHome::~TempHome() {
    RemoveTree(m_path);
}

std::string GetEnv(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : m_name(name) {
    if (const char* old = std::getenv(name); old != nullptr) {
        m_saved = old;
    }
    setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (m_saved) {
        setenv(m_name, m_saved->c_str(), 1);
    } else {
        unsetenv(m_name);
    }
}

}  // namespace sonaro::test
