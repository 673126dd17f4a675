// What every subsystem shares about the running session: the panel handles,
// the run flags and selectors, the protocol counts and the program's files.
#pragma once

#include <QString>
#include <cstdint>

// Panel handles, loaded at start-up and kept until the end.
extern int mainpanel, parapanel, ttpanel, datapanel, tapanel, interfacepanel, grouppanel, recpanel,
    calibpanel, teachpanel, colbigpanel, grpbigpanel, p3sidesview;
// Loads the thirteen panels from Tolvane.uir beside the program into the
// handles (the engine must run). Returns 0, or -1 when one cannot be loaded.
int LoadPanelHandles();

// Targets of SEND and GET.
constexpr int RAM = 1;
constexpr int EEPROM = 2;
constexpr int DATFILE = 3;

// 1 while a polling or recording loop runs; setting it to 0 ends the loop
// after its running turn. Not a plain global: the C library's poll() takes
// that name, and the event loop would call the variable in a build that
// exports the program's symbols.
namespace session {
extern uint16_t poll;
}
extern uint16_t target; // RAM, EEPROM or DATFILE
extern uint16_t order;  // command code of the telegram being built
// The sync word at the head of every request, in a namespace of its own
// because the C library's sync() takes the plain name.
namespace telegram {
extern uint16_t sync;
}
extern uint16_t comecho;  // 1 after an accepted transaction
extern uint16_t anzVec;   // teach-table rows, 31
extern uint16_t anzOut;   // digital outputs, 5
extern uint16_t anzpara;  // words in the parameter set, 264
extern uint16_t anzframe; // words in one telegram, 18

extern QString proj_dir;
// The folder of the configuration files (proj_dir when writable, else the
// user's configuration directory) and the folder proposed for record and
// parameter files (proj_dir when writable, else the home directory).
extern QString cfg_dir, data_dir;
extern QString ipComboBoxFileName, conSettingsFileName, colorArrayStartupFileName, recFileName,
    paraFileName;

extern uint16_t xramp[4096], yramp[4096]; // the line X + Y = 4095
