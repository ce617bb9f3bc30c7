#include "recordings/recording_actions.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <utility>

#include "recordings/file_copy.h"
#include "recordings/recording_folder.h"
#include "settings/setting_names.h"
#include "settings/settings_store.h"
#include "support/function_job.h"
#include "support/percent_encoding.h"
#include "support/prompter.h"

namespace sonaro {
namespace {

constexpr const char* kCompanionExtension = ".vrd";

bool IsRegularFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

bool WriteLines(const std::string& path, const std::vector<std::string>& lines) {
    File file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (file == nullptr) {
        return false;
    }
    for (const std::string& line : lines) {
        if (std::fprintf(file.get(), "%s\r\n", line.c_str()) < 0) {
            return false;
        }
    }
    return std::fclose(file.release()) == 0;
}

// A file name as page text: the characters HTML gives a meaning are written as entities.
std::string HtmlText(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            default:
                escaped.push_back(c);
        }
    }
    return escaped;
}

}  // namespace

std::vector<std::string> RecordingFiles(const std::string& folder, const std::string& name,
                                        const std::string& format) {
    std::vector<std::string> files;
    const auto add = [&](const std::string& extension) {
        const std::string path = RecordingPath(folder, name, extension);
        if (IsRegularFile(path) && std::find(files.begin(), files.end(), path) == files.end()) {
            files.push_back(path);
        }
    };
    if (!format.empty()) {
        add(format);
    }
    for (std::string_view extension : kRecordingExtensions) {
        add(std::string(extension));
    }
    return files;
}

std::vector<std::string> TrashRecording(RecycleBin& bin, const std::string& folder,
                                        const std::string& name, const std::string& format) {
    std::vector<std::string> files = RecordingFiles(folder, name, format);
    if (const std::string companion = RecordingPath(folder, name, kCompanionExtension);
        IsRegularFile(companion)) {
        files.push_back(companion);
    }
    std::vector<std::string> failures;
    for (const std::string& file : files) {
        std::string error;
        if (!bin.MoveToTrash(file, error)) {
            failures.push_back(file + ": " + error);
        }
    }
    return failures;
}

std::string PercentEncodeFileName(std::string_view name) {
    return PercentEncode(name, "!");
}

bool WriteIndexPage(const std::string& path, const std::vector<std::string>& files,
                    std::string_view webSite) {
    std::vector<std::string> lines = {
        "<html style=\"color:#202020; font-weight:normal; font-size: 12; "
        "font-family:Arial;\">",
        "<head><title>Sonaro Sound Recorder</title><meta http-equiv=\"Content-Type\" "
        "content=\"text/html; charset=utf-8\"></head><body>",
        "<table width=\"100%\" cellpadding=\"6\" cellspacing=\"0\"><tr bgcolor=\"#e0e0e0\">"
        "<td style=\"border-bottom:1px solid #e34147;\"><b>Sonaro Sound Recorder</b></td>"
        "</tr></table>",
        "<center><table border=\"0\" cellspacing=\"0\">",
        "<tr bgcolor=\"#426792\" style=\"color:#ffffff;\"><td width=\"5\"></td>"
        "<td width=\"250\"><b>Recording</b></td><td width=\"80\">Duration</td>"
        "<td width=\"200\">Data</td></tr>",
    };
    bool white = true;
    for (const std::string& file : files) {
        const std::filesystem::path filePath(file);
        const std::string fileName = filePath.filename().string();
        lines.push_back(std::string("<tr bgcolor=\"#") + (white ? "ffffff" : "eef2fe") +
                        "\"><td></td><td><a href=\"" + PercentEncodeFileName(fileName) + "\">" +
                        HtmlText(filePath.stem().string()) + "</a></td><td></td><td></td></tr>");
        white = !white;
    }
    lines.emplace_back("</table></center>");
    const std::string maker = webSite.empty() ? std::string("Kestrix Audio")
                                              : "<a href=\"" + std::string(webSite) +
                                                    "\" style=\"color:#ffffff;\">Kestrix Audio</a>";
    lines.push_back(
        "<table width=\"100%\" cellspacing=\"0\"><tr bgcolor=\"#123759\" height=\"40\">"
        "<td style=\"color:#ffffff;\"><b>Sonaro Sound Recorder v 3.03</b></td>"
        "<td align=\"right\" style=\"color:#ffffff;\"><b>" +
        maker + "</b></td></tr></table>");
    lines.emplace_back("</body></html>");
    return WriteLines(path, lines);
}

