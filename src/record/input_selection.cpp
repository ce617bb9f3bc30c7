#include "record/input_selection.h"

#include <algorithm>

namespace sonaro {

InputSelection LoadInputSelection(const SettingsStore& settings, WaveInDeviceList& devices) {
    InputSelection selection;
    const std::string name = settings.Read(setting::kRecordDevice);
    if (!name.empty()) {
        const std::vector<std::string> names = devices.DeviceNames();
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (!names[i].empty() && names[i] == name) {
                selection.deviceNumber = static_cast<int>(i) + 1;
                break;
            }
        }
    }
    selection.sourceNumber = settings.Read(setting::kRecordDeviceChannel);
    return selection;
}

void SaveInputSelection(SettingsStore& settings, WaveInDeviceList& devices,
                        const InputSelection& selection) {
    const std::vector<std::string> names = devices.DeviceNames();
    if (selection.deviceNumber < 1) {
        settings.Write(setting::kRecordDevice, kDefaultSoundIn);
    } else if (selection.deviceNumber <= static_cast<int>(names.size())) {
        settings.Write(setting::kRecordDevice,
                       names[static_cast<std::size_t>(selection.deviceNumber - 1)]);
    }
    settings.Write(setting::kRecordDeviceChannel, selection.sourceNumber);
}

std::vector<std::string> DeviceListItems(WaveInDeviceList& devices) {
    std::vector<std::string> items{std::string(kDefaultSoundIn)};
    for (const std::string& name : devices.DeviceNames()) {
        items.push_back(name.empty() ? std::string(kUnknownDevice) : name);
    }
    return items;
}

std::vector<std::string> SourceListItems(WaveInDeviceList& devices, int deviceNumber) {
    const int count = static_cast<int>(devices.DeviceNames().size());
    if (deviceNumber < 0 || deviceNumber > count) {
        return {};
    }
    std::vector<std::string> items{std::string(kSystemRecordMixer)};
    const InputSelection selection{deviceNumber, 0};
    std::vector<std::string> lines = devices.SourceLines(MixerDevice(devices, selection));
    lines.resize(std::min<std::size_t>(lines.size(), WaveInDeviceList::kMaxSourceLines));
    items.insert(items.end(), lines.begin(), lines.end());
    return items;
}

int MixerDevice(WaveInDeviceList& devices, const InputSelection& selection) {
    if (selection.deviceNumber > 0) {
        return DeviceIdentifier(selection);
    }
    return std::max(devices.PreferredDevice(), 0);
}

}  // namespace sonaro
