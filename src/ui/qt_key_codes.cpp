#include "ui/qt_key_codes.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

#include <utility>

namespace sonaro {
namespace {

constexpr std::pair<int, unsigned> kQtKeys[] = {
    {Qt::Key_Backspace, 0x08},     {Qt::Key_Tab, 0x09},         {Qt::Key_Return, 0x0D},
    {Qt::Key_Enter, 0x0D},         {Qt::Key_Pause, 0x13},       {Qt::Key_CapsLock, 0x14},
    {Qt::Key_Escape, 0x1B},        {Qt::Key_Space, 0x20},       {Qt::Key_PageUp, 0x21},
    {Qt::Key_PageDown, 0x22},      {Qt::Key_End, 0x23},         {Qt::Key_Home, 0x24},
    {Qt::Key_Left, 0x25},          {Qt::Key_Up, 0x26},          {Qt::Key_Right, 0x27},
    {Qt::Key_Down, 0x28},          {Qt::Key_Print, 0x2C},       {Qt::Key_Insert, 0x2D},
    {Qt::Key_Delete, 0x2E},        {Qt::Key_Help, 0x2F},        {Qt::Key_Menu, 0x5D},
    {Qt::Key_NumLock, 0x90},       {Qt::Key_ScrollLock, 0x91},  {Qt::Key_VolumeMute, 0xAD},
    {Qt::Key_VolumeDown, 0xAE},    {Qt::Key_VolumeUp, 0xAF},    {Qt::Key_MediaNext, 0xB0},
    {Qt::Key_MediaPrevious, 0xB1}, {Qt::Key_MediaStop, 0xB2},   {Qt::Key_MediaPlay, 0xB3},
    {Qt::Key_Semicolon, 0xBA},     {Qt::Key_Equal, 0xBB},       {Qt::Key_Comma, 0xBC},
    {Qt::Key_Minus, 0xBD},         {Qt::Key_Period, 0xBE},      {Qt::Key_Slash, 0xBF},
    {Qt::Key_QuoteLeft, 0xC0},     {Qt::Key_BracketLeft, 0xDB}, {Qt::Key_Backslash, 0xDC},
    {Qt::Key_BracketRight, 0xDD},  {Qt::Key_Apostrophe, 0xDE},
};

constexpr std::pair<int, unsigned> kKeypadKeys[] = {
    {Qt::Key_Asterisk, 0x6A}, {Qt::Key_Plus, 0x6B},   {Qt::Key_Comma, 0x6C},
    {Qt::Key_Minus, 0x6D},    {Qt::Key_Period, 0x6E}, {Qt::Key_Slash, 0x6F},
};

unsigned virtualKeyOf(int key, bool keypad) {
    if (keypad && key >= Qt::Key_0 && key <= Qt::Key_9) {
        return 0x60 + static_cast<unsigned>(key - Qt::Key_0);
    }
    if (keypad) {
        for (const auto& [qtKey, virtualKey] : kKeypadKeys) {
            if (qtKey == key) {
                return virtualKey;
            }
        }
    }
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
        return static_cast<unsigned>(key);
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
        return 0x70 + static_cast<unsigned>(key - Qt::Key_F1);
    }
    for (const auto& [qtKey, virtualKey] : kQtKeys) {
        if (qtKey == key) {
            return virtualKey;
        }
    }
    return 0;
}

bool isTextField(const QWidget* widget) {
    return qobject_cast<const QLineEdit*>(widget) != nullptr ||
           qobject_cast<const QTextEdit*>(widget) != nullptr ||
           qobject_cast<const QPlainTextEdit*>(widget) != nullptr ||
           qobject_cast<const QAbstractSpinBox*>(widget) != nullptr;
}

}  // namespace

KeyCode KeyCodeOfEvent(const QKeyEvent& event) {
    const Qt::KeyboardModifiers held = event.modifiers();
    const unsigned virtualKey = virtualKeyOf(event.key(), (held & Qt::KeypadModifier) != 0);
    if (virtualKey == 0) {
        return 0;
    }
    unsigned modifiers = 0;
    modifiers |= (held & Qt::AltModifier) != 0 ? kModAlt : 0;
    modifiers |= (held & Qt::ControlModifier) != 0 ? kModCtrl : 0;
    modifiers |= (held & Qt::ShiftModifier) != 0 ? kModShift : 0;
    return MakeKeyCode(virtualKey, modifiers);
}

ShortcutFilter::ShortcutFilter(QObject* parent) : QObject(parent) {
    qApp->installEventFilter(this);
}

ShortcutFilter::~ShortcutFilter() {
    qApp->removeEventFilter(this);
}

void ShortcutFilter::watch(QWidget* window) {
    m_windows.append(window);
}

bool ShortcutFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType() ||
        !m_windows.contains(static_cast<QWidget*>(watched)->window())) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    const int id = ShortcutCommand(KeyCodeOfEvent(*key));
    if (id == 0) {
        return false;
    }
    const bool editingKey = key->key() == Qt::Key_Space || key->key() == Qt::Key_Home;
    if (editingKey && isTextField(QApplication::focusWidget())) {
        return false;
    }
    if (!key->isAutoRepeat()) {
        emit command(id);
    }
    return true;
}

}  // namespace sonaro
