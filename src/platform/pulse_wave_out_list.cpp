#include "platform/pulse_wave_out_list.h"

#include "platform/pulse_device_names.h"
#include "platform/pulse_wave_out_device.h"

namespace sonaro {
namespace {

struct SinkQuery {
    PulseConnection* connection;
    std::vector<PulseSink> sinks;
};

void onSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    auto* query = static_cast<SinkQuery*>(userdata);
    if (eol == 0 && info != nullptr) {
        PulseSink sink;
        sink.name = info->name != nullptr ? info->name : "";
        sink.displayName = info->description != nullptr ? info->description : sink.name;
        query->sinks.push_back(std::move(sink));
    }
    query->connection->Signal();
}

}  // namespace

PulseWaveOutList::PulseWaveOutList() = default;
PulseWaveOutList::~PulseWaveOutList() = default;

bool PulseWaveOutList::ListSinksLocked(PulseConnection& connection, std::vector<PulseSink>& sinks) {
    SinkQuery query{&connection, {}};
    if (!connection.CompleteLocked(
            pa_context_get_sink_info_list(connection.context(), &onSinkInfo, &query))) {
        return false;
    }
    MakeDisplayNamesUnique(query.sinks);
    sinks = std::move(query.sinks);
    return true;
}

std::vector<std::string> PulseWaveOutList::DeviceNames() {
    std::lock_guard guard(m_lock);
    if (!m_connection.isConnected() && !m_connection.Connect("Sonaro device list")) {
        m_error = m_connection.errorText();
        return {};
    }
    std::vector<PulseSink> sinks;
    {
        PulseLock lock(m_connection);
        if (!ListSinksLocked(m_connection, sinks)) {
            m_error = "The sound server did not list its outputs: " + m_connection.serverError();
            return {};
        }
    }
    std::vector<std::string> names;
    for (PulseSink& sink : sinks) {
        names.push_back(std::move(sink.displayName));
    }
    return names;
}

std::unique_ptr<WaveOutDevice> PulseWaveOutList::CreateDevice(const std::string& name) {
    return std::make_unique<PulseWaveOutDevice>(name);
}

}  // namespace sonaro
