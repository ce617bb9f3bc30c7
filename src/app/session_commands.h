#pragma once

#include "app/recording_commands.h"
#include "record/recording_session.h"

namespace sonaro {

// The command line's recording commands carried out by the recording session.
class SessionCommands final : public RecordingCommands {
  public:
    explicit SessionCommands(LRecordingSession& session) : m_session(session) {}

    bool Record(int maxMs) override;
    bool RecordToFile(const std::string& path, int maxMs) override;
    void Pause() override;
    void Restart() override;
    void Done() override;

  private:
    LRecordingSession& m_session;
};

}  // namespace sonaro
