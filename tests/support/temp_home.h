#pragma once

#include <cstdio>
#include <deque>
#include <optional>
#include <string>

namespace sonaro::test {

// Sets an environment variable for the life of the object, then restores what was there.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* m_name;
    std::optional<std::string> m_saved;
};

// A fresh temporary home for the life of the object: HOME, the XDG folders and TMPDIR point into
// it, so nothing touches the real home. Restores the previous environment and removes the folder
// when destroyed.
class TempHome {
  public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::string& path() const { return m_path; }

  private:
    std::string m_path;
    std::deque<ScopedEnv> m_variables;
};

// The value of an environment variable; empty when it is not set.
std::string GetEnv(const char* name);

// A new empty folder below ${TMPDIR:-/tmp} for the life of the object; it is its own path, so
// `dir + "/name"` names a file in it.
class TempDir : public std::string {
  public:
    explicit TempDir(const std::string& prefix);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
};

// A temporary file standing in for a stream such as stderr: `file` for the code under test,
// `text()` for all that was written to it. Closed when destroyed.
class CapturedFile {
  public:
    CapturedFile() : file(std::tmpfile()) {}
    ~CapturedFile() { std::fclose(file); }
    CapturedFile(const CapturedFile&) = delete;
    CapturedFile& operator=(const CapturedFile&) = delete;

    std::string text() const;

    std::FILE* const file;
};

// Removes a folder and everything below it.
void RemoveTree(const std::string& path);

// The whole content of a file; empty when it cannot be read.
std::string ReadTextFile(const std::string& path);
void WriteTextFile(const std::string& path, const std::string& text);

// A new empty folder below ${TMPDIR:-/tmp}.
std::string MakeTempDir(const std::string& prefix);

}  // namespace sonaro::test
