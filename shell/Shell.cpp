// Start-up: the engine, the thirteen panels, the start values and the first
// connection attempt.
#include "shell/Shell.h"

#include "controls/Combo.h"
#include "core/HelpTable.h"
#include "core/LinkStatus.h"
#include "core/MasterCopy.h"
#include "core/Outcomes.h"
#include "core/Protocol.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "link/Link.h"
#include "live/Live.h"
#include "params/Params.h"
#include "platform/Platform.h"
#include "teach/TeachTable.h"
#include "uir_ids.h"
#include "viewer/Viewer.h"

#include <QByteArray>
#include <QFileInfo>
#include <cstdio>

int LoadAllPanels(int argc, char **argv) {
    if (InitRunTimeEngine(argc, argv) < 0) return -1;
    SetRefreshAfterLoad([] { RefreshAfterLoad(); });
    SetTimeoutExplainer(ExplainAnswerFailure);
    SetRefusedInputHandler([](const QString &note) { SetLinkNote(note); });
    SetPopupOpeningHandler(HoldValuesForBox);
    KeepBoxMessages();
    if (LoadPanelHandles() < 0) return -1;

    for (int *child : {&parapanel, &ttpanel, &interfacepanel, &grouppanel, &recpanel, &calibpanel})
        SetPanelPos(*child, 119, 7);
    SetPanelPos(tapanel, 119, 8);
    SetPanelPos(datapanel, 64, 294);
    // Views the operator works with beside the main window stay above it.
    MakeToolWindowOf(p3sidesview, mainpanel);
    MakeToolWindowOf(teachpanel, mainpanel);
    SetHelpToolTips();

    // Tab walks the panels as they are seen: navigation, the open child
    // panel, the memory selector and the transfer buttons, then the data panel.
    QList<FocusStep> order;
    for (int button :
         {MAINP_ButtonConnect, MAINP_ButtonPara, MAINP_ButtonTeachTable, MAINP_ButtonColorGroups,
          MAINP_ButtonRecorder, MAINP_ButtonCalibrate, MAINP_ButtonTableAttr})
        order << FocusStep{mainpanel, button};
    for (int child :
         {interfacepanel, parapanel, ttpanel, grouppanel, recpanel, calibpanel, tapanel})
        order << FocusStep{child, 0};
    for (int button : {MAINP_SelectRAM, MAINP_SelectEEPROM, MAINP_SelectFILE, MAINP_ButtonSend,
                       MAINP_ButtonGet, MAINP_ButtonGo, MAINP_ButtonStop})
        order << FocusStep{mainpanel, button};
    order << FocusStep{datapanel, 0};
    SetFocusOrder(order);
    return 0;
}

namespace {
// tolvane --view FILE: the record viewer alone, without the panels and the
// sensor; the program ends when its window closes.
int ViewRecord(int argc, char **argv, const QString &file) {
    // A pipe or a device would be read for ever, before any window shows.
    const QFileInfo info(file);
    if (info.exists() && !info.isFile()) {
        std::fprintf(stderr, "tolvane: --view %s: not a file\n", qPrintable(file));
        return 2;
    }
    if (InitRunTimeEngine(argc, argv) < 0) return -1;
    if (!OpenRecordViewer(file, true)) return 2;
    RunUserInterface();
    DiscardAllPanels();
    return 0;
}
} // namespace

int WinMain(int argc, char **argv) {
    if (const int code = TakeStartOptions(argc, argv); code >= 0) return code;
    if (!ViewFileOption().isEmpty()) return ViewRecord(argc, argv, ViewFileOption());
    if (LoadAllPanels(argc, argv) < 0) return -1;
    ShowChildPanel(2);
    DisplayPanel(datapanel);
    DisplayPanel(mainpanel);
    InitAll();
    RunUserInterface();
    if (tcpcon) DisconnectFromTCPServer(g_hconversation);
    // Every panel goes, the free windows too, so that a leak report at exit
    // means a real leak.
    DiscardAllPanels();
    return 0;
}

void InitAll() {
    anzpara = proto::kParaSetWords;
    anzframe = proto::kWords;
    anzVec = proto::kRows;
    anzOut = 5;
    tcpcon = 0;
    telegram::sync = proto::kRequestSync;
    order = 1;
    target = RAM;
    session::poll = 0;
    InitGroupCell();

    proj_dir = GetProjectDir();
    cfg_dir = ConfigDirFor(proj_dir);
    ApplyConfigDirOption();
    data_dir = DataDirFor(proj_dir);
    ipComboBoxFileName = JoinPath(cfg_dir, "IPComboBox.cfg");
    conSettingsFileName = JoinPath(cfg_dir, "ComSettings.cfg");
    colorArrayStartupFileName = JoinPath(cfg_dir, "StartupFile.cfg");
    RemoveSaveLeftovers({ipComboBoxFileName, conSettingsFileName, colorArrayStartupFileName});
    recFileName = JoinPath(data_dir, "RecordFile.dat");
    SetCtrlVal(recpanel, RECP_DispRecFile, recFileName);
    paraFileName = data_dir;

    for (int i = 0; i < 4096; ++i) {
        xramp[i] = static_cast<uint16_t>(i);
        yramp[i] = static_cast<uint16_t>(4095 - i);
    }

    DispVis();
    ShowNoFrameYet();
    ShowLogo(5);
    GetPanelValues();
    LoadStartupFile();

    FillComPortSelector();
    Combo_NewComboBox(interfacepanel, INTERFACEP_StringIpAdress);
    Combo_SetComboAttribute(interfacepanel, INTERFACEP_StringIpAdress, ATTR_COMBO_FRAME_COLOR,
                            MakeColor(0xE0, 0xE0, 0xE0));
    GetHostHistoryFromFile();
    GetConnectionSettingsFromFile();
    InitConnectPanel();
    ApplyLinkOption();

    TransferScope transfer;
    TryToConnect();
}
