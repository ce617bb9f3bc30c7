#include "ui/qt_prompter.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <string>

#include "threads/progress_reporter.h"

namespace sonaro {
namespace {

constexpr int kJobPollMs = 50;

QString toQt(std::string_view text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()))
        .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QMessageBox::StandardButtons buttonsOf(PromptButtons buttons) {
    switch (buttons) {
        case PromptButtons::Ok:
            return QMessageBox::Ok;
        case PromptButtons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case PromptButtons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case PromptButtons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon iconOf(PromptIcon icon) {
    switch (icon) {
        case PromptIcon::None:
            return QMessageBox::NoIcon;
        case PromptIcon::Information:
            return QMessageBox::Information;
        case PromptIcon::Warning:
            return QMessageBox::Warning;
        case PromptIcon::Error:
            return QMessageBox::Critical;
        case PromptIcon::Question:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton buttonOf(PromptAnswer answer) {
    switch (answer) {
        case PromptAnswer::Ok:
            return QMessageBox::Ok;
        case PromptAnswer::Cancel:
            return QMessageBox::Cancel;
        case PromptAnswer::Yes:
            return QMessageBox::Yes;
        case PromptAnswer::No:
            return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

PromptAnswer answerOf(int button, PromptAnswer fallback) {
    switch (button) {
        case QMessageBox::Ok:
            return PromptAnswer::Ok;
        case QMessageBox::Cancel:
            return PromptAnswer::Cancel;
        case QMessageBox::Yes:
            return PromptAnswer::Yes;
        case QMessageBox::No:
            return PromptAnswer::No;
        default:
            return fallback;
    }
}

// Shows a job's reports in a progress dialog; its two status lines form the label.
class ProgressWindowListener final : public ProgressListener {
  public:
    ProgressWindowListener(QProgressDialog& dialog, Prompter& prompter, std::string title)
        : m_dialog(dialog), m_prompter(prompter), m_title(std::move(title)) {}

    bool IsCancelRequested() const override { return m_cancelled.load(); }
    void OnMessage(std::string_view text) override {
        m_prompter.ShowMessage(
            {text, m_title, PromptButtons::Ok, PromptIcon::Error, PromptAnswer::Ok});
    }
    void OnStatus(std::string_view text, int kind) override {
        m_lines[kind == 0 ? 0 : 1] = toQt(text);
        m_dialog.setLabelText(m_lines[0] + QStringLiteral("\n") + m_lines[1]);
    }
    void OnProgress(double fraction) override {
        m_dialog.setValue(static_cast<int>(fraction * 100.0 + 0.5));
    }
    void cancel() { m_cancelled.store(true); }

  private:
    QProgressDialog& m_dialog;
    Prompter& m_prompter;
    std::string m_title;
    QString m_lines[2];
    std::atomic<bool> m_cancelled{false};
};

}  // namespace

bool QtPrompter::IsHeadless() {
    return QGuiApplication::platformName() == QStringLiteral("offscreen");
}

PromptAnswer QtPrompter::ShowMessage(const PromptMessage& message) {
    if (IsHeadless()) {
        std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(message.title.size()),
                     message.title.data(), static_cast<int>(message.text.size()),
                     message.text.data());
        return message.defaultAnswer;
    }
    QMessageBox box(iconOf(message.icon), toQt(message.title), toQt(message.text),
                    buttonsOf(message.buttons), m_owner.data());
    box.setDefaultButton(buttonOf(message.defaultAnswer));
    return answerOf(box.exec(), message.defaultAnswer);
}

void QtPrompter::RunWithProgress(std::string_view title, LProgressReporter& job) {
    QProgressDialog dialog(m_owner.data());
    dialog.setWindowTitle(toQt(title));
    dialog.setRange(0, 100);
    dialog.setMinimumDuration(0);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setWindowModality(Qt::WindowModal);
    ProgressWindowListener listener(dialog, *this, std::string(title));
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!job.IsRunning()) {
            loop.quit();
        }
    });
    QObject::connect(&dialog, &QProgressDialog::canceled, &loop, [&] {
        listener.cancel();
        job.Stop();
        loop.quit();
    });
    job.SetListener(&listener);
    job.Start();
    dialog.show();
    poll.start(kJobPollMs);
    loop.exec();
    job.Stop();
    job.SetListener(nullptr);
}

}  // namespace sonaro
