#pragma once

namespace sonaro {

// Result of every transmit, mail, FTP, download and network operation. `Stopped` ends a chain at
// once.
enum class SendResult : int { Ok = 0, Stopped = 1, Failed = 2 };

}  // namespace sonaro
