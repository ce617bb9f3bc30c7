#include "formats/recording_repair.h"

#include <FLAC/stream_decoder.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "formats/byte_order.h"
#include "formats/wav_header.h"

namespace sonaro {
namespace {

constexpr std::uint32_t kAiffOpenFormSize = 46;
constexpr int kMaxChunks = 64;

std::string lowerExtension(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) {
        return {};
    }
    std::string extension = path.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    });
    return extension;
}

RepairResult failed(const std::string& path, const std::string& why) {
    return {RepairOutcome::Failed, "\"" + path + "\": " + why};
}

RepairResult systemFailure(const std::string& path) {
    return failed(path, std::strerror(errno));
}

// A recording opened for its repair: a regular file, read and written in place.
class RepairFile {
  public:
    explicit RepairFile(const std::string& path) {
        m_fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
        struct stat info {};
        if (m_fd >= 0 && ::fstat(m_fd, &info) == 0) {
            m_regular = S_ISREG(info.st_mode);
            m_size = static_cast<std::uint64_t>(info.st_size);
        }
    }
    ~RepairFile() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    RepairFile(const RepairFile&) = delete;
    RepairFile& operator=(const RepairFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    bool isRegular() const { return m_regular; }
    std::uint64_t size() const { return m_size; }

    bool read(std::uint64_t offset, std::uint8_t* out, std::size_t bytes) const {
        return offset + bytes <= m_size &&
               ::pread(m_fd, out, bytes, static_cast<off_t>(offset)) == static_cast<ssize_t>(bytes);
    }
    bool write(std::uint64_t offset, const std::uint8_t* in, std::size_t bytes) {
        return ::pwrite(m_fd, in, bytes, static_cast<off_t>(offset)) == static_cast<ssize_t>(bytes);
    }
    bool put32(std::uint64_t offset, std::uint32_t value, bool bigEndian) {
        std::uint8_t bytes[4];
        bigEndian ? PutBe32(bytes, value) : PutLe32(bytes, value);
        return write(offset, bytes, sizeof bytes);
    }
    // Cuts the file to `size` bytes and syncs it.
    bool finish(std::uint64_t size) {
        return (size == m_size || ::ftruncate(m_fd, static_cast<off_t>(size)) == 0) &&
               ::fdatasync(m_fd) == 0;
    }

  private:
    int m_fd = -1;
    bool m_regular = false;
    std::uint64_t m_size = 0;
};

std::uint32_t clamp32(std::uint64_t value) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(value, kUnknownChunkSize));
}

RepairResult repairWav(const std::string& path, RepairFile& file) {
    std::uint8_t head[12];
    if (!file.read(0, head, sizeof head) || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0 || GetLe32(head + 4) != kUnknownChunkSize) {
        return {};
    }
    std::uint32_t blockAlign = 0;
    std::uint64_t offset = 12;
    for (int chunk = 0; chunk < kMaxChunks; ++chunk) {
        std::uint8_t chunkHead[8];
        if (!file.read(offset, chunkHead, sizeof chunkHead)) {
            break;
        }
        const std::uint32_t size = GetLe32(chunkHead + 4);
        const std::uint64_t body = offset + 8;
        if (std::memcmp(chunkHead, "fmt ", 4) == 0) {
            std::uint8_t format[16];
            if (size < sizeof format || !file.read(body, format, sizeof format)) {
                return failed(path, "the format chunk is cut short");
            }
            blockAlign = GetLe16(format + 12);
        } else if (std::memcmp(chunkHead, "data", 4) == 0) {
            if (size == kUnknownChunkSize) {
                return {};  // completed past 4 GiB: the sizes are unknown for good
            }
            if (blockAlign == 0) {
                return failed(path, "no format precedes the data");
            }
            const std::uint64_t onDisk = file.size() - body;
            const std::uint64_t data = onDisk - onDisk % blockAlign;
            const bool fits = data + (body - 8) <= kUnknownChunkSize;
            if (!file.put32(4,
                            fits ? static_cast<std::uint32_t>(data + body - 8) : kUnknownChunkSize,
                            false) ||
                !file.put32(offset + 4, fits ? static_cast<std::uint32_t>(data) : kUnknownChunkSize,
                            false) ||
                !file.finish(body + data)) {
                return systemFailure(path);
            }
            return {RepairOutcome::Repaired, {}};
        }
        offset = body + size + (size & 1u);
    }
    return failed(path, "no data chunk was found");
}

