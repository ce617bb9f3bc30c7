#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "recordings/backup_job.h"
#include "recordings/recycle_bin.h"
#include "recordings/sibling_programs.h"

namespace sonaro {

class Prompter;
class SettingsStore;
class UiDispatcher;

inline constexpr const char* kDeleteQuestion =
    "Are you sure you want to delete the selected recording(s) to the recycling bin?";
inline constexpr const char* kDeleteTitle = "Delete";
inline constexpr const char* kIndexPageName = "index.html";
inline constexpr const char* kSaveTitle = "Save Recording";
inline constexpr const char* kSaveIntoFolderTitle = "Save recordings into folder...";
inline constexpr const char* kCopyFailedText = "Could not save %s to the new location";
inline constexpr const char* kCopyFailedTitle = "The file could not be copied";
inline constexpr const char* kInvalidBackupFolderText = "Invalid Folder Selected For Compression";
inline constexpr const char* kBackupBrowseTitle = "Browse for Local or Network Folder";

// The existing files of the recording `name` in `folder`: its own format first (the case found
// on disk), then each extension of the recordings list in its order.
std::vector<std::string> RecordingFiles(const std::string& folder, const std::string& name,
                                        const std::string& format);

// Moves every file of the recording and its ".vrd" companion into the trash. Gives one line per
// file that stayed, naming it and why.
std::vector<std::string> TrashRecording(RecycleBin& bin, const std::string& folder,
                                        const std::string& name, const std::string& format);

// `name` for a link: ASCII letters, digits and "-_.!~" as they are, every other byte (each byte
// of a UTF-8 character too) as "%XX" with upper-case digits.
std::string PercentEncodeFileName(std::string_view name);

// Writes the backup's "index.html" at `path` listing `files` (by file name; their rows alternate
// ffffff and eef2fe), with the maker's name linked to `webSite` when one is set.
bool WriteIndexPage(const std::string& path, const std::vector<std::string>& files,
                    std::string_view webSite);

// The list handed to a disc burner: one path per line ended by "\r\n", `indexPage` last.
bool WriteBurnList(const std::string& path, const std::vector<std::string>& files,
                   const std::string& indexPage);

// The backup dialog's choices.
struct BackupChoice {
    bool toCd = false;
    std::string folder;
    BackupEntry entry = BackupEntry::WavGsm;
};

struct RecordingActionParts {
    SettingsStore& settings;
    Prompter& prompter;
    UiDispatcher& dispatcher;
    RecycleBin& bin;
    ProgramLauncher& launcher;
    // EnsureComponent of the component manager: installs a missing component, true when present.
    std::function<bool(std::string_view component)> ensureComponent;
    // The MP3 encoder's path (the "mp3el" component); empty when missing.
    std::function<std::string()> mp3Encoder;
    // The program's data folder (its "Temp" and "TempCopy" folders) and the private temporary
    // folder.
    std::string dataFolder;
    std::string tempFolder;
};

// What the recordings window does with the selected recordings besides playing them: the
// question, progress windows and messages around the operations above. User-interface thread.
class RecordingActions {
  public:
    struct Item {
        std::string folder;
        std::string name;
        std::string format;
    };

    explicit RecordingActions(RecordingActionParts parts);

    // Asks first; true when the files were moved (the list is to be scanned again).
    bool Delete(const std::vector<Item>& items);

    // Copies one recording to `target` (confirmed by a save dialog, so it may replace a file)
    // and stores its folder as "SaveFolder". False when cancelled or failed (the failure shown).
    bool SaveAs(const std::string& source, const std::string& target);
    // Copies each file into `folder` under its own name, never replacing one: a file that cannot
    // be copied is reported and skipped, a cancel ends the loop. Stores "SaveFolder".
    void SaveInto(const std::vector<std::string>& files, const std::string& folder);

    // The backup dialog's OK: an MP3 entry needs the encoder, a folder backup a folder; the
    // choices are stored. False keeps the dialog open.
    bool AcceptBackupChoice(const BackupChoice& choice);
    BackupChoice StoredBackupChoice() const;
    // Runs the stored backup of `files` behind "Compressing Files..."; true when it completed.
    bool Backup(const std::vector<std::string>& files);

    // "Burn Files to CD-ROM": a temporary list and index page handed to Discor, then removed.
    void Burn(const std::vector<std::string>& files);
    void EditAudio(const std::string& file);
    void Transcribe(const std::vector<std::string>& files);
    void Convert(const std::vector<std::string>& files);
    // A "Launch" item: the program alone; Discor with the files and an index page in "Temp".
    void Launch(Sibling program, const std::vector<std::string>& files);

    const HandOffOutcome& lastHandOff() const { return m_lastHandOff; }

  private:
    HandOffOutcome handOff(HandOffRequest request);
    // Writes `files` and an index page beside `listPath` ("index.html" in `indexFolder`) and
    // hands the list to the burner, waiting for it.
    HandOffOutcome burnList(const std::vector<std::string>& files, const std::string& listPath,
                            const std::string& indexFolder, std::string_view label);
    void showMissing(Sibling program, std::string_view title);

    RecordingActionParts m_parts;
    SiblingLauncher m_siblings;
    HandOffOutcome m_lastHandOff;
};

}  // namespace sonaro
