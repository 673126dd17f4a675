// HOST[:PORT] and serial devices, read one way for every program.
#include "platform/Address.h"
#include "platform/Platform.h"

#include <QHostAddress>
#include <QRegularExpression>

static_assert(kSerialPortNumbers == kComPortCount);

namespace {
bool Fail(QString *why, const QString &text) {
    if (why) *why = text;
    return false;
}

bool IsIpv6(const QString &text) {
    QHostAddress address;
    return address.setAddress(text) && address.protocol() == QAbstractSocket::IPv6Protocol;
}

// A DNS name or an IPv4 address: nothing a resolver would be asked about
// that could not be a host.
bool IsHostName(const QString &text) {
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9_]([A-Za-z0-9._-]*)$"));
    return name.match(text).hasMatch() && !text.contains(QStringLiteral(".."));
}
} // namespace

bool ParseHostPort(const QString &text, int defaultPort, QString *hostOut, int *portOut,
                   QString *why) {
    QString host = text;
    QString portText;
    bool portGiven = false;
    if (host.startsWith('[')) {
        const int close = host.indexOf(']');
        if (close < 0) return Fail(why, QStringLiteral("an unclosed ["));
        const QString rest = host.mid(close + 1);
        host = host.mid(1, close - 1);
        if (!IsIpv6(host)) return Fail(why, QStringLiteral("[%1] is no IPv6 address").arg(host));
        if (!rest.isEmpty()) {
            if (!rest.startsWith(':')) return Fail(why, QStringLiteral("text after ]"));
            portText = rest.mid(1);
            portGiven = true;
        }
    } else if (host.count(':') == 1) {
        portText = host.section(':', 1);
        host = host.section(':', 0, 0);
        portGiven = true;
    } else if (host.count(':') > 1) {
        if (!IsIpv6(host)) return Fail(why, QStringLiteral("\"%1\" is no IPv6 address").arg(host));
    }
    if (host.isEmpty()) return Fail(why, QStringLiteral("no host"));
    if (!host.contains(':') && !IsHostName(host))
        return Fail(why, QStringLiteral("\"%1\" is no host name or address").arg(host));
    if (host.size() > kHostTextMax)
        return Fail(why,
                    QStringLiteral("a host name of more than %1 characters").arg(kHostTextMax));
    int port = defaultPort;
    if (portGiven) {
        static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
        port = portText.toInt();
        if (!digits.match(portText).hasMatch() || port < 1 || port > 65535)
            return Fail(why, QStringLiteral("port \"%1\" is not 1 to 65535").arg(portText));
    }
    *hostOut = host;
    *portOut = port;
    return true;
}

QString HostPortText(const QString &host, int port) {
    return QStringLiteral("%1:%2").arg(host.contains(':') ? "[" + host + "]" : host).arg(port);
}

bool ParseSerialDevice(const QString &text, QString *device, int *comNumber, QString *why) {
    if (text.isEmpty()) return Fail(why, QStringLiteral("no device"));
    static const QRegularExpression com(QStringLiteral("^COM([0-9]+)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const auto m = com.match(text);
    if (!m.hasMatch()) {
        *device = text;
        *comNumber = 0;
        return true;
    }
    const int n = m.captured(1).toInt();
    if (n < 1 || n > kSerialPortNumbers || m.captured(1).size() > 2)
        return Fail(why, QStringLiteral("ports are COM1..COM%1").arg(kSerialPortNumbers));
    device->clear();
    *comNumber = n;
    return true;
}
