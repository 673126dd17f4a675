// Waits of the serial and TCP services: they sleep in the event loop, so the
// window stays alive and the processor idle while the sensor is silent.
#pragma once

#include "platform/Platform.h"

#include <QDeadlineTimer>
#include <algorithm>

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

} // namespace platform
