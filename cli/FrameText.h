// The tab-separated form of data frames for other tools: a header with as
// many fields as each line, names without spaces, every line stamped with
// its frame's arrival, in the record file's clock or in ISO 8601.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

enum class FrameTime { Local, Iso };

// "DATE\tTIME\tRED\t...\tTEMP" (Local) or "TIME\tRED\t...\tTEMP" (Iso),
// without a line end.
QByteArray FrameTsvHeader(FrameTime time);
// The measurement variables of the last frame as one line without a line
// end: the record line's values, stamped "MM-DD-YYYY\tHH:MM:SS" in local
// time or "2026-12-08T09:39:29.123+01:00", from `msecs` since 1970 UTC.
QByteArray FrameTsvLine(int64_t msecs, FrameTime time);
// An ISO 8601 date and time ("2026-12-08T09:39:29", a zone or Z optional:
// without one the local time) as seconds in the record file's clock (local
// time counted as if it were UTC); false when the text is none.
bool ParseIsoToFileClock(const QString &text, int64_t *seconds);
