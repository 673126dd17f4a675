// tolvane-cli serve: owns one sensor's line and offers it to the window, the
// tool and the feed on this machine, which then need the line no longer to
// themselves. Registered with its own option table (--group, --listen) below.
#include "cli/Serve.h"

#include "core/Protocol.h"
#include "link/Link.h"
#include "link/SharedLine.h"
#include "platform/Address.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QProcess>
#include <csignal>
#include <sys/prctl.h>

namespace {

struct ServeOptions {
    QString group;
    QString listenHost; // empty: 127.0.0.1
    int listenPort = 0;
};

// "PORT" or "HOST:PORT": a host other than the loopback address is only
// ever the one given.
bool ParseListen(const QString &text, ServeOptions *out) {
    bool ok = false;
    const int port = text.toInt(&ok);
    if (ok) {
        out->listenPort = port;
        return port >= 1 && port <= 65535;
    }
    return ParseHostPort(text, 0, &out->listenHost, &out->listenPort) && out->listenPort > 0;
}

void OwnerLog(const QString &text) {
    Say(QStringLiteral("serve: ") + text);
}

} // namespace

static bool SharedLineFor(const LinkTarget &link, shared::SensorLine *line, QString *key,
                          QString *address) {
    line->serial = link.serial;
    line->host = link.host;
    line->port = link.port;
    line->baudIndex = link.baudIndex;
    if (link.serial) {
        line->device = link.device.isEmpty() ? ComPortDevice(link.comNumber) : link.device;
        if (line->device.isEmpty()) return false;
        *key = shared::SerialLineKey(line->device);
        *address =
            QStringLiteral("%1 %2 baud").arg(line->device).arg(proto::BaudOfIndex(link.baudIndex));
    } else {
        *key = shared::TcpLineKey(link.host, link.port);
        *address = HostPortText(link.host, link.port);
    }
    return true;
}

static int CmdServe(const CliArgs &args, const QList<LinkTarget> &links) {
    ServeOptions options;
    options.group = args.Value("group");
    if (args.IsSet("listen") && !ParseListen(args.Value("listen"), &options)) {
        Say(QStringLiteral("serve: --listen %1: not PORT or HOST:PORT (tolvane-cli serve --help "
                           "tells more)")
                .arg(args.Value("listen")));
        return kExitUsage;
    }
    // Without the panels there is no stored link to read: it is named.
    if (links.size() != 1) {
        Say("serve owns one sensor's line: give one --tcp HOST[:PORT] or --serial DEVICE "
            "(tolvane-cli serve --help tells more)");
        return kExitUsage;
    }
    // The plain application object: the owner needs no panels.
    StartPlainEngine();
    CatchInterrupt();
    const LinkTarget &link = links.first();
    shared::SensorLine line;
    QString key, address, problem;
    if (!SharedLineFor(link, &line, &key, &address)) {
        Say(link.Name() + ": no such serial port");
        return kExitUsage;
    }

    const QString dir = shared::RegistryDir();
    if (dir.isEmpty()) {
        Say("serve: this user has no private runtime directory: set XDG_RUNTIME_DIR or "
            "TOLVANE_RUNTIME_DIR");
        return kExitSensor;
    }
    // Group members may reach the socket, not list the directory.
    if (!MakePrivateDir(dir, options.group.isEmpty() ? 0700 : 0710, options.group)) {
        Say(QStringLiteral("serve: cannot use %1 (it must be a directory of this user's)")
                .arg(dir));
        return kExitSensor;
    }
    const shared::Owner self{CurrentProcessId(), shared::SocketPathFor(key), address};
    shared::Owner other;
    if (!shared::ClaimLine(key, &other, &problem)) {
        if (other.pid != 0)
            Say(QStringLiteral("serve: %1 is already shared by tolvane-cli serve, pid %2 (%3)")
                    .arg(link.Name())
                    .arg(other.pid > 0 ? QString::number(other.pid) : QStringLiteral("starting"))
                    .arg(other.socket));
        else
            Say(QStringLiteral("serve: ") + problem);
        return kExitSensor;
    }

    shared::LineOwner owner(line);
    owner.setLog(OwnerLog);
    owner.setHeldNotePath(shared::HeldNotePath(self.socket));
    owner.setClientsNote(self.socket);
    int code = kExitOk;
    LineServerSetup setup;
    setup.socketPath = self.socket;
    setup.group = options.group;
    setup.tcpHost = options.listenHost;
    setup.tcpPort = options.listenPort;
    // A sensor that is not there yet (powered later, a cable being
    // changed) is looked for again at each request: the line stays owned.
    if (!owner.open(&problem))
        Say(QStringLiteral("serve: %1: cannot open the link now: %2; it is tried again at the "
                           "next request")
                .arg(link.Name(), problem));
    if (!owner.listen(setup, &problem) || !shared::AnnounceLine(self, &problem)) {
        Say(QStringLiteral("serve: ") + problem);
        code = kExitSensor;
    } else {
        QString where = self.socket;
        if (LineServerTcpPort() > 0)
            where += QStringLiteral(" and %1:%2")
                         .arg(options.listenHost.isEmpty() ? QStringLiteral("127.0.0.1")
                                                           : options.listenHost)
                         .arg(LineServerTcpPort());
        Say(QStringLiteral("serve: %1 shared on %2, pid %3").arg(link.Name(), where).arg(self.pid));
        // The owner sleeps in the event loop until a client or the sensor
        // has something, or its next pause ends.
        constexpr double kSignalCheckS = 0.25;
        while (!Interrupted()) {
            const double wait = owner.step(Timer());
            if (wait > 0) WaitSystemEvents(std::min(wait, kSignalCheckS));
        }
        const shared::OwnerCounts &n = owner.counts();
        Say(QStringLiteral("serve: ends after %1 exchanges, %2 unanswered, %3 given up")
                .arg(n.exchanges)
                .arg(n.timeouts)
                .arg(n.expired));
    }
    owner.close();
    shared::ReleaseLine();
    // A stop by a signal is said by its exit code, as for every command.
    return code == kExitOk && Interrupted() ? InterruptExit() : code;
}

