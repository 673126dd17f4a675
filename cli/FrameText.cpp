// Frames as tab-separated text: the values in the record file's order, the
// time from the frame's arrival, never from the moment the line is written.
#include "cli/FrameText.h"

#include "core/SensorData.h"

#include <QDateTime>
#include <cstdio>
#include <ctime>

QByteArray FrameTsvHeader(FrameTime time) {
    return QByteArray(time == FrameTime::Iso ? "TIME" : "DATE\tTIME") +
           "\tRED\tGREEN\tBLUE\tREF\tDIR\tDIF\tX_s\tY_i\tINT_M\tGN\tVECTOR\tTEMP";
}

QByteArray FrameTsvLine(int64_t msecs, FrameTime time) {
    const std::time_t seconds = static_cast<std::time_t>(msecs / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[160];
    int n = 0;
    if (time == FrameTime::Iso) {
        const long offset = local.tm_gmtoff / 60;
        const long shown = offset < 0 ? -offset : offset;
        n = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld",
                          local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                          local.tm_min, local.tm_sec, int(msecs % 1000), offset < 0 ? '-' : '+',
                          shown / 60, shown % 60);
    } else {
        n = std::snprintf(text, sizeof text, "%02d-%02d-%04d\t%02d:%02d:%02d", local.tm_mon + 1,
                          local.tm_mday, local.tm_year + 1900, local.tm_hour, local.tm_min,
                          local.tm_sec);
    }
    const unsigned values[] = {dataR, dataG, dataB,   dataRef, dataDir,   dataDif,
                               dataX, dataY, dataInt, dataGn,  dataColor, dataTemp};
    for (unsigned v : values)
        n += std::snprintf(text + n, sizeof text - size_t(n), "\t%u", v);
    return QByteArray(text, n);
}

bool ParseIsoToFileClock(const QString &text, int64_t *seconds) {
    QDateTime t = QDateTime::fromString(text.trimmed(), Qt::ISODateWithMs);
    if (!t.isValid()) t = QDateTime::fromString(text.trimmed(), Qt::ISODate);
    if (!t.isValid()) return false;
    const QDateTime local = t.toLocalTime();
    *seconds = local.toSecsSinceEpoch() + local.offsetFromUtc();
    return true;
}
