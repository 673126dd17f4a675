// The host history: the hosts typed into the interface panel's host field,
// newest first, kept in the field's drop-down list and in a file of fixed
// 101-byte records (the text padded with zero bytes to 100, then a line feed).
#include "link/Link.h"

#include "controls/Combo.h"
#include "core/Session.h"
#include "platform/Platform.h"
#include "uir_ids.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

QStringList hostHistory;

namespace {
constexpr int kHostField = INTERFACEP_StringIpAdress;

// A record whose text is no host name (a binary file, a damaged record) is
// left out rather than offered as one.
bool PlausibleHost(const QString &host) {
    if (host.trimmed().isEmpty() || host.size() > kHostMaxChars) return false;
    for (const QChar c : host)
        if (c.category() == QChar::Other_Control || c == QChar::ReplacementCharacter) return false;
    return true;
}

// The UTF-8 bytes of a host, cut at a character boundary to fit a record.
QByteArray HostBytes(const QString &host) {
    QString fitting = host.left(kHostMaxChars);
    QByteArray bytes = fitting.toUtf8();
    while (bytes.size() > kHostMaxChars) {
        fitting.chop(fitting.size() > 1 && fitting.back().isLowSurrogate() ? 2 : 1);
        bytes = fitting.toUtf8();
    }
    return bytes;
}

void WriteHostHistory() {
    if (!WriteFileAtomic(ipComboBoxFileName, HostHistoryRecords(hostHistory)))
        MessagePopup("ATTENTION!",
                     QString("The host list could not be written to\n%1").arg(ipComboBoxFileName));
}
} // namespace

QStringList ReadHostHistory(const QString &path) {
    QStringList hosts;
    // Devices and pipes have no size and may never end.
    if (!QFileInfo(path).isFile()) return hosts;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return hosts;
    const QByteArray data = file.read(qint64(kHostHistoryMax) * kHostRecordBytes);
    for (qsizetype at = 0; at + kHostRecordBytes <= data.size(); at += kHostRecordBytes) {
        QByteArray text = data.mid(at, kHostRecordBytes - 1);
        const qsizetype zero = text.indexOf('\0');
        if (zero >= 0) text.truncate(zero);
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString decoded = utf8(text);
        if (utf8.hasError()) continue;
        // A record filled to its 100th byte holds more than an entry may; it
        // is taken as the writer would write it, so it is saved back unchanged.
        const QString host = QString::fromUtf8(HostBytes(decoded));
        if (PlausibleHost(host) && !hosts.contains(host)) hosts.append(host);
    }
    return hosts;
}

QByteArray HostHistoryRecords(const QStringList &hosts) {
    QByteArray records;
    for (const QString &host : hosts) {
        QByteArray record = HostBytes(host);
        record.append(kHostRecordBytes - 1 - record.size(), '\0');
        record.append('\n');
        records.append(record);
    }
    return records;
}

QStringList PushHost(QStringList hosts, const QString &host) {
    hosts.removeAll(host);
    hosts.prepend(host);
    while (hosts.size() > kHostHistoryMax)
        hosts.removeLast();
    return hosts;
}

void GetHostHistoryFromFile() {
    hostHistory = ReadHostHistory(ipComboBoxFileName);
    Combo_DeleteComboItem(interfacepanel, kHostField, 0, -1);
    for (const QString &host : hostHistory)
        Combo_InsertComboItem(interfacepanel, kHostField, -1, host);
}

void UpdateHostHistory(const QString &typed) {
    // The field takes at most 99 characters; a longer text set from outside
    // is kept as far as a record holds it, and the same way in the list.
    const QString host = QString::fromUtf8(HostBytes(typed));
    if (host.trimmed().isEmpty()) return;
    int index = -1;
    Combo_GetIndexFromValue(interfacepanel, kHostField, &index, host);
    if (index >= 0) Combo_DeleteComboItem(interfacepanel, kHostField, index, 1);
    Combo_InsertComboItem(interfacepanel, kHostField, 0, host);
    Combo_DeleteComboItem(interfacepanel, kHostField, kHostHistoryMax, -1);
    hostHistory = PushHost(hostHistory, host);
    WriteHostHistory();
}
