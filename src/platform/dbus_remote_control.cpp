#include "platform/dbus_remote_control.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>

#include <cstdio>

#include "app/application.h"
#include "record/recording_session.h"

namespace sonaro {
namespace {

constexpr int kPollMs = 250;
// Argument 0 of the command lines the methods apply, as a forwarded line would carry it.
constexpr const char* kProgramWord = "sonaro";

}  // namespace

DBusRemoteControl::DBusRemoteControl(Application& application, const LRecordingSession& session)
    : m_application(application), m_session(session) {
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &DBusRemoteControl::sendChangedProperties);
}

DBusRemoteControl::~DBusRemoteControl() {
    if (m_registered) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(QString::fromLatin1(kServiceName));
        bus.unregisterObject(QString::fromLatin1(kObjectPath));
    }
}

bool DBusRemoteControl::Register() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    // The object first: a client that sees the name can call it at once.
    if (!bus.registerObject(QString::fromLatin1(kObjectPath), this,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                QDBusConnection::ExportAllProperties)) {
        std::fprintf(stderr, "Sonaro: cannot export %s on the session bus: %s\n", kObjectPath,
                     qPrintable(bus.lastError().message()));
        return false;
    }
    if (!bus.registerService(QString::fromLatin1(kServiceName))) {
        std::fprintf(stderr, "Sonaro: cannot own the name %s on the session bus: %s\n",
                     kServiceName, qPrintable(bus.lastError().message()));
        bus.unregisterObject(QString::fromLatin1(kObjectPath));
        return false;
    }
    m_registered = true;
    m_lastState = state();
    m_lastFile = currentFile();
    m_poll.start();
    return true;
}

QString DBusRemoteControl::state() const {
    if (m_session.isPaused()) {
        return QStringLiteral("Paused");
    }
    return m_session.captureRunning() ? QStringLiteral("Recording") : QStringLiteral("Idle");
}

QString DBusRemoteControl::currentFile() const {
    return QString::fromStdString(m_session.currentPath());
}

qlonglong DBusRemoteControl::recordedTime() const {
    return m_session.recordedMs();
}

void DBusRemoteControl::NotifyCompleted(const std::string& path) {
    sendChangedProperties();
    if (m_registered) {
        emit RecordingCompleted(QString::fromStdString(path));
    }
}

void DBusRemoteControl::apply(std::vector<std::string> options) {
    options.insert(options.begin(), kProgramWord);
    const bool done = m_application.ProcessCommandLine(options);
    sendChangedProperties();
    if (!done && calledFromDBus()) {
        sendErrorReply(QString::fromLatin1(kInterface) + QStringLiteral(".Error.Failed"),
                       QStringLiteral("The recording could not start."));
    }
}

void DBusRemoteControl::Record() {
    apply({"-record"});
}

void DBusRemoteControl::RecordFile(const QString& path) {
    // A relative path would be taken from the recorder's folder, which the caller cannot know.
    if (!path.startsWith(u'/')) {
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("The path must be absolute."));
        return;
    }
    apply({"-recordfile", path.toStdString()});
}

void DBusRemoteControl::Pause() {
    apply({"-pause"});
}

void DBusRemoteControl::Resume() {
    apply({"-resume"});
}

void DBusRemoteControl::Restart() {
    apply({"-restart"});
}

void DBusRemoteControl::Done() {
    apply({"-done"});
}

void DBusRemoteControl::Show() {
    apply({"-show"});
}

void DBusRemoteControl::Hide() {
    apply({"-hide"});
}

void DBusRemoteControl::Exit() {
    apply({"-exit"});
}

void DBusRemoteControl::sendChangedProperties() {
    if (!m_registered) {
        return;
    }
    QVariantMap changed;
    const QString nowState = state();
    const QString nowFile = currentFile();
    if (nowState != m_lastState) {
        changed.insert(QStringLiteral("State"), nowState);
        m_lastState = nowState;
    }
    if (nowFile != m_lastFile) {
        changed.insert(QStringLiteral("CurrentFile"), nowFile);
        m_lastFile = nowFile;
    }
    if (changed.isEmpty()) {
        return;
    }
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kInterface) << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

}  // namespace sonaro
