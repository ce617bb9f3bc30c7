#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "formats/format_settings.h"
#include "record/file_naming.h"
#include "support/field_complaint.h"

namespace sonaro {

class Prompter;

// The Output page's values.
struct OutputOptions {
    OutputFormat format = OutputFormat::Wav;
    std::string folder;          // "DefaultRecordFolder" of "FindPlay"
    bool promptForName = false;  // "PromptForName"
    std::string pattern;         // "FileNameFormat"
};

enum class OutputField : int { Format = 0, Folder = 1, Pattern = 2 };

// The component that encodes MP3.
inline constexpr std::string_view kMp3EncoderComponent = "mp3el";

OutputOptions LoadOutputOptions(const SettingsStore& settings, const FormatSettings& formats,
                                FileNaming& naming);

// Group 1 (format and name): with "Use this:" the pattern is checked and written, then
// "PromptForName"; choosing MP3 asks `ensureComponent` for the encoder (false refuses), then
// "Format". Group 2: the folder rules of FileNaming (asking through `prompter`), then
// "DefaultRecordFolder". Stops at the first refusal; what earlier steps wrote stays written.
std::optional<FieldComplaint> SaveOutputOptions(
    SettingsStore& settings, FormatSettings& formats, FileNaming& naming, Prompter& prompter,
    const std::function<bool(std::string_view)>& ensureComponent, const OutputOptions& options,
    bool nameGroupChanged, bool folderGroupChanged);

// "Reset Auto Number": the next counter value is 000.
void ResetAutoNumber(SettingsStore& settings);

}  // namespace sonaro
