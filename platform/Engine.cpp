// The engine's core: application object, event loop, waits and clock.
#include "platform/EngineState.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <sys/prctl.h>

namespace {
QElapsedTimer &engineClock() {
    static QElapsedTimer timer;
    if (!timer.isValid()) timer.start();
    return timer;
}

int g_quitCode = 0;
QEventLoop *g_runLoop = nullptr;
bool g_quitRequested = false;
} // namespace

int InitRunTimeEngine(int argc, char **argv) {
    engineClock();
    // The kernel may end a sleep up to 50 us late by default, on each of the
    // several waits of a poll cycle; 1 us keeps the cycle at its line bound.
    prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
    engine::PopupScriptFromEnvironment();
    if (QCoreApplication::instance()) return 0;
    // The application object lives for the rest of the process, as the engine does.
    static int s_argc = argc;
    static QApplication *app = new QApplication(s_argc, argv);
    app->setQuitOnLastWindowClosed(false);
    return app ? 0 : -1;
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
    // WaitForMoreEvents blocks until something arrives; the single-shot timer
    // is that something when nothing else comes before the deadline.
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    // QTimer takes an int of milliseconds: about 24 days at most.
    deadline.start(int(std::clamp(maxSeconds * 1000.0 + 0.5, 1.0, double(INT_MAX))));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

double Timer() {
    return double(engineClock().nsecsElapsed()) / 1e9;
}

void Sleep(int milliseconds) {
    if (milliseconds > 0) QThread::msleep(milliseconds);
}
