// The JSON form of a data frame.
#include "cli/FrameJson.h"

#include "core/SensorData.h"

#include <charconv>
#include <cstring>
#include <ctime>

namespace {
// Appends to a fixed buffer: a frame's object is written many times a
// second, so it is put together without the formatted-output machinery.
class Writer {
  public:
    void text(const char *s) {
        const size_t n = std::strlen(s);
        std::memcpy(m_at, s, n);
        m_at += n;
    }
    void number(uint64_t v, int width = 0) {
        char digits[24];
        char *end = std::to_chars(digits, digits + sizeof digits, v).ptr;
        for (int pad = width - int(end - digits); pad > 0; --pad)
            *m_at++ = '0';
        std::memcpy(m_at, digits, size_t(end - digits));
        m_at += end - digits;
    }
    void field(const char *name, uint64_t v) {
        text(name);
        number(v);
    }
    QByteArray bytes() const { return QByteArray(m_buffer, int(m_at - m_buffer)); }

  private:
    char m_buffer[1024]; // a frame takes under 300 bytes
    char *m_at = m_buffer;
};
} // namespace

QByteArray FrameJson(uint64_t frame, int64_t msecs) {
    const std::time_t seconds = static_cast<std::time_t>(msecs / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    Writer w;
    w.text("{\"time\":\"");
    w.number(uint64_t(utc.tm_year + 1900), 4);
    w.text("-");
    w.number(uint64_t(utc.tm_mon + 1), 2);
    w.text("-");
    w.number(uint64_t(utc.tm_mday), 2);
    w.text("T");
    w.number(uint64_t(utc.tm_hour), 2);
    w.text(":");
    w.number(uint64_t(utc.tm_min), 2);
    w.text(":");
    w.number(uint64_t(utc.tm_sec), 2);
    w.text(".");
    w.number(uint64_t(msecs % 1000), 3);
    w.field("Z\",\"frame\":", frame);
    w.field(",\"red\":", dataR);
    w.field(",\"green\":", dataG);
    w.field(",\"blue\":", dataB);
    w.field(",\"ref\":", dataRef);
    w.field(",\"dir\":", dataDir);
    w.field(",\"dif\":", dataDif);
    w.field(",\"x\":", dataX);
    w.field(",\"y\":", dataY);
    w.field(",\"int\":", dataInt);
    w.field(",\"gn\":", dataGn);
    w.field(",\"vector\":", dataColor);
    w.field(",\"group\":", dataGroup);
    w.field(",\"trigger\":", dataTrigger);
    w.field(",\"temp\":", dataTemp);
    w.field(",\"raw_red\":", dataRawR);
    w.field(",\"raw_green\":", dataRawG);
    w.field(",\"raw_blue\":", dataRawB);
    w.text("}");
    return w.bytes();
}
