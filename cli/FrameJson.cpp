// The JSON form of a data frame.
#include "cli/FrameJson.h"

#include "core/SensorData.h"

#include <QDateTime>
#include <cstdio>

QByteArray FrameJson(uint64_t frame, int64_t msecs) {
    const QByteArray time =
        QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).toString(Qt::ISODateWithMs).toLatin1();
    char text[512];
    const int n = std::snprintf(
        text, sizeof text,
        "{\"time\":\"%s\",\"frame\":%llu,\"red\":%u,\"green\":%u,\"blue\":%u,\"ref\":%u,"
        "\"dir\":%u,\"dif\":%u,\"x\":%u,\"y\":%u,\"int\":%u,\"gn\":%u,\"vector\":%u,"
        "\"group\":%u,\"trigger\":%u,\"temp\":%u,\"raw_red\":%u,\"raw_green\":%u,"
        "\"raw_blue\":%u}",
        time.constData(), static_cast<unsigned long long>(frame), dataR, dataG, dataB, dataRef,
        dataDir, dataDif, dataX, dataY, dataInt, dataGn, dataColor, dataGroup, dataTrigger,
        dataTemp, dataRawR, dataRawG, dataRawB);
    return QByteArray(text, n);
}
