#include "platform/mpris_service.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QUrl>

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "app/session_playback.h"
#include "record/recording_session.h"

namespace sonaro {
namespace {

constexpr const char* kServiceName = "org.mpris.MediaPlayer2.sonaro";
constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr qlonglong kMicrosecondsPerSecond = 1000000;

}  // namespace

MprisService::MprisService(LRecordingSession& session, SessionPlayback& playback, Window window)
    : m_session(session), m_playback(playback), m_window(std::move(window)) {
    new MprisRootAdaptor(this);
    auto* player = new MprisPlayerAdaptor(this);
    connect(this, &MprisService::seeked, player, &MprisPlayerAdaptor::Seeked);
}

MprisService::~MprisService() {
    if (m_registered) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(m_serviceName);
        bus.unregisterObject(QString::fromLatin1(kObjectPath));
    }
}

bool MprisService::Register() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    if (!bus.registerObject(QString::fromLatin1(kObjectPath), this,
                            QDBusConnection::ExportAdaptors)) {
        std::fprintf(stderr, "Sonaro: cannot export the MPRIS player: %s\n",
                     qPrintable(bus.lastError().message()));
        return false;
    }
    // Another player of the same name (a second user session's program on a shared bus) keeps
    // its name; this one takes the instance name the MPRIS standard reserves for that.
    m_serviceName = QString::fromLatin1(kServiceName);
    if (!bus.registerService(m_serviceName)) {
        m_serviceName += QStringLiteral(".instance") + QString::number(getpid());
        if (!bus.registerService(m_serviceName)) {
            std::fprintf(stderr, "Sonaro: cannot own the MPRIS name %s: %s\n",
                         qPrintable(m_serviceName), qPrintable(bus.lastError().message()));
            bus.unregisterObject(QString::fromLatin1(kObjectPath));
            return false;
        }
    }
    m_registered = true;
    m_lastStatus = playbackStatus();
    return true;
}

QString MprisService::playbackStatus() const {
    if (!m_playback.IsBusy()) {
        return QStringLiteral("Stopped");
    }
    return m_playback.IsPaused() ? QStringLiteral("Paused") : QStringLiteral("Playing");
}

QDBusObjectPath MprisService::trackId() const {
    return QDBusObjectPath(QStringLiteral("/org/sonaro/Sonaro/track/") + QString::number(m_track));
}

qlonglong MprisService::lengthUs() const {
    const int rate = m_playback.engine().rate();
    return rate > 0 ? m_playback.lengthFrames() * kMicrosecondsPerSecond / rate : 0;
}

QVariantMap MprisService::metadata() const {
    if (!m_playback.IsBusy()) {
        return {{QStringLiteral("mpris:trackid"),
                 QVariant::fromValue(QDBusObjectPath(
                     QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack")))}};
    }
    const QString path = QString::fromStdString(m_playback.currentFile());
    return {{QStringLiteral("mpris:trackid"), QVariant::fromValue(trackId())},
            {QStringLiteral("mpris:length"), lengthUs()},
            {QStringLiteral("xesam:url"), QUrl::fromLocalFile(path).toString()},
            {QStringLiteral("xesam:title"), QFileInfo(path).fileName()}};
}

qlonglong MprisService::position() const {
    const int rate = m_playback.engine().rate();
    if (!m_playback.IsBusy() || rate <= 0) {
        return 0;
    }
    return m_playback.engine().position() * kMicrosecondsPerSecond / rate;
}

bool MprisService::canPlay() const {
    return m_playback.IsBusy() || (m_session.IsIdle() && !m_session.currentPath().empty());
}

void MprisService::Play() {
    if (m_playback.IsPaused()) {
        m_playback.Resume();
    } else if (!m_playback.IsBusy()) {
        m_session.Play();
    }
}

void MprisService::Pause() {
    if (m_playback.IsBusy() && !m_playback.IsPaused()) {
        m_playback.Pause();
    }
}

void MprisService::PlayPause() {
    if (m_playback.IsBusy() && !m_playback.IsPaused()) {
        m_playback.Pause();
    } else {
        Play();
    }
}

void MprisService::Stop() {
    m_playback.StopPlayback();
}

void MprisService::Seek(qlonglong offsetUs) {
    if (!m_playback.IsBusy()) {
        return;
    }
    const qlonglong target = std::max<qlonglong>(0, position() + offsetUs);
    // Past the end is the next track, and there is none.
    if (target >= lengthUs()) {
        Stop();
        return;
    }
    seekTo(target);
}

void MprisService::SetPosition(const QDBusObjectPath& track, qlonglong positionUs) {
    if (!m_playback.IsBusy() || track != trackId() || positionUs < 0 || positionUs >= lengthUs()) {
        return;
    }
    seekTo(positionUs);
}

void MprisService::seekTo(qlonglong positionUs) {
    m_playback.engine().Seek(positionUs * m_playback.engine().rate() / kMicrosecondsPerSecond);
    emit seeked(position());
}

void MprisService::OnPlaybackChanged() {
    const QString file = QString::fromStdString(m_playback.currentFile());
    if (m_playback.IsBusy() && (file != m_lastFile || m_lastStatus == QStringLiteral("Stopped"))) {
        ++m_track;
        m_lastFile = file;
    }
    sendChangedProperties();
}

void MprisService::sendChangedProperties() {
    const QString status = playbackStatus();
    if (!m_registered || status == m_lastStatus) {
        return;
    }
    m_lastStatus = status;
    QVariantMap changed{{QStringLiteral("PlaybackStatus"), status},
                        {QStringLiteral("Metadata"), metadata()},
                        {QStringLiteral("CanPlay"), canPlay()}};
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kPlayerInterface) << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

MprisRootAdaptor::MprisRootAdaptor(MprisService* service)
    : QDBusAbstractAdaptor(service), m_service(service) {}

QString MprisRootAdaptor::identity() const {
    return QStringLiteral("Sonaro Sound Recorder");
}

QString MprisRootAdaptor::desktopEntry() const {
    return QStringLiteral("org.sonaro.Sonaro");
}

void MprisRootAdaptor::Raise() {
    if (m_service->window().raise) {
        m_service->window().raise();
    }
}

void MprisRootAdaptor::Quit() {
    if (m_service->window().quit) {
        m_service->window().quit();
    }
}

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService* service)
    : QDBusAbstractAdaptor(service), m_service(service) {}

}  // namespace sonaro
