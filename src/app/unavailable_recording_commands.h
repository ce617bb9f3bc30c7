#pragma once

#include <cstdio>

#include "app/recording_commands.h"

namespace sonaro {

// Stands in while the program has no recording session: every command is refused with a line on
// `errors`, so a script that asks for a recording learns that none was made.
class UnavailableRecordingCommands final : public RecordingCommands {
  public:
    explicit UnavailableRecordingCommands(std::FILE* errors = stderr) : m_errors(errors) {}

    void Record(int maxMs) override;
    void RecordToFile(const std::string& path, int maxMs) override;
    void Pause() override;
    void Restart() override;
    void Done() override;

  private:
    void refuse(const char* command);

    std::FILE* m_errors;
};

}  // namespace sonaro
