// The status line and the greying of values that are no longer live.
#include "core/LinkStatus.h"

#include "core/Outcomes.h"
#include "core/SensorData.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "platform/Platform.h"
#include "uir_ids.h"

#include <QDateTime>

namespace {
QString linkName;
LinkState linkState = kLinkNotOpen;
bool linkOpen = false;
QString linkNote;
QString linkNoteTime; // when the note came: "15:01:43"
double frameRate = -1;
bool stale = false;
bool held = true; // no frame yet
bool unsent = false;
QString valuesNote;

// Of when the values shown are, when they are not live; empty while they are.
QString HeldText() {
    const QString time = ShownFrameTime();
    if (stale) return time.isEmpty() ? QString() : QStringLiteral("last frame of %1").arg(time);
    if (!held) return QString();
    return time.isEmpty() ? QStringLiteral("no values yet")
                          : QStringLiteral("stopped \u2014 values of %1").arg(time);
}

const char *StateText(LinkState s) {
    switch (s) {
    case kLinkNotOpen:
        return "not connected";
    case kLinkTrying:
        return "connecting";
    case kLinkConnected:
        return "connected";
    case kLinkPolling:
        return "polling";
    case kLinkRecording:
        return "recording";
    case kLinkTimeout:
        return "time-out";
    case kLinkClosedBySensor:
        return "closed by the sensor";
    }
    return "";
}

void Show() {
    SetCtrlVal(datapanel, DATAP_DispLink, LinkStatusText());
    const bool bad =
        linkState == kLinkNotOpen || linkState == kLinkTimeout || linkState == kLinkClosedBySensor;
    SetCtrlAttribute(datapanel, DATAP_DispLink, ATTR_TEXT_COLOR, bad ? 0xB00000 : 0x000000);
}

// A new note is the newest outcome: stamped and kept for the MESSAGES list.
void TakeNote(const QString &note) {
    if (note == linkNote) return;
    linkNote = note;
    if (note.isEmpty()) return;
    linkNoteTime = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss"));
    KeepMessage(note);
}

// Every display that holds a measured value, in one list: all of them fade
// while the values are held or stale; the number displays are blank until
// the first frame.
struct Shown {
    int *panel;
    int control;
    bool number;
};
const Shown kLiveControls[] = {
    {&datapanel, DATAP_DispCOL, true},
    {&datapanel, DATAP_DispGroup, true},
    {&datapanel, DATAP_ColorPatch, false},
    {&datapanel, DATAP_DispTemp, true},
    {&datapanel, DATAP_LedTrig, false},
    {&datapanel, DATAP_Lamp16, false},
    {&datapanel, DATAP_Lamp8, false},
    {&datapanel, DATAP_Lamp4, false},
    {&datapanel, DATAP_Lamp2, false},
    {&datapanel, DATAP_Lamp1, false},
    {&datapanel, DATAP_DispX, true},
    {&datapanel, DATAP_DispY, true},
    {&datapanel, DATAP_DispINT, true},
    {&datapanel, DATAP_DispGN, true},
    {&datapanel, DATAP_BarR, false},
    {&datapanel, DATAP_BarG, false},
    {&datapanel, DATAP_BarB, false},
    {&datapanel, DATAP_BarRef, false},
    {&datapanel, DATAP_BarDir, false},
    {&datapanel, DATAP_BarDif, false},
    {&datapanel, DATAP_DispRaw__R, true},
    {&datapanel, DATAP_DispRaw__G, true},
    {&datapanel, DATAP_DispRaw__B, true},
    {&datapanel, DATAP_DispRaw__Ref, true},
    {&datapanel, DATAP_DispRaw__Dir, true},
    {&datapanel, DATAP_DispRaw__Dif, true},
    {&datapanel, DATAP_GraphRGB, false},
    {&datapanel, DATAP_GraphData1, false},
    {&datapanel, DATAP_GraphRGB__Int, false},
    {&datapanel, DATAP_GraphRGB__Gn, false},
    {&datapanel, DATAP_GraphData2, false},
    {&datapanel, DATAP_GraphData2__IntBar, false},
    {&datapanel, DATAP_GraphData2__GnBar, false},
    {&colbigpanel, COLBIGP_DispBigCOL, true},
    {&grpbigpanel, GRPBIGP_DispBigGroup, true},
    {&calibpanel, CALIBP_DispBarsRAW__R, false},
    {&calibpanel, CALIBP_DispBarsRAW__G, false},
    {&calibpanel, CALIBP_DispBarsRAW__B, false},
    {&calibpanel, CALIBP_DispBars__R, true},
    {&calibpanel, CALIBP_DispBars__G, true},
    {&calibpanel, CALIBP_DispBars__B, true},
    {&calibpanel, CALIBP_DispRawDelta, true},
    {&p3sidesview, P3SIDESVIEW_Graph3SidesView__XY, false},
    {&p3sidesview, P3SIDESVIEW_Graph3SidesView__YInt, false},
    {&p3sidesview, P3SIDESVIEW_Graph3SidesView__XInt, false},
    {&p3sidesview, P3SIDESVIEW_Graph3SidesView__IntGn, false},
    {&p3sidesview, P3SIDESVIEW_Graph3SidesView__XGn, false},
    {&p3sidesview, P3SIDESVIEW_Graph3SidesView__YGn, false},
    {&p3sidesview, P3SIDESVIEW_Graph3SidesView__IntTrend, false},
    {&p3sidesview, P3SIDESVIEW_Graph3SidesView__GnTrend, false},
};

int greyed = 0;
void Grey(int on) {
    if (on == greyed) return;
    greyed = on;
    for (const Shown &s : kLiveControls)
        SetCtrlAttribute(*s.panel, s.control, ATTR_GREYED, on);
}
} // namespace