bool WriteBurnList(const std::string& path, const std::vector<std::string>& files,
                   const std::string& indexPage) {
    std::vector<std::string> lines = files;
    lines.push_back(indexPage);
    return WriteLines(path, lines);
}

namespace {

constexpr const char* kBurnArguments = "-clear -show -type data -label %s -list \"%s\" -burn -exit";
constexpr const char* kLaunchDiscorFailedText = "Error launching Discor";
constexpr const char* kDeleteFailedText = "These files could not be moved to the trash:";
constexpr const char* kListFileName = "temp.txt";
constexpr const char* kCdListFileName = "iso.txt";

// `format` with each "%s" replaced by the next value.
std::string Fill(std::string_view format, std::initializer_list<std::string_view> values) {
    std::string text;
    auto next = values.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's' &&
            next != values.end()) {
            text.append(*next++);
            ++i;
        } else {
            text.push_back(format[i]);
        }
    }
    return text;
}

std::string ParentFolder(const std::string& path) {
    return std::filesystem::path(path).parent_path().string();
}

bool HasBackupExtension(const std::string& name) {
    return name.find(".mp3") != std::string::npos || name.find(".wav") != std::string::npos ||
           name.find(".gsm") != std::string::npos;
}

}  // namespace

RecordingActions::RecordingActions(RecordingActionParts parts)
    : m_parts(std::move(parts)), m_siblings(m_parts.launcher) {}

bool RecordingActions::Delete(const std::vector<Item>& items) {
    if (items.empty() || !m_parts.prompter.AskYesNo(kDeleteQuestion, kDeleteTitle)) {
        return false;
    }
    std::vector<std::string> failures;
    for (const Item& item : items) {
        for (std::string& failure :
             TrashRecording(m_parts.bin, item.folder, item.name, item.format)) {
            failures.push_back(std::move(failure));
        }
    }
    if (!failures.empty()) {
        std::string text = kDeleteFailedText;
        for (const std::string& failure : failures) {
            text += "\r\n" + failure;
        }
        m_parts.prompter.ShowError(text, kDeleteTitle);
    }
    return true;
}

bool RecordingActions::SaveAs(const std::string& source, const std::string& target) {
    m_parts.settings.Write(setting::kSaveFolder, ParentFolder(target));
    CopyOutcome outcome;
    FunctionJob copy(m_parts.dispatcher, [&](LProgressReporter& job) {
        job.ReportStatus(std::filesystem::path(source).filename().string(), 1);
        outcome = CopyFileWithProgress(source, target, true, JobShare(job));
    });
    m_parts.prompter.RunWithProgress(kSaveTitle, copy);
    if (outcome.result == CopyResult::Failed) {
        m_parts.prompter.ShowError(Fill(kCopyFailedText, {source}) + "\r\n" + outcome.error,
                                   kCopyFailedTitle);
    }
    return outcome.result == CopyResult::Copied;
}

void RecordingActions::SaveInto(const std::vector<std::string>& files, const std::string& folder) {
    for (const std::string& file : files) {
        const std::string target =
            (std::filesystem::path(folder) / std::filesystem::path(file).filename()).string();
        CopyOutcome outcome;
        FunctionJob copy(m_parts.dispatcher, [&](LProgressReporter& job) {
            job.ReportStatus(std::filesystem::path(file).filename().string(), 1);
            outcome = CopyFileWithProgress(file, target, false, JobShare(job));
        });
        m_parts.prompter.RunWithProgress(kSaveTitle, copy);
        if (outcome.result == CopyResult::Cancelled) {
            break;
        }
        if (outcome.result == CopyResult::Failed) {
            m_parts.prompter.ShowError(Fill(kCopyFailedText, {file}), kCopyFailedTitle);
        }
    }
    m_parts.settings.Write(setting::kSaveFolder, folder);
}

