#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "net/net_task.h"
#include "net/send_result.h"

namespace sonaro {

// Minimal HTTP/1.0 over plain TCP, for short exchanges with the maker's servers.

// Sends "GET path" to the URL's host (port 80 unless given) and collects the raw response, status
// line and headers included, until the server closes or `capacity` bytes arrived.
SendResult HttpGet(NetTask& task, std::string_view url, std::string& response,
                   std::size_t capacity);
// Posts `body` as a form; the response is not read.
SendResult HttpPost(NetTask& task, std::string_view url, std::string_view body);

}  // namespace sonaro
