// The application shell: start-up, panels and navigation, dimming of the
// transfer controls, the common time-out reaction, and the shell globals.
#pragma once

#include <QString>
#include <cstdint>

// Panel handles.
extern int mainpanel, parapanel, ttpanel, datapanel, tapanel, interfacepanel, grouppanel,
    recpanel, calibpanel, teachpanel, colbigpanel, grpbigpanel, p3sidesview;

// Targets of SEND and GET.
constexpr int RAM = 1;
constexpr int EEPROM = 2;
constexpr int DATFILE = 3;

// 1 while a polling or recording loop runs. Not a plain global: the C
// library's poll() takes that name, and the event loop would call the variable
// in a build that exports the program's symbols.
namespace session {
extern uint16_t poll;
}
extern uint16_t target;   // RAM, EEPROM or DATFILE
extern uint16_t order;    // command code of the telegram being built
// The sync word at the head of every request. It lives in a namespace of its
// own because the C library's sync() takes the plain name.
namespace telegram {
extern uint16_t sync;
}
extern uint16_t comecho;  // 1 after an accepted transaction
extern uint16_t anzVec;   // teach-table rows, 31
extern uint16_t anzOut;   // digital outputs, 5
extern uint16_t anzpara;  // words in the parameter set, 264
extern uint16_t anzframe; // words in one telegram, 18

extern QString proj_dir;
extern QString ipComboBoxFileName, conSettingsFileName, colorArrayStartupFileName, recFileName,
    paraFileName;

extern uint16_t xramp[4096], yramp[4096]; // the line X + Y = 4095

// Runs the program: loads the panels, starts up, runs the event loop.
// Returns 0 after a normal end, -1 when the engine or a panel fails.
int WinMain(int argc, char **argv);
// Starts the engine and loads the thirteen panels into the handles above,
// placed as the main window expects them. Returns 0, or -1 on any failure.
int LoadAllPanels(int argc, char **argv);
void InitAll();
void ShowChildPanel(int code);
void SetButtonsDimmed(int flag);

// Frames one transfer with the sensor (SEND, GET, GO, TRY TO CONNECT, CHANGE
// BAUDRATE, recording, calibration): the transfer controls are dimmed while it
// runs. A transfer started while another one waits for the sensor (from a
// callback inside that wait) would share the link and its buffers; it is
// refused: `refused()` is true and nothing is dimmed or undimmed.
class TransferScope {
public:
    TransferScope();
    ~TransferScope();
    TransferScope(const TransferScope &) = delete;
    TransferScope &operator=(const TransferScope &) = delete;
    bool refused() const { return m_refused; }

private:
    bool m_refused;
};
// True while a transfer runs.
bool TransferRunning();
// CHANGE BAUDRATE is usable only after a successful connection attempt and
// never during a transfer.
void SetBaudrateChangeAllowed(int allowed);
void SetPopupTimeout();
// Sets up the logo band for a brand index (0..12).
void ShowLogo(int index);
// Shows a help text under the title "INFO!".
void ShowHelp(const char *text);
// Shows the help text when the event is a right click; true when it was one.
bool ShowHelpOnRightClick(int event, const char *text);