RepairResult repairAiff(const std::string& path, RepairFile& file) {
    std::uint8_t head[12];
    if (!file.read(0, head, sizeof head) || std::memcmp(head, "FORM", 4) != 0 ||
        std::memcmp(head + 8, "AIFF", 4) != 0 || GetBe32(head + 4) != kAiffOpenFormSize) {
        return {};
    }
    std::uint64_t frameBytes = 0;
    std::uint64_t framesOffset = 0;
    std::uint64_t offset = 12;
    for (int chunk = 0; chunk < kMaxChunks; ++chunk) {
        std::uint8_t chunkHead[8];
        if (!file.read(offset, chunkHead, sizeof chunkHead)) {
            break;
        }
        const std::uint32_t size = GetBe32(chunkHead + 4);
        const std::uint64_t body = offset + 8;
        if (std::memcmp(chunkHead, "COMM", 4) == 0) {
            std::uint8_t common[8];
            if (size < 18 || !file.read(body, common, sizeof common)) {
                return failed(path, "the COMM chunk is cut short");
            }
            frameBytes = std::uint64_t{GetBe16(common)} * ((GetBe16(common + 6) + 7u) / 8);
            framesOffset = body + 2;
        } else if (std::memcmp(chunkHead, "SSND", 4) == 0) {
            std::uint8_t fields[8];
            if (frameBytes == 0 || !file.read(body, fields, sizeof fields)) {
                return failed(path, "no usable COMM chunk precedes the sound");
            }
            const std::uint64_t start = body + 8 + GetBe32(fields);
            if (start > file.size()) {
                return failed(path, "the sound chunk is cut short");
            }
            const std::uint64_t onDisk = file.size() - start;
            const std::uint64_t data = onDisk - onDisk % frameBytes;
            const std::uint64_t chunkBytes = start - body + data;
            if (data == 0 && GetBe32(chunkHead + 4) == chunkBytes && file.size() == start) {
                return {};  // completed without sound
            }
            if (!file.put32(4, clamp32(start + data - 8), true) ||
                !file.put32(framesOffset, clamp32(data / frameBytes), true) ||
                !file.put32(offset + 4, clamp32(chunkBytes), true) || !file.finish(start + data)) {
                return systemFailure(path);
            }
            return {RepairOutcome::Repaired, {}};
        }
        offset = body + size + (size & 1u);
    }
    return failed(path, "no sound chunk was found");
}

// Counts the samples of the whole frames and where the last of them ends.
struct FlacScan {
    std::uint64_t samples = 0;
    std::uint64_t end = 0;
};

FLAC__StreamDecoderWriteStatus countFrame(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                          const FLAC__int32* const*, void* data) {
    static_cast<FlacScan*>(data)->samples += frame->header.blocksize;
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void ignoreError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {}

bool scanFlac(const std::string& path, FlacScan& scan) {
    FLAC__StreamDecoder* decoder = FLAC__stream_decoder_new();
    if (decoder == nullptr) {
        return false;
    }
    bool read =
        FLAC__stream_decoder_init_file(decoder, path.c_str(), countFrame, nullptr, ignoreError,
                                       &scan) == FLAC__STREAM_DECODER_INIT_STATUS_OK;
    while (read) {
        const std::uint64_t before = scan.samples;
        // Metadata blocks count as whole too, so that a file without a frame keeps them all.
        const bool metadata =
            FLAC__stream_decoder_get_state(decoder) <= FLAC__STREAM_DECODER_READ_METADATA;
        if (!FLAC__stream_decoder_process_single(decoder)) {
            break;
        }
        if (scan.samples != before || metadata) {
            FLAC__uint64 position = 0;
            read = FLAC__stream_decoder_get_decode_position(decoder, &position);
            scan.end = position;
        }
        const FLAC__StreamDecoderState state = FLAC__stream_decoder_get_state(decoder);
        if (state == FLAC__STREAM_DECODER_END_OF_STREAM || state == FLAC__STREAM_DECODER_ABORTED) {
            break;
        }
    }
    FLAC__stream_decoder_delete(decoder);
    return read && scan.end > 0;
}

RepairResult repairFlac(const std::string& path, RepairFile& file) {
    // "fLaC", the STREAMINFO block's header, then its 34 bytes; the 36-bit sample count ends it
    // before the 16-byte MD5 signature.
    std::uint8_t head[42];
    if (!file.read(0, head, sizeof head) || std::memcmp(head, "fLaC", 4) != 0 ||
        (head[4] & 0x7F) != 0) {
        return {};
    }
    std::uint8_t* info = head + 8;
    const std::uint64_t counted = (std::uint64_t{info[13] & 0x0Fu} << 32) | GetBe32(info + 14);
    if (counted != 0) {
        return {};
    }
    FlacScan scan;
    if (!scanFlac(path, scan)) {
        return failed(path, "the FLAC stream cannot be read");
    }
    info[13] = static_cast<std::uint8_t>((info[13] & 0xF0) | ((scan.samples >> 32) & 0x0F));
    PutBe32(info + 14, static_cast<std::uint32_t>(scan.samples));
    if (!file.write(8 + 13, info + 13, 5) || !file.finish(std::min(scan.end, file.size()))) {
        return systemFailure(path);
    }
    return {RepairOutcome::Repaired, {}};
}

}  // namespace

RepairResult RepairRecording(const std::string& path) {
    const std::string extension = lowerExtension(path);
    const bool wav = extension == ".wav";
    const bool aiff = extension == ".aif" || extension == ".aiff";
    const bool flac = extension == ".flac";
    if (!wav && !aiff && !flac) {
        return {};
    }
    RepairFile file(path);
    if (!file.isOpen()) {
        return errno == ENOENT ? RepairResult{} : systemFailure(path);
    }
    if (!file.isRegular()) {
        return failed(path, "not a regular file");
    }
    return wav ? repairWav(path, file) : aiff ? repairAiff(path, file) : repairFlac(path, file);
}

}  // namespace sonaro
