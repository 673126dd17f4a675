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

#include "platform/Address.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {
LinkTarget openLink;

// The signal that asked the tool to end (0: none). The handler only sets it
// and wakes the event loop through the pipe; the loops are ended from there.
std::atomic<int> caughtSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);
int wakePipe[2] = {-1, -1};

int ExitOfSignal(int signal) {
    return signal == SIGTERM ? kExitSigterm : kExitSigint;
}

void OnSignal(int signal) {
    int none = 0;
    // A second signal: the user means now.
    if (!caughtSignal.compare_exchange_strong(none, signal)) ::_exit(ExitOfSignal(signal));
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakePipe[1], &byte, 1);
}

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

QString LinkTarget::Name() const {
    if (!serial) return QStringLiteral("TCP/IP %1").arg(Place());
    return QStringLiteral("RS232 %1 %2 baud").arg(Place()).arg(proto::BaudOfIndex(baudIndex));
}

QString LinkTarget::Place() const {
    if (!serial) return HostPortText(host, port);
    if (!device.isEmpty()) return device;
    return QStringLiteral("COM%1 (%2)").arg(comNumber).arg(ComPortDevice(comNumber));
}

QString LinkTarget::FileStem() const {
    if (!serial) return QStringLiteral("%1_%2").arg(host).arg(port);
    return device.isEmpty() ? QStringLiteral("COM%1").arg(comNumber) : QFileInfo(device).fileName();
}

bool ParseHostPort(const QString &text, LinkTarget *out, QString *why) {
    QString host;
    int port = 0;
    if (!ParseHostPort(text, proto::kDefaultTcpPort, &host, &port, why)) return false;
    out->serial = false;
    out->host = host;
    out->port = port;
    return true;
}

namespace {
QStringList *said = nullptr;
} // namespace

void CaptureSaid(QStringList *into) {
    said = into;
}

void Say(const QString &text) {
    if (said) said->append(text);
    std::fprintf(stderr, "tolvane-cli: %s\n", qPrintable(text));
    std::fflush(stderr);
}

QString AboutLink(const LinkTarget &link, const QString &what) {
    return what.contains(link.Place()) ? what : link.Name() + ": " + what;
}

void SayAbout(const LinkTarget &link, const QString &what) {
    Say(AboutLink(link, what));
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

bool Interrupted() {
    return caughtSignal.load() != 0;
}

int InterruptExit() {
    const int signal = caughtSignal.load();
    return signal == 0 ? int(kExitOk) : ExitOfSignal(signal);
}

void CatchInterrupt() {
    if (wakePipe[0] >= 0 || ::pipe(wakePipe) != 0) return;
    auto *notifier =
        new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(wakePipe[0], &byte, 1);
        notifier->setEnabled(false);
        // Ends a running poll or recording loop after its turn.
        session::poll = 0;
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}
