// The parameter panel: the panels are the master copy of what the operator
// edits, read into the variables before every use and written back after
// every load. Also the memory selector that decides where SEND and GET go.
#include "params/Params.h"

#include "live/Live.h"
#include "platform/Platform.h"
#include "shell/HelpTexts.h"
#include "shell/Shell.h"
#include "teach/TeachTable.h"
#include "uir_ids.h"

namespace {
// The thirteen parameter-panel controls in the order in which they are read
// and written.
struct PanelParam {
    int control;
    uint16_t *value;
    const char *name;
};
const PanelParam kPanelParams[13] = {
    {PARAP_SlidePower, &power, "POWER"},
    {PARAP_EditPmode, &pmode, "PMODE"},
    {PARAP_EditAverage, &average, "AVERAGE"},
    {PARAP_Evalmode, &evalmode, "EVALMODE"},
    {PARAP_EditHold, &hold, "HOLD"},
    {PARAP_EditIntlim, &intlim, "INTLIM"},
    {PARAP_EditMaxcolNo, &maxcolno, "MAXCOL-No."},
    {PARAP_EditOutmode, &outmode, "OUTMODE"},
    {PARAP_EditTrigger, &trigger, "TRIGGER"},
    {PARAP_EditExteach, &exteach, "EXTEACH"},
    {PARAP_Calcmode, &calcmode, "CALCMODE"},
    {PARAP_EditDynWinLoHi__Lo, &dynwinlo, "DYN WIN LO"},
    {PARAP_EditDynWinLoHi__Hi, &dynwinhi, "DYN WIN HI"},
};

QString LimitedNote(const char *name, int loaded, int shown) {
    return QString(" %1 %2 -> %3 \n").arg(QString::fromLatin1(name)).arg(loaded).arg(shown);
}

// The controls keep their ranges: a slider stops at its end, a selector
// without the loaded code keeps its item, the group switch knows only on and
// off. What they show is what the next SEND writes, so every loaded value
// they could not take is listed.
QString ValuesLimitedByPanel(bool triggerShownApart) {
    QString notes;
    for (const PanelParam &p : kPanelParams) {
        if (p.control == PARAP_EditTrigger && triggerShownApart) continue;
        int shown = 0;
        GetCtrlVal(parapanel, p.control, &shown);
        if (shown != *p.value) notes += LimitedNote(p.name, *p.value, shown);
    }
    int groupsOn = 0;
    GetCtrlVal(grouppanel, PGROUP_EditColorGroups, &groupsOn);
    if (groupsOn != colorgroup) notes += LimitedNote("GROUPS", colorgroup, groupsOn);
    return notes;
}

const char *const kExteachNames[4] = {"OFF", "ON", "STAT1", "DYN1"};

// A toggle of the memory selector changed: lit, it becomes the target;
// switched off, the target falls back to RAM.
int MemoryButtonChanged(int panel, int control, int event, int buttonTarget) {
    if (event == EVENT_RIGHT_CLICK) {
        ShowHelp(InfoSelectMEM);
        return 0;
    }
    if (event != EVENT_VAL_CHANGED) return 0;
    int on = 0;
    GetCtrlVal(panel, control, &on);
    SetMemorySelector(on ? buttonTarget : RAM);
    return 0;
}

// A set whose external teach is on while its trigger is external cannot be
// shown by the modes, which keep the two exclusive: InitExteach would reset
// the trigger to CONT and the next SEND would lose it without a word. Show
// both values as loaded and tell the operator; the next edit of either
// control settles the conflict the usual way.
void ShowExteachTriggerConflict(uint16_t loadedExteach, uint16_t loadedTrigger) {
    RestoreExtTriggers();
    SetCtrlVal(parapanel, PARAP_EditTrigger, loadedTrigger);
    SetCtrlVal(parapanel, PARAP_EditExteach, loadedExteach);
    SetCtrlAttribute(parapanel, PARAP_EditExteach, ATTR_DIMMED, 0);
    SetCtrlAttribute(datapanel, DATAP_LedTrig, ATTR_VISIBLE, 1);
    trigger = loadedTrigger;
    exteach = loadedExteach;
    MessagePopup("ATTENTION!",
                 QString(" The loaded parameters set EXTEACH to %1 and TRIGGER to EXT%2. \n"
                         " External teach and an external trigger exclude each other. \n"
                         " Both are shown as loaded: change EXTEACH or TRIGGER before the "
                         "next SEND.")
                     .arg(QString::fromLatin1(kExteachNames[loadedExteach]))
                     .arg(loadedTrigger - 1));
}
} // namespace

void GetPanelValues() {
    for (const PanelParam &p : kPanelParams)
        GetCtrlVal(parapanel, p.control, p.value);
    GetCtrlVal(grouppanel, PGROUP_EditColorGroups, &colorgroup);
    for (int n = 1; n <= anzVec; ++n) {
        GetTableCellVal(grouppanel, PGROUP_EditGridGroups, MakePoint(1, n), &groupbuf[n - 1]);
        for (int c = 1; c <= 7; ++c)
            GetTableCellVal(ttpanel, TTP_GridCtt, MakePoint(c, n), &ctt[n - 1][c - 1]);
    }
}

