// The table of help texts and the tooltips made from it.
#include "core/HelpTable.h"

#include "core/HelpTexts.h"
#include "core/Session.h"
#include "platform/Platform.h"
#include "uir_ids.h"

namespace {
constexpr const char kInfo[] = "INFO!";

// Each callback names its own text for the right click; tst_help clicks
// every row here and compares the pop-up with the row, so that the tooltip
// and the right click cannot tell different things. Controls sharing one
// callback (Name__Suffix) are listed one by one: each widget has its tooltip.
const HelpEntry kHelp[] = {
    // main panel
    {&mainpanel, MAINP_ButtonPara, InfoButtonPara, kInfo},
    {&mainpanel, MAINP_ButtonTeachTable, InfoButtonTeachTable, kInfo},
    {&mainpanel, MAINP_ButtonSend, InfoButtonSend, kInfo},
    {&mainpanel, MAINP_ButtonGet, InfoButtonGet, kInfo},
    {&mainpanel, MAINP_ButtonGo, InfoButtonGo, kInfo},
    {&mainpanel, MAINP_ButtonStop, InfoButtonStop, kInfo},
    {&mainpanel, MAINP_ButtonConnect, InfoButtonConnect, kInfo},
    {&mainpanel, MAINP_ButtonColorGroups, InfoButtonColorGroups, kInfo},
    {&mainpanel, MAINP_ButtonRecorder, InfoButtonOpenRecorder, kInfo},
    {&mainpanel, MAINP_ButtonCalibrate, InfoButtonCalibration, kInfo},
    {&mainpanel, MAINP_ButtonTableAttr, InfoButtonTableAttr, "Info"},
    {&mainpanel, MAINP_SelectRAM, InfoSelectMEM, kInfo},
    {&mainpanel, MAINP_SelectEEPROM, InfoSelectMEM, kInfo},
    {&mainpanel, MAINP_SelectFILE, InfoSelectMEM, kInfo},

    // parameter panel
    {&parapanel, PARAP_Evalmode, InfoEditEvalmode, kInfo},
    {&parapanel, PARAP_Calcmode, InfoEditCalcMode, kInfo},
    {&parapanel, PARAP_EditTrigger, InfoEditTrigger, kInfo},
    {&parapanel, PARAP_EditExteach, InfoEditExteach, kInfo},
    {&parapanel, PARAP_EditMaxcolNo, InfoEditMaxcolNo, kInfo},
    {&parapanel, PARAP_EditOutmode, InfoEditOutmode, kInfo},
    {&parapanel, PARAP_EditPmode, InfoEditPmod, kInfo},
    {&parapanel, PARAP_EditDynWinLoHi__Lo, InfoEditDynWinLoHi, kInfo},
    {&parapanel, PARAP_EditDynWinLoHi__Hi, InfoEditDynWinLoHi, kInfo},
    {&parapanel, PARAP_EditAverage, InfoEditAverage, kInfo},
    {&parapanel, PARAP_EditIntlim, InfoEditIntlim, kInfo},
    {&parapanel, PARAP_EditHold, InfoEditHold, kInfo},
    {&parapanel, PARAP_SlidePower, InfoEditPower, kInfo},
    {&parapanel, PARAP_EditPower, InfoEditPower, kInfo},

    // teach-table panel
    {&ttpanel, TTP_GridCtt, InfoGridCtt, kInfo},
    {&ttpanel, TTP_EditNo, InfoEditNo, kInfo},
    {&ttpanel, TTP_RadioInc, InfoRadioInc, kInfo},
    {&ttpanel, TTP_ButtonTeachDataTo, InfoButtonTeachDataTo, kInfo},
    {&ttpanel, TTP_ButtonApplyFromAll, InfoButtonApplyFromAll, kInfo},
    {&ttpanel, TTP_ButtonResetTable, InfoButtonResetTable, kInfo},
    {&ttpanel, TTP_ButtonUndo, InfoButtonUndo, kInfo},
    {&ttpanel, TTP_ButtonTeachMeanVal, InfoButtonTeachMeanVal, kInfo},

    // data panel
    {&datapanel, DATAP_SelectSource, InfoSelectSource, kInfo},
    {&datapanel, DATAP_DispLink, InfoDispLink, kInfo},
    {&datapanel, DATAP_ButtonMessages, InfoButtonMessages, kInfo},
    {&datapanel, DATAP_DispX, InfoDispX, kInfo},
    {&datapanel, DATAP_DispY, InfoDispY, kInfo},
    {&datapanel, DATAP_DispINT, InfoDispINT, kInfo},
    {&datapanel, DATAP_DispGN, InfoDispGN, kInfo},
    {&datapanel, DATAP_DispRaw__R, InfoDispRAW, kInfo},
    {&datapanel, DATAP_DispRaw__G, InfoDispRAW, kInfo},
    {&datapanel, DATAP_DispRaw__B, InfoDispRAW, kInfo},
    {&datapanel, DATAP_DispRaw__Ref, InfoDispRAW, kInfo},
    {&datapanel, DATAP_DispRaw__Dir, InfoDispRAW, kInfo},
    {&datapanel, DATAP_DispRaw__Dif, InfoDispRAW, kInfo},
    {&datapanel, DATAP_BarR, InfoDispRAW, kInfo},
    {&datapanel, DATAP_BarG, InfoDispRAW, kInfo},
    {&datapanel, DATAP_BarB, InfoDispRAW, kInfo},
    {&datapanel, DATAP_BarRef, InfoDispRAW, kInfo},
    {&datapanel, DATAP_BarDir, InfoDispRAW, kInfo},
    {&datapanel, DATAP_BarDif, InfoDispRAW, kInfo},
    {&datapanel, DATAP_DispCOL, InfoDispCOL, kInfo},
    {&datapanel, DATAP_Lamp16, InfoLamps, kInfo},
    {&datapanel, DATAP_Lamp8, InfoLamps, kInfo},
    {&datapanel, DATAP_Lamp4, InfoLamps, kInfo},
    {&datapanel, DATAP_Lamp2, InfoLamps, kInfo},
    {&datapanel, DATAP_Lamp1, InfoLamps, kInfo},
    {&datapanel, DATAP_DispGroup, InfoDispGroup, kInfo},
    {&datapanel, DATAP_DispTemp, InfoDispTemp, kInfo},
    {&datapanel, DATAP_DispStatus, InfoStatus, kInfo},
    {&datapanel, DATAP_DispComPort, InfoDispComPort, kInfo},
    {&datapanel, DATAP_DispHost, InfoDispHost, kInfo},
    {&datapanel, DATAP_ColorPatch, InfoColorPatch, kInfo},
    {&datapanel, DATAP_LedTrig, InfoLedTrig, kInfo},
    {&datapanel, DATAP_GraphRGB, InfoGraph, kInfo},
    {&datapanel, DATAP_GraphRGB__Int, InfoGraph, kInfo},
    {&datapanel, DATAP_GraphRGB__Gn, InfoGraph, kInfo},
    {&datapanel, DATAP_GraphData1, InfoGraph, kInfo},
    {&datapanel, DATAP_GraphData2, InfoGraph, kInfo},
    {&datapanel, DATAP_GraphData2__IntBar, InfoGraph, kInfo},
    {&datapanel, DATAP_GraphData2__GnBar, InfoGraph, kInfo},

    // table-attributes panel: its help is titled "Info"
    {&tapanel, TAP_GridSpec, InfoGridSpec, "Info"},
    {&tapanel, TAP_EditSetColor, InfoEditSetColor, "Info"},
    {&tapanel, TAP_EditRow, InfoEditRow, "Info"},
    {&tapanel, TAP_EditColorNumericRow, InfoEditColorNumRow, "Info"},
    {&tapanel, TAP_ButtonSetRowColor, InfoButtonSetRowColor, "Info"},
    {&tapanel, TAP_ButtonSaveArray, InfoButtonSaveArray, "Info"},
    {&tapanel, TAP_ButtonGetArray, InfoButtonGetArray, "Info"},
    {&tapanel, TAP_ButtonSetStartupArray, InfoButtonSetStartupArray, "Info"},

    // recorder panel
    {&recpanel, RECP_ButtonSelRecFile, InfoButtonSelRecFile, kInfo},
    {&recpanel, RECP_DispRecFile, InfoDisRecFile, kInfo},
    {&recpanel, RECP_ButtonOpenRecord, InfoButtonOpenRecord, kInfo},
    {&recpanel, RECP_ButtonStartRecord, InfoButtonStartRecord, kInfo},
    {&recpanel, RECP_ButtonStartTrigRec, InfoButtonStartRecord, kInfo},
    {&recpanel, RECP_ButtonStopRecord, InfoButtonStopRecord, kInfo},
    {&recpanel, RECP_ButtonStopTrigRec, InfoButtonStopRecord, kInfo},
    {&recpanel, RECP_ButtonManualRecord, InfoButtonManualRecord, kInfo},
    {&recpanel, RECP_EditSelectDataRec, InfoEditSelDataRec, kInfo},
    {&recpanel, RECP_EditInterval, InfoEditInterval, kInfo},
    {&recpanel, RECP_EditRecVal, InfoEditRecVal, kInfo},
    {&recpanel, RECP_DispRecordTime__Days, InfoDispRecordTime, kInfo},
    {&recpanel, RECP_DispRecordTime__Hours, InfoDispRecordTime, kInfo},
    {&recpanel, RECP_DispRecordTime__Minutes, InfoDispRecordTime, kInfo},
    {&recpanel, RECP_DispRecordTime__Seconds, InfoDispRecordTime, kInfo},
    {&recpanel, RECP_DispRecordedValues, InfoDispRecordedValues, kInfo},
    {&recpanel, RECP_DispRemaining, InfoDispRemaining, kInfo},
    {&recpanel, RECP_DispID, InfoDispID, kInfo},
    {&recpanel, RECP_DispFrameCounter, InfoDispFrameCounter, kInfo},

    // mean-value teach panel
    {&teachpanel, TEACHP_ButtonTpCapture, InfoButtonTpCapture, kInfo},
    {&teachpanel, TEACHP_ButtonTpUndo, InfoButtonTpUndo, kInfo},
    {&teachpanel, TEACHP_ButtonTpResetTable, InfoButtonTpResetTable, kInfo},
    {&teachpanel, TEACHP_ButtonTpTeachToTable, InfoButtonTpTeachToTableWide, kInfo},
    {&teachpanel, TEACHP_ButtonTpClose, InfoButtonClosePanel, kInfo},
    {&teachpanel, TEACHP_GridTpValues, InfoGridTpValues, kInfo},
    {&teachpanel, TEACHP_GridTpMean, InfoGridTpMean, kInfo},
    {&teachpanel, TEACHP_DispTpCounter, InfoDispTpCounter, kInfo},
    {&teachpanel, TEACHP_DispTpMaxDeltaXY, InfoDispMaxDeltaXY, kInfo},
    {&teachpanel, TEACHP_DispTpMaxDeltaInt, InfoDispTpMaxDeltaInt, kInfo},
    {&teachpanel, TEACHP_DispTpMaxDeltaGn, InfoDispTpMaxDeltaGn, kInfo},
    {&teachpanel, TEACHP_EditTpTeachCtoWith, InfoEditTpTeachCtoWith, kInfo},
    {&teachpanel, TEACHP_EditTpTeachItoWith, InfoEditTpTeachItoWith, kInfo},
    {&teachpanel, TEACHP_EditTpTeachGtoWith, InfoEditTpTeachGtoWith, kInfo},
    {&teachpanel, TEACHP_EditTpValueCto, InfoEditTpValueCto, kInfo},
    {&teachpanel, TEACHP_EditTpValueIto, InfoEditTpValueIto, kInfo},
    {&teachpanel, TEACHP_EditTpValueGto, InfoEditTpValueGto, kInfo},
    {&teachpanel, TEACHP_EditTpRowNo, InfoEditTpRowNo, kInfo},

    // interface panel
    {&interfacepanel, INTERFACEP_ButtonTryToConnect, InfoButtonTryToConnect, kInfo},
    {&interfacepanel, INTERFACEP_ButtonAccept, InfoButtonAccept, kInfo},
    {&interfacepanel, INTERFACEP_ButtonChangeBaudrate, InfoButtonChangeBaudrate, kInfo},
    {&interfacepanel, INTERFACEP_EditCommunicationProtocol, InfoEditCommunicationProtocol, kInfo},
    {&interfacepanel, INTERFACEP_EditSelectComPort, InfoEditConnect, kInfo},
    {&interfacepanel, INTERFACEP_EditSelectBaudrate, InfoEditSelectBaudrate, kInfo},
    {&interfacepanel, INTERFACEP_StringIpAdress, InfoStringIpAdress, kInfo},
    {&interfacepanel, INTERFACEP_StringPortNumber, InfoStringPortNumber, kInfo},
    {&interfacepanel, INTERFACEP_EditID, InfoEditID, kInfo},
    {&interfacepanel, INTERFACEP_DispStatus, InfoStatus, kInfo},

    // group panel
    {&grouppanel, PGROUP_EditGridGroups, InfoGroupsOutmode, kInfo},
    {&grouppanel, PGROUP_EditColorGroups, InfoEditColorGroups, kInfo},
    {&grouppanel, PGROUP_ButtonResetGroupTable, InfoButtonResetGroupTable, kInfo},

    // calibration panel
    {&calibpanel, CALIBP_ButtonSendCF, InfoButtonSendCF, kInfo},
    {&calibpanel, CALIBP_ButtonGetCF, InfoButtonGetCF, kInfo},
    {&calibpanel, CALIBP_ButtonCalcCF, InfoButtonCalcCF, kInfo},
    {&calibpanel, CALIBP_EditCFR, InfoEditCF, kInfo},
    {&calibpanel, CALIBP_EditCFG, InfoEditCF, kInfo},
    {&calibpanel, CALIBP_EditCFB, InfoEditCF, kInfo},
    {&calibpanel, CALIBP_EditSetValue, InfoEditSetValue, kInfo},
    {&calibpanel, CALIBP_EditMaxDelta, InfoEditMaxDelta, kInfo},
    {&calibpanel, CALIBP_DispBarsRAW__R, InfoDispBarsRAW, kInfo},
    {&calibpanel, CALIBP_DispBarsRAW__G, InfoDispBarsRAW, kInfo},
    {&calibpanel, CALIBP_DispBarsRAW__B, InfoDispBarsRAW, kInfo},
    {&calibpanel, CALIBP_DispRawDelta, InfoDispRawDelta, kInfo},
    {&calibpanel, CALIBP_DispBars__R, InfoDispRAW, kInfo},
    {&calibpanel, CALIBP_DispBars__G, InfoDispRAW, kInfo},
    {&calibpanel, CALIBP_DispBars__B, InfoDispRAW, kInfo},

    // three-sides view
    {&p3sidesview, P3SIDESVIEW_Graph3SidesView__XY, InfoGraph3SidesView, kInfo},
    {&p3sidesview, P3SIDESVIEW_Graph3SidesView__YInt, InfoGraph3SidesView, kInfo},
    {&p3sidesview, P3SIDESVIEW_Graph3SidesView__XInt, InfoGraph3SidesView, kInfo},
    {&p3sidesview, P3SIDESVIEW_Graph3SidesView__IntGn, InfoGraph3SidesView, kInfo},
    {&p3sidesview, P3SIDESVIEW_Graph3SidesView__XGn, InfoGraph3SidesView, kInfo},
    {&p3sidesview, P3SIDESVIEW_Graph3SidesView__YGn, InfoGraph3SidesView, kInfo},
    {&p3sidesview, P3SIDESVIEW_Graph3SidesView__IntTrend, InfoGraph3SidesView, kInfo},
    {&p3sidesview, P3SIDESVIEW_Graph3SidesView__GnTrend, InfoGraph3SidesView, kInfo},
    {&p3sidesview, P3SIDESVIEW_Button3SidesClose, InfoButtonClosePanel, kInfo},
};
} // namespace

std::span<const HelpEntry> HelpTable() {
    return kHelp;
}

const char *HelpToolTip(const char *text) {
    while (*text == ' ')
        ++text;
    return text;
}

void SetHelpToolTips() {
    for (const HelpEntry &e : kHelp)
        SetCtrlToolTip(*e.panel, e.control, QString::fromUtf8(HelpToolTip(e.text)));
}
