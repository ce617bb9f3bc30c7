#include "threads/progress_reporter.h"

#include <algorithm>

namespace sonaro {
namespace {

std::string cutText(std::string_view text) {
    return std::string(text.substr(0, LProgressReporter::kTextBytes - 1));
}

}  // namespace

LProgressReporter::LProgressReporter(UiDispatcher& dispatcher) : m_notifier(dispatcher, *this) {}

LProgressReporter::~LProgressReporter() {
    Stop();
    m_notifier.Destroy();
}

void LProgressReporter::SetListener(ProgressListener* listener) {
    m_listener = listener != nullptr ? listener : &m_nullListener;
}

void LProgressReporter::ReportMessage(std::string_view text) {
    {
        std::lock_guard lock(m_textLock);
        if (m_pendingMessage) {
            return;
        }
        m_pendingMessage = std::string(text);
    }
    m_notifier.PostCode(kMessage, 0);
}

void LProgressReporter::ReportStatus(std::string_view text, int kind) {
    if (kind != 0 && kind != 1) {
        return;
    }
    {
        std::lock_guard lock(m_textLock);
        m_status[static_cast<std::size_t>(kind)] = cutText(text);
    }
    m_notifier.PostCode(kind == 0 ? kStatusA : kStatusB, 0);
}

void LProgressReporter::ReportProgress(double fraction) {
    // Out-of-range fractions would make the unsigned conversion undefined.
    const double clamped = std::clamp(fraction, 0.0, 1.0);
    m_notifier.PostCode(kProgress, static_cast<std::uint32_t>(clamped * 100.0));
}

std::string LProgressReporter::takeStatus(int kind) {
    std::lock_guard lock(m_textLock);
    return m_status[static_cast<std::size_t>(kind)];
}

void LProgressReporter::OnQueuedNotify(int code, std::string_view, std::uint32_t value) {
    switch (code) {
        case kMessage: {
            std::optional<std::string> text;
            {
                std::lock_guard lock(m_textLock);
                text = m_pendingMessage;
            }
            if (text) {
                m_listener.load()->OnMessage(*text);
            }
            std::lock_guard lock(m_textLock);
            m_pendingMessage.reset();
            break;
        }
        case kStatusA:
        case kStatusB:
            m_listener.load()->OnStatus(takeStatus(code - kStatusA), code - kStatusA);
            break;
        case kProgress:
            m_listener.load()->OnProgress(value * 0.01);
            break;
        default:
            break;
    }
}

}  // namespace sonaro
