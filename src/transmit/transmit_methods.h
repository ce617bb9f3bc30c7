#pragma once

#include <string>

#include "net/net_task.h"
#include "support/send_result.h"

namespace sonaro {

// The four ways a finished recording leaves the machine. Each runs on the sender's thread and
// gives Ok, Stopped (the task's stop ended it) or Failed, with `reason` saying why for the log.
class TransmitMethods {
  public:
    virtual ~TransmitMethods() = default;

    virtual SendResult SendRecordingByEmail(NetTask& task, const std::string& path,
                                            std::string& reason) = 0;
    virtual SendResult UploadRecordingByFtp(NetTask& task, const std::string& path,
                                            std::string& reason) = 0;
    // Never Stopped.
    virtual SendResult CopyRecordingToFolder(const std::string& path, std::string& reason) = 0;
    virtual SendResult RunProgramOnRecording(NetTask& task, const std::string& path,
                                             std::string& reason) = 0;
};

// The last component of `path` (after the last '/').
std::string RecordingName(const std::string& path);

}  // namespace sonaro
