// The sensor session of the command-line tool: the engine without a display,
// the panels as the master copy, and one link at a time opened and checked
// by the window's own connection code.
#include "cli/Cli.h"

#include "core/LinkStatus.h"
#include "core/Protocol.h"
#include "core/Session.h"
#include "link/Link.h"
#include "link/SharedLine.h"
#include "params/Params.h"
#include "platform/Platform.h"
#include "teach/TeachTable.h"

#include <cstring>

namespace {
LinkTarget openLink;

// Pop-ups are written for the window's boxes; the tool says every outcome in
// its own words (the sensor, what happened, what to check), so a box's text
// would say it twice or speak of a SEND that never comes. Only while the
// stored link is read do its boxes carry news: what in ComSettings.cfg was
// not taken.
bool sayPopups = false;
void PopupToStderr(const QString &title, const QString &text) {
    if (sayPopups) Say(title.trimmed() + ": " + text.simplified());
}

} // namespace

bool StartEngine(int /*argc*/, char **argv) {
    PrepareEngine();
    static char *args[] = {argv[0], nullptr};
    if (InitRunTimeEngine(1, args) < 0) return false;
    popupscript::Install();
    popupscript::Forward(PopupToStderr);
    shared::SetThroughNoteSink(Say);
    if (LoadPanelHandles() < 0) {
        Say(QStringLiteral("cannot load the panels from %1")
                .arg(JoinPath(GetProjectDir(), "Tolvane.uir")));
        return false;
    }
    proj_dir = GetProjectDir();
    cfg_dir = ConfigDirFor(proj_dir);
    conSettingsFileName = JoinPath(cfg_dir, "ComSettings.cfg");
    telegram::sync = proto::kRequestSync;
    target = RAM;
    InitGroupCell();
    InitPanelCtrlAttr();
    return true;
}

bool StoredLink(LinkTarget *out) {
    if (!FileExists(conSettingsFileName)) {
        Say(QStringLiteral("no link given and none stored in %1; give --tcp HOST[:PORT] or "
                           "--serial DEVICE")
                .arg(conSettingsFileName));
        return false;
    }
    sayPopups = true;
    GetConnectionSettingsFromFile();
    sayPopups = false;
    LinkTarget link;
    link.serial = comprotocol == 0;
    link.host = ipBuf;
    link.port = LeadingNumber(portNumStr);
    link.comNumber = comport;
    link.baudIndex = baudrate;
    if (!link.serial && (link.host.isEmpty() || link.port < 1)) {
        Say(QStringLiteral("%1 stores no TCP/IP host and port; give --tcp HOST[:PORT] or "
                           "--serial DEVICE")
                .arg(conSettingsFileName));
        return false;
    }
    *out = link;
    return true;
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

int RunWithPanels(const CliCommand &command, const CliArgs &args, QList<LinkTarget> links, int argc,
                  char **argv) {
    if (!StartEngine(argc, argv)) return kExitSensor;
    if (command.sensor && links.isEmpty()) {
        LinkTarget stored;
        if (!StoredLink(&stored)) return kExitUsage;
        links << stored;
    }
    // A signal ends a running poll or recording loop after its turn.
    CatchInterrupt([] { session::poll = 0; });
    int code = command.run(args, links);
    CloseSensor();
    DiscardAllPanels();
    FlushOut();
    // What was taken is written; the exit code says why it ended early.
    if (Interrupted() && code != kExitUsage) code = InterruptExit();
    return code;
}
