#pragma once

#include <QObject>

#include <functional>
#include <map>
#include <string>

#include "app/hot_keys.h"

class QSocketNotifier;
struct _XDisplay;

namespace sonaro {

// System-wide hot keys through key grabs on the X11 root window, on a connection of its own that
// the user-interface thread watches. A key press reports the hot key's identifier; holding the
// key down reports it once. Unavailable when no X11 display can be opened (a Wayland session
// without XWayland, a headless start).
//
// Created, used and destroyed on the user-interface thread.
class X11HotKeyRegistrar final : public QObject, public HotKeyRegistrar {
    Q_OBJECT

  public:
    using PressHandler = std::function<void(int id)>;

    // `displayName` empty: $DISPLAY.
    explicit X11HotKeyRegistrar(PressHandler onPress, const std::string& displayName = {});
    ~X11HotKeyRegistrar() override;

    bool available() const override { return m_display != nullptr; }
    bool Register(int id, KeyCode key) override;
    void Unregister(int id) override;

    // The X key symbol for a virtual-key code; 0 when there is none.
    static unsigned long KeySymForVirtualKey(unsigned virtualKey);

  private:
    struct Grab {
        unsigned keycode = 0;
        unsigned modifiers = 0;
    };

    void readEvents();
    // The identifier grabbed for this key and modifier state; -1 when none.
    int grabOf(unsigned keycode, unsigned state) const;
    bool grab(const Grab& grab);
    void ungrab(const Grab& grab);

    _XDisplay* m_display = nullptr;
    unsigned long m_root = 0;
    QSocketNotifier* m_notifier = nullptr;
    PressHandler m_onPress;
    std::map<int, Grab> m_grabs;
    int m_heldId = -1;
};

}  // namespace sonaro
