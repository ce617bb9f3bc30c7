#include "platform/portal_hot_key_registrar.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QStringList>

#include <X11/Xlib.h>

#include <cstdio>
#include <utility>

#include "platform/x11_hot_key_registrar.h"

namespace sonaro {
namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString kShortcutPrefix = QStringLiteral("hotkey");
// The portal is asked once at start-up; a desktop that takes longer has no usable portal.
constexpr int kProbeTimeoutMs = 3000;

// One entry of BindShortcuts' a(sa{sv}).
struct Shortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const Shortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Shortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

}  // namespace
}  // namespace sonaro

Q_DECLARE_METATYPE(sonaro::Shortcut)
Q_DECLARE_METATYPE(QList<sonaro::Shortcut>)

namespace sonaro {

PortalHotKeyRegistrar::PortalHotKeyRegistrar(PressHandler onPress) : m_onPress(std::move(onPress)) {
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
    m_bindLater.setSingleShot(true);
    connect(&m_bindLater, &QTimer::timeout, this, &PortalHotKeyRegistrar::bind);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    QDBusMessage probe = QDBusMessage::createMethodCall(
        kPortalService, kPortalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    probe << kShortcutsInterface << QStringLiteral("version");
    const QDBusMessage version = bus.call(probe, QDBus::Block, kProbeTimeoutMs);
    if (version.type() != QDBusMessage::ReplyMessage) {
        return;
    }
    bus.connect(kPortalService, kPortalPath, kShortcutsInterface, QStringLiteral("Activated"), this,
                SLOT(onActivated(QDBusMessage)));
    const QString token = QStringLiteral("sonaro_create");
    m_createRequest = watchRequest(token, SLOT(onSessionCreated(uint, QVariantMap)));
    QDBusMessage create = QDBusMessage::createMethodCall(
        kPortalService, kPortalPath, kShortcutsInterface, QStringLiteral("CreateSession"));
    create << QVariantMap{{QStringLiteral("handle_token"), token},
                          {QStringLiteral("session_handle_token"), QStringLiteral("sonaro")}};
    const QDBusMessage reply = bus.call(create, QDBus::Block, kProbeTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        std::fprintf(stderr, "Sonaro: the desktop portal refused a shortcuts session: %s\n",
                     qPrintable(reply.errorMessage()));
        bus.disconnect(kPortalService, m_createRequest, kRequestInterface,
                       QStringLiteral("Response"), this, SLOT(onSessionCreated(uint, QVariantMap)));
        return;
    }
    // Available from here on: the keys registered before the session exists are bound as soon as
    // the portal answers.
    m_available = true;
}

PortalHotKeyRegistrar::~PortalHotKeyRegistrar() {
    if (!m_session.isEmpty()) {
        QDBusConnection::sessionBus().call(
            QDBusMessage::createMethodCall(kPortalService, m_session,
                                           QStringLiteral("org.freedesktop.portal.Session"),
                                           QStringLiteral("Close")),
            QDBus::NoBlock);
    }
}

QString PortalHotKeyRegistrar::watchRequest(const QString& token, const char* slot) {
    // The portal names the request after the caller's unique name without ':' and with '_' for
    // '.'; subscribing before the call means its Response cannot be missed.
    QString sender = QDBusConnection::sessionBus().baseService().mid(1);
    sender.replace(u'.', u'_');
    const QString path = kPortalPath + QStringLiteral("/request/") + sender + u'/' + token;
    QDBusConnection::sessionBus().connect(kPortalService, path, kRequestInterface,
                                          QStringLiteral("Response"), this, slot);
    return path;
}

QString PortalHotKeyRegistrar::TriggerText(KeyCode key) {
    const unsigned long symbol = X11HotKeyRegistrar::KeySymForVirtualKey(VirtualKeyOf(key));
    const char* name = symbol != 0 ? XKeysymToString(symbol) : nullptr;
    if (name == nullptr) {
        return {};
    }
    QString text;
    const unsigned modifiers = ModifiersOf(key);
    if ((modifiers & kModCtrl) != 0) {
        text += QStringLiteral("CTRL+");
    }
    if ((modifiers & kModAlt) != 0) {
        text += QStringLiteral("ALT+");
    }
    if ((modifiers & kModShift) != 0) {
        text += QStringLiteral("SHIFT+");
    }
    return text + QString::fromLatin1(name);
}

bool PortalHotKeyRegistrar::Register(int id, KeyCode key) {
    if (!m_available || TriggerText(key).isEmpty()) {
        return false;
    }
    m_keys[id] = key;
    m_bindLater.start(0);
    return true;
}

void PortalHotKeyRegistrar::Unregister(int id) {
    if (m_keys.erase(id) > 0) {
        m_bindLater.start(0);
    }
}

void PortalHotKeyRegistrar::onSessionCreated(uint response, const QVariantMap& results) {
    QDBusConnection::sessionBus().disconnect(kPortalService, m_createRequest, kRequestInterface,
                                             QStringLiteral("Response"), this,
                                             SLOT(onSessionCreated(uint, QVariantMap)));
    // Documented as a string, but some portals send an object path.
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    m_session = handle.canConvert<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path()
                                                     : handle.toString();
    if (response != 0 || m_session.isEmpty()) {
        std::fprintf(stderr, "Sonaro: the desktop portal did not open a shortcuts session\n");
        m_available = false;
        m_session.clear();
        return;
    }
    bind();
}

void PortalHotKeyRegistrar::bind() {
    if (m_session.isEmpty()) {
        return;
    }
    QList<Shortcut> shortcuts;
    for (const auto& [id, key] : m_keys) {
        shortcuts.append({kShortcutPrefix + QString::number(id),
                          {{QStringLiteral("description"), QString::fromUtf8(KeyText(key).c_str())},
                           {QStringLiteral("preferred_trigger"), TriggerText(key)}}});
    }
    const QString token = QStringLiteral("sonaro_bind") + QString::number(++m_requests);
    QDBusMessage call = QDBusMessage::createMethodCall(
        kPortalService, kPortalPath, kShortcutsInterface, QStringLiteral("BindShortcuts"));
    call << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariant::fromValue(shortcuts)
         << QString() << QVariantMap{{QStringLiteral("handle_token"), token}};
    QDBusConnection::sessionBus().call(call, QDBus::NoBlock);
}

void PortalHotKeyRegistrar::onActivated(const QDBusMessage& message) {
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2 || arguments[0].value<QDBusObjectPath>().path() != m_session ||
        !arguments[1].toString().startsWith(kShortcutPrefix)) {
        return;
    }
    bool number = false;
    const int id = arguments[1].toString().mid(kShortcutPrefix.size()).toInt(&number);
    if (number && m_keys.count(id) > 0) {
        m_onPress(id);
    }
}

}  // namespace sonaro
