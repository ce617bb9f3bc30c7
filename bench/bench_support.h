#pragma once

// What the network benchmarks share: the test servers of tests/support/, curl as the peer, and
// the files they send.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "threads/child_process.h"

namespace sonaro::bench {

// `size` bytes of the same pseudo-random data in every run.
inline void WriteRandomFile(const std::string& path, std::size_t size) {
    std::mt19937_64 generator(42);
    std::vector<std::uint64_t> block(1 << 17);
    std::ofstream out(path, std::ios::binary);
    for (std::size_t written = 0; written < size;) {
        for (auto& word : block) {
            word = generator();
        }
        const std::size_t take = std::min(size - written, block.size() * sizeof(std::uint64_t));
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(take));
        written += take;
    }
}

// Starts tests/support/net_servers.py with `arguments`; the port it listens on, 0 on failure.
inline std::uint16_t StartTestServer(ChildProcess& child,
                                     const std::vector<std::string>& arguments) {
    SpawnOptions options;
    options.argv = {access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3",
                    std::string(SONARO_SOURCE_DIR) + "/tests/support/net_servers.py"};
    options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
    options.pipeStdout = true;
    if (!child.start(options)) {
        return 0;
    }
    std::string line;
    char c = 0;
    while (child.readOutput(&c, 1) == 1 && c != '\n') {
        line += c;
    }
    return static_cast<std::uint16_t>(std::stoi(line.empty() ? "0" : line));
}

// Runs curl quietly with `arguments`; true when it succeeded.
inline bool RunCurl(const std::vector<std::string>& arguments) {
    SpawnOptions options;
    options.argv = {"curl", "--silent", "--show-error"};
    options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
    ChildProcess curl;
    return curl.start(options) && curl.wait(-1) == 0;
}

// Empties each of `folders`, keeping the folders.
inline void ClearFolders(const std::vector<std::filesystem::path>& folders) {
    for (const auto& folder : folders) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            std::filesystem::remove_all(entry.path());
        }
    }
}

inline void SetBytesProcessed(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

}  // namespace sonaro::bench
