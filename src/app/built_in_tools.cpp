#include "app/built_in_tools.h"

namespace sonaro {

BuiltInTools& BuiltInTools::Instance() {
    static BuiltInTools tools;
    return tools;
}

void BuiltInTools::Register(std::string name, Tool tool) {
    m_tools[std::move(name)] = std::move(tool);
}

bool BuiltInTools::Has(std::string_view name) const {
    return m_tools.find(name) != m_tools.end();
}

int BuiltInTools::Run(std::string_view name, int inputFd, int outputFd) const {
    const auto found = m_tools.find(name);
    if (found == m_tools.end()) {
        return 0;
    }
    try {
        return found->second(inputFd, outputFd);
    } catch (...) {
        return 1;
    }
}

}  // namespace sonaro
