// The shared user-interface services: child panels, the transfer frame, the
// time-out reaction, status displays, memory selector and help pop-ups.
#include "core/Ui.h"

#include "core/HelpTable.h"
#include "core/HelpTexts.h"
#include "core/LinkStatus.h"
#include "core/Outcomes.h"
#include "core/Session.h"
#include "platform/Platform.h"
#include "uir_ids.h"

namespace {
// Navigation buttons and their panels, in the order of the child-panel codes 1..7.
struct Child {
    int button;
    int *panel;
};
const Child kChildren[7] = {
    {MAINP_ButtonConnect, &interfacepanel}, {MAINP_ButtonPara, &parapanel},
    {MAINP_ButtonTeachTable, &ttpanel},     {MAINP_ButtonColorGroups, &grouppanel},
    {MAINP_ButtonRecorder, &recpanel},      {MAINP_ButtonCalibrate, &calibpanel},
    {MAINP_ButtonTableAttr, &tapanel}};

constexpr int kButtonColour = 0xE0E0E0;
constexpr int kOpenButtonColour = 0xC0C0C0;

bool transferRunning = false;
QString (*timeoutExplainer)() = nullptr;
bool baudrateChangeAllowed = false;

// The status displays show "TIMEOUT" (of that time), and whether it is marked past.
QString timeoutShownAt;
bool timeoutMarkedPast = false;
constexpr int kPastStatusColour = 0x909090;

void MarkStatusDisplaysPast(bool past, const QString &tip) {
    for (int *panel : {&datapanel, &interfacepanel}) {
        const int control = *panel == datapanel ? DATAP_DispStatus : INTERFACEP_DispStatus;
        SetCtrlAttribute(*panel, control, ATTR_TEXT_COLOR, past ? kPastStatusColour : 0x000000);
        SetCtrlAttribute(*panel, control, ATTR_TEXT_STRIKEOUT, past ? 1 : 0);
        SetCtrlToolTip(*panel, control, tip);
    }
}

void DimBaudrateChange() {
    SetCtrlAttribute(interfacepanel, INTERFACEP_ButtonChangeBaudrate, ATTR_DIMMED,
                     transferRunning || !baudrateChangeAllowed ? 1 : 0);
}
} // namespace

void ShowChildPanel(int code) {
    for (const Child &c : kChildren) {
        SetCtrlAttribute(mainpanel, c.button, ATTR_CMD_BUTTON_COLOR, kButtonColour);
        HidePanel(*c.panel);
    }
    if (code < 1 || code > 7) return;
    const Child &open = kChildren[code - 1];
    SetCtrlAttribute(mainpanel, open.button, ATTR_CMD_BUTTON_COLOR, kOpenButtonColour);
    DisplayPanel(*open.panel);
    if (code == 1) {
        SetCtrlAttribute(interfacepanel, INTERFACEP_ButtonAccept, ATTR_DIMMED, 1);
        SetBaudrateChangeAllowed(0);
    }
}

void SetButtonsDimmed(int flag) {
    const struct {
        int *panel;
        int control;
    } controls[] = {{&mainpanel, MAINP_SelectRAM},
                    {&mainpanel, MAINP_SelectEEPROM},
                    {&mainpanel, MAINP_SelectFILE},
                    {&mainpanel, MAINP_ButtonSend},
                    {&mainpanel, MAINP_ButtonGet},
                    {&mainpanel, MAINP_ButtonGo},
                    {&parapanel, PARAP_Calcmode},
                    {&interfacepanel, INTERFACEP_EditSelectBaudrate},
                    {&interfacepanel, INTERFACEP_ButtonTryToConnect},
                    {&calibpanel, CALIBP_ButtonSendCF},
                    {&calibpanel, CALIBP_ButtonGetCF},
                    {&calibpanel, CALIBP_ButtonCalcCF},
                    {&recpanel, RECP_EditSelectDataRec},
                    {&recpanel, RECP_ButtonStartRecord},
                    {&recpanel, RECP_ButtonStartTrigRec},
                    {&recpanel, RECP_ButtonSelRecFile}};
    for (const auto &c : controls)
        SetCtrlAttribute(*c.panel, c.control, ATTR_DIMMED, flag ? 1 : 0);
    SetCtrlAttribute(interfacepanel, INTERFACEP_ButtonChangeBaudrate, ATTR_DIMMED,
                     flag || !baudrateChangeAllowed ? 1 : 0);
    ProcessSystemEvents();
}

void SetBaudrateChangeAllowed(int allowed) {
    baudrateChangeAllowed = allowed != 0;
    DimBaudrateChange();
}

bool TransferRunning() {
    return transferRunning;
}

// Dimming takes the focus from the button that started the transfer and
// hands it to whatever comes next; it goes back there afterwards.
TransferScope::TransferScope() : m_refused(transferRunning) {
    if (m_refused) return;
    transferRunning = true;
    PushFocus();
    SetButtonsDimmed(1);
}

