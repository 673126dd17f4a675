// The sensor session of the command-line tool: one link at a time opened and
// checked by the window's own connection code, and closed again; the same
// with or without panels.
#include "cli/Cli.h"

#include "core/LinkStatus.h"
#include "core/Protocol.h"
#include "core/Session.h"
#include "link/Link.h"
#include "link/SharedLine.h"
#include "platform/Platform.h"

#include <cstring>

namespace {
LinkTarget openLink;

} // namespace

void StartSensorSession() {
    // A link that goes through a shared line says so on stderr.
    shared::SetThroughNoteSink(Say);
    telegram::sync = proto::kRequestSync;
    target = RAM;
}

bool OpenSensor(const LinkTarget &link) {
    CloseSensor();
    openLink = link;
    comprotocol = link.serial ? 0 : 1;
    baudrate = uint16_t(link.baudIndex);
    ipBuf = link.host;
    portNum = link.port;
    portNumStr = QString::number(link.port);
    comport = uint16_t(link.comNumber);
    if (link.serial && !link.device.isEmpty()) {
        // A device named on the command line is reached as the window
        // reaches one named by the environment.
        comport = kComPortCount;
        qputenv(qPrintable(QStringLiteral("TOLVANE_COM%1").arg(comport)),
                link.device.toLocal8Bit());
    }
    // Messages name the sensor as the user gave it, not by a port number
    // the user never chose.
    SetLinkPlace(link.serial && link.device.isEmpty() ? QString() : link.Place());
    SetLinkName(link.Name());
    SetLinkState(kLinkTrying);
    comecho = 0;
    if (link.serial)
        InitRS232();
    else
        InitTCP_IP();
    if (ret < 0) {
        SayAbout(link, QStringLiteral("cannot open the link: %1").arg(ExplainOpenFailure()));
        return false;
    }
    CheckComLine();
    if (comecho != 1) {
        SayAbout(link, ExplainAnswerFailure());
        return false;
    }
    return true;
}

void CloseSensor() {
    session::poll = 0;
    if (tcpcon) DisconnectFromTCPServer(g_hconversation);
    tcpcon = 0;
    g_hconversation = 0;
    CloseCom(comport);
}

const LinkTarget &OpenLink() {
    return openLink;
}

QString SensorVersion() {
    return QString::fromLatin1(version, int(strnlen(version, proto::kVersionBytes))).trimmed();
}

int ForEachSensor(const QList<LinkTarget> &all,
                  const std::function<int(const LinkTarget &link)> &each) {
    int worst = kExitOk;
    for (const LinkTarget &link : all) {
        // A stdout that cannot be written ends the run: nothing more would reach anyone.
        if (Interrupted() || OutputFailure()) break;
        const int code = each(link);
        CloseSensor();
        worst = WorseExit(worst, code);
        if (all.size() > 1)
            Say(QStringLiteral("%1: %2").arg(link.Name(), code == kExitOk       ? "ok"
                                                          : code == kExitDiffer ? "differs"
                                                                                : "failed"));
    }
    return worst;
}

int RunSensorCommand(const CliCommand &command, const CliArgs &args,
                     const QList<LinkTarget> &links) {
    // A signal ends a running poll or recording loop after its turn.
    CatchInterrupt([] { session::poll = 0; });
    int code = command.run(args, links);
    CloseSensor();
    FlushOut();
    // What was taken is written; the exit code says why it ended early.
    if (Interrupted() && code != kExitUsage) code = InterruptExit();
    return code;
}
