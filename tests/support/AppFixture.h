// What the suites that drive the real program share: the program with all
// its panels in a temporary program directory, scripted pop-ups, and an
// in-process simulated sensor on the same event loop.
#pragma once

#include <QString>

class QWidget;

namespace tsim {
class Simulator;
}

namespace fixture {
// Starts the engine and loads all panels from a copy of the built
// Tolvane.uir in a fresh temporary program directory; pop-ups are scripted.
// Call once per test program (initTestCase). Returns false on failure.
bool StartProgram();
QString ProgramDir();
// Deletes every panel, as the program does at its end (cleanupTestCase), so
// that the sanitizer build's leak check sees only real leaks.
void EndProgram();

// The in-process simulator, listening on a free loopback TCP port.
tsim::Simulator &Sim();

// Points the interface panel at the simulator over TCP/IP.
void SelectTcp();
// Points the interface panel at serial port 1, opened as `device`
// (through TOLVANE_COM1).
void SelectSerial(const QString &device, int baudIndex = 4);

// Runs the start-up sequence against the simulator over TCP and checks that
// the sensor answered (comecho == 1).
bool StartUp();

// Opens the link to the simulator again, its faults cleared, as TRY TO
// CONNECT does, and checks that the sensor answered.
void Reconnect();

// The text a control shows.
QString Text(int panel, int control);
// Replaces the field's text as typed keys would, then Return.
void Type(QWidget *field, const QString &text);

// Processes events for `ms` milliseconds.
void Pump(int ms);

// Fails the current test when pop-ups came that no script expected, and
// clears the pop-up log.
void CheckNoUnexpectedPopups();
} // namespace fixture
