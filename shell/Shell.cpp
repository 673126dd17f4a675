// Start-up, the child-panel switch, dimming during transfers and the common
// reaction to a lost sensor.
#include "shell/Shell.h"

#include "link/Link.h"
#include "live/Live.h"
#include "params/Params.h"
#include "platform/Platform.h"
#include "teach/TeachTable.h"
#include "uir_ids.h"

extern const UirPanelInfo kUirPanels[];

int mainpanel, parapanel, ttpanel, datapanel, tapanel, interfacepanel, grouppanel, recpanel,
    calibpanel, teachpanel, colbigpanel, grpbigpanel, p3sidesview;

uint16_t session::poll = 0;
uint16_t target = RAM;
uint16_t order = 1;
namespace telegram {
uint16_t sync = 85;
}
uint16_t comecho = 0;
uint16_t anzVec = 31;
uint16_t anzOut = 5;
uint16_t anzpara = 264;
uint16_t anzframe = 18;

QString proj_dir;
QString ipComboBoxFileName, conSettingsFileName, colorArrayStartupFileName, recFileName,
    paraFileName;

uint16_t xramp[4096], yramp[4096];

namespace {
const char kUir[] = "Tolvane.uir";

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

bool transferRunning = false;
bool baudrateChangeAllowed = false;

constexpr int kButtonColour = 0xE0E0E0;
constexpr int kOpenButtonColour = 0xC0C0C0;
} // namespace

int LoadAllPanels(int argc, char **argv) {
    if (InitRunTimeEngine(argc, argv) < 0) return -1;
    InstallUirTable(kUirPanels, kUirPanelCount);

    struct Load {
        int *handle;
        bool child;
        int id;
    };
    const Load loads[] = {{&mainpanel, false, MAINP},       {&parapanel, true, PARAP},
                          {&ttpanel, true, TTP},            {&datapanel, true, DATAP},
                          {&tapanel, true, TAP},            {&interfacepanel, true, INTERFACEP},
                          {&grouppanel, true, PGROUP},      {&recpanel, true, RECP},
                          {&calibpanel, true, CALIBP},      {&teachpanel, false, TEACHP},
                          {&colbigpanel, false, COLBIGP},   {&grpbigpanel, false, GRPBIGP},
                          {&p3sidesview, false, P3SIDESVIEW}};
    for (const Load &l : loads) {
        *l.handle = LoadPanel(l.child ? mainpanel : 0, kUir, l.id);
        if (*l.handle < 0) return -1;
    }

    for (int *child : {&parapanel, &ttpanel, &interfacepanel, &grouppanel, &recpanel, &calibpanel})
        SetPanelPos(*child, 119, 7);
    SetPanelPos(tapanel, 119, 8);
    SetPanelPos(datapanel, 64, 294);
    return 0;
}

int WinMain(int argc, char **argv) {
    if (LoadAllPanels(argc, argv) < 0) return -1;
    ShowChildPanel(2);
    DisplayPanel(datapanel);
    DisplayPanel(mainpanel);
    InitAll();
    RunUserInterface();
    if (tcpcon) DisconnectFromTCPServer(g_hconversation);
    DiscardPanel(mainpanel);
    return 0;
}

void InitAll() {
    anzpara = 264;
    anzframe = 18;
    anzVec = 31;
    anzOut = 5;
    tcpcon = 0;
    telegram::sync = 85;
    order = 1;
    target = RAM;
    session::poll = 0;

    proj_dir = GetProjectDir();
    ipComboBoxFileName = JoinPath(proj_dir, "IPComboBox.cfg");
    conSettingsFileName = JoinPath(proj_dir, "ComSettings.cfg");
    colorArrayStartupFileName = JoinPath(proj_dir, "StartupFile.cfg");
    recFileName = JoinPath(proj_dir, "RecordFile.dat");
    SetCtrlVal(recpanel, RECP_DispRecFile, recFileName);
    paraFileName = proj_dir;

    for (int i = 0; i < 4096; ++i) {
        xramp[i] = static_cast<uint16_t>(i);
        yramp[i] = static_cast<uint16_t>(4095 - i);
    }

    DispVis();
    ShowLogo(5);
    GetPanelValues();
    ApplyRowColors();

    LabelComPorts();
    GetConnectionSettingsFromFile();
    InitConnectPanel();

    TransferScope transfer;
    TryToConnect();
}

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
    } controls[] = {
        {&mainpanel, MAINP_SelectRAM},          {&mainpanel, MAINP_SelectEEPROM},
        {&mainpanel, MAINP_SelectFILE},         {&mainpanel, MAINP_ButtonSend},
        {&mainpanel, MAINP_ButtonGet},          {&mainpanel, MAINP_ButtonGo},
        {&parapanel, PARAP_Calcmode},           {&interfacepanel, INTERFACEP_EditSelectBaudrate},
        {&interfacepanel, INTERFACEP_ButtonTryToConnect},
        {&calibpanel, CALIBP_ButtonSendCF},     {&calibpanel, CALIBP_ButtonGetCF},
        {&calibpanel, CALIBP_ButtonCalcCF},     {&recpanel, RECP_EditSelectDataRec},
        {&recpanel, RECP_ButtonStartRecord},    {&recpanel, RECP_ButtonStartTrigRec},
        {&recpanel, RECP_ButtonSelRecFile}};
    for (const auto &c : controls) SetCtrlAttribute(*c.panel, c.control, ATTR_DIMMED, flag ? 1 : 0);
    SetCtrlAttribute(interfacepanel, INTERFACEP_ButtonChangeBaudrate, ATTR_DIMMED,
                     flag || !baudrateChangeAllowed ? 1 : 0);
    ProcessSystemEvents();
}

void SetBaudrateChangeAllowed(int allowed) {
    baudrateChangeAllowed = allowed != 0;
    SetCtrlAttribute(interfacepanel, INTERFACEP_ButtonChangeBaudrate, ATTR_DIMMED,
                     transferRunning || !baudrateChangeAllowed ? 1 : 0);
}

bool TransferRunning() { return transferRunning; }

TransferScope::TransferScope() : m_refused(transferRunning) {
    if (m_refused) return;
    transferRunning = true;
    SetButtonsDimmed(1);
}

TransferScope::~TransferScope() {
    if (m_refused) return;
    transferRunning = false;
    SetButtonsDimmed(0);
}

void SetPopupTimeout() {
    session::poll = 0;
    comecho = 0;
    ShowStatus("TIMEOUT");
    ShowChildPanel(1);
}

void ShowHelp(const char *text) { MessagePopup("INFO!", QString::fromUtf8(text)); }

bool ShowHelpOnRightClick(int event, const char *text) {
    if (event != EVENT_RIGHT_CLICK) return false;
    ShowHelp(text);
    return true;
}
