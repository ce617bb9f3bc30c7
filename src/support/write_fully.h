#pragma once

#include <cstddef>
#include <string_view>

namespace sonaro {

// Writes all `size` bytes to `fd`, going on after short writes and EINTR. False on any other
// failure (errno tells which), with part of the data possibly written.
bool WriteFully(int fd, const void* data, std::size_t size);

inline bool WriteFully(int fd, std::string_view bytes) {
    return WriteFully(fd, bytes.data(), bytes.size());
}

}  // namespace sonaro
