// The parameter panel: the panels are the master copy of what the operator
// edits, read into the variables before every use and written back after
// every load. Also the memory selector that decides where SEND and GET go.
#include "params/Params.h"

#include "core/MasterCopy.h"
#include "core/SensorData.h"

#include "core/Edits.h"
#include "core/HelpTexts.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "live/Live.h"
#include "platform/Platform.h"
#include "teach/TeachTable.h"
#include "uir_ids.h"

namespace {
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
    // Values the panels could not take differ from the set loaded: the next
    // SEND changes them.
    NoteChangesSentOrReplaced();
    if (!limited.isEmpty() || conflict) NoteUnsentEdit();

    if (!limited.isEmpty())
        MessagePopup("ATTENTION!", " These loaded values lie beyond the panel's range and were "
                                   "limited: \n" +
                                       limited + " The next SEND writes the limited values.");
    if (conflict) ShowExteachTriggerConflict(loadedExteach, loadedTrigger);
}

// ---- callbacks

int CBF_Evalmode(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoEditEvalmode) || event != EVENT_COMMIT) return 0;
    NoteUnsentEdit();
    InitEvalMode();
    InitTeachPanel();
    return 0;
}

int CBF_EditTrigger(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoEditTrigger) || event != EVENT_COMMIT) return 0;
    NoteUnsentEdit();
    InitTrigger();
    return 0;
}

int CBF_EditExteach(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoEditExteach) || event != EVENT_COMMIT) return 0;
    NoteUnsentEdit();
    InitExteach();
    return 0;
}

int CBF_EditMaxcolNo(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoEditMaxcolNo) || event != EVENT_COMMIT) return 0;
    NoteUnsentEdit();
    InitMaxVecNo();
    return 0;
}

int CBF_EditOutmode(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoEditOutmode) || event != EVENT_COMMIT) return 0;
    NoteUnsentEdit();
    InitMaxVecNo();
    return 0;
}

int CBF_EditPmode(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoEditPmod) || event != EVENT_COMMIT) return 0;
    NoteUnsentEdit();
    InitPowerMode();
    return 0;
}

int CBF_EditDynWinLoHi(int, int, int event, void *, int, int) {
    return HelpOrEdit(event, InfoEditDynWinLoHi);
}
int CBF_EditAverage(int, int, int event, void *, int, int) {
    return HelpOrEdit(event, InfoEditAverage);
}
int CBF_EditIntlim(int, int, int event, void *, int, int) {
    return HelpOrEdit(event, InfoEditIntlim);
}
int CBF_EditHold(int, int, int event, void *, int, int) {
    return HelpOrEdit(event, InfoEditHold);
}
int CBF_SlidePower(int, int, int event, void *, int, int) {
    return HelpOrEdit(event, InfoEditPower);
}
// The number box beside the slider: a typed POWER moves the slider, which
// holds the value the parameter set reads.
int CBF_EditPower(int, int, int event, void *, int, int) {
    if (event == EVENT_COMMIT) {
        int power = 0;
        GetCtrlVal(parapanel, PARAP_EditPower, &power);
        SetCtrlVal(parapanel, PARAP_SlidePower, power);
    }
    return HelpOrEdit(event, InfoEditPower);
}

int CBF_PARAP(int, int, int, void *, int, int) {
    return 0;
}
