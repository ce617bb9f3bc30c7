#include "platform/pulse_connection.h"

namespace sonaro {
namespace {

struct Deadline {
    pa_threaded_mainloop* mainloop;
    bool passed = false;
};

void onDeadline(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
    auto* deadline = static_cast<Deadline*>(userdata);
    deadline->passed = true;
    pa_threaded_mainloop_signal(deadline->mainloop, 0);
}

bool contextBroken(pa_context* context) {
    const pa_context_state_t state = pa_context_get_state(context);
    return state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED;
}

}  // namespace

PulseConnection::PulseConnection() = default;

PulseConnection::~PulseConnection() {
    Disconnect();
}

bool PulseConnection::Connect(const char* clientName, std::function<void()> onFailure) {
    Disconnect();
    m_mainloop = pa_threaded_mainloop_new();
    if (m_mainloop == nullptr) {
        m_error = "The sound server's main loop could not be created.";
        return false;
    }
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_mainloop), clientName);
    if (m_context == nullptr) {
        m_error = "The sound server connection could not be created.";
        return false;
    }
    m_onFailure = std::move(onFailure);
    pa_context_set_state_callback(m_context, &PulseConnection::onContextState, this);
    if (pa_threaded_mainloop_start(m_mainloop) < 0) {
        m_error = "The sound server's main loop could not be started.";
        return false;
    }
    PulseLock lock(*this);
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        m_error = "No sound server: " + serverError();
        return false;
    }
    const bool ready =
        WaitLocked([this] { return pa_context_get_state(m_context) == PA_CONTEXT_READY; });
    if (!ready) {
        m_error = "The sound server did not answer: " + serverError();
        return false;
    }
    m_ready = true;
    return true;
}

void PulseConnection::Disconnect() {
    if (m_mainloop != nullptr) {
        pa_threaded_mainloop_stop(m_mainloop);
    }
    if (m_context != nullptr) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }
    if (m_mainloop != nullptr) {
        pa_threaded_mainloop_free(m_mainloop);
        m_mainloop = nullptr;
    }
    m_ready = false;
}

bool PulseConnection::isConnected() const {
    if (m_context == nullptr || !m_ready) {
        return false;
    }
    PulseLock lock(*this);
    return pa_context_get_state(m_context) == PA_CONTEXT_READY;
}

std::string PulseConnection::serverError() const {
    return m_context != nullptr ? pa_strerror(pa_context_errno(m_context)) : "no connection";
}

void PulseConnection::onContextState(pa_context* context, void* self) {
    auto* connection = static_cast<PulseConnection*>(self);
    if (connection->m_ready && contextBroken(context) && connection->m_onFailure) {
        connection->m_onFailure();
    }
    pa_threaded_mainloop_signal(connection->m_mainloop, 0);
}

bool PulseConnection::WaitLocked(const std::function<bool()>& done) {
    Deadline deadline{m_mainloop};
    pa_time_event* timer = pa_context_rttime_new(
        m_context, pa_rtclock_now() + static_cast<pa_usec_t>(kTimeoutMs) * PA_USEC_PER_MSEC,
        &onDeadline, &deadline);
    bool result = false;
    for (;;) {
        if (done()) {
            result = true;
            break;
        }
        if (deadline.passed || contextBroken(m_context)) {
            break;
        }
        pa_threaded_mainloop_wait(m_mainloop);
    }
    if (timer != nullptr) {
        pa_threaded_mainloop_get_api(m_mainloop)->time_free(timer);
    }
    return result;
}

bool PulseConnection::CompleteLocked(pa_operation* operation) {
    if (operation == nullptr) {
        return false;
    }
    const bool done = WaitLocked(
        [operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
    if (!done) {
        pa_operation_cancel(operation);
    }
    pa_operation_unref(operation);
    return done;
}

void PulseConnection::Signal() {
    pa_threaded_mainloop_signal(m_mainloop, 0);
}

}  // namespace sonaro
