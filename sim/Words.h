// Big-endian words of a telegram, as the simulated sensor reads and writes
// them. Private to sim/.
#pragma once

#include <QByteArray>
#include <cstdint>

namespace tsim {
inline uint16_t WordAt(const QByteArray &t, int k) {
    return uint16_t((uint8_t(t[2 * k]) << 8) | uint8_t(t[2 * k + 1]));
}

inline void PutWord(QByteArray &t, int k, uint16_t v) {
    t[2 * k] = char(v >> 8);
    t[2 * k + 1] = char(v & 0xFF);
}
} // namespace tsim
