#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/instance_channel.h"
#include "threads/event.h"
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
// folder. One worker thread serves all connections at once, polling the listening socket, the
// stop event and every open connection together. A peer of another user id is refused at once; a
// sender has kReceiveMs to deliver one forwarding block (classic or extended) and end its data,
// or it is closed without an answer, as is anything that is not one well-formed block. Each block
// is handed to `handler` on the user-interface thread, in arrival order; the sender's answer
// (the handler's ForwardAnswer, 4 bytes little-endian) goes out after it returned.
//
// At most kMaxClients connections are held. A new one pushes out the oldest that is still sending
// (a real sender delivers its block within milliseconds of connecting, so the oldest is the one
// most likely stuck); one whose block is with the handler is never pushed out. While every held
// connection waits for its answer, new ones wait in the listen queue.
class UnixInstanceServer final : public LWorkerThread {
  public:
    using Handler = std::function<ForwardAnswer(std::span<const char> block)>;
    static constexpr int kReceiveMs = 2000;
    static constexpr std::size_t kMaxClients = 32;

    UnixInstanceServer(std::string socketPath, UiDispatcher& dispatcher, Handler handler,
                       std::FILE* errors = stderr);
    ~UnixInstanceServer() override;

    // Binds the socket (replacing a stale one: call only while holding the start-up lock, after
    // a forward found no instance) and starts serving. False, with a line on `errors`, when the
    // socket cannot be made.
    bool Listen();
    // Stops serving, closes every connection without an answer and removes the socket file if it
    // is still ours.
    void Close();

  protected:
    void Run() override;

  private:
    struct Client;
    using TimePoint = std::chrono::steady_clock::time_point;

    bool bindSocket();
    // Takes what the listen queue holds; after a failure, accepting pauses until `acceptAfter`.
    void acceptClients(std::vector<Client>& clients, TimePoint& acceptAfter);
    bool peerIsSameUser(int fd);
    // Reads what has arrived. False when the connection is to be closed without an answer.
    bool receive(Client& client);
    bool deliver(Client& client);
    void report(const std::string& text);

    std::string m_path;
    UiDispatcher& m_dispatcher;
    Handler m_handler;
    std::FILE* m_errors;
    int m_listenFd = -1;
    unsigned long m_inode = 0;
    // Set after each handler run; shared with the tasks, which may outlive the server.
    std::shared_ptr<Event> m_answered = std::make_shared<Event>();
    bool m_acceptFailing = false;
};

}  // namespace sonaro
