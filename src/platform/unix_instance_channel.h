#pragma once

#include <cstdio>
#include <functional>
#include <span>
#include <string>

#include "app/instance_channel.h"
#include "threads/ui_dispatcher.h"
#include "threads/worker_thread.h"

namespace sonaro {

// Sending side: connects to the instance socket, sends the block, closes its sending half (so the
// receiver knows the length) and waits for the 4-byte answer.
class UnixInstanceChannel final : public InstanceChannel {
  public:
    explicit UnixInstanceChannel(std::string socketPath) : m_path(std::move(socketPath)) {}

    ForwardResult Forward(std::span<const char> block, int replyMs) override;

  private:
    std::string m_path;
};

// Receiving side, owned by the running instance: a Unix stream socket in the private runtime
// folder. Connections are served one at a time on a worker thread; a peer of another user id is
// refused at once, and anything but exactly one forwarding block followed by the end of the
// sender's data is ignored. Each block is handed to `handler` on the user-interface thread; the
// sender's answer (4 bytes, little-endian 1 or 0 from the handler) goes out after it returned.
class UnixInstanceServer final : public LWorkerThread {
  public:
    using Handler = std::function<bool(std::span<const char> block)>;
    // A sender that does not finish its block within this time is dropped.
    static constexpr int kReceiveMs = 5000;

    UnixInstanceServer(std::string socketPath, UiDispatcher& dispatcher, Handler handler,
                       std::FILE* errors = stderr);
    ~UnixInstanceServer() override;

    // Binds the socket (replacing a stale one: call only while holding the start-up lock, after
    // a forward found no instance) and starts serving. False, with a line on `errors`, when the
    // socket cannot be made.
    bool Listen();
    // Stops serving and removes the socket file if it is still ours.
    void Close();

  protected:
    void Run() override;

  private:
    bool bindSocket();
    void serve(int fd);
    bool peerIsSameUser(int fd);
    bool receiveBlock(int fd, std::string& block);
    void report(const std::string& text);

    std::string m_path;
    UiDispatcher& m_dispatcher;
    Handler m_handler;
    std::FILE* m_errors;
    int m_listenFd = -1;
    unsigned long m_inode = 0;
};

}  // namespace sonaro
