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

struct Shown {
    int *panel;
    int control;
};
const Shown kLiveControls[] = {
    {&datapanel, DATAP_DispCOL},
    {&datapanel, DATAP_DispGroup},
    {&datapanel, DATAP_ColorPatch},
    {&datapanel, DATAP_DispTemp},
    {&datapanel, DATAP_LedTrig},
    {&datapanel, DATAP_Lamp16},
    {&datapanel, DATAP_Lamp8},
    {&datapanel, DATAP_Lamp4},
    {&datapanel, DATAP_Lamp2},
    {&datapanel, DATAP_Lamp1},
    {&datapanel, DATAP_DispX},
    {&datapanel, DATAP_DispY},
    {&datapanel, DATAP_DispINT},
    {&datapanel, DATAP_DispGN},
    {&datapanel, DATAP_BarR},
    {&datapanel, DATAP_BarG},
    {&datapanel, DATAP_BarB},
    {&datapanel, DATAP_BarRef},
    {&datapanel, DATAP_BarDir},
    {&datapanel, DATAP_BarDif},
    {&datapanel, DATAP_DispRaw__R},
    {&datapanel, DATAP_DispRaw__G},
    {&datapanel, DATAP_DispRaw__B},
    {&datapanel, DATAP_DispRaw__Ref},
    {&datapanel, DATAP_DispRaw__Dir},
    {&datapanel, DATAP_DispRaw__Dif},
    {&datapanel, DATAP_GraphRGB},
    {&datapanel, DATAP_GraphData1},
    {&datapanel, DATAP_GraphRGB__Int},
    {&datapanel, DATAP_GraphRGB__Gn},
    {&datapanel, DATAP_GraphData2},
    {&datapanel, DATAP_GraphData2__IntBar},
    {&datapanel, DATAP_GraphData2__GnBar},
    {&colbigpanel, COLBIGP_DispBigCOL},
    {&grpbigpanel, GRPBIGP_DispBigGroup},
    {&calibpanel, CALIBP_DispBarsRAW__R},
    {&calibpanel, CALIBP_DispBarsRAW__G},
    {&calibpanel, CALIBP_DispBarsRAW__B},
    {&calibpanel, CALIBP_DispBars__R},
    {&calibpanel, CALIBP_DispBars__G},
    {&calibpanel, CALIBP_DispBars__B},
    {&calibpanel, CALIBP_DispRawDelta},
    {&p3sidesview, P3SIDESVIEW_Graph3SidesView__XY},
    {&p3sidesview, P3SIDESVIEW_Graph3SidesView__YInt},
    {&p3sidesview, P3SIDESVIEW_Graph3SidesView__XInt},
    {&p3sidesview, P3SIDESVIEW_Graph3SidesView__IntGn},
    {&p3sidesview, P3SIDESVIEW_Graph3SidesView__XGn},
    {&p3sidesview, P3SIDESVIEW_Graph3SidesView__YGn},
    {&p3sidesview, P3SIDESVIEW_Graph3SidesView__IntTrend},
    {&p3sidesview, P3SIDESVIEW_Graph3SidesView__GnTrend},
};

int greyed = 0;
void Grey(int on) {
    if (on == greyed) return;
    greyed = on;
    for (const Shown &s : kLiveControls)
        SetCtrlAttribute(*s.panel, s.control, ATTR_GREYED, on);
}
} // namespace

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
