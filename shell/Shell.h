// The application shell: start-up, the main panel and the logo band.
#pragma once

#include <QString>

// Runs the program: loads the panels, starts up, runs the event loop.
// Returns 0 after a normal end, -1 when the engine or a panel fails.
int WinMain(int argc, char **argv);
// Starts the engine and loads the thirteen panels into the handles,
// placed as the main window expects them. Returns 0, or -1 on any failure.
int LoadAllPanels(int argc, char **argv);
void InitAll();
// The program's options (--help, --version, --tcp, --serial, --config,
// --view): -1 to start, otherwise the exit code (0 after help or version, 2
// for a bad option).
int TakeStartOptions(int argc, char **argv);
// The record file of --view, or empty.
QString ViewFileOption();
// At start-up: --config replaces the folder of the configuration files, and
// --tcp / --serial the stored link on the interface panel (nothing is stored).
void ApplyConfigDirOption();
void ApplyLinkOption();
// Sets up the logo band for a brand index (0..12); other indices leave the
// band as the form drew it.
void ShowLogo(int index);
// One text line of the logo band: grey on white (1), black on white (2),
// white on the band's colour (3).
void ShowInfoText1(const char *text, int left, int top, int pointSize);
void ShowInfoText2(const char *text, int left, int top, int pointSize);
void ShowInfoText3(const char *text, int left, int top, int pointSize);
