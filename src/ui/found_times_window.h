#pragma once

#include <QDialog>

#include <cstdint>
#include <string>

class QListWidget;

namespace sonaro {

class SettingsStore;

// "PlayFoundTimeDlg": the times at which keywords were found in one recording. Choosing one
// (double click, Enter or "Play") asks for the recording to play from "BackStep" seconds before
// it, never before the start. Placed at "FINDPLAYWINDOW" X and Y, stored when it closes.
//
// User-interface thread.
class FoundTimesWindow final : public QDialog {
    Q_OBJECT

  public:
    FoundTimesWindow(SettingsStore& settings, QWidget* parent = nullptr);

    // Shows the times of a "Keyword Found at Time" text for the named recording.
    void SetTimes(const std::string& name, const std::string& times);
    void done(int result) override;

    // Where to start for a found time: `backStep` seconds (the "BackStep" text) before it, not
    // below 0.
    static std::int64_t StartFor(std::int64_t foundMs, const std::string& backStep);

  signals:
    // Play from `offsetMs`.
    void playFrom(std::int64_t offsetMs);

  private:
    void choose();

    SettingsStore& m_settings;
    QListWidget* m_times = nullptr;
};

}  // namespace sonaro
