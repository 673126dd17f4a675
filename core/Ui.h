// The small user-interface services every subsystem calls: the child-panel
// switch, the transfer frame with its dimming, the common time-out reaction,
// the status displays, the memory selector and help on a right click.
#pragma once

#include <QString>

// Shows child panel 1..7 (interface, parameters, teach table, groups,
// recorder, calibration, table attributes) and hides the others; 0 hides all.
void ShowChildPanel(int code);
// Dims (1) or undims (0) the controls that start a transfer.
void SetButtonsDimmed(int flag);

// Frames one transfer with the sensor (SEND, GET, GO, TRY TO CONNECT, CHANGE
// BAUDRATE, a calculation-mode change, recording, calibration): the transfer
// controls are dimmed while it runs. A transfer started while another one
// waits for the sensor (from a callback inside that wait) would share the link
// and its buffers; it is refused: `refused()` is true and nothing is dimmed or
// undimmed.
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
// CHANGE BAUDRATE is usable only after a successful connection attempt, and
// never during a transfer.
void SetBaudrateChangeAllowed(int allowed);

// The reaction to a lost sensor: polling stops, "TIMEOUT" in both status
// displays, the interface panel opens.
void SetPopupTimeout();
// Puts a free panel of the main window (three-sides view, mean-value teach)
// where it covers least of what the operator must keep in view: the graph
// under SOURCE with X/Y/INT/GN, the open child panel (the teach table), V-No,
// the memory and transfer buttons, the status area with its messages, and
// the other such panel when it is open.
void PlaceToolPanel(int panel);
// The link says in words why a transfer failed; the time-out reaction puts
// it into the status line. Installed at start-up.
void SetTimeoutExplainer(QString (*explain)());
// Writes a text into the status displays of the data and interface panels.
void ShowStatus(const QString &text);
// Frames arrive again: a "TIMEOUT" still in the status displays is kept but
// marked as past (faded, struck through, its time in the tooltip).
void MarkStatusTimeoutPast();
// A box opens: once a transfer's loop has ended, the values it left are held
// while the box is open, not only after it closes. Installed at start-up.
void HoldValuesForBox();
// Lights exactly the memory button that matches the new target and takes it.
void SetMemorySelector(int newTarget);

// Shows a help text in a modal pop-up, titled "INFO!" unless told otherwise.
void ShowHelp(const char *text, const char *title = "INFO!");
// Shows the help text when the event is a right click; true when it was one.
// Every callback starts with it, then acts on its own event.
bool ShowHelpOnRightClick(int event, const char *text, const char *title = "INFO!");
// The whole callback of a control that only explains itself.
inline int HelpOnly(int event, const char *text, const char *title = "INFO!") {
    ShowHelpOnRightClick(event, text, title);
    return 0;
}
