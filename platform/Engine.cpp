// The engine's core: event loop, waits and clock, on any application
// object (the programs without panels run on a QCoreApplication).
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <sys/prctl.h>
#include <sys/timerfd.h>
#include <unistd.h>
#include <vector>

namespace {
QElapsedTimer &engineClock() {
    static QElapsedTimer timer;
    if (!timer.isValid()) timer.start();
    return timer;
}

// The deadline of the innermost wait, on a timer descriptor the event loop
// watches: it wakes the loop to the microsecond, where Qt's timers count
// whole milliseconds, so that a pause ends on time after a single sleep
// (each sleep costs more processor time than the work of a frame).
// A wait inside another (an event handler that waits) re-arms the outer
// deadline when it returns. A deadline left armed after its wait ended
// early is replaced by the next wait's, or wakes the loop once.
class WaitClock {
  public:
    WaitClock() : m_fd(timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)) {}
    // The descriptor is watched by the application of the moment: a wait
    // before there is one, or a descriptor the system refused, falls back
    // to a timer of whole milliseconds.
    bool ready() {
        if (m_fd < 0 || !QCoreApplication::instance()) return false;
        if (!m_notifier) {
            m_notifier =
                new QSocketNotifier(m_fd, QSocketNotifier::Read, QCoreApplication::instance());
            QObject::connect(m_notifier, &QSocketNotifier::activated, m_notifier, [fd = m_fd] {
                uint64_t expirations = 0;
                [[maybe_unused]] const ssize_t n = read(fd, &expirations, sizeof expirations);
            });
        }
        return true;
    }

    void push(double seconds) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        // Beyond a year is as good as never; it keeps the sum in range.
        const int64_t ns = int64_t(std::min(seconds, 3.2e7) * 1e9);
        m_deadlines.push_back(int64_t(now.tv_sec) * kNs + now.tv_nsec + ns);
        arm(m_deadlines.back());
    }
    void pop() {
        m_deadlines.pop_back();
        if (!m_deadlines.empty()) arm(m_deadlines.back());
    }

  private:
    static constexpr int64_t kNs = 1000000000;
    void arm(int64_t at) const {
        itimerspec expiry{};
        expiry.it_value = {time_t(at / kNs), long(at % kNs)};
        // A time already past fires at once.
        timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &expiry, nullptr);
    }
    int m_fd;
    QPointer<QSocketNotifier> m_notifier;
    std::vector<int64_t> m_deadlines;
};

WaitClock &waitClock() {
    static WaitClock clock;
    return clock;
}

int g_quitCode = 0;
QEventLoop *g_runLoop = nullptr;
bool g_quitRequested = false;
} // namespace

void StartEngineClock() {
    engineClock();
    // The kernel may end a sleep up to 50 us late by default, on each of the
    // several waits of a poll cycle; 1 us keeps the cycle at its line bound.
    prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
}

int RunUserInterface() {
    QEventLoop loop;
    g_runLoop = &loop;
    g_quitRequested = false;
    loop.exec();
    g_runLoop = nullptr;
    g_quitRequested = false;
    return g_quitCode;
}

int QuitUserInterface(int returnCode) {
    g_quitCode = returnCode;
    if (g_runLoop) {
        g_quitRequested = true;
        g_runLoop->quit();
    }
    return 0;
}

bool QuitRequested() {
    return g_quitRequested;
}

int ProcessSystemEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return 0;
}

void WaitSystemEvents(double maxSeconds) {
    if (maxSeconds <= 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    WaitClock &clock = waitClock();
    if (!clock.ready()) {
        // WaitForMoreEvents blocks until something arrives; the single-shot
        // timer is that something when nothing else comes before the deadline.
        QTimer deadline;
        deadline.setSingleShot(true);
        deadline.setTimerType(Qt::PreciseTimer);
        // QTimer takes an int of milliseconds: about 24 days at most.
        deadline.start(int(std::clamp(maxSeconds * 1000.0 + 0.5, 1.0, double(INT_MAX))));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        return;
    }
    clock.push(maxSeconds);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    clock.pop();
}

double Timer() {
    return double(engineClock().nsecsElapsed()) / 1e9;
}

void SleepFor(double seconds) {
    if (seconds <= 0) return;
    const double whole = std::floor(seconds);
    const timespec span{time_t(whole), long((seconds - whole) * 1e9)};
    clock_nanosleep(CLOCK_MONOTONIC, 0, &span, nullptr);
}

void WaitProcessingEvents(double seconds) {
    const double end = Timer() + seconds;
    ProcessSystemEvents();
    for (double left = end - Timer(); left > 0; left = end - Timer())
        WaitSystemEvents(left);
}

void Sleep(int milliseconds) {
    if (milliseconds > 0) QThread::msleep(milliseconds);
}
