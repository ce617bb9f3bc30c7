#pragma once

#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantMap>

#include <functional>
#include <map>

#include "app/hot_keys.h"

namespace sonaro {

// System-wide hot keys through the desktop portal's GlobalShortcuts interface, for Wayland
// sessions where no program may grab keys itself. One portal session is created when the object
// is built; the registered keys are bound as one set (the shortcut "hotkey<id>" with the key as
// its preferred trigger, which the desktop may let the user change), bound again after each
// change, and an Activated signal reports the id like an X11 key press. Unavailable when no
// portal on the session bus offers GlobalShortcuts, or when it refuses the session.
//
// Created, used and destroyed on the user-interface thread.
class PortalHotKeyRegistrar final : public QObject, public HotKeyRegistrar {
    Q_OBJECT

  public:
    using PressHandler = std::function<void(int id)>;

    explicit PortalHotKeyRegistrar(PressHandler onPress);
    ~PortalHotKeyRegistrar() override;

    bool available() const override { return m_available; }
    // Kept for the next binding; false only when the portal is unavailable or the key has no
    // name the shortcut triggers can express.
    bool Register(int id, KeyCode key) override;
    void Unregister(int id) override;

    // "CTRL+ALT+SHIFT+<key symbol name>", as the shortcut triggers of the portal are written;
    // empty for a key without a name.
    static QString TriggerText(KeyCode key);

  private slots:
    void onSessionCreated(uint response, const QVariantMap& results);
    // Activated(o session, s shortcut, t timestamp, a{sv} options).
    void onActivated(const QDBusMessage& message);

  private:
    // Subscribes to the Response of the request the next call with `token` will make.
    QString watchRequest(const QString& token, const char* slot);
    void bind();

    PressHandler m_onPress;
    bool m_available = false;
    QString m_createRequest;
    QString m_session;
    std::map<int, KeyCode> m_keys;
    QTimer m_bindLater;
    int m_requests = 0;
};

}  // namespace sonaro
