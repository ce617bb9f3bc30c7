#pragma once

#include <string>

#include "audio/audio_source.h"

namespace sonaro {

class SettingsStore;

// What the player window plays: the opener hands it a fresh source every time playback starts,
// the item's title, and whether items before and after it exist.
class PlaySourceProvider {
  public:
    virtual ~PlaySourceProvider() = default;

    // A fresh source at the place and speed the next play should use; unusable when the item
    // cannot be read.
    virtual SourceRef OpenPlaySource() = 0;

    virtual std::string title() const = 0;
    // The title the user typed in the window; also marks it changed.
    virtual void SetTitle(std::string title) = 0;
    virtual bool titleChanged() const = 0;

    virtual bool HasPrevious() const = 0;
    virtual bool HasNext() const = 0;
};

// Opens the recording at `path` as the player hears it: the reader by its extension, moved to
// "PlayOffset" ms, and played at "CurrentSpeed": outside 93 to 110 percent through a time-stretch
// filter, after converting to 22050 Hz when the file's rate is higher (which keeps the stretch's
// transform at 1024 points).
SourceRef OpenPlaySource(const std::string& path, const SettingsStore& settings);

// One recording file with nothing before or after it.
class RecordingFileProvider final : public PlaySourceProvider {
  public:
    RecordingFileProvider(std::string path, std::string title, const SettingsStore& settings)
        : m_path(std::move(path)), m_title(std::move(title)), m_settings(settings) {}

    SourceRef OpenPlaySource() override { return sonaro::OpenPlaySource(m_path, m_settings); }
    std::string title() const override { return m_title; }
    void SetTitle(std::string title) override {
        m_title = std::move(title);
        m_titleChanged = true;
    }
    bool titleChanged() const override { return m_titleChanged; }
    bool HasPrevious() const override { return false; }
    bool HasNext() const override { return false; }

  private:
    std::string m_path;
    std::string m_title;
    const SettingsStore& m_settings;
    bool m_titleChanged = false;
};

}  // namespace sonaro
