#pragma once

#include <string>

#include "app/instance_channel.h"

namespace sonaro {

// The start-up lock as an exclusive flock on a file in the private runtime folder. The kernel
// drops it when the process ends, so a crashed start never blocks the next one.
class FlockStartupLock final : public StartupLock {
  public:
    explicit FlockStartupLock(std::string path);
    ~FlockStartupLock() override;
    FlockStartupLock(const FlockStartupLock&) = delete;
    FlockStartupLock& operator=(const FlockStartupLock&) = delete;

    bool Acquire(int budgetMs) override;
    void Release() override;

  private:
    std::string m_path;
    int m_fd = -1;
};

}  // namespace sonaro
