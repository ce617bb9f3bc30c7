#pragma once

#include <QWidget>

#include <array>
#include <atomic>

#include "threads/progress_reporter.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace sonaro {

// The status bar's view of a background job (the send queue): while the job reports, the busy
// text, its latest status lines, a bar of its progress and a Cancel button; its failure text stays
// until the user clicks it away or the next one arrives. A progress of 0 means the job has left
// its work: the busy part hides and a cancel request is withdrawn.
//
// Reports arrive on the user-interface thread; IsCancelRequested is asked from the job's thread.
class StatusBarTask : public QWidget, public ProgressListener {
    Q_OBJECT

  public:
    static constexpr const char* kBusyText = "Transmiting...";

    explicit StatusBarTask(QWidget* parent = nullptr);

    bool IsCancelRequested() const override;
    void OnMessage(std::string_view text) override;
    void OnStatus(std::string_view text, int kind) override;
    void OnProgress(double fraction) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void setBusy(bool busy);

    QLabel* m_busy = nullptr;
    QLabel* m_status = nullptr;
    QProgressBar* m_bar = nullptr;
    QPushButton* m_cancel = nullptr;
    QLabel* m_message = nullptr;
    // The job's two status lines.
    std::array<QString, 2> m_lines;
    std::atomic<bool> m_cancelRequested{false};
};

}  // namespace sonaro
