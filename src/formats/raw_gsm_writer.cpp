#include "formats/raw_gsm_writer.h"

#include <gsm.h>

#include <algorithm>

namespace sonaro {

RawGsmWriter::RawGsmWriter(const std::string& path) : FileWriter(kRate, 1), m_state(gsm_create()) {
    if (m_state == nullptr) {
        markUnusable();
        return;
    }
    openFile(path, nullptr, 0);
}

RawGsmWriter::~RawGsmWriter() {
    if (isOpen()) {
        if (m_filled > 0) {
            std::fill(m_samples.begin() + m_filled, m_samples.end(), std::int16_t{0});
            encodeFrame();
        }
        // Whole frames only: a frame cut by a failed write is left out.
        truncateTo(fileEnd() / kBytesPerFrame * kBytesPerFrame);
        closeFile();
    }
    if (m_state != nullptr) {
        gsm_destroy(m_state);
    }
}

void RawGsmWriter::Write(const InternalSample* samples, int frames) {
    advancePosition(frames);
    if (!isOpen()) {
        return;
    }
    for (int i = 0; i < frames; ++i) {
        m_samples[static_cast<std::size_t>(m_filled++)] = ToPcm16(samples[i]);
        if (m_filled == kSamplesPerFrame) {
            encodeFrame();
        }
    }
}

void RawGsmWriter::encodeFrame() {
    gsm_signal pcm[kSamplesPerFrame];
    std::copy(m_samples.begin(), m_samples.end(), pcm);
    gsm_byte frame[kBytesPerFrame];
    gsm_encode(m_state, pcm, frame);
    appendData(frame, sizeof frame);
    m_filled = 0;
}

}  // namespace sonaro
