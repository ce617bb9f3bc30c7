#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <functional>

namespace sonaro {

class LRecordingSession;
class SessionPlayback;

// MPRIS 2 for the recorder's player (the last recording, played by the session's Play), so
// media keys and the desktop's media widgets control it: bus name org.mpris.MediaPlayer2.sonaro
// (org.mpris.MediaPlayer2.sonaro.instance<pid> when that is taken), object
// /org/mpris/MediaPlayer2 with the root and player interfaces. PlaybackStatus and Metadata are
// announced with PropertiesChanged when playback starts, pauses or stops; Position never is
// (Seeked says where a jump went).
//
// Created, used and destroyed on the user-interface thread.
class MprisService final : public QObject {
    Q_OBJECT

  public:
    struct Window {
        std::function<void()> raise;
        std::function<void()> quit;
    };

    MprisService(LRecordingSession& session, SessionPlayback& playback, Window window);
    ~MprisService() override;

    // Exports the object, then claims the name. False when there is no session bus or it refused
    // (with a line on standard error).
    bool Register();
    // Playback started, paused or stopped.
    void OnPlaybackChanged();

    // The player interface's operations and properties, in MPRIS units (microseconds).
    QString playbackStatus() const;
    QVariantMap metadata() const;
    qlonglong position() const;
    bool canPlay() const;
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Seek(qlonglong offsetUs);
    void SetPosition(const QDBusObjectPath& track, qlonglong positionUs);

    const Window& window() const { return m_window; }

  signals:
    void seeked(qlonglong positionUs);

  private:
    QDBusObjectPath trackId() const;
    qlonglong lengthUs() const;
    void seekTo(qlonglong positionUs);
    void sendChangedProperties();

    LRecordingSession& m_session;
    SessionPlayback& m_playback;
    Window m_window;
    QString m_serviceName;
    bool m_registered = false;
    // Each file started is a new track.
    int m_track = 0;
    QString m_lastStatus;
    QString m_lastFile;
};

// org.mpris.MediaPlayer2
class MprisRootAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ yes)
    Q_PROPERTY(bool CanRaise READ yes)
    Q_PROPERTY(bool HasTrackList READ no)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ none)
    Q_PROPERTY(QStringList SupportedMimeTypes READ none)

  public:
    explicit MprisRootAdaptor(MprisService* service);

    bool yes() const { return true; }
    bool no() const { return false; }
    QString identity() const;
    QString desktopEntry() const;
    QStringList none() const { return {}; }

  public slots:
    void Raise();
    void Quit();

  private:
    MprisService* m_service;
};

// org.mpris.MediaPlayer2.Player
class MprisPlayerAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ one WRITE setRate)
    Q_PROPERTY(double MinimumRate READ one)
    Q_PROPERTY(double MaximumRate READ one)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ one WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ no)
    Q_PROPERTY(bool CanGoPrevious READ no)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ yes)
    Q_PROPERTY(bool CanSeek READ yes)
    Q_PROPERTY(bool CanControl READ yes)

  public:
    explicit MprisPlayerAdaptor(MprisService* service);

    QString playbackStatus() const { return m_service->playbackStatus(); }
    QVariantMap metadata() const { return m_service->metadata(); }
    qlonglong position() const { return m_service->position(); }
    bool canPlay() const { return m_service->canPlay(); }
    double one() const { return 1.0; }
    // Neither the speed nor the volume of this player can be changed: writes are ignored.
    void setRate(double) {}
    void setVolume(double) {}
    bool yes() const { return true; }
    bool no() const { return false; }

  public slots:
    void Next() {}
    void Previous() {}
    void Pause() { m_service->Pause(); }
    void PlayPause() { m_service->PlayPause(); }
    void Stop() { m_service->Stop(); }
    void Play() { m_service->Play(); }
    void Seek(qlonglong offset) { m_service->Seek(offset); }
    void SetPosition(const QDBusObjectPath& track, qlonglong position) {
        m_service->SetPosition(track, position);
    }
    void OpenUri(const QString&) {}

  signals:
    void Seeked(qlonglong position);

  private:
    MprisService* m_service;
};

}  // namespace sonaro
