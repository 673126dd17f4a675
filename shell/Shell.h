// The application shell: start-up, the main panel and the logo band.
#pragma once

// Runs the program: loads the panels, starts up, runs the event loop.
// Returns 0 after a normal end, -1 when the engine or a panel fails.
int WinMain(int argc, char **argv);
// Starts the engine and loads the thirteen panels into the handles,
// placed as the main window expects them. Returns 0, or -1 on any failure.
int LoadAllPanels(int argc, char **argv);
void InitAll();
// Sets up the logo band for a brand index (0..12).
void ShowLogo(int index);
