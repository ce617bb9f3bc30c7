#include "recordings/backup_job.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "audio/channel_adapters.h"
#include "formats/audio_file_opener.h"
#include "formats/format_settings.h"
#include "formats/gsm_wav_writer.h"
#include "formats/mp3_writer.h"
#include "formats/raw_gsm_writer.h"
#include "formats/source_rate_converter.h"

namespace sonaro {
namespace {

constexpr int kBlockFrames = 4096;
constexpr int kGsmRate = 8000;

SinkRef OpenTarget(const std::string& target, BackupEntry entry, const std::string& mp3Encoder,
                   int rate, int channels) {
    switch (entry) {
        case BackupEntry::Gsm:
            return MakeSink<RawGsmWriter>(target);
        case BackupEntry::WavGsm:
            return MakeSink<GsmWavWriter>(target, kGsmRate);
        case BackupEntry::Mp3At8:
        case BackupEntry::Mp3At16: {
            Mp3Settings settings;
            settings.constantBitRate = true;
            settings.cbrBitRate = entry == BackupEntry::Mp3At8 ? 8 : 16;
            settings.highQuality = false;
            return CreateMp3Writer(mp3Encoder, target, settings, rate, channels);
        }
    }
    return SinkRef();
}

// The sink that takes `channels` channels in front of `sink`.
SinkRef MatchChannels(SinkRef sink, int channels) {
    if (channels == 2 && sink->channels() == 1) {
        return MakeSink<StereoToMonoAdapter>(sink);
    }
    if (channels == 1 && sink->channels() == 2) {
        return MakeSink<MonoToStereoAdapter>(sink);
    }
    return sink;
}

}  // namespace

const char* BackupExtension(BackupEntry entry) {
    switch (entry) {
        case BackupEntry::Gsm:
            return ".gsm";
        case BackupEntry::Mp3At8:
        case BackupEntry::Mp3At16:
            return ".mp3";
        case BackupEntry::WavGsm:
            return ".wav";
    }
    return ".wav";
}

bool NeedsMp3Encoder(BackupEntry entry) {
    return entry == BackupEntry::Mp3At8 || entry == BackupEntry::Mp3At16;
}

ConvertOutcome ConvertForBackup(const std::string& source, const std::string& target,
                                BackupEntry entry, const std::string& mp3Encoder,
                                const JobShare& job) {
    if (entry == BackupEntry::Gsm && LowerExtension(source) == ".gsm") {
        const CopyOutcome copied = CopyFileWithProgress(source, target, true, job);
        switch (copied.result) {
            case CopyResult::Copied:
                return {ConvertResult::Written, {}};
            case CopyResult::Cancelled:
                return {ConvertResult::Stopped, {}};
            case CopyResult::Failed:
                return {ConvertResult::WriteFailed, copied.error};
        }
    }
    if (NeedsMp3Encoder(entry) && mp3Encoder.empty()) {
        return {ConvertResult::WriteFailed,
                "The MP3 encoder is not installed (the package \"lame\" provides it)."};
    }
    SourceRef input = OpenAudioFile(source, {}).source;
    if (input->isUnusable() || input->channels() > 2) {
        return {ConvertResult::Unreadable, "Cannot read the sound of " + source};
    }
    SinkRef sink = OpenTarget(target, entry, mp3Encoder, input->rate(), input->channels());
    if (sink->isUnusable() || sink->sampleRate() <= 0) {
        std::string reason = sink->WriteError();
        sink.reset();
        return {ConvertResult::WriteFailed,
                reason.empty() ? "Cannot write " + target : std::move(reason)};
    }
    input = MakeSourceRateConverter(input, sink->sampleRate());
    SinkRef front = MatchChannels(sink, input->channels());
    const std::int64_t total = std::max<std::int64_t>(input->GetLength(), 1);
    std::vector<InternalSample> block(static_cast<std::size_t>(kBlockFrames * input->channels()));
    ConvertOutcome outcome{ConvertResult::Written, {}};
    for (std::int64_t done = 0; done < input->GetLength();) {
        if (job.IsStopRequested()) {
            outcome = {ConvertResult::Stopped, {}};
            break;
        }
        const int frames =
            static_cast<int>(std::min<std::int64_t>(kBlockFrames, input->GetLength() - done));
        input->Read(block.data(), frames);
        front->Write(block.data(), frames);
        done += frames;
        if (std::string error = sink->WriteError(); !error.empty()) {
            outcome = {ConvertResult::WriteFailed, std::move(error)};
            break;
        }
        job.ReportProgress(static_cast<double>(done) / static_cast<double>(total));
    }
    front.reset();
    // The writer completes its file when its last reference goes.
    sink.reset();
    if (outcome.result != ConvertResult::Written) {
        ::unlink(target.c_str());
    }
    return outcome;
}

BackupOutcome RunBackup(const BackupPlan& plan, LProgressReporter& job) {
    BackupOutcome outcome;
    std::error_code error;
    std::filesystem::create_directories(plan.copyFolder, error);
    const double share = 1.0 / static_cast<double>(std::max<std::size_t>(plan.files.size(), 1));
    for (std::size_t i = 0; i < plan.files.size(); ++i) {
        const std::filesystem::path file(plan.files[i]);
        outcome.file = plan.files[i];
        job.ReportStatus(file.filename().string(), 1);
        const JobShare copyPart(job, share * static_cast<double>(i), share * 0.1);
        const std::string copy =
            (std::filesystem::path(plan.copyFolder) / file.filename()).string();
        const CopyOutcome copied = CopyFileWithProgress(plan.files[i], copy, true, copyPart);
        if (copied.result == CopyResult::Cancelled) {
            outcome.result = BackupResult::Stopped;
            return outcome;
        }
        if (copied.result == CopyResult::Failed) {
            outcome.result = BackupResult::Missing;
            outcome.error = copied.error;
            return outcome;
        }
        const std::string target = (std::filesystem::path(plan.targetFolder) /
                                    (file.stem().string() + BackupExtension(plan.entry)))
                                       .string();
        const JobShare convertPart(job, share * (static_cast<double>(i) + 0.1), share * 0.9);
        const ConvertOutcome converted =
            ConvertForBackup(copy, target, plan.entry, plan.mp3Encoder, convertPart);
        ::unlink(copy.c_str());
        switch (converted.result) {
            case ConvertResult::Written:
                outcome.written.push_back(target);
                break;
            case ConvertResult::Stopped:
                outcome.result = BackupResult::Stopped;
                return outcome;
            case ConvertResult::Unreadable:
                outcome.result = BackupResult::Unreadable;
                outcome.error = converted.error;
                return outcome;
            case ConvertResult::WriteFailed:
                outcome.result = BackupResult::Failed;
                outcome.error = converted.error;
                return outcome;
        }
    }
    outcome.file.clear();
    job.ReportProgress(1.0);
    return outcome;
}

}  // namespace sonaro
