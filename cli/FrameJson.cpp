// The JSON form of a data frame.
#include "cli/FrameJson.h"

#include "core/SensorData.h"

#include <cstdio>
#include <ctime>

QByteArray FrameJson(uint64_t frame, int64_t msecs) {
    const std::time_t seconds = static_cast<std::time_t>(msecs / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char time[80];
    std::snprintf(time, sizeof time, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  int(msecs % 1000));
    char text[512];
    const int n = std::snprintf(
        text, sizeof text,
        "{\"time\":\"%s\",\"frame\":%llu,\"red\":%u,\"green\":%u,\"blue\":%u,\"ref\":%u,"
        "\"dir\":%u,\"dif\":%u,\"x\":%u,\"y\":%u,\"int\":%u,\"gn\":%u,\"vector\":%u,"
        "\"group\":%u,\"trigger\":%u,\"temp\":%u,\"raw_red\":%u,\"raw_green\":%u,"
        "\"raw_blue\":%u}",
        time, static_cast<unsigned long long>(frame), dataR, dataG, dataB, dataRef, dataDir,
        dataDif, dataX, dataY, dataInt, dataGn, dataColor, dataGroup, dataTrigger, dataTemp,
        dataRawR, dataRawG, dataRawB);
    return QByteArray(text, n);
}
