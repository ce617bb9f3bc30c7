#pragma once

#include <string>

namespace sonaro {

enum class RepairOutcome {
    Intact,    // nothing to repair: a completed file, another format, or no file
    Repaired,  // the header now describes what is on disk
    Failed,
};

struct RepairResult {
    RepairOutcome outcome = RepairOutcome::Intact;
    std::string reason;  // why it failed
};

// Completes a recording that a crash, a kill or a power loss cut off while it was written,
// picked by its extension. WAV (the writers' open-state header: RIFF size unknown) and AIFF
// (FORM size 46): the sizes of the whole frames or blocks on disk, a partial last one cut away.
// FLAC (a STREAMINFO without a sample count): the file is cut after its last whole frame and the
// count written. MP3 and Opus streams are complete at every page or frame and are left alone.
RepairResult RepairRecording(const std::string& path);

}  // namespace sonaro
