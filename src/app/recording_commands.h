#pragma once

#include <string>

namespace sonaro {

// The commands of the recording session that the command line issues. Called on the
// user-interface thread, in the order the options appear.
class RecordingCommands {
  public:
    // Duration limit of every recording started from the command line: 60 hours.
    static constexpr int kCommandLineMaxMs = 216000000;

    virtual ~RecordingCommands() = default;

    // Starts a new recording or resumes a paused one. True when capture runs afterwards.
    virtual bool Record(int maxMs) = 0;
    // Records into `path` without naming or prompting; an existing file is replaced only when it
    // is a recording. True when capture runs afterwards.
    virtual bool RecordToFile(const std::string& path, int maxMs) = 0;
    virtual void Pause() = 0;
    virtual void Restart() = 0;
    // Stops and completes the current file.
    virtual void Done() = 0;
};

}  // namespace sonaro
