#pragma once

#include <pulse/pulseaudio.h>

#include <functional>
#include <string>

namespace sonaro {

// A connection to the sound server on a threaded main loop of its own. Callbacks run on the main
// loop's thread; every other use holds the main loop lock (PulseLock).
//
// Used by one thread at a time besides the main loop's own.
class PulseConnection {
  public:
    static constexpr int kTimeoutMs = 5000;

    PulseConnection();
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Connects to the server named by PULSE_SERVER (or the user's default) within kTimeoutMs.
    // False with errorText() when it cannot. `onFailure` runs on the main loop thread when an
    // established connection breaks.
    bool Connect(const char* clientName, std::function<void()> onFailure = {});
    void Disconnect();
    bool isConnected() const;

    pa_threaded_mainloop* mainloop() const { return m_mainloop; }
    pa_context* context() const { return m_context; }
    const std::string& errorText() const { return m_error; }
    // The server's text for the context's last error.
    std::string serverError() const;

    // With the lock held: waits until `done` holds, the connection breaks or kTimeoutMs passes.
    bool WaitLocked(const std::function<bool()>& done);
    // With the lock held: waits for `operation` to complete and releases it; false on time-out,
    // a null operation or a broken connection.
    bool CompleteLocked(pa_operation* operation);
    // Wakes a WaitLocked; for the callbacks of users.
    void Signal();

  private:
    static void onContextState(pa_context* context, void* self);

    pa_threaded_mainloop* m_mainloop = nullptr;
    pa_context* m_context = nullptr;
    std::function<void()> m_onFailure;
    bool m_ready = false;
    std::string m_error;
};

// Holds the main loop lock of a connection for a scope.
class PulseLock {
  public:
    explicit PulseLock(const PulseConnection& connection) : m_mainloop(connection.mainloop()) {
        pa_threaded_mainloop_lock(m_mainloop);
    }
    ~PulseLock() { pa_threaded_mainloop_unlock(m_mainloop); }
    PulseLock(const PulseLock&) = delete;
    PulseLock& operator=(const PulseLock&) = delete;

  private:
    pa_threaded_mainloop* m_mainloop;
};

}  // namespace sonaro
