#include "app/unavailable_recording_commands.h"

namespace sonaro {

void UnavailableRecordingCommands::refuse(const char* command) {
    std::fprintf(m_errors,
                 "Sonaro: %s refused: this build has no recording session; nothing was recorded\n",
                 command);
    std::fflush(m_errors);
}

void UnavailableRecordingCommands::Record(int) {
    refuse("Record");
}

void UnavailableRecordingCommands::RecordToFile(const std::string&, int) {
    refuse("RecordToFile");
}

void UnavailableRecordingCommands::Pause() {
    refuse("Pause");
}

void UnavailableRecordingCommands::Restart() {
    refuse("Restart");
}

void UnavailableRecordingCommands::Done() {
    refuse("Done");
}

}  // namespace sonaro
