#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// Every setting the program stores: where it lives, its type, its default and its limits. All
// reads and writes go through these entries (`SettingsStore::Read` / `Write`), so a value never
// written reads the same everywhere. Names and sections are the stored format: never rename one.
// scripts/check-settings-schema fails when a setting name is written anywhere else in src/.

namespace sonaro {

struct TextSetting {
    std::string_view section, name, defaultValue;
};

// Stored as decimal text; reads and writes clamp to [min, max].
struct IntSetting {
    std::string_view section, name;
    int defaultValue, min, max;
};

// Stored as "1" or "0"; any text not starting with '0' reads as yes.
struct BoolSetting {
    std::string_view section, name;
    bool defaultValue;
};

// A number that picks one of `count` choices; a stored number outside them is no neighbouring
// choice, so it reads as the default.
struct ChoiceSetting {
    std::string_view section, name;
    int defaultValue, count;
};

// Numbered subsections of a section ("Hotkey\Details\0", "Hotkey\Details\1", ...).
struct SlotSection {
    std::string_view section;
};

// A number in each subsection of a SlotSection.
struct SlotIntSetting {
    SlotSection slotSection;
    std::string_view name;
    int defaultValue, min, max;
};

// A password below a section, kept by `StoredPassword` (sealed "_<name>", legacy plain <name>).
struct PasswordSetting {
    std::string_view section, name;
};

// Text value `name` below "<keyPrefix><component>" of either root, for components that register
// themselves under a name known only at run time.
struct ComponentSetting {
    std::string_view keyPrefix, name;
};

namespace setting {

inline constexpr int kIntMin = INT32_MIN;
inline constexpr int kIntMax = INT32_MAX;

inline constexpr std::string_view kSettings = "Settings";
inline constexpr std::string_view kFindPlay = "FindPlay";
inline constexpr std::string_view kPlayer = "Player";
inline constexpr std::string_view kBackup = "Backup";
inline constexpr std::string_view kMainWindow = "MainWindow";
inline constexpr std::string_view kFindWindow = "FindWindow";
inline constexpr std::string_view kMp3Encoder = "MP3Encoder";
inline constexpr std::string_view kAiffEncode = "AIFFEncode";
inline constexpr std::string_view kFlacEncode = "FLACEncode";
inline constexpr std::string_view kOpusEncode = "OpusEncode";
inline constexpr std::string_view kVoxAudio = "VoxAudio";
inline constexpr std::string_view kRawAudio = "RawAudio";
inline constexpr std::string_view kEmail = "Email";
inline constexpr std::string_view kFtp = "Ftp";
inline constexpr std::string_view kHotKeyDetails = "Hotkey\\Details";

// Recording
inline constexpr TextSetting kRecordDevice{kSettings, "RecordDevice", ""};
inline constexpr IntSetting kRecordDeviceChannel{kSettings, "RecordDeviceChannel", 0, 0, kIntMax};
inline constexpr IntSetting kRecordVolume{kSettings, "RecordVolume", 0, -127, 127};
inline constexpr BoolSetting kVoiceActivate{kSettings, "VoiceActivate", false};
inline constexpr IntSetting kVoiceActivateLevel{kSettings, "VoiceActivateLevel", -18, -127, 127};
// Milliseconds kept before the block that opens the voice gate (0: the half-block rule) and of
// quiet after which the gate closes.
inline constexpr IntSetting kVoicePreRollMs{kSettings, "VoicePreRollMs", 0, 0, 1000};
inline constexpr IntSetting kVoiceHangMs{kSettings, "VoiceHangMs", 5000, 500, 3600000};
inline constexpr BoolSetting kLaunchPlayWhenStop{kSettings, "LaunchPlayWhenStop", false};
inline constexpr BoolSetting kCheckMaxTime{kSettings, "CheckMaxTime", false};
inline constexpr IntSetting kMaxTimeHours{kSettings, "MaxTimeHours", 0, 0, 2};
inline constexpr IntSetting kMaxTimeMinutes{kSettings, "MaxTimeMinutes", 0, 0, 59};
inline constexpr IntSetting kMaxTimeSeconds{kSettings, "MaxTimeSeconds", 0, 0, 59};
inline constexpr BoolSetting kStopReachMaxTime{kSettings, "StopReachMaxTime", true};
// "h:mm:ss"; empty or zero is no limit.
inline constexpr TextSetting kMaxTime{kSettings, "MaxTime", "1:00:00"};
inline constexpr TextSetting kLastRecordingFilePath{kSettings, "LastRecordingFilePath", ""};
inline constexpr BoolSetting kRecordedOneFile{kSettings, "RecordedOneFile", false};
inline constexpr TextSetting kPlaybackDevice{kSettings, "PlaybackDevice", "[Default Sound Out]"};
inline constexpr BoolSetting kInstallWizRun{kSettings, "InstallWizRun", false};

// General
inline constexpr BoolSetting kRecordTone{kSettings, "RecordTone", true};
inline constexpr BoolSetting kStoppedTone{kSettings, "StoppedTone", true};
inline constexpr BoolSetting kIntervalTone{kSettings, "IntervalTone", false};
inline constexpr IntSetting kIntervalSecs{kSettings, "IntervalSecs", 30, kIntMin, kIntMax};
inline constexpr BoolSetting kRecordWhenRun{kSettings, "RecordWhenRun", false};
inline constexpr IntSetting kWarnSpaceBelow{kSettings, "WarnSpaceBelow", 200, kIntMin, kIntMax};
inline constexpr IntSetting kSCheckDate{kSettings, "SCheckDate", 0, kIntMin, kIntMax};
inline constexpr BoolSetting kHaveRun{kSettings, "HaveRun", false};
inline constexpr TextSetting kWebServerUrl{kSettings, "WebServerUrl", ""};
inline constexpr TextSetting kComponentServerUrl{kSettings, "ComponentServerUrl", ""};

// Output: 0 WAV, 1 MP3, 2 AIFF, 3 FLAC, 4 Opus.
inline constexpr ChoiceSetting kFormat{kSettings, "Format", 0, 5};
inline constexpr BoolSetting kPromptForName{kSettings, "PromptForName", false};
inline constexpr TextSetting kFileNameFormat{kSettings, "FileNameFormat", "Untitled %autonumber%"};
inline constexpr IntSetting kAutoNumber{kSettings, "AutoNumber", 1, kIntMin, kIntMax};
// Read with the documents folder's "Sonaro" as the default, known only at run time.
inline constexpr TextSetting kDefaultRecordFolder{kFindPlay, "DefaultRecordFolder", ""};

// Player window: the output by device name, and the volume in dB (the window shows -45 to 0).
inline constexpr TextSetting kPlayerDevice{kPlayer, "Device", "[Default Sound Out]"};
inline constexpr IntSetting kPlayerVolumeDb{kPlayer, "VolumeDB", 0, -127, 127};
// Playing a recording: speed in percent (93 to 110 is normal speed, unfiltered), where the next
// play starts in ms, and the seconds to start before a found keyword.
inline constexpr IntSetting kCurrentSpeed{kFindPlay, "CurrentSpeed", 100, 1, 500};
inline constexpr IntSetting kSlowSpeed{kFindPlay, "SlowSpeed", 50, 1, 99};
inline constexpr IntSetting kFastSpeed{kFindPlay, "FastSpeed", 150, 101, 500};
inline constexpr IntSetting kPlayOffset{kFindPlay, "PlayOffset", 0, 0, kIntMax};
inline constexpr TextSetting kBackStep{kFindPlay, "BackStep", "0"};
// Speech search: the engine's place in the engine list and the speaker profile's name; the
// found-times window's screen position.
inline constexpr IntSetting kSpeechEngine{"SpeechCommand", "Engine", 0, 0, kIntMax};
inline constexpr TextSetting kSpeechSpeaker{"SpeechCommand", "Speaker", ""};
inline constexpr IntSetting kFoundTimesX{"FINDPLAYWINDOW", "X", 252, kIntMin, kIntMax};
inline constexpr IntSetting kFoundTimesY{"FINDPLAYWINDOW", "Y", 420, kIntMin, kIntMax};

// Recordings window: the alternative folder and whether it is used instead of the output folder,
// the sort column and direction, and the page shown (Folder, View Filter, Speech Search, Play
// Options).
inline constexpr BoolSetting kUseRecordFolder{kFindPlay, "UseRecordFolder", false};
inline constexpr TextSetting kRecordFolder{kFindPlay, "RecordFolder", ""};
inline constexpr ChoiceSetting kFindPlaySortColumn{kSettings, "findPlay", 0, 6};
inline constexpr BoolSetting kFindPlayAscend{kSettings, "findPlayAscend", true};
inline constexpr ChoiceSetting kFindWindowTab{"FindWindow", "Tab", 0, 4};

// Recording actions: the last "Save As" folder; the backup's target (CD or folder), folder and
// compression entry (0 GSM, 1 and 2 MP3 8 and 16 kbit/s, 3 WAV GSM 8 kHz).
inline constexpr TextSetting kSaveFolder{kFindPlay, "SaveFolder", ""};
inline constexpr BoolSetting kCompressCd{kBackup, "CompressCD", false};
inline constexpr TextSetting kCompressFolder{kBackup, "CompressFolder", ""};
inline constexpr ChoiceSetting kCompression{kBackup, "Compression", 3, 4};

// Placement records of the recordings window and the player window: left, top, width and height
// of the normal rectangle, and whether the window is maximised. The limits keep a rectangle's
// right and bottom edges within int.
inline constexpr int kScreenLimit = 1 << 20;
inline constexpr IntSetting kFindWindowX{kFindWindow, "X", 160, -kScreenLimit, kScreenLimit};
inline constexpr IntSetting kFindWindowY{kFindWindow, "Y", 80, -kScreenLimit, kScreenLimit};
inline constexpr IntSetting kFindWindowWidth{kFindWindow, "Width", 760, 0, kScreenLimit};
inline constexpr IntSetting kFindWindowHeight{kFindWindow, "Height", 560, 0, kScreenLimit};
inline constexpr BoolSetting kFindWindowMaximized{kFindWindow, "Maximized", false};
inline constexpr IntSetting kPlayerX{kPlayer, "X", 160, -kScreenLimit, kScreenLimit};
inline constexpr IntSetting kPlayerY{kPlayer, "Y", 80, -kScreenLimit, kScreenLimit};
inline constexpr IntSetting kPlayerWidth{kPlayer, "Width", 480, 0, kScreenLimit};
inline constexpr IntSetting kPlayerHeight{kPlayer, "Height", 220, 0, kScreenLimit};
inline constexpr BoolSetting kPlayerMaximized{kPlayer, "Maximized", false};

// Main window
inline constexpr BoolSetting kShowToolbar{kSettings, "ShowToolbar", true};
inline constexpr BoolSetting kShowButtons{kSettings, "bShowButtons", true};
inline constexpr BoolSetting kShowStatusBar{kSettings, "ShowStatusBar", true};
inline constexpr BoolSetting kFloat{kSettings, "Float", false};
// Unset until the window was closed once: the window starts centred.
inline constexpr IntSetting kWindowX{kMainWindow, "X", 0, kIntMin, kIntMax};
inline constexpr IntSetting kWindowY{kMainWindow, "Y", 0, kIntMin, kIntMax};
// Only whether it is set counts: a window placed by the user is not pulled onto the screen.
inline constexpr IntSetting kWindowHeight{kMainWindow, "Height", 0, kIntMin, kIntMax};

// Encoders
inline constexpr BoolSetting kMp3ConstantBitRate{kMp3Encoder, "ConstantBitRate", true};
inline constexpr IntSetting kMp3CbrBitRate{kMp3Encoder, "CBRBitRate", 128, 0, UINT16_MAX};
inline constexpr BoolSetting kMp3HighQuality{kMp3Encoder, "HighQuality", true};
inline constexpr IntSetting kMp3VbrMinBitRate{kMp3Encoder, "VBRMinBitRate", 32, 0, UINT16_MAX};
inline constexpr IntSetting kMp3VbrMaxBitRate{kMp3Encoder, "VBRMaxBitRate", 128, 0, UINT16_MAX};
inline constexpr IntSetting kMp3VbrQuality{kMp3Encoder, "VBRQuality", 4, 0, UINT8_MAX};
inline constexpr BoolSetting kMp3ErrorProtection{kMp3Encoder, "ErrorProtection", false};
inline constexpr IntSetting kMp3ChannelMode{kMp3Encoder, "ChannelMode", 1, 0, UINT8_MAX};
inline constexpr IntSetting kAiffChannels{kAiffEncode, "Channels", 2, 0, UINT8_MAX};
inline constexpr IntSetting kAiffSampleRate{kAiffEncode, "SampleRate", 44100, kIntMin, kIntMax};
inline constexpr IntSetting kAiffSampleSize{kAiffEncode, "SampleSize", 16, kIntMin, kIntMax};
inline constexpr IntSetting kFlacLevel{kFlacEncode, "CompressionLevel", 5, 0, 8};
inline constexpr IntSetting kFlacBits{kFlacEncode, "BitsPerSample", 16, 16, 24};
inline constexpr IntSetting kFlacSampleRate{kFlacEncode, "SampleRate", 44100, kIntMin, kIntMax};
inline constexpr IntSetting kFlacChannels{kFlacEncode, "Channels", 2, 1, 2};
// Bit rate in kbit/s; application 0 voice, 1 audio.
inline constexpr IntSetting kOpusBitRate{kOpusEncode, "BitRate", 64, 6, 510};
inline constexpr IntSetting kOpusApplication{kOpusEncode, "Application", 1, 0, 1};
inline constexpr IntSetting kOpusComplexity{kOpusEncode, "Complexity", 10, 0, 10};
inline constexpr IntSetting kOpusChannels{kOpusEncode, "Channels", 2, 1, 2};

// Headerless audio: ".vox" files read with the "VoxAudio" values, ".raw", ".snd" and ".moh" with
// "RawAudio". Channels 0 counts as 1. Codec: 0 Dialogic ADPCM, 1 G.711 mu-law, 2 A-law, 3 16-bit
// little-endian, 4 8-bit unsigned, 5 8-bit signed, 6 16-bit big-endian, 7 float little-endian,
// 8 float big-endian.
inline constexpr IntSetting kVoxSampleRate{kVoxAudio, "SampleRate", 8000, kIntMin, kIntMax};
inline constexpr IntSetting kVoxChannels{kVoxAudio, "Channels", 1, 0, UINT8_MAX};
inline constexpr ChoiceSetting kVoxCodec{kVoxAudio, "Codec", 0, 9};
inline constexpr IntSetting kRawSampleRate{kRawAudio, "SampleRate", 44100, kIntMin, kIntMax};
inline constexpr IntSetting kRawChannels{kRawAudio, "Channels", 1, 0, UINT8_MAX};
inline constexpr ChoiceSetting kRawCodec{kRawAudio, "Codec", 3, 9};

// Transmit
inline constexpr BoolSetting kSendEmail{kSettings, "SendEmail", false};
inline constexpr BoolSetting kSendFtp{kSettings, "SendFtp", false};
inline constexpr BoolSetting kSendFolder{kSettings, "SendFolder", false};
inline constexpr TextSetting kSendFolderDir{kSettings, "SendFolderDir", ""};
inline constexpr BoolSetting kSendRun{kSettings, "SendRun", false};
inline constexpr TextSetting kSendRunExe{kSettings, "SendRunExe", ""};
inline constexpr BoolSetting kPromptTransmit{kSettings, "bPromptTransmit", true};
// The largest start-up attempts count of the send queue that is still resumed.
inline constexpr IntSetting kFailCount{kSettings, "FailCount", 1, 0, UINT16_MAX};
// The address last used in the "Send to Email Address" dialog.
inline constexpr TextSetting kEmailDialogTo{kSettings, "EmailTo", ""};
inline constexpr TextSetting kOpenExeDir{kSettings, "OpenExeDir", ""};
inline constexpr TextSetting kEmailTo{kEmail, "To", ""};
inline constexpr TextSetting kFtpServer{kFtp, "Server", ""};
inline constexpr TextSetting kFtpUserName{kFtp, "UserName", ""};
inline constexpr TextSetting kFtpDirectory{kFtp, "Directory", "/"};
inline constexpr PasswordSetting kFtpPassword{kFtp, "Password"};
// Encrypt the FTP connection (AUTH TLS) when the server offers it.
inline constexpr BoolSetting kFtpUseSsl{kFtp, "UseSSL", true};
// Log on even where the connection stays unencrypted (the password then crosses in the clear).
inline constexpr BoolSetting kFtpAllowPlainPassword{kFtp, "AllowPlainPassword", false};

// E-mail
inline constexpr BoolSetting kUseMapi{kEmail, "UseMAPI", true};
inline constexpr BoolSetting kUseSmtpHost{kEmail, "UseSMTPHost", false};
inline constexpr BoolSetting kSendDirect{kEmail, "SendDirect", true};
inline constexpr TextSetting kMailSmtpHost{kEmail, "MailSMTPHost", ""};
inline constexpr TextSetting kReplyToEmail{kEmail, "ReplyToEmail", ""};
inline constexpr BoolSetting kSmtpAuthOn{kEmail, "SMTPAuthOn", false};
inline constexpr TextSetting kSmtpUserName{kEmail, "SMTPUserName", ""};
inline constexpr PasswordSetting kSmtpPassword{kEmail, "SMTPPassword"};
inline constexpr BoolSetting kEmailDefaultsSet{kEmail, "DefaultsSet", false};
inline constexpr BoolSetting kEmailSetViewed{kEmail, "SetViewed", false};
// STARTTLS with the mail host when it offers it.
inline constexpr BoolSetting kEmailUseSsl{kEmail, "UseSSL", true};
// Log on to the mail host even where the connection stays unencrypted.
inline constexpr BoolSetting kEmailAllowPlainPassword{kEmail, "AllowPlainPassword", false};

// Hot keys: slots 0 to "MaxID" - 1, each a key code and a command number (-1 none).
inline constexpr IntSetting kHotKeyMaxId{kHotKeyDetails, "MaxID", 0, 0, kIntMax - 1};
inline constexpr SlotSection kHotKeySlots{kHotKeyDetails};
inline constexpr SlotIntSetting kHotKeyKey{kHotKeySlots, "Key", 0, 0, kIntMax};
inline constexpr SlotIntSetting kHotKeyCommand{kHotKeySlots, "Command", -1, kIntMin, kIntMax};

// Components
inline constexpr ComponentSetting kComponentPath{"Software\\Kestrix Software\\Components\\",
                                                 "Path"};

// Every entry, for the tests that check them all.
inline constexpr std::array kAllTextSettings{
    &kRecordDevice,
    &kMaxTime,
    &kLastRecordingFilePath,
    &kPlaybackDevice,
    &kPlayerDevice,
    &kBackStep,
    &kWebServerUrl,
    &kComponentServerUrl,
    &kFileNameFormat,
    &kDefaultRecordFolder,
    &kRecordFolder,
    &kSendFolderDir,
    &kSendRunExe,
    &kEmailDialogTo,
    &kOpenExeDir,
    &kEmailTo,
    &kFtpServer,
    &kFtpUserName,
    &kFtpDirectory,
    &kMailSmtpHost,
    &kReplyToEmail,
    &kSmtpUserName,
    &kSaveFolder,
    &kCompressFolder,
    &kSpeechSpeaker,
};
inline constexpr std::array kAllIntSettings{
    &kRecordDeviceChannel, &kRecordVolume,   &kVoiceActivateLevel,
    &kMaxTimeHours,        &kMaxTimeMinutes, &kMaxTimeSeconds,
    &kIntervalSecs,        &kWarnSpaceBelow, &kSCheckDate,
    &kAutoNumber,          &kWindowX,        &kWindowY,
    &kWindowHeight,        &kMp3CbrBitRate,  &kMp3VbrMinBitRate,
    &kMp3VbrMaxBitRate,    &kMp3VbrQuality,  &kMp3ChannelMode,
    &kAiffChannels,        &kAiffSampleRate, &kAiffSampleSize,
    &kVoxSampleRate,       &kVoxChannels,    &kRawSampleRate,
    &kRawChannels,         &kHotKeyMaxId,    &kFailCount,
    &kPlayerVolumeDb,      &kCurrentSpeed,   &kSlowSpeed,
    &kFastSpeed,           &kPlayOffset,     &kFindWindowWidth,
    &kFindWindowHeight,    &kFindWindowX,    &kFindWindowY,
    &kPlayerWidth,         &kPlayerX,        &kPlayerY,
    &kPlayerHeight,        &kSpeechEngine,   &kFoundTimesX,
    &kFoundTimesY,         &kVoicePreRollMs, &kVoiceHangMs,
    &kFlacLevel,           &kFlacSampleRate, &kFlacBits,
    &kFlacChannels,        &kOpusBitRate,    &kOpusApplication,
    &kOpusChannels,        &kOpusComplexity,
};
inline constexpr std::array kAllBoolSettings{
    &kVoiceActivate,
    &kFindWindowMaximized,
    &kPlayerMaximized,
    &kUseRecordFolder,
    &kFindPlayAscend,
    &kLaunchPlayWhenStop,
    &kCheckMaxTime,
    &kStopReachMaxTime,
    &kRecordedOneFile,
    &kInstallWizRun,
    &kRecordTone,
    &kStoppedTone,
    &kIntervalTone,
    &kRecordWhenRun,
    &kHaveRun,
    &kPromptForName,
    &kShowToolbar,
    &kShowButtons,
    &kShowStatusBar,
    &kFloat,
    &kMp3ConstantBitRate,
    &kMp3HighQuality,
    &kMp3ErrorProtection,
    &kSendEmail,
    &kSendFtp,
    &kSendFolder,
    &kSendRun,
    &kPromptTransmit,
    &kUseMapi,
    &kUseSmtpHost,
    &kSendDirect,
    &kSmtpAuthOn,
    &kEmailDefaultsSet,
    &kEmailSetViewed,
    &kEmailUseSsl,
    &kEmailAllowPlainPassword,
    &kFtpUseSsl,
    &kFtpAllowPlainPassword,
    &kCompressCd,
};
inline constexpr std::array kAllChoiceSettings{
    &kFormat, &kVoxCodec, &kRawCodec, &kFindPlaySortColumn, &kFindWindowTab, &kCompression};
inline constexpr std::array kAllSlotIntSettings{&kHotKeyKey, &kHotKeyCommand};
inline constexpr std::array kAllPasswordSettings{&kFtpPassword, &kSmtpPassword};

}  // namespace setting
}  // namespace sonaro
