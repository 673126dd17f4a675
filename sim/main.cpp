// tolvane-sim: the simulated sensor as a stand-alone program, its options
// read by the command-line layer every program of the system shares.
#include "core/Protocol.h"
#include "platform/CommandLine.h"
#include "sim/Simulator.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <climits>
#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

void Say(const QString &line) {
    std::fprintf(stdout, "tolvane-sim: %s\n", qPrintable(line));
    std::fflush(stdout);
}

QString Hex(const QByteArray &bytes) {
    return QString::fromLatin1(bytes.toHex(' '));
}

// "--pty LINK" carries an optional value, which QCommandLineParser cannot
// express: turn it into "--pty --pty-link LINK".
QStringList ExpandPtyOption(QStringList args) {
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--pty") && i + 1 < args.size() &&
            !args[i + 1].startsWith(QLatin1Char('-'))) {
            args.insert(i + 1, QStringLiteral("--pty-link"));
            i += 2;
        } else if (args[i].startsWith(QLatin1String("--pty="))) {
            const QString link = args[i].mid(6);
            args[i] = QStringLiteral("--pty");
            args.insert(i + 1, QStringLiteral("--pty-link"));
            args.insert(i + 2, link);
            i += 2;
        }
    }
    return args;
}

int Fail(const QString &message) {
    std::fprintf(stderr, "tolvane-sim: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char *argv[]) {
    // An emulated wire time ends on the microsecond, not up to 50 us late.
    prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tolvane-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.2"));

    const QString about = QStringLiteral(
        "Simulated colour and gloss sensor. Answers the 36-byte telegram protocol over TCP "
        "and/or a pseudo-terminal, measures a scene of coloured targets with noise and "
        "evaluates its teach table. Faults can be injected for testing.");
    const QString faultKinds = QStringLiteral(
        "Fault kinds: no-answer, short-answer, extra-bytes, wrong-echo, wrong-sync, delay, "
        "disconnect, unsolicited, stray, split-answer; in automatic sending half-frame and "
        "stray-head. TELEGRAM counts request telegrams from the start (automatic frames for "
        "half-frame and stray-head; 1 = the first; 0 = every one); AMOUNT is the bytes "
        "missing/extra/sent, the delay in ms or the byte index to flip (0 = the kind's "
        "default); DELAY is the ms after which the rest of a split answer or of a frame "
        "with a glued head follows (default 50).");
    const QList<cmdline::Option> table = {
        {{"tcp-port"}, "N", "TCP port to serve (0 = no TCP). Default 10002."},
        {{"bind"}, "ADDR", "Address to listen on. Default 127.0.0.1."},
        {{"pty"},
         {},
         "Create a pseudo-terminal and print its device; \"--pty LINK\" also makes the "
         "symbolic link LINK point to it."},
        {{"pty-link"}, "LINK", "Symbolic link to the pseudo-terminal."},
        {{"baud-index"}, "N", "Line rate index 0..4 (9600..115200). Default 4."},
        {{"emulate-wire-time"},
         {},
         "Delay every answer by the wire time of 36 bytes at the line rate."},
        {{"pace-bytes"},
         {},
         "With --emulate-wire-time on the pty: each byte of an answer at its own time at the "
         "line rate, as a USB serial adapter delivers them."},
        {{"strict-baud"},
         {},
         "Pty: ignore requests while the line is set to another rate than the sensor's."},
        {{"no-store-time"},
         {},
         "Do not go deaf for a moment after an EEPROM store (order 6) and the third-root "
         "announcement (order 180)."},
        {{"target"},
         "N",
         "Look at scene target N only (0 white, 1 red, 2 green, 3 blue, 4 yellow, 5 glossy "
         "black). Default: each in turn."},
        {{"dwell"}, "MS", "Milliseconds on each target. Default 2000."},
        {{"fault"}, "KIND[:TELEGRAM[:AMOUNT[:DELAY]]]", "Inject a fault (repeatable).", true},
        {{"frame-word"},
         "K=VALUE",
         "Every data frame carries VALUE in word K (2..17), e.g. 17=170 for GN 170 (repeatable).",
         true},
        {{"seed"}, "N", "Seed of the measurement noise. Default 1."},
        {{"no-noise"}, {}, "Measure without noise."},
        {{"trigger-every"},
         "N",
         "Every N-th frame carries the trigger flag (0 = never). Default 5."},
        {{"quiet"}, {}, "Print only the link lines and errors."},
        {{"verbose"}, {}, "Print every telegram in hex."},
        {{"h", "help"}, {}, "Displays help on commandline options."},
        {{"v", "version"}, {}, "Displays version information."},
    };
    cmdline::Parser cli(table);
    QString error;
    if (!cli.Parse(ExpandPtyOption(app.arguments()).mid(1), &error))
        return Fail(error + " (tolvane-sim --help tells more)");
    if (cli.IsSet("help")) {
        const QByteArray text = "Usage: tolvane-sim [options]\n" +
                                cmdline::Wrapped(about, 0).toUtf8() + "\nOptions:\n" +
                                cmdline::OptionLines(table).toUtf8() + "\n" +
                                cmdline::Wrapped(faultKinds, 0).toUtf8() +
                                "\nExit status:\n  0    ended by SIGINT or SIGTERM\n"
                                "  2    a bad command line, or nothing to serve\n"
                                "\nExample:\n  tolvane-sim --pty /tmp/sensor --emulate-wire-time\n";
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        return std::fflush(stdout) == 0 ? 0 : 2;
    }
    if (cli.IsSet("version")) {
        std::printf("tolvane-sim %s\n", qPrintable(QCoreApplication::applicationVersion()));
        return std::fflush(stdout) == 0 ? 0 : 2;
    }
    if (!cli.Words().isEmpty())
        return Fail(QStringLiteral("unexpected \"%1\"").arg(cli.Words().first()));

    auto number = [&cli](const char *o, int lo, int hi, int *out) {
        if (!cli.IsSet(o)) return true;
        qint64 v = 0;
        if (!cmdline::WholeNumber(cli.Value(o), lo, hi, &v)) return false;
        *out = int(v);
        return true;
    };

    tsim::Simulator sim;
    int port = proto::kDefaultTcpPort, baudIndex = 4, targetIndex = -1, dwellMs = 2000;
    int seedValue = 1, every = 5;
    if (!number("tcp-port", 0, 65535, &port))
        return Fail(QStringLiteral("--tcp-port wants 0..65535"));
    if (!number("baud-index", 0, 4, &baudIndex))
        return Fail(QStringLiteral("--baud-index wants 0..4"));
    if (!number("target", 0, int(sim.scene().size()) - 1, &targetIndex))
        return Fail(QStringLiteral("--target wants 0..%1").arg(sim.scene().size() - 1));
    if (!number("dwell", 1, 3600000, &dwellMs))
        return Fail(QStringLiteral("--dwell wants milliseconds"));
    if (!number("seed", 0, INT_MAX, &seedValue))
        return Fail(QStringLiteral("--seed wants a number"));
    if (!number("trigger-every", 0, 1000000, &every))
        return Fail(QStringLiteral("--trigger-every wants a number"));
    QList<tsim::FaultPlan> faults;
    for (const QString &f : cli.Values("fault")) {
        tsim::FaultPlan plan;
        if (!tsim::ParseFault(f, &plan)) return Fail(QStringLiteral("bad --fault \"%1\"").arg(f));
        faults.append(plan);
    }
    for (const QString &w : cli.Values("frame-word")) {
        const QStringList kv = w.split(QLatin1Char('='));
        bool okWord = false, okValue = false;
        const int k = kv.value(0).toInt(&okWord), v = kv.value(1).toInt(&okValue);
        if (kv.size() != 2 || !okWord || !okValue || k < 2 || k > 17 || v < 0 || v > 65535)
            return Fail(QStringLiteral("bad --frame-word \"%1\": K=VALUE, K 2..17").arg(w));
        sim.setFrameWord(k, v);
    }
    const QHostAddress address(cli.IsSet("bind") ? cli.Value("bind") : QStringLiteral("127.0.0.1"));
    if (address.isNull()) return Fail(QStringLiteral("--bind wants an IP address"));
    const bool wantPty = cli.IsSet("pty") || cli.IsSet("pty-link");
    if (port == 0 && !wantPty)
        return Fail(QStringLiteral("nothing to serve: give a TCP port or --pty"));

    sim.state().baudIndex = sim.state().eepromBaudIndex = baudIndex;
    sim.setTarget(targetIndex);
    sim.setDwellMs(dwellMs);
    sim.setSeed(quint32(seedValue));
    sim.setNoiseEnabled(!cli.IsSet("no-noise"));
    sim.setTriggerEvery(every);
    sim.setEmulateWireTime(cli.IsSet("emulate-wire-time"));
    sim.setStrictLineRate(cli.IsSet("strict-baud"));
    sim.setPaceBytes(cli.IsSet("pace-bytes"));
    sim.setStoreTimeEmulation(!cli.IsSet("no-store-time"));
    for (const auto &f : faults)
        sim.armFault(f);

    if (port != 0) {
        if (!sim.listenTcp(quint16(port), address))
            return Fail(QStringLiteral("cannot listen on %1:%2: %3")
                            .arg(address.toString())
                            .arg(port)
                            .arg(sim.errorString()));
        Say(QStringLiteral("TCP %1:%2").arg(address.toString()).arg(sim.tcpPort()));
    }
    if (wantPty) {
        if (!sim.openPty(cli.Value("pty-link")))
            return Fail(QStringLiteral("cannot open a pseudo-terminal: %1").arg(sim.errorString()));
        if (sim.ptyLinkPath().isEmpty())
            Say(QStringLiteral("pty %1").arg(sim.ptyPath()));
        else
            Say(QStringLiteral("pty %1 -> %2").arg(sim.ptyPath(), sim.ptyLinkPath()));
    }

    const bool talk = !cli.IsSet("quiet");
    if (talk) {
        QObject::connect(&sim, &tsim::Simulator::clientConnected,
                         [] { Say(QStringLiteral("TCP client connected")); });
        QObject::connect(&sim, &tsim::Simulator::clientDisconnected,
                         [] { Say(QStringLiteral("TCP client gone")); });
        QObject::connect(&sim, &tsim::Simulator::faultHit, [](tsim::FaultPlan f, int telegram) {
            Say(QStringLiteral("fault %1 on telegram %2")
                    .arg(tsim::FaultName(f.kind))
                    .arg(telegram));
        });
    }
    if (talk && cli.IsSet("verbose")) {
        QObject::connect(&sim, &tsim::Simulator::requestReceived,
                         [](const QByteArray &t) { Say(QStringLiteral("<- ") + Hex(t)); });
        QObject::connect(&sim, &tsim::Simulator::answerSent,
                         [](const QByteArray &t) { Say(QStringLiteral("-> ") + Hex(t)); });
    }

    // SIGINT/SIGTERM end the event loop through a socket pair, so that the
    // destructor removes the pty link.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0) {
        auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
            char c;
            [[maybe_unused]] ssize_t n = ::read(g_signalPipe[0], &c, 1);
            QCoreApplication::quit();
        });
        struct sigaction sa {};
        sa.sa_handler = OnSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &sa, nullptr);
        ::sigaction(SIGTERM, &sa, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
    return app.exec();
}