void SetPanelValues() {
    for (const PanelParam &p : kPanelParams)
        SetCtrlVal(parapanel, p.control, int(*p.value));
    SetCtrlVal(grouppanel, PGROUP_EditColorGroups, int(colorgroup));
    for (int n = 1; n <= anzVec; ++n) {
        SetTableCellVal(grouppanel, PGROUP_EditGridGroups, MakePoint(1, n), int(groupbuf[n - 1]));
        for (int c = 1; c <= 7; ++c)
            SetTableCellVal(ttpanel, TTP_GridCtt, MakePoint(c, n), int(ctt[n - 1][c - 1]));
    }
}

void InitPanelCtrlAttr() {
    InitPowerMode();
    InitEvalMode();
    InitCalcMode();
    InitExteach();
    InitTrigger();
    InitColorGroups();
    InitMaxVecNo();
    DispVis();
    InitTeachPanel();
}

void RefreshAfterLoad(int loadedMaxcolNo) {
    // InitExteach reads the TRIGGER control, which still shows the value from
    // before the load; the loaded trigger must survive it.
    const uint16_t loadedTrigger = trigger;
    const uint16_t loadedExteach = exteach;
    const bool conflict =
        loadedExteach >= 1 && loadedExteach <= 3 && loadedTrigger >= 2 && loadedTrigger <= 5;

    SetCtrlVal(parapanel, PARAP_EditExteach, int(exteach));
    SetCtrlVal(parapanel, PARAP_EditPmode, int(pmode));
    InitExteach(); // restores the EXT items before the trigger value is set
    trigger = loadedTrigger;
    SetPanelValues();
    // Read back before the modes force values of their own onto the controls.
    QString limited = ValuesLimitedByPanel(conflict);
    if (loadedMaxcolNo >= 0 && loadedMaxcolNo != maxcolno)
        limited.prepend(LimitedNote("MAXCOL-No.", loadedMaxcolNo, maxcolno));
    InitPanelCtrlAttr();

    if (!limited.isEmpty())
        MessagePopup("ATTENTION!", " These loaded values lie beyond the panel's range and were "
                                   "limited: \n" +
                                       limited + " The next SEND writes the limited values.");
    if (conflict) ShowExteachTriggerConflict(loadedExteach, loadedTrigger);
}

void SetMemorySelector(int newTarget) {
    if (newTarget != RAM && newTarget != EEPROM && newTarget != DATFILE) newTarget = RAM;
    target = uint16_t(newTarget);
    SetCtrlVal(mainpanel, MAINP_SelectRAM, int(target == RAM));
    SetCtrlVal(mainpanel, MAINP_SelectEEPROM, int(target == EEPROM));
    SetCtrlVal(mainpanel, MAINP_SelectFILE, int(target == DATFILE));
}

// ---- callbacks

int CBF_SelectRAM(int panel, int control, int event, void *, int, int) {
    return MemoryButtonChanged(panel, control, event, RAM);
}

int CBF_SelectEEPROM(int panel, int control, int event, void *, int, int) {
    return MemoryButtonChanged(panel, control, event, EEPROM);
}

int CBF_SelectFILE(int panel, int control, int event, void *, int, int) {
    return MemoryButtonChanged(panel, control, event, DATFILE);
}

int CBF_Evalmode(int, int, int event, void *, int, int) {
    if (event == EVENT_COMMIT) {
        InitEvalMode();
        InitTeachPanel();
    }
    ShowHelpOnRightClick(event, InfoEditEvalmode);
    return 0;
}

int CBF_EditTrigger(int, int, int event, void *, int, int) {
    if (event == EVENT_COMMIT) InitTrigger();
    ShowHelpOnRightClick(event, InfoEditTrigger);
    return 0;
}

int CBF_EditExteach(int, int, int event, void *, int, int) {
    if (event == EVENT_COMMIT) InitExteach();
    ShowHelpOnRightClick(event, InfoEditExteach);
    return 0;
}

int CBF_EditMaxcolNo(int, int, int event, void *, int, int) {
    if (event == EVENT_COMMIT) InitMaxVecNo();
    ShowHelpOnRightClick(event, InfoEditMaxcolNo);
    return 0;
}

int CBF_EditOutmode(int, int, int event, void *, int, int) {
    if (event == EVENT_COMMIT) InitMaxVecNo();
    ShowHelpOnRightClick(event, InfoEditOutmode);
    return 0;
}

int CBF_EditPmode(int, int, int event, void *, int, int) {
    if (event == EVENT_COMMIT) InitPowerMode();
    ShowHelpOnRightClick(event, InfoEditPmod);
    return 0;
}

int CBF_EditDynWinLoHi(int, int, int event, void *, int, int) {
    ShowHelpOnRightClick(event, InfoEditDynWinLoHi);
    return 0;
}

int CBF_EditAverage(int, int, int event, void *, int, int) {
    ShowHelpOnRightClick(event, InfoEditAverage);
    return 0;
}

int CBF_EditIntlim(int, int, int event, void *, int, int) {
    ShowHelpOnRightClick(event, InfoEditIntlim);
    return 0;
}

int CBF_EditHold(int, int, int event, void *, int, int) {
    ShowHelpOnRightClick(event, InfoEditHold);
    return 0;
}

int CBF_SlidePower(int, int, int event, void *, int, int) {
    ShowHelpOnRightClick(event, InfoEditPower);
    return 0;
}
