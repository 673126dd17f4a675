// The client's way in to a shared line: where a link is opened, a running
// owner of the same sensor is found in the registry and talked to as the
// sensor would be.
#include "link/SharedLine.h"

#include "core/LinkStatus.h"
#include "core/Protocol.h"
#include "link/Link.h"
#include "platform/Platform.h"

namespace shared {
namespace {
Owner g_inUse;
void (*g_noteSink)(const QString &) = nullptr;
} // namespace

bool OpenThroughOwner(bool serial) {
    // A serial link that went through an owner holds a conversation that the
    // serial close does not end.
    if (serial && g_inUse.pid != 0 && tcpcon) {
        DisconnectFromTCPServer(g_hconversation);
        tcpcon = 0;
        g_hconversation = 0;
    }
    g_inUse = Owner{};
    const QString key = serial ? SerialLineKey(ComPortDevice(comport)) : TcpLineKey(ipBuf, portNum);
    Owner owner;
    if (!FindOwner(key, &owner)) return false;
    unsigned handle = 0;
    // An owner that does not answer is no owner: the line is opened as ever.
    if (ConnectToLocalServer(&handle, owner.socket, ClientTCPCB, nullptr) != 0) return false;
    g_hconversation = handle;
    tcpcon = 1;
    ret = 0;
    if (serial) comprotocol = 1; // the owner's socket is read and written as a TCP link
    g_inUse = owner;
    const QString name = serial ? QStringLiteral("RS232 COM%1 %2 %3 baud")
                                      .arg(comport)
                                      .arg(ComPortDevice(comport))
                                      .arg(proto::BaudOfIndex(baudrate))
                                : QStringLiteral("TCP/IP %1:%2").arg(ipBuf).arg(portNum);
    SetLinkName(name + ", " + ThroughText(owner));
    if (g_noteSink) g_noteSink(name + ": " + ThroughText(owner));
    return true;
}

const Owner &LineOwnerInUse() {
    return g_inUse;
}

QString HeldLineNote() {
    if (g_inUse.pid == 0) return QString();
    QStringList lines;
    if (!ReadTextLines(HeldNotePath(g_inUse.socket), &lines, 1) || lines.isEmpty())
        return QString();
    return QStringLiteral("the shared line of tolvane-cli serve, pid %1, is held by %2 for "
                          "automatic sending (a triggered recording)")
        .arg(g_inUse.pid)
        .arg(lines[0]);
}

void SetThroughNoteSink(void (*sink)(const QString &note)) {
    g_noteSink = sink;
}

} // namespace shared