TransferScope::~TransferScope() {
    if (m_refused) return;
    transferRunning = false;
    EndProgress();
    // No loop runs any more: what the displays show is held.
    MarkValuesHeld();
    SetButtonsDimmed(0);
    PopFocus();
}

void SetPopupTimeout() {
    session::poll = 0;
    comecho = 0;
    ShowStatus("TIMEOUT");
    timeoutShownAt = TimeStr();
    MarkValuesStale();
    // A link that was never open, or that the sensor closed, keeps that as
    // its reason: "TIMEOUT" alone would hide it.
    if (LinkOpen() || CurrentLinkState() == kLinkTrying)
        SetLinkState(kLinkTimeout, timeoutExplainer ? timeoutExplainer() : QString());
    else if (CurrentLinkState() == kLinkClosedBySensor)
        SetLinkNote(QStringLiteral("TRY TO CONNECT opens it"));
    else
        SetLinkState(kLinkNotOpen, QStringLiteral("TRY TO CONNECT opens it"));
    ShowChildPanel(1);
}

void PlaceToolPanel(int panel) {
    // A pixel of what is read or pressed in small (V-No, X/Y/INT/GN, the teach table,
    // the buttons, the messages) weighs a thousand of the graph's: the graph
    // is covered in part before any of them is.
    constexpr int kSmall = 1000;
    QList<KeepInView> keep = {
        {datapanel, DATAP_GraphRGB, 1},           {datapanel, DATAP_GraphData1, 1},
        {datapanel, DATAP_GraphData2, 1},         {datapanel, DATAP_GraphData2__IntBar, 1},
        {datapanel, DATAP_GraphData2__GnBar, 1},  {datapanel, DATAP_SelectSource, 1},
        {datapanel, DATAP_DispX, kSmall},         {datapanel, DATAP_DispY, kSmall},
        {datapanel, DATAP_DispINT, kSmall},       {datapanel, DATAP_DispGN, kSmall},
        {datapanel, DATAP_DispCOL, kSmall},       {datapanel, DATAP_DispLink, kSmall},
        {datapanel, DATAP_ButtonMessages, kSmall}};
    for (int button : {MAINP_SelectRAM, MAINP_SelectEEPROM, MAINP_SelectFILE, MAINP_ButtonSend,
                       MAINP_ButtonGet, MAINP_ButtonGo, MAINP_ButtonStop})
        keep << KeepInView{mainpanel, button, kSmall};
    for (int child :
         {ttpanel, parapanel, interfacepanel, grouppanel, recpanel, calibpanel, tapanel})
        keep << KeepInView{child, 0, kSmall};
    // The other view is a graph too: weighed as the graph.
    for (int other : {p3sidesview, teachpanel})
        if (other != panel) keep << KeepInView{other, 0, 1};
    PlacePanelCoveringLeast(panel, keep);
}

void SetTimeoutExplainer(QString (*explain)()) {
    timeoutExplainer = explain;
}

void ShowStatus(const QString &text) {
    timeoutShownAt.clear();
    if (timeoutMarkedPast) {
        timeoutMarkedPast = false;
        MarkStatusDisplaysPast(false, QString::fromUtf8(HelpToolTip(InfoStatus)));
    }
    SetCtrlVal(datapanel, DATAP_DispStatus, text);
    SetCtrlVal(interfacepanel, INTERFACEP_DispStatus, text);
}

void MarkStatusTimeoutPast() {
    if (timeoutShownAt.isEmpty() || timeoutMarkedPast) return;
    timeoutMarkedPast = true;
    MarkStatusDisplaysPast(
        true, QStringLiteral("TIMEOUT of %1 is past: frames arrive again "
                             "since %2.\n\n%3")
                  .arg(timeoutShownAt, TimeStr(), QString::fromUtf8(HelpToolTip(InfoStatus))));
}

void HoldValuesForBox() {
    if (transferRunning && session::poll == 0) MarkValuesHeld();
}

void SetMemorySelector(int newTarget) {
    if (newTarget != RAM && newTarget != EEPROM && newTarget != DATFILE) newTarget = RAM;
    target = uint16_t(newTarget);
    SetCtrlVal(mainpanel, MAINP_SelectRAM, int(target == RAM));
    SetCtrlVal(mainpanel, MAINP_SelectEEPROM, int(target == EEPROM));
    SetCtrlVal(mainpanel, MAINP_SelectFILE, int(target == DATFILE));
}

void ShowHelp(const char *text, const char *title) {
    HelpBoxScope help;
    MessagePopup(QString::fromLatin1(title), QString::fromUtf8(text));
}

bool ShowHelpOnRightClick(int event, const char *text, const char *title) {
    if (event != EVENT_RIGHT_CLICK) return false;
    ShowHelp(text, title);
    return true;
}
