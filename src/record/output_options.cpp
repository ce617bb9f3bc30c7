#include "record/output_options.h"

#include "support/prompter.h"

namespace sonaro {
OutputOptions LoadOutputOptions(const SettingsStore& settings, const FormatSettings& formats,
                                FileNaming& naming) {
    OutputOptions options;
    options.format = formats.GetOutputFormat();
    options.folder = naming.GetOutputFolder();
    options.promptForName = settings.Read(setting::kPromptForName);
    options.pattern = settings.Read(setting::kFileNameFormat);
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
            settings.Write(setting::kFileNameFormat, options.pattern);
        }
        settings.Write(setting::kPromptForName, options.promptForName);
        if (options.format == OutputFormat::Mp3 && !ensureComponent(kMp3EncoderComponent)) {
            return Balloon(OutputField::Format, {}, {});
        }
        formats.SetOutputFormat(options.format);
    }
    if (folderGroupChanged) {
        if (!naming.ValidateOutputFolder(options.folder, prompter)) {
            return Balloon(OutputField::Folder, {}, {});
        }
        settings.Write(setting::kDefaultRecordFolder, options.folder);
    }
    return std::nullopt;
}

void ResetAutoNumber(SettingsStore& settings) {
    settings.Write(setting::kAutoNumber, 0);
}

}  // namespace sonaro
