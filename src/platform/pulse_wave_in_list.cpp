#include "platform/pulse_wave_in_list.h"

#include <algorithm>

#include "platform/pulse_device_names.h"
#include "platform/pulse_wave_in_device.h"

namespace sonaro {
namespace {

struct SourceQuery {
    PulseConnection* connection;
    std::vector<PulseSource> sources;
};

void onSourceInfo(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto* query = static_cast<SourceQuery*>(userdata);
    if (eol == 0 && info != nullptr) {
        PulseSource source;
        source.name = info->name != nullptr ? info->name : "";
        source.displayName = info->description != nullptr ? info->description : source.name;
        for (std::uint32_t i = 0; i < info->n_ports; ++i) {
            source.portNames.emplace_back(info->ports[i]->name);
            source.portDescriptions.emplace_back(info->ports[i]->description);
        }
        source.channels = info->channel_map.channels;
        query->sources.push_back(std::move(source));
    }
    query->connection->Signal();
}

struct DefaultQuery {
    PulseConnection* connection;
    std::string source;
    bool done = false;
};

void onServerInfo(pa_context*, const pa_server_info* info, void* userdata) {
    auto* query = static_cast<DefaultQuery*>(userdata);
    if (info != nullptr && info->default_source_name != nullptr) {
        query->source = info->default_source_name;
    }
    query->done = true;
    query->connection->Signal();
}

struct SuccessQuery {
    PulseConnection* connection;
    bool success = false;
};

void onSuccess(pa_context*, int success, void* userdata) {
    auto* query = static_cast<SuccessQuery*>(userdata);
    query->success = success != 0;
    query->connection->Signal();
}

}  // namespace

PulseWaveInList::PulseWaveInList() = default;
PulseWaveInList::~PulseWaveInList() = default;

bool PulseWaveInList::ensureConnected() {
    if (m_connection.isConnected()) {
        return true;
    }
    if (!m_connection.Connect("Sonaro device list")) {
        m_error = m_connection.errorText();
        return false;
    }
    return true;
}

std::vector<PulseSource> PulseWaveInList::listSourcesLocked() {
    if (!ensureConnected()) {
        return {};
    }
    SourceQuery query{&m_connection, {}};
    PulseLock lock(m_connection);
    if (!m_connection.CompleteLocked(
            pa_context_get_source_info_list(m_connection.context(), &onSourceInfo, &query))) {
        m_error = "The sound server did not list its sources: " + m_connection.serverError();
        return {};
    }
    MakeDisplayNamesUnique(query.sources);
    return query.sources;
}

std::vector<PulseSource> PulseWaveInList::Sources() {
    std::lock_guard guard(m_lock);
    return listSourcesLocked();
}

std::vector<std::string> PulseWaveInList::DeviceNames() {
    std::vector<std::string> names;
    for (const PulseSource& source : Sources()) {
        names.push_back(source.displayName);
    }
    return names;
}

int PulseWaveInList::PreferredDevice() {
    std::lock_guard guard(m_lock);
    const std::vector<PulseSource> sources = listSourcesLocked();
    if (sources.empty()) {
        return -1;
    }
    DefaultQuery query{&m_connection, {}, false};
    {
        PulseLock lock(m_connection);
        if (!m_connection.CompleteLocked(
                pa_context_get_server_info(m_connection.context(), &onServerInfo, &query))) {
            return -1;
        }
    }
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (sources[i].name == query.source) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::vector<std::string> PulseWaveInList::SourceLines(int device) {
    const std::vector<PulseSource> sources = Sources();
    if (device < 0 || device >= static_cast<int>(sources.size())) {
        return {};
    }
    const PulseSource& source = sources[static_cast<std::size_t>(device)];
    if (source.portDescriptions.empty()) {
        return {source.displayName};
    }
    std::vector<std::string> lines = source.portDescriptions;
    lines.resize(std::min<std::size_t>(lines.size(), kMaxSourceLines));
    return lines;
}

std::unique_ptr<WaveInDevice> PulseWaveInList::CreateDevice(int device) {
    if (device < 0) {
        return std::make_unique<PulseWaveInDevice>("");
    }
    const std::vector<PulseSource> sources = Sources();
    if (device >= static_cast<int>(sources.size())) {
        return nullptr;
    }
    return std::make_unique<PulseWaveInDevice>(sources[static_cast<std::size_t>(device)].name);
}

pa_volume_t PulseWaveInList::VolumeForDb(int volumeDb) {
    if (volumeDb <= kMuteBelowDb) {
        return PA_VOLUME_MUTED;
    }
    return std::min(pa_sw_volume_from_dB(volumeDb), PA_VOLUME_UI_MAX);
}

bool PulseWaveInList::SetRecordSourceAndVolume(int device, int source, int volumeDb) {
    if (device < 0 || source < 0) {
        return true;
    }
    std::lock_guard guard(m_lock);
    const std::vector<PulseSource> sources = listSourcesLocked();
    if (device >= static_cast<int>(sources.size())) {
        m_error = "The sound device no longer exists.";
        return false;
    }
    return selectPortAndVolume(sources[static_cast<std::size_t>(device)], source, volumeDb);
}

bool PulseWaveInList::selectPortAndVolume(const PulseSource& source, int line, int volumeDb) {
    const std::size_t lines = std::max<std::size_t>(source.portNames.size(), 1);
    if (static_cast<std::size_t>(line) >= lines) {
        m_error = "The sound device has no such input.";
        return false;
    }
    pa_context* context = m_connection.context();
    PulseLock lock(m_connection);
    SuccessQuery query{&m_connection, false};
    if (!source.portNames.empty()) {
        const std::string& port = source.portNames[static_cast<std::size_t>(line)];
        if (!m_connection.CompleteLocked(pa_context_set_source_port_by_name(
                context, source.name.c_str(), port.c_str(), &onSuccess, &query)) ||
            !query.success) {
            m_error = "The input could not be selected: " + m_connection.serverError();
            return false;
        }
    }
    pa_cvolume volume;
    pa_cvolume_set(&volume, std::max<std::uint8_t>(source.channels, 1), VolumeForDb(volumeDb));
    const bool set = m_connection.CompleteLocked(pa_context_set_source_volume_by_name(
                         context, source.name.c_str(), &volume, &onSuccess, &query)) &&
                     query.success &&
                     m_connection.CompleteLocked(pa_context_set_source_mute_by_name(
                         context, source.name.c_str(), 0, &onSuccess, &query)) &&
                     query.success;
    if (!set) {
        m_error = "The record volume could not be set: " + m_connection.serverError();
    }
    return set;
}

}  // namespace sonaro
