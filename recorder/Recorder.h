// The recorder: the record file and the four recording modes of the
// recorder panel.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// ---- record file

// Lets the operator choose the record file; a chosen file starts with the
// header line.
void SelRecFile();
// The header line and the line of the current measurement variables at the
// current date and time, each ended by CR LF: the record file's two shapes.
QByteArray RecordHeaderText();
QByteArray RecordLineText();
// Writes the header line as the whole content of recFileName; false when the
// file cannot be written.
bool WriteFileHeader();
// Appends one record line built from the measurement variables and the
// current date and time; false when the line could not be written.
bool ToFile();
// The warning before a recording, its blanks as each caller has them.
QString NotOpenedWarning(int blanks);
// False, after telling the operator, when no record file is selected.
bool RecordFileSelected();

// Lines written and lost since the recording started, so that a file that
// cannot be written is noticed rather than lost silently.
struct RecordTally {
    unsigned written = 0;
    unsigned lost = 0;
    unsigned skipped = 0; // frames that arrived broken and were not recorded
};
extern RecordTally recTally;
// Starts counting for a new recording.
void BeginRecordTally();
// ToFile for a recording loop: the first line that cannot be written is
// announced on the panels, without stopping the recording.
void RecordLine();
// The closing message of a recording: "File has been saved!" only when every
// line was written, otherwise how many were written and how many were lost.
// `addition` (how a lost link cut the recording short) follows either text.
void ShowRecordResult(const QString &addition = QString());
// "n broken frames skipped", for the status line and the closing message.
QString SkippedNote(unsigned skipped);

// ---- recording modes
enum RecordMode { kRecCounted = 0, kRecContinuous = 1, kRecManual = 2, kRecTriggered = 3 };

extern uint16_t zeitint;  // recording interval, whole seconds
extern uint16_t anzwerte; // values to record in the counted mode
extern uint16_t otcrec;   // frames recorded in the counted and the manual mode
extern uint32_t reczeit;  // total recording time of the counted mode, seconds
extern double recstart;   // start of the running interval cycle (Timer)

int SelectedRecordMode();
void InitRecordPanel();
void CalcRecTime(int unused);
void Record();
void RecordFrame();
// After a recording that a lost link ended: how many values it recorded, of
// how many asked; empty when it ended otherwise.
QString RecordCutNote();
void SlowDown();
void TriggeredRecord();
void RecordManually();
