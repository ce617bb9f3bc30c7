#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "audio/audio_sink.h"

namespace sonaro {

// The file side shared by the writers: one file created (or replaced) at open, data appended at
// a tracked end, the header rewritten in place, and the first write failure kept.
//
// After a failed write nothing more is appended: what is on disk stays a clean prefix of the
// recording, and the writer's final header describes exactly that prefix. The header's bytes are
// already allocated when the file opens, so rewriting it succeeds on a full disk too.
//
// While recording, every kCheckpointSeconds of audio the writer refreshes its header's sizes
// (checkpoint()) and syncs the file's data, so that a power loss costs at most that much of the
// recording and the file on disk reads as a valid file at almost every instant.
//
// Write, SeekTo and destruction come from one thread at a time; WriteError from any thread.
class FileWriter : public AudioSink {
  public:
    static constexpr int kCheckpointSeconds = 1;

    ~FileWriter() override;

    std::string WriteError() const override;

  protected:
    FileWriter(int sampleRate, int channels) : AudioSink(sampleRate, channels) {}

    // Creates or replaces `path` (others may read it) and writes `header` at its start. False,
    // with the sink marked unusable and the error kept, when either fails.
    bool openFile(const std::string& path, const std::uint8_t* header, std::size_t headerBytes);
    // The format cannot be written: no file is created and WriteError gives `reason`.
    void refuseFormat(const std::string& reason);
    bool isOpen() const { return m_fd >= 0; }
    bool hasFailed() const { return m_failed.load(std::memory_order_acquire); }

    // Appends at the end of the data; false when the file is closed or a write failed now or
    // earlier.
    bool appendData(const std::uint8_t* data, std::size_t size);
    // Cuts the file to `size` bytes (never below what is there now).
    void truncateTo(std::uint64_t size);
    // Rewrites the start of the file.
    void rewriteHeader(const std::uint8_t* header, std::size_t headerBytes);
    // Rewrites bytes already in the file.
    void rewriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size);
    void closeFile();

    // Checkpoints follow every `bytes` bytes appended (0: none), counted from now.
    void setCheckpointInterval(std::uint64_t bytes);
    // A checkpoint now, for writers that count their interval themselves.
    void syncData();
    // Brings the header up to the data on disk; the sync follows.
    virtual void checkpoint() {}

    // Bytes in the file: header plus the data that reached it.
    std::uint64_t fileEnd() const { return m_end; }

  private:
    void recordError(const char* action, int error);

    int m_fd = -1;
    std::uint64_t m_end = 0;
    std::uint64_t m_checkpointBytes = 0;
    std::uint64_t m_sinceCheckpoint = 0;
    std::string m_path;
    // Written once, before m_failed is set.
    std::string m_error;
    std::atomic<bool> m_failed{false};
};

}  // namespace sonaro
