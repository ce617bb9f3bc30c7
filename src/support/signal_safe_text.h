#pragma once

#include <cstddef>

namespace sonaro {

// Builds a NUL-terminated text in a caller's buffer without allocating or calling the C
// library's formatting, so a signal handler may use it. Text beyond the buffer is cut.
class SignalSafeText {
  public:
    SignalSafeText(char* buffer, std::size_t size) : m_buffer(buffer), m_size(size) {
        if (m_size > 0) {
            m_buffer[0] = '\0';
        }
    }

    void append(const char* text) {
        for (; text != nullptr && *text != '\0'; ++text) {
            appendChar(*text);
        }
    }
    void appendChar(char c) {
        if (m_length + 1 < m_size) {
            m_buffer[m_length++] = c;
            m_buffer[m_length] = '\0';
        }
    }
    void appendNumber(long value) {
        char digits[24];
        int count = 0;
        unsigned long magnitude =
            value < 0 ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
        do {
            digits[count++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (value < 0) {
            appendChar('-');
        }
        while (count > 0) {
            appendChar(digits[--count]);
        }
    }
    std::size_t length() const { return m_length; }

  private:
    char* m_buffer;
    std::size_t m_size;
    std::size_t m_length = 0;
};

}  // namespace sonaro
