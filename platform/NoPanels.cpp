// The panel services of a program without a display (tolvane-line). It loads
// no panel, so the shared code that shows what it does finds every panel and
// control unknown, exactly as a program whose panels are not loaded: values
// are neither shown nor read (kErrBadPanel, kErrBadControl, the variable left
// as it was), no box is shown, since the program says every outcome on
// stderr in its own words, and a question is answered No.
#include "platform/Platform.h"

int DisplayPanel(int) {
    return kErrBadPanel;
}
int HidePanel(int) {
    return kErrBadPanel;
}
int PlacePanelCoveringLeast(int, const QList<KeepInView> &, int *coveredPixels) {
    if (coveredPixels) *coveredPixels = 0;
    return kErrBadPanel;
}
void PushFocus() {}
void PopFocus() {}

int SetCtrlVal(int, int, int) {
    return kErrBadControl;
}
int SetCtrlVal(int, int, const QString &) {
    return kErrBadControl;
}
int SetCtrlVal(int, int, const char *) {
    return kErrBadControl;
}
int GetCtrlVal(int, int, int *) {
    return kErrBadControl;
}
int GetCtrlVal(int, int, unsigned short *) {
    return kErrBadControl;
}
int GetCtrlVal(int, int, QString *) {
    return kErrBadControl;
}
int SetCtrlAttribute(int, int, int, int) {
    return kErrBadControl;
}
int SetCtrlAttribute(int, int, int, const QString &) {
    return kErrBadControl;
}
int SetCtrlToolTip(int, int, const QString &) {
    return kErrBadControl;
}
int GetTableCellVal(int, int, Point, unsigned short *) {
    return kErrBadControl;
}
int SetTableCellVal(int, int, Point, int) {
    return kErrBadControl;
}

int MessagePopup(const QString &, const QString &) {
    return 0;
}
int ConfirmPopup(const QString &, const QString &) {
    return 0;
}
void SetWaitCursor(int) {}
void ShowMessageList(int, const QString &, const QStringList &) {}
void UpdateMessageList(const QStringList &) {}
namespace popupscript {
void Observe(Sink) {}
} // namespace popupscript
