#include "app/session_commands.h"

namespace sonaro {

bool SessionCommands::Record(int maxMs) {
    return m_session.Record(maxMs);
}

bool SessionCommands::RecordToFile(const std::string& path, int maxMs) {
    return m_session.RecordToFile(path, maxMs);
}

void SessionCommands::Pause() {
    m_session.Pause();
}

void SessionCommands::Restart() {
    m_session.Restart();
}

void SessionCommands::Done() {
    m_session.Done();
}

}  // namespace sonaro
