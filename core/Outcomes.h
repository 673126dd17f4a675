// What the operator is told and how far a long transfer is: the session's
// messages (with their times, for the status area's second line and the
// MESSAGES list) and the progress bar of SEND, GET, SEND CF, GET CF, the
// calibration run and the third-root table.
#pragma once

#include <QString>
#include <QStringList>

// Keeps a message with the time it came; the MESSAGES list shows it. Boxes
// and questions are kept by themselves, help texts are not.
void KeepMessage(const QString &text);
// "15:01:43  SEND stopped at row 13 …", oldest first.
QStringList SessionMessages();
// Opens the MESSAGES list (or raises it).
void ShowSessionMessages();
// Starts keeping the boxes and questions the operator sees.
void KeepBoxMessages();
// Help texts opened by a right click are no outcome: not kept.
class HelpBoxScope {
  public:
    HelpBoxScope();
    ~HelpBoxScope();
    HelpBoxScope(const HelpBoxScope &) = delete;
    HelpBoxScope &operator=(const HelpBoxScope &) = delete;
};

// ---- progress of a transfer: "SEND: telegram 15 of 32 – 2 s left"
enum ProgressUnit { kProgressTelegrams, kProgressFrames };
// A transfer of `total` telegrams (or frames) named `what` begins; the bar
// shows in the status area until EndProgress or the transfer's end.
void BeginProgress(const QString &what, int total, ProgressUnit unit = kProgressTelegrams);
// A telegram went to the sensor: counted while a telegram progress runs.
void NoteTelegramWritten();
// `done` frames (or telegrams) of the total are through.
void SetProgress(int done);
void EndProgress();
// The text beside the bar; empty while no progress runs.
QString ProgressText();
