#include "app/session_commands.h"

namespace sonaro {

void SessionCommands::Record(int maxMs) {
    m_session.Record(maxMs);
}

void SessionCommands::RecordToFile(const std::string& path, int maxMs) {
    m_session.RecordToFile(path, maxMs);
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
