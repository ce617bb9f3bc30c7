#include "formats/gsm_codec.h"

#include <gsm.h>

#include <algorithm>

namespace sonaro {

GsmCodec::GsmCodec() : m_state(gsm_create()) {
    if (m_state != nullptr) {
        int on = 1;
        gsm_option(m_state, GSM_OPT_WAV49, &on);
    }
}

GsmCodec::~GsmCodec() {
    if (m_state != nullptr) {
        gsm_destroy(m_state);
    }
}

void GsmCodec::EncodeBlock(const std::int16_t* pcm, std::uint8_t* block) {
    if (m_state == nullptr) {
        return;
    }
    // libgsm takes non-const input but does not change it.
    gsm_signal first[160];
    gsm_signal second[160];
    std::copy_n(pcm, 160, first);
    std::copy_n(pcm + 160, 160, second);
    gsm_encode(m_state, first, block);
    gsm_encode(m_state, second, block + 32);
}

bool GsmCodec::DecodeBlock(const std::uint8_t* block, std::int16_t* pcm) {
    if (m_state == nullptr) {
        return false;
    }
    gsm_byte bytes[kBytesPerBlock];
    std::copy_n(block, kBytesPerBlock, bytes);
    const bool firstOk = gsm_decode(m_state, bytes, pcm) == 0;
    const bool secondOk = gsm_decode(m_state, bytes + 33, pcm + 160) == 0;
    if (!firstOk || !secondOk) {
        std::fill_n(pcm, kSamplesPerBlock, 0);
    }
    return firstOk && secondOk;
}

}  // namespace sonaro
