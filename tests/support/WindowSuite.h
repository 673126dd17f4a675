// The frame every suite that drives the window shares: the program started
// once against the in-process simulator, its panels deleted at the end, and
// after each test no pop-up that no script expected and no scripted answer
// left unused. A suite that needs more writes its own slot of the same name
// (Qt Test calls the suite's own) and may call the helpers below from it.
#pragma once

#include <QObject>

namespace fixture {

class WindowSuite : public QObject {
    Q_OBJECT

  protected:
    // cleanup()'s checks: every pop-up was expected and every scripted one came.
    static void CheckPopupsDone();
    // Where a test of the panels starts: the factory parameter set in RAM,
    // the simulated sensor aimed at no target, the displays' cache emptied
    // (a test's own writes are unknown to it), no pop-up left over.
    static void FreshStart();

  private slots:
    // The program with its panels, started up against the simulator over TCP.
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
};

} // namespace fixture
