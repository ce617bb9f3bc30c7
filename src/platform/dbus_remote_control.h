#pragma once

#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QTimer>

#include <string>
#include <vector>

namespace sonaro {

class Application;
class LRecordingSession;

// The recorder on the session bus: name org.sonaro.Sonaro, object /org/sonaro/Sonaro, interface
// org.sonaro.Sonaro1. Each method is the command option of the same name, applied through
// `Application::ProcessCommandLine` like a forwarded command line. A method whose recording could
// not start answers with the error org.sonaro.Sonaro1.Error.Failed.
//
// The session has no change listener, so State and CurrentFile are compared after every method
// and four times a second, and PropertiesChanged is sent when they differ. RecordedTime changes
// all the time while recording and is only read (like an MPRIS position).
//
// Created, used and destroyed on the user-interface thread.
class DBusRemoteControl final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.sonaro.Sonaro1")
    Q_PROPERTY(QString State READ state)
    Q_PROPERTY(QString CurrentFile READ currentFile)
    Q_PROPERTY(qlonglong RecordedTime READ recordedTime)

  public:
    static constexpr const char* kServiceName = "org.sonaro.Sonaro";
    static constexpr const char* kObjectPath = "/org/sonaro/Sonaro";
    static constexpr const char* kInterface = "org.sonaro.Sonaro1";

    DBusRemoteControl(Application& application, const LRecordingSession& session);
    ~DBusRemoteControl() override;

    // Exports the object and claims the name on the session bus. False when there is no session
    // bus (silently: a headless start has none) or it refused (with a line on standard error).
    bool Register();

    // "Idle", "Recording" or "Paused".
    QString state() const;
    QString currentFile() const;
    // Milliseconds recorded into the current file.
    qlonglong recordedTime() const;

    // A recording was completed: RecordingCompleted(path) goes out.
    void NotifyCompleted(const std::string& path);

  public slots:
    void Record();
    void RecordFile(const QString& path);
    void Pause();
    void Resume();
    void Restart();
    void Done();
    void Show();
    void Hide();
    void Exit();

  signals:
    void RecordingCompleted(const QString& path);

  private:
    void apply(std::vector<std::string> options);
    void sendChangedProperties();

    Application& m_application;
    const LRecordingSession& m_session;
    QTimer m_poll;
    bool m_registered = false;
    QString m_lastState;
    QString m_lastFile;
};

}  // namespace sonaro