BackupChoice RecordingActions::StoredBackupChoice() const {
    BackupChoice choice;
    choice.toCd = m_parts.settings.Read(setting::kCompressCd);
    choice.folder = m_parts.settings.Read(setting::kCompressFolder);
    choice.entry = static_cast<BackupEntry>(m_parts.settings.Read(setting::kCompression));
    return choice;
}

bool RecordingActions::AcceptBackupChoice(const BackupChoice& choice) {
    if (NeedsMp3Encoder(choice.entry) &&
        !(m_parts.ensureComponent && m_parts.ensureComponent("mp3el"))) {
        return false;
    }
    if (!choice.toCd && choice.folder.empty()) {
        m_parts.prompter.ShowError(kInvalidBackupFolderText, "Compress and Backup Files");
        return false;
    }
    m_parts.settings.Write(setting::kCompressCd, choice.toCd);
    m_parts.settings.Write(setting::kCompressFolder, choice.folder);
    m_parts.settings.Write(setting::kCompression, static_cast<int>(choice.entry));
    return true;
}

bool RecordingActions::Backup(const std::vector<std::string>& files) {
    if (files.empty()) {
        return false;
    }
    const BackupChoice choice = StoredBackupChoice();
    BackupPlan plan;
    plan.files = files;
    plan.entry = choice.entry;
    plan.copyFolder = m_parts.dataFolder + "/TempCopy";
    plan.mp3Encoder = m_parts.mp3Encoder ? m_parts.mp3Encoder() : std::string();
    std::error_code error;
    if (choice.toCd) {
        std::string folder = m_parts.tempFolder + "/backup-XXXXXX";
        if (m_parts.tempFolder.empty() || ::mkdtemp(folder.data()) == nullptr) {
            m_parts.prompter.ShowError("There is no private temporary folder for the disc.",
                                       kBackupIncompleteTitle);
            return false;
        }
        plan.targetFolder = folder;
    } else {
        plan.targetFolder = choice.folder;
        std::filesystem::create_directories(plan.targetFolder, error);
    }
    BackupOutcome outcome;
    FunctionJob job(m_parts.dispatcher,
                    [&](LProgressReporter& self) { outcome = RunBackup(plan, self); });
    m_parts.prompter.RunWithProgress(kBackupTitle, job);
    switch (outcome.result) {
        case BackupResult::Done:
            break;
        case BackupResult::Stopped:
            return false;
        case BackupResult::Missing:
            m_parts.prompter.ShowError(kFileNotFoundText, kBackupIncompleteTitle);
            return false;
        case BackupResult::Unreadable:
        case BackupResult::Failed:
            m_parts.prompter.ShowError(outcome.error, kBackupIncompleteTitle);
            return false;
    }
    if (!choice.toCd) {
        return true;
    }
    std::vector<std::string> written;
    for (const auto& entry : std::filesystem::directory_iterator(plan.targetFolder, error)) {
        if (entry.is_regular_file(error) && HasBackupExtension(entry.path().filename().string())) {
            written.push_back(entry.path().string());
        }
    }
    std::sort(written.begin(), written.end());
    const std::string listFolder = m_parts.dataFolder + "/Temp";
    std::filesystem::create_directories(listFolder, error);
    const HandOffOutcome burned =
        burnList(written, listFolder + "/" + kCdListFileName, plan.targetFolder, "RECORDINGBACKUP");
    if (burned.result != InstallResult::Done) {
        showMissing(Sibling::Discor, kBackupIncompleteTitle);
        return false;
    }
    return true;
}

