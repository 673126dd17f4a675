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

#include <QCoreApplication>
#include <QFileInfo>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {
LinkSpec openLink;
volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) {
    interrupted = 1;
    // Ends a running poll or recording loop after its turn.
    session::poll = 0;
}

// Pop-ups have no one to answer them: each becomes a line on stderr and is
// answered "no" / cancel, as the window's scripted runs do.
void PopupToStderr(const QString &title, const QString &text) {
    Say(title.trimmed() + ": " + text.simplified());
}

} // namespace

int WorseExit(int a, int b) {
    // Ranked best to worst: 0, 3, 1, 2.
    auto rank = [](int code) {
        switch (code) {
        case kExitOk:
            return 0;
        case kExitDiffer:
            return 1;
        case kExitSensor:
            return 2;
        default:
            return 3;
        }
    };
    return rank(a) >= rank(b) ? a : b;
}

QString LinkSpec::Name() const {
    if (!serial) return QStringLiteral("TCP/IP %1:%2").arg(host).arg(port);
    const QString dev =
        device.isEmpty() ? QStringLiteral("COM%1 %2").arg(comNumber).arg(ComPortDevice(comNumber))
                         : device;
    return QStringLiteral("RS232 %1 %2 baud").arg(dev).arg(proto::BaudOfIndex(baudIndex));
}

QString LinkSpec::FileStem() const {
    if (!serial) return QStringLiteral("%1_%2").arg(host).arg(port);
    return device.isEmpty() ? QStringLiteral("COM%1").arg(comNumber) : QFileInfo(device).fileName();
}

bool ParseHostPort(const QString &text, LinkSpec *out) {
    QString host;
    int port = 0;
    if (!ParseHostAndPort(text, &host, &port)) return false;
    out->serial = false;
    out->host = host;
    out->port = port;
    return true;
}

void Say(const QString &text) {
    std::fprintf(stderr, "tolvane-cli: %s\n", qPrintable(text));
    std::fflush(stderr);
}

void Out(const QByteArray &bytes) {
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

bool StartEngine(int /*argc*/, char **argv, bool panels) {
    // No window is ever shown: the panels live on the offscreen platform,
    // with or without a display server.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The plain event loop: a frame costs fewer system calls than with GLib's.
    qputenv("QT_NO_GLIB", "1");
    // Qt's own notes about the environment are no message for the user.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type == QtCriticalMsg || type == QtFatalMsg) Say(text);
    });
    static char *args[] = {argv[0], nullptr};
    static int argCount = 1;
    // Without panels the engine runs on the plain application object.
    if (!panels && !QCoreApplication::instance()) new QCoreApplication(argCount, args);
    if (InitRunTimeEngine(1, args) < 0) return false;
    // No window to keep drawing: the quiet after an answer watches the line.
    quietWatchesLineOnly = true;
    popupscript::Install();
    popupscript::Forward(PopupToStderr);
    shared::SetThroughNoteSink(Say);
    if (!panels) return true;
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

LinkSpec StoredLink() {
    GetConnectionSettingsFromFile();
    LinkSpec link;
    link.serial = comprotocol == 0;
    link.host = ipBuf;
    link.port = LeadingNumber(portNumStr);
    link.comNumber = comport;
    link.baudIndex = baudrate;
    return link;
}

bool OpenSensor(const LinkSpec &link) {
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
    SetLinkName(link.Name());
    SetLinkState(kLinkTrying);
    comecho = 0;
    if (link.serial)
        InitRS232();
    else
        InitTCP_IP();
    if (ret < 0) {
        Say(QStringLiteral("%1: cannot open the link: %2").arg(link.Name(), ExplainOpenFailure()));
        return false;
    }
    CheckComLine();
    if (comecho != 1) {
        Say(QStringLiteral("%1: %2").arg(link.Name(), ExplainAnswerFailure()));
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

const LinkSpec &OpenLink() {
    return openLink;
}

QString SensorVersion() {
    return QString::fromLatin1(version, int(strnlen(version, proto::kVersionBytes))).trimmed();
}

bool Interrupted() {
    return interrupted != 0;
}

void CatchInterrupt() {
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
}
