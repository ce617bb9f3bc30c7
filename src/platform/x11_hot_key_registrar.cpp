#include "platform/x11_hot_key_registrar.h"

#include <QSocketNotifier>
#include <QTimer>

#include <X11/XF86keysym.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <utility>

namespace sonaro {
namespace {

// Lock and Num Lock do not change a hot key: each grab is made with every combination of them.
constexpr unsigned kIgnoredModifiers[] = {0, LockMask, Mod2Mask, LockMask | Mod2Mask};

// Set by the error handler while a grab is checked; Xlib reports errors through one process-wide
// handler, and grabs are made on the user-interface thread only.
bool g_grabRefused = false;

int recordGrabError(Display*, XErrorEvent* error) {
    if (error->error_code == BadAccess) {
        g_grabRefused = true;
    }
    return 0;
}

unsigned xModifiers(unsigned modifiers) {
    unsigned mask = 0;
    mask |= (modifiers & kModAlt) != 0 ? Mod1Mask : 0;
    mask |= (modifiers & kModCtrl) != 0 ? ControlMask : 0;
    mask |= (modifiers & kModShift) != 0 ? ShiftMask : 0;
    return mask;
}

constexpr std::pair<unsigned, unsigned long> kKeySyms[] = {
    {0x03, XK_Break},
    {0x08, XK_BackSpace},
    {0x09, XK_Tab},
    {0x0C, XK_Clear},
    {0x0D, XK_Return},
    {0x13, XK_Pause},
    {0x14, XK_Caps_Lock},
    {0x1B, XK_Escape},
    {0x20, XK_space},
    {0x21, XK_Page_Up},
    {0x22, XK_Page_Down},
    {0x23, XK_End},
    {0x24, XK_Home},
    {0x25, XK_Left},
    {0x26, XK_Up},
    {0x27, XK_Right},
    {0x28, XK_Down},
    {0x2C, XK_Print},
    {0x2D, XK_Insert},
    {0x2E, XK_Delete},
    {0x2F, XK_Help},
    {0x5B, XK_Super_L},
    {0x5C, XK_Super_R},
    {0x5D, XK_Menu},
    {0x6A, XK_KP_Multiply},
    {0x6B, XK_KP_Add},
    {0x6C, XK_KP_Separator},
    {0x6D, XK_KP_Subtract},
    {0x6E, XK_KP_Decimal},
    {0x6F, XK_KP_Divide},
    {0x90, XK_Num_Lock},
    {0x91, XK_Scroll_Lock},
    {0xAD, XF86XK_AudioMute},
    {0xAE, XF86XK_AudioLowerVolume},
    {0xAF, XF86XK_AudioRaiseVolume},
    {0xB0, XF86XK_AudioNext},
    {0xB1, XF86XK_AudioPrev},
    {0xB2, XF86XK_AudioStop},
    {0xB3, XF86XK_AudioPlay},
    {0xBA, XK_semicolon},
    {0xBB, XK_equal},
    {0xBC, XK_comma},
    {0xBD, XK_minus},
    {0xBE, XK_period},
    {0xBF, XK_slash},
    {0xC0, XK_grave},
    {0xDB, XK_bracketleft},
    {0xDC, XK_backslash},
    {0xDD, XK_bracketright},
    {0xDE, XK_apostrophe},
};

}  // namespace

unsigned long X11HotKeyRegistrar::KeySymForVirtualKey(unsigned virtualKey) {
    if (virtualKey >= 'A' && virtualKey <= 'Z') {
        return XK_a + (virtualKey - 'A');
    }
    if (virtualKey >= '0' && virtualKey <= '9') {
        return XK_0 + (virtualKey - '0');
    }
    if (virtualKey >= 0x60 && virtualKey <= 0x69) {
        return XK_KP_0 + (virtualKey - 0x60);
    }
    if (virtualKey >= 0x70 && virtualKey <= 0x87) {
        return XK_F1 + (virtualKey - 0x70);
    }
    for (const auto& [key, sym] : kKeySyms) {
        if (key == virtualKey) {
            return sym;
        }
    }
    return 0;
}

X11HotKeyRegistrar::X11HotKeyRegistrar(PressHandler onPress, const std::string& displayName)
    : m_onPress(std::move(onPress)) {
    m_display = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (m_display == nullptr) {
        return;
    }
    m_root = DefaultRootWindow(m_display);
    // Held keys repeat as presses only, so a release tells that the key went up.
    XkbSetDetectableAutoRepeat(m_display, True, nullptr);
    m_notifier = new QSocketNotifier(ConnectionNumber(m_display), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &X11HotKeyRegistrar::readEvents);
}

X11HotKeyRegistrar::~X11HotKeyRegistrar() {
    if (m_display == nullptr) {
        return;
    }
    for (const auto& [id, grabbed] : m_grabs) {
        ungrab(grabbed);
    }
    delete m_notifier;
    XCloseDisplay(m_display);
}

bool X11HotKeyRegistrar::grab(const Grab& grabbed) {
    XSync(m_display, False);
    g_grabRefused = false;
    const auto previous = XSetErrorHandler(recordGrabError);
    for (unsigned ignored : kIgnoredModifiers) {
        XGrabKey(m_display, static_cast<int>(grabbed.keycode), grabbed.modifiers | ignored, m_root,
                 False, GrabModeAsync, GrabModeAsync);
    }
    XSync(m_display, False);
    XSetErrorHandler(previous);
    if (g_grabRefused) {
        ungrab(grabbed);
    }
    return !g_grabRefused;
}

void X11HotKeyRegistrar::ungrab(const Grab& grabbed) {
    for (unsigned ignored : kIgnoredModifiers) {
        XUngrabKey(m_display, static_cast<int>(grabbed.keycode), grabbed.modifiers | ignored,
                   m_root);
    }
    XFlush(m_display);
}

bool X11HotKeyRegistrar::Register(int id, KeyCode key) {
    if (m_display == nullptr) {
        return false;
    }
    Unregister(id);
    const unsigned long sym = KeySymForVirtualKey(VirtualKeyOf(key));
    const unsigned keycode = sym == 0 ? 0 : XKeysymToKeycode(m_display, sym);
    if (keycode == 0) {
        return false;
    }
    const Grab wanted{keycode, xModifiers(ModifiersOf(key))};
    for (const auto& [otherId, other] : m_grabs) {
        if (other.keycode == wanted.keycode && other.modifiers == wanted.modifiers) {
            return false;  // the first registration keeps the key, as for two programs
        }
    }
    if (!grab(wanted)) {
        return false;
    }
    m_grabs[id] = wanted;
    // Events that the syncs above read from the socket wait in Xlib's queue.
    QTimer::singleShot(0, this, &X11HotKeyRegistrar::readEvents);
    return true;
}

void X11HotKeyRegistrar::Unregister(int id) {
    const auto found = m_grabs.find(id);
    if (found == m_grabs.end()) {
        return;
    }
    ungrab(found->second);
    m_grabs.erase(found);
    if (m_heldId == id) {
        m_heldId = -1;
    }
}

int X11HotKeyRegistrar::grabOf(unsigned keycode, unsigned state) const {
    const unsigned modifiers = state & (ShiftMask | ControlMask | Mod1Mask);
    for (const auto& [id, grabbed] : m_grabs) {
        if (grabbed.keycode == keycode && grabbed.modifiers == modifiers) {
            return id;
        }
    }
    return -1;
}

void X11HotKeyRegistrar::readEvents() {
    if (m_display == nullptr) {
        return;
    }
    while (XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        if (event.type != KeyPress && event.type != KeyRelease) {
            continue;
        }
        if (event.type == KeyRelease) {
            // The modifiers may already be up; the key alone ends the hold.
            if (m_heldId >= 0 && m_grabs.count(m_heldId) != 0 &&
                m_grabs[m_heldId].keycode == event.xkey.keycode) {
                m_heldId = -1;
            }
            continue;
        }
        const int id = grabOf(event.xkey.keycode, event.xkey.state);
        if (id >= 0 && id != m_heldId) {
            m_heldId = id;
            // Posted: the handler may open windows or change the registrations.
            QMetaObject::invokeMethod(
                this, [this, id] { m_onPress(id); }, Qt::QueuedConnection);
        }
    }
}

}  // namespace sonaro