void BlankMeasuredNumbers() {
    for (const Shown &s : kLiveControls)
        if (s.number) SetCtrlVal(*s.panel, s.control, QString());
}

void SetLinkName(const QString &name) {
    linkName = name;
    Show();
}

void SetLinkState(LinkState state, const QString &note) {
    linkState = state;
    TakeNote(note);
    if (state == kLinkNotOpen || state == kLinkTrying || state == kLinkClosedBySensor)
        linkOpen = false;
    else if (state == kLinkConnected || state == kLinkTimeout)
        linkOpen = true; // a silent sensor on an open line times out
    frameRate = -1;
    Show();
}

LinkState CurrentLinkState() {
    return linkState;
}

bool LinkOpen() {
    return linkOpen;
}

void SetLinkNote(const QString &note) {
    TakeNote(note);
    Show();
}

void SetLinkFrameRate(double framesPerSecond) {
    frameRate = framesPerSecond;
    Show();
}

QString LinkStatusText() {
    QStringList parts;
    parts << (linkName.isEmpty() ? QStringLiteral("no link chosen") : linkName);
    parts << QString::fromLatin1(StateText(linkState));
    if (frameRate >= 0) parts << QStringLiteral("%1 frames/s").arg(frameRate, 0, 'f', 1);
    if (stale) parts << QStringLiteral("values not live");
    if (const QString heldText = HeldText(); !heldText.isEmpty()) parts << heldText;
    if (unsent) parts << QStringLiteral("unsent changes");
    if (!valuesNote.isEmpty()) parts << valuesNote;
    QString text = parts.join(QStringLiteral("  \u2013  "));
    // The newest outcome on a line of its own, whole: it never competes with
    // the link's state for the room of one line.
    if (!linkNote.isEmpty())
        text += QLatin1Char('\n') + linkNoteTime + QStringLiteral("  ") + linkNote;
    return text;
}

void MarkValuesStale() {
    if (stale) return;
    stale = true;
    Grey(1);
    Show();
}

void MarkValuesLive() {
    if (!stale) return;
    stale = false;
    Grey(held ? 1 : 0);
    Show();
}

bool ValuesStale() {
    return stale;
}

void MarkValuesHeld() {
    held = true;
    Grey(1);
    Show();
}

void MarkFrameShown() {
    if (!held || !TransferRunning()) return;
    held = false;
    Grey(stale ? 1 : 0);
    Show();
}

bool ValuesHeld() {
    return held;
}

QString ShownFrameTime() {
    if (shownFrame.msecs == 0) return QString();
    return QDateTime::fromMSecsSinceEpoch(shownFrame.msecs).toString(QStringLiteral("HH:mm:ss"));
}

void SetUnsentMarker(bool on) {
    if (unsent == on) return;
    unsent = on;
    Show();
}

void SetValuesNote(const QString &note) {
    if (valuesNote == note) return;
    valuesNote = note;
    Show();
}
