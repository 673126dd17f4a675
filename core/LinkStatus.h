// The data panel's status line: which link, what it is doing, the frame rate
// while frames flow, and whether the shown values are still live.
#pragma once

#include <QString>

enum LinkState {
    kLinkNotOpen,        // never opened, or the last attempt to open it failed
    kLinkTrying,         // TRY TO CONNECT runs
    kLinkConnected,      // open, the sensor answered
    kLinkPolling,        // GO runs
    kLinkRecording,      // a recording runs
    kLinkTimeout,        // the sensor did not answer, or answered wrongly
    kLinkClosedBySensor, // the server closed the TCP connection
};

// "TCP/IP 127.0.0.1:10002", "RS232 COM1 /dev/ttyS0 115200 baud".
void SetLinkName(const QString &name);
// Sets the state and clears the frame rate; the note says more (why the link
// is not open, what a transfer achieved) until the next state or note.
void SetLinkState(LinkState state, const QString &note = QString());
LinkState CurrentLinkState();
// False from a failed or closed link until the next successful connection;
// polling and time-outs leave it as it is.
bool LinkOpen();
void SetLinkNote(const QString &note);
// Frames per second of the running loop; below 0 hides it.
void SetLinkFrameRate(double framesPerSecond);
// The link's state on the first line; the newest note below it with its
// time ("15:01:43  SEND stopped at row 13 …"), wrapped, never cut.
QString LinkStatusText();

// Greys every display that shows a measurement (data panel, big displays,
// calibration bars, three-sides view) once the link failed, so that the last
// frame is not taken for a live one; the next frame undoes it.
void MarkValuesStale();
void MarkValuesLive();
bool ValuesStale();
// Blanks every number display of a measurement: nothing measured yet.
void BlankMeasuredNumbers();

// ---- values held, changes not sent, notes on the values shown
// A frame shown while a loop runs is live. When the loop's transfer ends the
// values are held: faded like those of a lost link (one look for "not
// live"), and the status line says of when they are, or that there are none
// yet.
void MarkValuesHeld();
// The displays took a frame (shownFrame): live while a transfer runs.
void MarkFrameShown();
bool ValuesHeld();
// "09:41:07", the time of the frame shown; empty before the first frame.
QString ShownFrameTime();
// The panels hold changes that the sensor does not have.
void SetUnsentMarker(bool on);
// A note on the values shown (what V-No. 255 means), kept until replaced.
void SetValuesNote(const QString &note);
