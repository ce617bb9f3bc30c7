#pragma once

#include <functional>
#include <string>

namespace sonaro::test {

// Makes a FIFO at `path` that nobody writes to, runs `work` on a thread and tells whether it
// ended within `ms`. A plain open of the FIFO for reading waits until a writer comes, so a reader
// that is still waiting at the deadline is released by opening the FIFO for writing; the call
// always returns and the thread is joined. False also when the FIFO cannot be made.
bool FinishesBesideFifo(const std::string& path, int ms, const std::function<void()>& work);

}  // namespace sonaro::test
