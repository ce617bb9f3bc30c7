#pragma once

#include <QString>

#include <optional>
#include <string>

class QWidget;

namespace sonaro {

class FileNaming;
class Prompter;

inline constexpr const char* kOutputFolderCaption = "Locate output folder:";

// A folder chooser starting at `current`; nothing when cancelled.
std::optional<std::string> ChooseFolder(QWidget* owner, const QString& caption,
                                        const std::string& current);

// `BrowseOutputFolder`: the folder picker titled "Locate output folder:"; a folder on a volume
// without free space is refused with "No free space" and the picker shows again. Nothing when
// cancelled.
std::optional<std::string> BrowseOutputFolder(QWidget* owner, FileNaming& naming,
                                              Prompter& prompter, const std::string& current);

// `PromptForFileName`: the "Enter File Name" prompt; nothing when cancelled. The caller cleans
// and checks the answer.
std::optional<std::string> PromptForFileName(QWidget* owner);

}  // namespace sonaro
