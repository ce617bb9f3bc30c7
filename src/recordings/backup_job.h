#pragma once

#include <array>
#include <string>
#include <vector>

#include "recordings/file_copy.h"

namespace sonaro {

// The compression entries of the backup dialog, in their order (the stored "Compression").
enum class BackupEntry { Gsm = 0, Mp3At8 = 1, Mp3At16 = 2, WavGsm = 3 };

inline constexpr std::array<const char*, 4> kBackupEntryNames = {
    "GSM", "MP3: Constant BitRate 8kb/sec", "MP3: Constant BitRate 16kb/sec",
    "WAV: (GSM 6.10) 4kb/sec"};

inline constexpr const char* kBackupTitle = "Compressing Files...";
inline constexpr const char* kBackupIncompleteTitle = "Backup Incomplete";
inline constexpr const char* kFileNotFoundText = "File was not found.";

// ".gsm", ".mp3" or ".wav".
const char* BackupExtension(BackupEntry entry);
bool NeedsMp3Encoder(BackupEntry entry);

enum class ConvertResult { Written, Stopped, Unreadable, WriteFailed };

struct ConvertOutcome {
    ConvertResult result = ConvertResult::WriteFailed;
    std::string error;
};

// Writes `source` as `target` in the entry's format: raw GSM 06.10 at 8000 Hz (a ".gsm" source is
// copied as it is), MP3 at 8 or 16 kbit/s constant bit rate through the encoder program
// `mp3Encoder`, or a GSM 06.10 WAV at 8000 Hz. Stereo is mixed to mono where the format is mono.
// Runs on a job's worker; a stopped or failed conversion removes its partial target.
ConvertOutcome ConvertForBackup(const std::string& source, const std::string& target,
                                BackupEntry entry, const std::string& mp3Encoder,
                                const JobShare& job);

struct BackupPlan {
    std::vector<std::string> files;
    BackupEntry entry = BackupEntry::WavGsm;
    std::string targetFolder;
    // Where each file is copied before it is read ("TempCopy" of the data folder).
    std::string copyFolder;
    std::string mp3Encoder;
};

enum class BackupResult { Done, Stopped, Missing, Unreadable, Failed };

struct BackupOutcome {
    BackupResult result = BackupResult::Done;
    std::string file;   // the file it stopped at
    std::string error;  // why, for Unreadable and Failed
    std::vector<std::string> written;
};

// The backup job's body: each file is copied into the copy folder, converted from that copy
// into the target folder under its own name with the entry's extension, and the copy removed.
// Stops at the first file that cannot be copied, read or written; files written stay.
BackupOutcome RunBackup(const BackupPlan& plan, LProgressReporter& job);

}  // namespace sonaro
