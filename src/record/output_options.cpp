#include "record/output_options.h"

#include "support/prompter.h"

namespace sonaro {
namespace {

constexpr std::string_view kSection = "Settings";

}  // namespace

OutputOptions LoadOutputOptions(const SettingsStore& settings, const FormatSettings& formats,
                                FileNaming& naming) {
    OutputOptions options;
    options.format = formats.GetOutputFormat();
    options.folder = naming.GetOutputFolder();
    options.promptForName = settings.ReadSettingBool(kSection, "PromptForName", false);
    options.pattern =
        settings.ReadSettingString(kSection, "FileNameFormat", kDefaultFileNameFormat);
    return options;
}

std::optional<FieldComplaint> SaveOutputOptions(
    SettingsStore& settings, FormatSettings& formats, FileNaming& naming, Prompter& prompter,
    const std::function<bool(std::string_view)>& ensureComponent, const OutputOptions& options,
    bool nameGroupChanged, bool folderGroupChanged) {
    if (nameGroupChanged) {
        if (!options.promptForName) {
            std::string message;
            if (!ValidateFileNamePattern(options.pattern, &message)) {
                return Balloon(OutputField::Pattern, message, kInvalidFormatTitle);
            }
            settings.WriteSettingString(kSection, "FileNameFormat", options.pattern);
        }
        settings.WriteSettingBool(kSection, "PromptForName", options.promptForName);
        if (options.format == OutputFormat::Mp3 && !ensureComponent(kMp3EncoderComponent)) {
            return Balloon(OutputField::Format, {}, {});
        }
        formats.SetOutputFormat(options.format);
    }
    if (folderGroupChanged) {
        if (!naming.ValidateOutputFolder(options.folder, prompter)) {
            return Balloon(OutputField::Folder, {}, {});
        }
        settings.WriteSettingString("FindPlay", "DefaultRecordFolder", options.folder);
    }
    return std::nullopt;
}

void ResetAutoNumber(SettingsStore& settings) {
    settings.WriteSettingInt(kSection, "AutoNumber", 0);
}

}  // namespace sonaro