LineOwnerChild::LineOwnerChild() = default;

LineOwnerChild::~LineOwnerChild() {
    if (!m_process) return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(5000)) m_process->kill();
        m_process->waitForFinished(1000);
    }
    delete m_process;
}

int LineOwnerChild::Start(const LinkTarget &link, const QString &group) {
    shared::SensorLine line;
    QString key, address;
    if (!SharedLineFor(link, &line, &key, &address)) {
        Say(link.Name() + ": no such serial port");
        return kExitUsage;
    }
    shared::Owner owner;
    if (shared::FindOwner(key, &owner)) return kExitOk; // shared already
    QStringList args;
    if (link.serial)
        args << "--serial" << line.device << "--baud"
             << QString::number(proto::BaudOfIndex(link.baudIndex));
    else
        args << "--tcp" << address;
    args << "serve";
    if (!group.isEmpty()) args << "--group" << group;
    m_process = new QProcess;
    // Its messages are the tool's; it ends with the tool, however that ends.
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process->start(QCoreApplication::applicationFilePath(), args);
    const double until = Timer() + proto::kTcpConnectTimeoutMs / 1000.0 + 2.0;
    while (Timer() < until && !Interrupted()) {
        if (shared::FindOwner(key, &owner)) return kExitOk;
        if (m_process->state() == QProcess::NotRunning) break;
        WaitProcessingEvents(0.02);
    }
    // Another owner may have won the race; otherwise the sensor was not there.
    if (shared::FindOwner(key, &owner)) return kExitOk;
    Say(link.Name() + ": the line could not be shared");
    return kExitSensor;
}

namespace {
const CliRegistration kServe({
    "serve",
    "serve [--group NAME] [--listen [HOST:]PORT]",
    "owns the sensor's line and shares it with the window, the tool and the feed",
    "Owns one sensor's line (--tcp HOST[:PORT] or --serial DEVICE --baud RATE, named: no "
    "stored link is read) and offers it on a local socket that only this user may open "
    "(--group: and the members of that group). The window, tolvane-cli and the feed started "
    "for the same sensor go through it by themselves and say so; each client's exchanges are "
    "whole and in order, and a client that switches automatic sending on has the line to "
    "itself until it switches it off. A second serve for the same sensor is refused and names "
    "the owner. Runs until SIGINT or SIGTERM (exit 130 or 143).",
    {"tolvane-cli --tcp 10.0.4.21 serve",
     "tolvane-cli --serial /dev/ttyUSB0 --baud 115200 serve --group tolvane --listen 4001"},
    {{{"group"}, "NAME", "the members of group NAME may use the line too"},
     {{"listen"},
      "[HOST:]PORT",
      "also listen on 127.0.0.1:PORT (on another address only if HOST is given)"}},
    0,
    0,
    true,
    false,
    CmdServe,
    90,
    true,
});
} // namespace
