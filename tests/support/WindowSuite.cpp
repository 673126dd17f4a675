// The window suites' shared frame (see WindowSuite.h).
#include "support/WindowSuite.h"

#include "core/Ui.h"
#include "live/ShownCache.h"
#include "params/ParamsTestUtil.h"
#include "platform/Platform.h"
#include "sim/Simulator.h"
#include "support/AppFixture.h"

#include <QTest>

namespace fixture {

void WindowSuite::CheckPopupsDone() {
    const int pending = popupscript::Pending();
    CheckNoUnexpectedPopups();
    QCOMPARE(pending, 0);
}

void WindowSuite::FreshStart() {
    ptest::LoadDefaultSet();
    SetMemorySelector(RAM);
    Sim().setTarget(-1);
    shown::Reset();
    CheckNoUnexpectedPopups();
}

void WindowSuite::initTestCase() {
    QVERIFY(StartProgram());
    QVERIFY(StartUp());
    CheckNoUnexpectedPopups();
}

void WindowSuite::cleanupTestCase() {
    EndProgram();
}

void WindowSuite::cleanup() {
    CheckPopupsDone();
}

} // namespace fixture
