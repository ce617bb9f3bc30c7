#include "support/blocking_fifo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>

namespace sonaro::test {

bool FinishesBesideFifo(const std::string& path, int ms, const std::function<void()>& work) {
    if (mkfifo(path.c_str(), 0600) != 0) {
        return false;
    }
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    std::thread worker([&] {
        work();
        done.set_value();
    });
    const bool inTime =
        finished.wait_for(std::chrono::milliseconds(ms)) == std::future_status::ready;
    // Without a reader the open fails with ENXIO; with one it succeeds and lets it go on.
    while (finished.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            close(fd);
        }
    }
    worker.join();
    return inTime;
}

}  // namespace sonaro::test
