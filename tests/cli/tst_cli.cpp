// tolvane-cli end to end: the built program, run as a shell would run it
// (no display, no Qt platform named), against simulated sensors in this
// process over TCP and a pseudo-terminal.
#include "sim/Simulator.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {
QString BinDir() {
    const QString dir = qEnvironmentVariable("TOLVANE_BIN_DIR");
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() : dir;
}

struct Result {
    int code = -1;
    QByteArray out, err;
};

// Runs a program of the build with the event loop turning, so that the
// simulators in this process answer it.
Result RunProgram(const QString &name, const QStringList &args, int timeoutMs = 30000) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "TOLVANE_POPUP_SCRIPT"})
        env.remove(v);
    p.setProcessEnvironment(env);
    QSignalSpy done(&p, &QProcess::finished);
    p.start(QDir(BinDir()).filePath(name), args);
    Result r;
    if (!done.wait(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = "did not end in time; " + p.readAllStandardError();
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

Result Cli(const QStringList &args, int timeoutMs = 30000) {
    return RunProgram("tolvane-cli", args, timeoutMs);
}

QString Tcp(const tsim::Simulator &sim) {
    return QStringLiteral("127.0.0.1:%1").arg(sim.tcpPort());
}

std::unique_ptr<tsim::Simulator> NewSim() {
    auto sim = std::make_unique<tsim::Simulator>();
    sim->setStoreTimeEmulation(false);
    if (!sim->listenTcp()) return nullptr;
    return sim;
}

// A port on which nothing listens: a simulator that was stopped.
quint16 DeadPort() {
    tsim::Simulator sim;
    sim.listenTcp();
    return sim.tcpPort();
}

} // namespace

class TstCli : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<tsim::Simulator> a, b;

    QString Path(const QString &name) const { return dir.filePath(name); }
    QByteArray FileBytes(const QString &name) const {
        QFile f(Path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void WriteFile(const QString &name, const QByteArray &bytes) {
        QFile f(Path(name));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        a = NewSim();
        b = NewSim();
        QVERIFY(a && b);
    }
    void init() {
        for (tsim::Simulator *s : {a.get(), b.get()}) {
            s->clearFaults();
            s->restart();
            s->clearRequests();
        }
    }

    // The parts of a script's life that must behave: each case names the
    // arguments (%A, %B: the two sensors, %DEAD: a stopped one, %D: the
    // scratch folder), the exit code, and what stdout and stderr must hold.
    void exitCodesAndMessages_data() {
        QTest::addColumn<QString>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::addColumn<bool>("wire"); // whether the sensors may see a telegram

        QTest::newRow("version") << "--tcp %A version" << 0 << "^TOLVANE-SIM V[0-9.]+ "
                                 << "" << true;
        QTest::newRow("no command") << "--tcp %A" << 2 << "^$"
                                    << "no command" << false;
        QTest::newRow("unknown command") << "--tcp %A frob" << 2 << "^$"
                                         << "unknown command" << false;
        QTest::newRow("--tcp without value") << "version --tcp" << 2 << "^$"
                                             << "needs a value" << false;
        QTest::newRow("bad port") << "--tcp 127.0.0.1:70000 version" << 2 << "^$"
                                  << "not HOST\\[:PORT\\]" << false;
        QTest::newRow("bad baud rate") << "--serial /dev/null --baud 4800 version" << 2 << "^$"
                                       << "--baud 4800" << false;
        QTest::newRow("frames -n 0") << "--tcp %A frames -n 0" << 2 << "^$"
                                     << "-n takes" << false;
        QTest::newRow("frames bad format") << "--tcp %A frames --format xml" << 2 << "^$"
                                           << "unexpected" << false;
        QTest::newRow("frames on two sensors") << "--tcp %A --tcp %B frames -n 1" << 2 << "^$"
                                               << "one sensor" << false;
        QTest::newRow("record without file") << "--tcp %A record -n 2 -i 1" << 2 << "^$"
                                             << "needs -n N, -i SECONDS and -o FILE" << false;
        QTest::newRow("record interval 0") << "--tcp %A record -n 2 -i 0 -o %D/r.dat" << 2 << "^$"
                                           << "from 1 to 65535" << false;
        QTest::newRow("sensor stopped") << "--tcp %DEAD version" << 1 << "^$"
                                        << "TCP/IP 127.0.0.1:[0-9]+: cannot open the link" << false;
        QTest::newRow("several sensors, one down")
            << "--tcp %A --tcp %DEAD --tcp %B version" << 1
            << "^TCP/IP 127.0.0.1:[0-9]+\tTOLVANE-SIM[^\n]*\nTCP/IP 127.0.0.1:[0-9]+\tTOLVANE-SIM"
            << ":[0-9]+: ok\n.*cannot open the link.*:[0-9]+: failed\n.*:[0-9]+: ok\n"
            << true;
    }
    void exitCodesAndMessages() {
        QFETCH(QString, args);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(bool, wire);
        args.replace("%DEAD", QStringLiteral("127.0.0.1:%1").arg(DeadPort()));
        args.replace("%A", Tcp(*a)).replace("%B", Tcp(*b)).replace("%D", dir.path());
        const Result r = Cli(args.split(' '));
        QVERIFY2(r.code == code, r.err.constData());
        const auto dotAll = QRegularExpression::DotMatchesEverythingOption;
        QVERIFY2(QRegularExpression(out, dotAll).match(QString::fromUtf8(r.out)).hasMatch(),
                 r.out.constData());
        QVERIFY2(QRegularExpression(err, dotAll).match(QString::fromUtf8(r.err)).hasMatch(),
                 r.err.constData());
        if (!wire) QCOMPARE(a->requestCount() + b->requestCount(), 0);
    }

    // frames -n 100 in both formats: the record file's header and columns,
    // or one JSON object per frame, each with its number and named values.
    void framesParse_data() {
        QTest::addColumn<QString>("format");
        QTest::newRow("tsv") << "tsv";
        QTest::newRow("json") << "json";
    }
    void framesParse() {
        QFETCH(QString, format);
        const Result r = Cli({"--tcp", Tcp(*a), "frames", "-n", "100", "--format", format});
        QVERIFY2(r.code == 0, r.err.constData());
        QList<QByteArray> lines = r.out.split('\n');
        QCOMPARE(lines.takeLast(), QByteArray()); // every line ends
        QCOMPARE(a->requestCount(5), 100);
        if (format == "tsv") {
            QCOMPARE(lines.size(), 101);
            QCOMPARE(lines[0], QByteArray("DATE\tTIME\tRED\tGREEN\tBLUE\tREF\tDIR\tDIF\tX s\tY "
                                          "i\tINT M\tGN\tVECTOR\tTEMP\t"));
            static const QRegularExpression line(
                "^\\d\\d-\\d\\d-\\d{4}\t\\d\\d:\\d\\d:\\d\\d(\t\\d+){12}$");
            for (int i = 1; i < lines.size(); ++i)
                QVERIFY2(line.match(QString::fromLatin1(lines[i])).hasMatch(), lines[i]);
            return;
        }
        QCOMPARE(lines.size(), 100);
        for (int i = 0; i < lines.size(); ++i) {
            QJsonParseError error;
            const QJsonObject o = QJsonDocument::fromJson(lines[i], &error).object();
            QVERIFY2(error.error == QJsonParseError::NoError, lines[i]);
            QCOMPARE(o.value("frame").toInt(), i + 1);
            for (const char *key :
                 {"red", "green", "blue", "x", "y", "int", "gn", "vector", "temp"})
                QVERIFY2(o.value(key).isDouble(), key);
            QVERIFY(o.value("red").toInt() <= 4095);
            QVERIFY(QDateTime::fromString(o.value("time").toString(), Qt::ISODateWithMs).isValid());
        }
    }

    void cleanupTestCase() {
        a.reset();
        b.reset();
    }
};

QTEST_GUILESS_MAIN(TstCli)
#include "tst_cli.moc"
