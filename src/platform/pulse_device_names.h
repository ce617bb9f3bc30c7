#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace sonaro {

// Gives every device of a list a display name of its own: equal descriptions get " (2)", " (3)",
// ... in the order of the devices' server names, which do not change between runs. `Device` has
// `name` (the server's) and `displayName` (its description).
template <typename Device>
void MakeDisplayNamesUnique(std::vector<Device>& devices) {
    std::map<std::string, std::vector<Device*>> byName;
    for (Device& device : devices) {
        byName[device.displayName].push_back(&device);
    }
    for (auto& [name, group] : byName) {
        std::sort(group.begin(), group.end(),
                  [](const Device* a, const Device* b) { return a->name < b->name; });
        for (std::size_t i = 1; i < group.size(); ++i) {
            group[i]->displayName = name + " (" + std::to_string(i + 1) + ")";
        }
    }
}

}  // namespace sonaro
