// Callbacks of the main panel: navigation, SEND, GET, GO and STOP.
#include "shell/HelpTexts.h"
#include "shell/Shell.h"

#include "link/Link.h"
#include "live/Live.h"
#include "params/Params.h"
#include "platform/Platform.h"

namespace {

// SEND and GET: to or from a parameter file with the FILE target, else the sensor.
int Transfer(int event, const char *help, void (*withFile)(), void (*withSensor)()) {
    if (ShowHelpOnRightClick(event, help) || event != EVENT_COMMIT) return 0;
    TransferScope transfer;
    if (transfer.refused()) return 0;
    if (target == DATFILE)
        withFile();
    else
        withSensor();
    return 0;
}

int Navigate(int event, const char *help, int code) {
    if (!ShowHelpOnRightClick(event, help) && event == EVENT_COMMIT) ShowChildPanel(code);
    return 0;
}
} // namespace

int CBF_MAINP(int, int, int event, void *, int, int) {
    if (event == EVENT_CLOSE) {
        session::poll = 0;
        QuitUserInterface(0);
    }
    return 0;
}

int CBF_PARAP(int, int, int, void *, int, int) { return 0; }
int CBF_DATAP(int, int, int, void *, int, int) { return 0; }

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
    return Navigate(event, InfoButtonOpenRecorder, 5);
}
int CBF_ButtonCalibrate(int, int, int event, void *, int, int) {
    return Navigate(event, InfoButtonCalibration, 6);
}
int CBF_ButtonTableAttr(int, int, int event, void *, int, int) {
    // The table-attributes subsystem titles its help "Info".
    if (event == EVENT_RIGHT_CLICK) {
        MessagePopup("Info", QString::fromUtf8(InfoButtonTableAttr));
        return 0;
    }
    if (event == EVENT_COMMIT) ShowChildPanel(7);
    return 0;
}

int CBF_ButtonSend(int, int, int event, void *, int, int) {
    return Transfer(event, InfoButtonSend, SendParaToFile, SendPara);
}

int CBF_ButtonGet(int, int, int event, void *, int, int) {
    return Transfer(event, InfoButtonGet, ReadParaFromFile, GetPara);
}

int CBF_ButtonGo(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonGo) || event != EVENT_COMMIT) return 0;
    TransferScope transfer;
    if (transfer.refused()) return 0;
    GetPanelValues();
    InitGraphs();
    GetData();
    return 0;
}

int CBF_ButtonStop(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonStop)) return 0;
    if (event == EVENT_COMMIT) session::poll = 0;
    return 0;
}
