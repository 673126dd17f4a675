// tolvane-sim: the simulated sensor as a stand-alone program.
#include "core/Protocol.h"
#include "sim/Simulator.h"

#include <QCommandLineParser>
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

    QCommandLineParser cli;
    cli.setApplicationDescription(QStringLiteral(
        "Simulated colour and gloss sensor. Answers the 36-byte telegram protocol over TCP\n"
        "and/or a pseudo-terminal, measures a scene of coloured targets with noise and\n"
        "evaluates its teach table. Faults can be injected for testing.\n"
        "Fault kinds: no-answer, short-answer, extra-bytes, wrong-echo, wrong-sync, delay,\n"
        "disconnect, unsolicited, stray, split-answer; in automatic sending half-frame and\n"
        "stray-head. TELEGRAM counts request telegrams from the start (automatic frames for\n"
        "half-frame and stray-head; 1 = the first; 0 = every one); AMOUNT is the bytes\n"
        "missing/extra/sent, the delay in ms or the byte index to flip (0 = the kind's\n"
        "default)."));
    cli.addHelpOption();
    cli.addVersionOption();
    const QCommandLineOption tcpPort(
        QStringLiteral("tcp-port"),
        QStringLiteral("TCP port to serve (0 = no TCP). Default 10002."), QStringLiteral("N"),
        QString::number(proto::kDefaultTcpPort));
    const QCommandLineOption bind(QStringLiteral("bind"),
                                  QStringLiteral("Address to listen on. Default 127.0.0.1."),
                                  QStringLiteral("ADDR"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption pty(
        QStringLiteral("pty"),
        QStringLiteral("Create a pseudo-terminal and print its device; \"--pty LINK\" also makes "
                       "the symbolic link LINK point to it."));
    const QCommandLineOption ptyLink(QStringLiteral("pty-link"),
                                     QStringLiteral("Symbolic link to the pseudo-terminal."),
                                     QStringLiteral("LINK"));
    const QCommandLineOption baud(QStringLiteral("baud-index"),
                                  QStringLiteral("Line rate index 0..4 (9600..115200). Default 4."),
                                  QStringLiteral("N"));
    const QCommandLineOption wire(
        QStringLiteral("emulate-wire-time"),
        QStringLiteral("Delay every answer by the wire time of 36 bytes at the line rate."));
    const QCommandLineOption pace(
        QStringLiteral("pace-bytes"),
        QStringLiteral("With --emulate-wire-time on the pty: each byte of an answer at its own "
                       "time at the line rate, as a USB serial adapter delivers them."));
    const QCommandLineOption frameWord(
        QStringLiteral("frame-word"),
        QStringLiteral("Every data frame carries VALUE in word K (2..17), e.g. 17=170 for GN 170 "
                       "(repeatable)."),
        QStringLiteral("K=VALUE"));
    const QCommandLineOption strict(
        QStringLiteral("strict-baud"),
        QStringLiteral("Pty: ignore requests while the line is set to another rate than the "
                       "sensor's."));
    const QCommandLineOption noStore(
        QStringLiteral("no-store-time"),
        QStringLiteral("Do not go deaf for a moment after an EEPROM store (order 6) and the "
                       "third-root announcement (order 180)."));
    const QCommandLineOption target(
        QStringLiteral("target"),
        QStringLiteral("Look at scene target N only (0 white, 1 red, 2 green, 3 blue, 4 yellow, "
                       "5 glossy black). Default: each in turn."),
        QStringLiteral("N"));
    const QCommandLineOption dwell(QStringLiteral("dwell"),
                                   QStringLiteral("Milliseconds on each target. Default 2000."),
                                   QStringLiteral("MS"));
    const QCommandLineOption fault(QStringLiteral("fault"),
                                   QStringLiteral("Inject a fault (repeatable)."),
                                   QStringLiteral("KIND[:TELEGRAM[:AMOUNT[:DELAY]]]"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Seed of the measurement noise. Default 1."),
                                  QStringLiteral("N"));
    const QCommandLineOption noNoise(QStringLiteral("no-noise"),
                                     QStringLiteral("Measure without noise."));
    const QCommandLineOption triggerEvery(
        QStringLiteral("trigger-every"),
        QStringLiteral("Every N-th frame carries the trigger flag (0 = never). Default 5."),
        QStringLiteral("N"));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("Print only the link lines and errors."));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Print every telegram in hex."));
    cli.addOptions({tcpPort, bind, pty, ptyLink, baud, wire, pace, strict, noStore, target, dwell,
                    fault, frameWord, seed, noNoise, triggerEvery, quiet, verbose});
    cli.process(ExpandPtyOption(app.arguments()));

    auto number = [&cli](const QCommandLineOption &o, int lo, int hi, int *out) {
        if (!cli.isSet(o)) return true;
        bool ok = false;
        const int v = cli.value(o).toInt(&ok);
        if (!ok || v < lo || v > hi) return false;
        *out = v;
        return true;
    };

    tsim::Simulator sim;
    int port = proto::kDefaultTcpPort, baudIndex = 4, targetIndex = -1, dwellMs = 2000;
    int seedValue = 1, every = 5;
    if (!number(tcpPort, 0, 65535, &port)) return Fail(QStringLiteral("--tcp-port wants 0..65535"));
    if (!number(baud, 0, 4, &baudIndex)) return Fail(QStringLiteral("--baud-index wants 0..4"));
    if (!number(target, 0, int(sim.scene().size()) - 1, &targetIndex))
        return Fail(QStringLiteral("--target wants 0..%1").arg(sim.scene().size() - 1));
    if (!number(dwell, 1, 3600000, &dwellMs))
        return Fail(QStringLiteral("--dwell wants milliseconds"));
    if (!number(seed, 0, INT_MAX, &seedValue)) return Fail(QStringLiteral("--seed wants a number"));
    if (!number(triggerEvery, 0, 1000000, &every))
        return Fail(QStringLiteral("--trigger-every wants a number"));
    QList<tsim::FaultPlan> faults;
    for (const QString &f : cli.values(fault)) {
        tsim::FaultPlan plan;
        if (!tsim::ParseFault(f, &plan)) return Fail(QStringLiteral("bad --fault \"%1\"").arg(f));
        faults.append(plan);
    }
    for (const QString &w : cli.values(frameWord)) {
        const QStringList kv = w.split(QLatin1Char('='));
        bool okWord = false, okValue = false;
        const int k = kv.value(0).toInt(&okWord), v = kv.value(1).toInt(&okValue);
        if (kv.size() != 2 || !okWord || !okValue || k < 2 || k > 17 || v < 0 || v > 65535)
            return Fail(QStringLiteral("bad --frame-word \"%1\": K=VALUE, K 2..17").arg(w));
        sim.setFrameWord(k, v);
    }
    const QHostAddress address(cli.value(bind));
    if (address.isNull()) return Fail(QStringLiteral("--bind wants an IP address"));
    const bool wantPty = cli.isSet(pty) || cli.isSet(ptyLink);
    if (port == 0 && !wantPty)
        return Fail(QStringLiteral("nothing to serve: give a TCP port or --pty"));

    sim.state().baudIndex = sim.state().eepromBaudIndex = baudIndex;
    sim.setTarget(targetIndex);
    sim.setDwellMs(dwellMs);
    sim.setSeed(quint32(seedValue));
    sim.setNoiseEnabled(!cli.isSet(noNoise));
    sim.setTriggerEvery(every);
    sim.setEmulateWireTime(cli.isSet(wire));
    sim.setStrictLineRate(cli.isSet(strict));
    sim.setPaceBytes(cli.isSet(pace));
    sim.setStoreTimeEmulation(!cli.isSet(noStore));
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
        if (!sim.openPty(cli.value(ptyLink)))
            return Fail(QStringLiteral("cannot open a pseudo-terminal: %1").arg(sim.errorString()));
        if (sim.ptyLinkPath().isEmpty())
            Say(QStringLiteral("pty %1").arg(sim.ptyPath()));
        else
            Say(QStringLiteral("pty %1 -> %2").arg(sim.ptyPath(), sim.ptyLinkPath()));
    }

    const bool talk = !cli.isSet(quiet);
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
    if (talk && cli.isSet(verbose)) {
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
