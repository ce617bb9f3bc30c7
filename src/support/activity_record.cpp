#include "support/activity_record.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

#include "support/signal_safe_text.h"

namespace sonaro {
namespace {

constexpr std::size_t kNameBytes = 260;

std::atomic<long> g_mainThread{0};
std::atomic<int> g_phase{static_cast<int>(ActivityPhase::GlobalsInit)};
std::atomic<int> g_message{0};
std::atomic<int> g_lastCommand{0};
std::atomic<long> g_namedWorker{0};
char g_workerName[kNameBytes];

long currentThread() {
    return static_cast<long>(syscall(SYS_gettid));
}

void appendPhase(SignalSafeText& text, int phase) {
    static constexpr const char* kPhases[] = {nullptr, "GloIni1", "GuiIni2", "GuiDes3", "GloDes4"};
    if (phase == 0) {
        text.append("Ukn0(Msg");
        text.appendNumber(g_message.load());
        text.append("LstCmd");
        text.appendNumber(g_lastCommand.load());
        text.append(")");
    } else if (phase >= 1 && phase <= 4) {
        text.append(kPhases[phase]);
    } else {
        text.append("(Cmd");
        text.appendNumber(phase);
        text.append(")");
    }
}

}  // namespace

void MarkActivityMainThread() {
    g_mainThread.store(currentThread());
    g_phase.store(static_cast<int>(ActivityPhase::GlobalsInit));
}

void SetActivityPhase(ActivityPhase phase) {
    g_phase.store(static_cast<int>(phase));
}

ScopedActivityMessage::ScopedActivityMessage(int message) {
    g_message.store(message);
}

ScopedActivityMessage::~ScopedActivityMessage() {
    g_message.store(0);
}

ScopedActivityCommand::ScopedActivityCommand(int command)
    : m_command(command), m_previous(g_phase.exchange(command)) {}

ScopedActivityCommand::~ScopedActivityCommand() {
    g_phase.store(m_previous);
    g_lastCommand.store(m_command);
}

void RegisterNamedWorker(std::string_view name) {
    g_namedWorker.store(0);
    const std::size_t length = std::min(name.size(), kNameBytes - 1);
    name.copy(g_workerName, length);
    g_workerName[length] = '\0';
    g_namedWorker.store(currentThread());
}

void UnregisterNamedWorker() {
    long self = currentThread();
    g_namedWorker.compare_exchange_strong(self, 0);
}

std::size_t FormatActivityContext(char* out, std::size_t size) {
    SignalSafeText text(out, size);
    const long thread = currentThread();
    if (thread == g_mainThread.load()) {
        text.append("Main");
        appendPhase(text, g_phase.load());
    } else if (thread == g_namedWorker.load()) {
        text.append(g_workerName);
    } else {
        text.append("Other");
    }
    return text.length();
}

}  // namespace sonaro
