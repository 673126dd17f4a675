// Waits of the serial and TCP services: they sleep in the event loop, so the
// window stays alive and the processor idle while the sensor is silent.
#pragma once

#include "platform/Platform.h"

#include <QDeadlineTimer>
#include <algorithm>
#include <cmath>
#include <poll.h>

namespace platform {

// Dispatches events until done() holds or timeoutMs have passed; true when
// done() held. Every round sleeps until an event arrives or the deadline.
template <class Done> bool WaitUntil(Done done, qint64 timeoutMs) {
    const QDeadlineTimer deadline(std::max<qint64>(timeoutMs, 0), Qt::PreciseTimer);
    for (;;) {
        if (done()) return true;
        const qint64 left = deadline.remainingTime();
        if (left <= 0) return false;
        WaitSystemEvents(double(left) / 1000.0);
    }
}

// Sleeps until a descriptor can be read (data, or the other end gone) or
// `seconds` pass, outside the event loop: 1 when it can, 0 when the time
// is over or a signal came.
inline int WaitReadable(int fd, double seconds) {
    pollfd line{fd, POLLIN, 0};
    const double whole = std::floor(seconds);
    const timespec left{time_t(whole), long((seconds - whole) * 1e9)};
    return ppoll(&line, 1, &left, nullptr) > 0 ? 1 : 0;
}

} // namespace platform
