#include "net/mail_handoff.h"

#include <ctime>

#include "net/mime_message.h"
#include "threads/child_process.h"

namespace sonaro {
namespace {

constexpr int kStopPollMs = 200;
constexpr std::size_t kWriteSlice = 16 * 1024;

std::string findProgram(const std::string& name) {
    std::string path = FindProgramOnPath(name);
    if (path.empty() && name.find('/') == std::string::npos) {
        for (const char* folder : {"/usr/sbin/", "/usr/lib/"}) {
            path = FindProgramOnPath(folder + name);
            if (!path.empty()) {
                break;
            }
        }
    }
    return path;
}

// The program's standard input; local submission takes "\n" line ends, so "\r\n" becomes "\n".
class PipeSink final : public MessageSink {
  public:
    PipeSink(ChildProcess& child, NetTask& task) : m_child(child), m_task(task) {}

    SendResult Send(std::string_view bytes, int) override {
        std::string converted;
        converted.reserve(bytes.size());
        for (const char c : bytes) {
            if (m_pendingCr && c != '\n') {
                converted += '\r';
            }
            m_pendingCr = c == '\r';
            if (!m_pendingCr) {
                converted += c;
            }
        }
        std::string_view rest(converted);
        while (!rest.empty()) {
            if (m_task.IsStopRequested()) {
                return SendResult::Stopped;
            }
            const std::string_view slice = rest.substr(0, kWriteSlice);
            if (!m_child.writeInput(slice)) {
                return SendResult::Failed;
            }
            rest.remove_prefix(slice.size());
        }
        return SendResult::Ok;
    }

  private:
    ChildProcess& m_child;
    NetTask& m_task;
    bool m_pendingCr = false;
};

bool waitForExit(ChildProcess& child, NetTask& task, int budgetMs) {
    for (int waited = 0; waited < budgetMs; waited += kStopPollMs) {
        if (task.IsStopRequested()) {
            break;
        }
        if (const std::optional<int> code = child.wait(kStopPollMs)) {
            return *code == 0;
        }
    }
    child.kill();
    return false;
}

}  // namespace

bool SendViaMapi(const MailMessage& message, NetTask& task, const MailHandoffOptions& options) {
    if (WithoutLineBreaks(message.to).find_first_not_of(", ") == std::string::npos) {
        return false;
    }
    SpawnOptions spawn;
    spawn.argv = {findProgram(options.program), "-t", "-oi"};
    spawn.pipeStdin = true;
    ChildProcess child;
    if (spawn.argv.front().empty() || !child.start(spawn)) {
        return false;
    }
    const MimeContent content{message.replyTo, message.to, message.subject, message.body,
                              message.attachments};
    MimeOptions mime;
    mime.dotStuff = false;
    PipeSink sink(child, task);
    if (WriteMimeMessage(content, std::time(nullptr), mime, sink, task) != SendResult::Ok) {
        child.kill();
        return false;
    }
    child.closeInput();
    return waitForExit(child, task, options.exitBudgetMs);
}

bool IsMapiAvailable(const MailHandoffOptions& options) {
    return !findProgram(options.program).empty();
}

}  // namespace sonaro
