// What every command of the tool shares, with or without panels: its
// messages, the links it is given, its exit codes, the signals that end it
// and the engine on the plain application object. tolvane-line, the tool
// without the window's libraries, is made of this and the commands that need
// no panels.
#include "cli/Cli.h"

#include "core/Protocol.h"
#include "platform/Address.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>
#include <atomic>
#include <climits>
#include <csignal>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {
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

void PrepareEngine() {
    // No window is ever shown: panels live on the offscreen platform, with or
    // without a display server.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The plain event loop: a frame costs fewer system calls than with GLib's.
    qputenv("QT_NO_GLIB", "1");
    // Qt's own notes about the environment are no message for the user.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type == QtCriticalMsg || type == QtFatalMsg) Say(text);
    });
}

void StartPlainEngine() {
    PrepareEngine();
    static char name[] = "tolvane-cli";
    static char *args[] = {name, nullptr};
    static int argCount = 1;
    if (!QCoreApplication::instance()) new QCoreApplication(argCount, args);
    StartEngineClock();
}

bool Interrupted() {
    return caughtSignal.load() != 0;
}

int InterruptExit() {
    const int signal = caughtSignal.load();
    return signal == 0 ? int(kExitOk) : ExitOfSignal(signal);
}

void CatchInterrupt(void (*endLoops)()) {
    if (wakePipe[0] >= 0 || ::pipe(wakePipe) != 0) return;
    auto *notifier =
        new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier, endLoops] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(wakePipe[0], &byte, 1);
        notifier->setEnabled(false);
        if (endLoops) endLoops();
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

void HandOverToLineProgram(char **argv, const QStringList &linkOptions) {
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return;
    self[n] = '\0';
    const QByteArray line =
        QFileInfo(QString::fromLocal8Bit(self)).absolutePath().toLocal8Bit() + "/tolvane-line";
    if (::access(line.constData(), X_OK) != 0) return;
    // The link's options go first: global options stand anywhere.
    std::vector<QByteArray> added;
    for (const QString &option : linkOptions)
        added.push_back(option.toLocal8Bit());
    std::vector<char *> args{argv[0]};
    for (QByteArray &option : added)
        args.push_back(option.data());
    for (char **arg = argv + 1; *arg; ++arg)
        args.push_back(*arg);
    args.push_back(nullptr);
    ::execv(line.constData(), args.data());
}

QStringList LinkOptions(const LinkTarget &link) {
    if (!link.serial) return {"--tcp", HostPortText(link.host, link.port)};
    return {"--serial",
            link.device.isEmpty() ? QStringLiteral("COM%1").arg(link.comNumber) : link.device,
            "--baud", QString::number(proto::BaudOfIndex(link.baudIndex))};
}

int OneSensor(const QList<LinkTarget> &links, const char *command) {
    if (links.size() <= 1) return kExitOk;
    Say(QStringLiteral("%1 works with one sensor at a time").arg(command));
    return kExitUsage;
}
