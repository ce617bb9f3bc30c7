#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace sonaro {

// Named tools the program runs for itself as a child process ("-exe <name>"), talking over
// standard input and output. Tools are registered at start-up, before any is run; the registry
// is not locked.
class BuiltInTools {
  public:
    // Gets the input and output descriptors; gives the process's exit code.
    using Tool = std::function<int(int inputFd, int outputFd)>;

    static BuiltInTools& Instance();

    // A later registration under the same name replaces the earlier one.
    void Register(std::string name, Tool tool);
    bool Has(std::string_view name) const;

    // Runs the tool named exactly `name`. An unknown name does nothing and gives 0; a tool that
    // throws ends with 1 and no message.
    int Run(std::string_view name, int inputFd, int outputFd) const;

  private:
    std::map<std::string, Tool, std::less<>> m_tools;
};

}  // namespace sonaro
