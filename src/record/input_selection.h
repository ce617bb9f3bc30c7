#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "record/wave_in_device.h"
#include "settings/settings_store.h"

namespace sonaro {

// The persistent choice of input.
struct InputSelection {
    // 0 = the system's default input ("[Default Sound In]"); k >= 1 = device identifier k - 1.
    int deviceNumber = 0;
    // 0 = leave the record mixer as it is; k >= 1 = source line k - 1 of the device.
    int sourceNumber = 0;
};

inline constexpr std::string_view kDefaultSoundIn = "[Default Sound In]";
inline constexpr std::string_view kUnknownDevice = "(Unknown Device)";
inline constexpr std::string_view kSystemRecordMixer = "Windows Record Mixer";

// Device identifier of a selection's device: deviceNumber - 1 (-1 is the default input).
inline int DeviceIdentifier(const InputSelection& selection) {
    return selection.deviceNumber - 1;
}

// "RecordDevice" mapped to a device number by exact, case-sensitive name (devices with an empty
// name never match; a name no longer present gives the default input); "RecordDeviceChannel" as
// stored.
InputSelection LoadInputSelection(const SettingsStore& settings, WaveInDeviceList& devices);
void SaveInputSelection(SettingsStore& settings, WaveInDeviceList& devices,
                        const InputSelection& selection);

// The entries of the device list: "[Default Sound In]", then each device in order
// ("(Unknown Device)" for an empty name).
std::vector<std::string> DeviceListItems(WaveInDeviceList& devices);
// The entries of the source list for device item `deviceNumber`: "Windows Record Mixer" and the
// device's source lines; empty when the device does not exist.
std::vector<std::string> SourceListItems(WaveInDeviceList& devices, int deviceNumber);

// The real device whose mixer a selection changes: the preferred device for the default input
// (device 0 when that is not known).
int MixerDevice(WaveInDeviceList& devices, const InputSelection& selection);

}  // namespace sonaro
