// Callbacks of the main panel: navigation, the memory selector, SEND, GET,
// GO and STOP.
#include "core/Edits.h"
#include "core/HelpTexts.h"
#include "core/LinkStatus.h"
#include "core/MasterCopy.h"
#include "core/Outcomes.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "shell/Shell.h"

#include "link/Link.h"
#include "live/Live.h"
#include "params/Params.h"
#include "platform/Platform.h"
#include "recorder/Recorder.h"

namespace {

// SEND and GET: to or from a parameter file with the FILE target, else the
// sensor. GET replaces the panels: changes not sent go only when the
// operator agrees.
int Transfer(int event, const char *help, void (*withFile)(), void (*withSensor)(),
             bool replacesPanels) {
    if (ShowHelpOnRightClick(event, help) || event != EVENT_COMMIT) return 0;
    if (replacesPanels && !MayDiscardUnsent()) return 0;
    TransferScope transfer;
    if (transfer.refused()) return 0;
    SetLinkNote(QString());
    if (target == DATFILE)
        withFile();
    else
        withSensor();
    return 0;
}

int Navigate(int event, const char *help, int code) {
    if (ShowHelpOnRightClick(event, help) || event != EVENT_COMMIT) return 0;
    ShowChildPanel(code);
    return 0;
}

// A toggle of the memory selector changed: lit, it becomes the target;
// switched off, the target falls back to RAM.
int MemoryButtonChanged(int panel, int control, int event, int buttonTarget) {
    if (ShowHelpOnRightClick(event, InfoSelectMEM) || event != EVENT_VAL_CHANGED) return 0;
    int on = 0;
    GetCtrlVal(panel, control, &on);
    SetMemorySelector(on ? buttonTarget : RAM);
    return 0;
}
} // namespace

int CBF_MAINP(int, int, int event, void *, int, int) {
    if (event != EVENT_CLOSE) return 0;
    if (!MayDiscardUnsent()) return 0;
    session::poll = 0;
    QuitUserInterface(0);
    return 0;
}

int CBF_ButtonPara(int, int, int event, void *, int, int) {
    return Navigate(event, InfoButtonPara, 2);
}
int CBF_ButtonTeachTable(int, int, int event, void *, int, int) {
    return Navigate(event, InfoButtonTeachTable, 3);
}
int CBF_ButtonColorGroups(int, int, int event, void *, int, int) {
    return Navigate(event, InfoButtonColorGroups, 4);
}
int CBF_ButtonRecorder(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonOpenRecorder) || event != EVENT_COMMIT) return 0;
    InitRecordPanel();
    if (SelectedRecordMode() == kRecCounted) CalcRecTime(0);
    ShowChildPanel(5);
    return 0;
}
int CBF_ButtonCalibrate(int, int, int event, void *, int, int) {
    return Navigate(event, InfoButtonCalibration, 6);
}
// The table-attributes subsystem titles its help "Info".
int CBF_ButtonTableAttr(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonTableAttr, "Info") || event != EVENT_COMMIT) return 0;
    ShowChildPanel(7);
    return 0;
}

int CBF_ButtonConnect(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonConnect) || event != EVENT_COMMIT) return 0;
    session::poll = 0;
    // An adapter plugged in since the last look shows up.
    FillComPortSelector();
    ShowChildPanel(1);
    return 0;
}

namespace {
// The status line says where the parameter set went: RAM is lost at the
// sensor's next power-off, EEPROM keeps it.
void SendParaAndSay() {
    // The parameters, the 31 rows, and for EEPROM the store.
    BeginProgress(QStringLiteral("SEND"), 1 + anzVec + (target == EEPROM ? 1 : 0));
    SendPara();
    if (comecho != 1) return;
    SetLinkNote(
        target == EEPROM
            ? QStringLiteral("parameter set stored in the sensor's EEPROM")
            : QStringLiteral("parameter set sent to the sensor's RAM (not kept at power-off)"));
}

void GetParaAndSay() {
    // For EEPROM the load into RAM, then the parameters and the 31 rows.
    BeginProgress(QStringLiteral("GET"), (target == EEPROM ? 1 : 0) + 1 + anzVec);
    GetPara();
    if (comecho == 1)
        SetLinkNote(target == EEPROM ? QStringLiteral("parameter set read from the sensor's EEPROM")
                                     : QStringLiteral("parameter set read from the sensor's RAM"));
}
} // namespace

int CBF_ButtonSend(int, int, int event, void *, int, int) {
    return Transfer(event, InfoButtonSend, SendParaToFile, SendParaAndSay, false);
}

int CBF_ButtonGet(int, int, int event, void *, int, int) {
    return Transfer(event, InfoButtonGet, ReadParaFromFile, GetParaAndSay, true);
}

int CBF_ButtonGo(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonGo) || event != EVENT_COMMIT) return 0;
    StartGo();
    return 0;
}

int CBF_ButtonStop(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonStop) || event != EVENT_COMMIT) return 0;
    session::poll = 0;
    return 0;
}

int CBF_SelectRAM(int panel, int control, int event, void *, int, int) {
    return MemoryButtonChanged(panel, control, event, RAM);
}

int CBF_SelectEEPROM(int panel, int control, int event, void *, int, int) {
    return MemoryButtonChanged(panel, control, event, EEPROM);
}

int CBF_SelectFILE(int panel, int control, int event, void *, int, int) {
    return MemoryButtonChanged(panel, control, event, DATFILE);
}

int CBF_ButtonMessages(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonMessages) || event != EVENT_COMMIT) return 0;
    ShowSessionMessages();
    return 0;
}