HandOffOutcome RecordingActions::burnList(const std::vector<std::string>& files,
                                          const std::string& listPath,
                                          const std::string& indexFolder, std::string_view label) {
    const std::string indexPage = indexFolder + "/" + kIndexPageName;
    if (!WriteIndexPage(indexPage, files, m_parts.settings.Read(setting::kWebServerUrl)) ||
        !WriteBurnList(listPath, files, indexPage)) {
        m_parts.prompter.ShowError("Cannot write " + listPath, kBackupIncompleteTitle);
        return {InstallResult::Failed, false};
    }
    HandOffRequest request;
    request.program = Sibling::Discor;
    request.action = "CopyCD";
    const std::string arguments = Fill(kBurnArguments, {label, listPath});
    request.argumentText = arguments;
    request.wait = true;
    request.fallbackArguments = {"--data"};
    request.fallbackArguments.insert(request.fallbackArguments.end(), files.begin(), files.end());
    request.fallbackArguments.push_back(indexPage);
    return handOff(std::move(request));
}

void RecordingActions::Burn(const std::vector<std::string>& files) {
    if (files.empty()) {
        return;
    }
    std::string listPath = m_parts.tempFolder + "/tmpXXXXXX";
    const int fd = m_parts.tempFolder.empty() ? -1 : ::mkstemp(listPath.data());
    if (fd < 0) {
        m_parts.prompter.ShowError("There is no private temporary folder for the burn list.",
                                   kBackupIncompleteTitle);
        return;
    }
    ::close(fd);
    const std::vector<std::string> reversed(files.rbegin(), files.rend());
    const HandOffOutcome burned = burnList(reversed, listPath, m_parts.tempFolder, "BACKUP");
    if (burned.missing) {
        showMissing(Sibling::Discor, kBackupIncompleteTitle);
    }
    ::unlink(listPath.c_str());
    ::unlink((m_parts.tempFolder + "/" + kIndexPageName).c_str());
}

void RecordingActions::EditAudio(const std::string& file) {
    const std::string argument = Fill("\"%s\"", {file});
    if (handOff({Sibling::Moldra, "RunEdit", argument, true, {file}}).missing) {
        showMissing(Sibling::Moldra, "Moldra");
    }
}

void RecordingActions::Transcribe(const std::vector<std::string>& files) {
    for (const std::string& file : files) {
        const std::string argument = Fill("\"%s\"", {file});
        if (handOff({Sibling::Typrel, "Run", argument, false, {file}}).missing) {
            showMissing(Sibling::Typrel, "Typrel");
            return;
        }
    }
}

void RecordingActions::Convert(const std::vector<std::string>& files) {
    if (files.empty()) {
        return;
    }
    const HandOffOutcome loaded = handOff({Sibling::Convro, "Load", "-clear -show", false, {}});
    if (loaded.missing) {
        showMissing(Sibling::Convro, "Convro");
    }
    if (loaded.result != InstallResult::Done) {
        return;
    }
    for (const std::string& file : files) {
        const std::string argument = Fill("\"%s\"", {file});
        handOff({Sibling::Convro, "Convert", argument, false, {file}});
    }
}

void RecordingActions::Launch(Sibling program, const std::vector<std::string>& files) {
    if (program == Sibling::Discor) {
        const std::string folder = m_parts.dataFolder + "/Temp";
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (burnList(files, folder + "/" + kListFileName, folder, "RECORDINGBACKUP").result !=
            InstallResult::Done) {
            m_parts.prompter.ShowError(
                std::string(kLaunchDiscorFailedText) + "\r\n\r\n" +
                    (m_lastHandOff.missing ? SiblingProgramOf(program).missingText : ""),
                kBackupIncompleteTitle);
        }
        return;
    }
    const char* action = program == Sibling::Moldra   ? "RunEdit"
                         : program == Sibling::Convro ? "Convert"
                                                      : "Run";
    if (handOff({program, action, "", false, {}}).missing) {
        showMissing(program, SiblingProgramOf(program).shownName);
    }
}

HandOffOutcome RecordingActions::handOff(HandOffRequest request) {
    m_lastHandOff = m_siblings.HandOff(request);
    return m_lastHandOff;
}

void RecordingActions::showMissing(Sibling program, std::string_view title) {
    m_parts.prompter.ShowError(SiblingProgramOf(program).missingText, title);
}

}  // namespace sonaro
