// tolvane-cli end to end: the built program, run as a shell would run it
// (no display, no Qt platform named), against simulated sensors in this
// process over TCP and a pseudo-terminal.
#include "sim/Simulator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <cstring>
#include <memory>
#include <sys/stat.h>

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

// A record file of two lines, one second apart, for the statistics.
constexpr const char *kTwoLines =
    "DATE\tTIME\tRED\tGREEN\tBLUE\tREF\tDIR\tDIF\tX s\tY i\tINT M\tGN\tVECTOR\tTEMP\t\r\n"
    "12-08-2026\t01:03:31\t1\t0\t0\t0\t0\t0\t0\t0\t0\t0\t3\t36\r\n"
    "12-08-2026\t01:03:32\t2\t0\t0\t0\t0\t0\t0\t0\t0\t0\t3\t36\r\n";

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
        QCOMPARE(Cli({"--tcp", Tcp(*a), "get", "-o", Path("good.ini")}).code, 0);
        const QByteArray good = FileBytes("good.ini");
        QCOMPARE(good.size(), 264 * 12);
        WriteFile("short.ini", good.left(263 * 12));
        QByteArray word = good;
        word.replace(4 * 12, 10, "       abc");
        WriteFile("word.ini", word);
        QByteArray limited = good;
        limited.replace(0, 10, "     65535");
        WriteFile("limited.ini", limited);
        // Record files for stats: two lines, and a file of another kind.
        WriteFile(
            "rec.dat",
            "DATE\tTIME\tRED\tGREEN\tBLUE\tREF\tDIR\tDIF\tX s\tY i\tINT M\tGN\tVECTOR\tTEMP\t\r\n"
            "12-08-2026\t01:03:31\t1\t0\t0\t0\t0\t0\t0\t0\t0\t0\t3\t36\r\n"
            "12-08-2026\t01:03:32\t2\t0\t0\t0\t0\t0\t0\t0\t0\t0\t3\t36\r\n");
        WriteFile("notrec.dat", "time\tvalue\r\n");
    }
    void init() {
        for (tsim::Simulator *s : {a.get(), b.get()}) {
            s->clearFaults();
            for (int word : {4, 5})
                s->setFrameWord(word, -1);
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
        QTest::addColumn<bool>("wire");      // whether the sensors may see a telegram
        QTest::addColumn<QString>("fault");  // armed on sensor A
        QTest::addColumn<QString>("noFile"); // a file that must not be there afterwards

        QTest::newRow("version") << "--tcp %A version" << 0 << "^TOLVANE-SIM V[0-9.]+ "
                                 << "" << true << ""
                                 << "";
        QTest::newRow("no command") << "--tcp %A" << 2 << "^$"
                                    << "no command" << false << ""
                                    << "";
        QTest::newRow("unknown command") << "--tcp %A frob" << 2 << "^$"
                                         << "unknown command" << false << ""
                                         << "";
        QTest::newRow("--tcp without value") << "version --tcp" << 2 << "^$"
                                             << "needs a value" << false << ""
                                             << "";
        QTest::newRow("bad port") << "--tcp 127.0.0.1:70000 version" << 2 << "^$"
                                  << "not HOST\\[:PORT\\]" << false << ""
                                  << "";
        QTest::newRow("bad baud rate") << "--serial /dev/null --baud 4800 version" << 2 << "^$"
                                       << "--baud 4800" << false << ""
                                       << "";
        QTest::newRow("frames -n 0") << "--tcp %A frames -n 0" << 2 << "^$"
                                     << "-n takes" << false << ""
                                     << "";
        QTest::newRow("frames bad format") << "--tcp %A frames --format xml" << 2 << "^$"
                                           << "--format xml: one of tsv, json" << false << ""
                                           << "";
        QTest::newRow("frames on two sensors") << "--tcp %A --tcp %B frames -n 1" << 2 << "^$"
                                               << "one sensor" << false << ""
                                               << "";
        QTest::newRow("record without file") << "--tcp %A record -n 2 -i 1" << 2 << "^$"
                                             << "needs -n N, -i SECONDS and -o FILE" << false << ""
                                             << "";
        QTest::newRow("record interval 0") << "--tcp %A record -n 2 -i 0 -o %D/r.dat" << 2 << "^$"
                                           << "from 1 to 65535" << false << ""
                                           << "";
        QTest::newRow("stats of a record file")
            << "stats %D/rec.dat" << 0
            << "^CHANNEL\tCOUNT\tMEAN\tSD\tMIN\tMAX\nRED\t2\t1.50\t0.71\t1\t2\n.*"
               "TEMP\t2\t36.00\t0.00\t36\t36\nVECTOR\tCOUNT\tSHARE\n3\t2\t100.00\n$"
            << "^$" << false << ""
            << "";
        QTest::newRow("stats of no record file") << "stats %D/notrec.dat" << 2 << "^$"
                                                 << "Line 1 is no header line" << false << ""
                                                 << "";
        QTest::newRow("stats, bad --to") << "stats %D/rec.dat --to 25:00" << 2 << "^$"
                                         << "--to needs a time" << false << ""
                                         << "";
        QTest::newRow("sensor stopped")
            << "--tcp %DEAD version" << 1 << "^$"
            << "^tolvane-cli: cannot open the link: no answer from 127.0.0.1:[0-9]+ .* nothing "
               "listens there; check the sensor's power, address and port\n$"
            << false << ""
            << "";
        QTest::newRow("several sensors, one down")
            << "--tcp %A --tcp %DEAD --tcp %B version" << 1
            << "^TCP/IP 127.0.0.1:[0-9]+\tTOLVANE-SIM[^\n]*\nTCP/IP 127.0.0.1:[0-9]+\tTOLVANE-SIM"
            << ":[0-9]+: ok\n.*cannot open the link.*:[0-9]+: failed\n.*:[0-9]+: ok\n"
            << true << ""
            << "";
        QTest::newRow("send short file")
            << "--tcp %A send %D/short.ini" << 2 << "^$"
            << "holds only 263 of the 264 values; nothing was sent" << false << ""
            << "";
        QTest::newRow("send word in file")
            << "--tcp %A send %D/word.ini" << 2 << "^$"
            << "holds \"abc\" in line 5, which is not a number from 0 to 65535" << false << ""
            << "";
        QTest::newRow("send missing file") << "--tcp %A send %D/none.ini" << 2 << "^$"
                                           << "none.ini" << false << ""
                                           << "";
        QTest::newRow("send value the panel limits")
            << "--tcp %A send %D/limited.ini" << 2 << "^$"
            << "nothing was sent:.*POWER 65535: POWER goes from 0 to 1000; SEND would write 1000"
            << false << ""
            << "";
        QTest::newRow("verify bad file") << "--tcp %A verify %D/short.ini" << 2 << "^$"
                                         << "holds only 263" << false << ""
                                         << "";
        QTest::newRow("show") << "show %D/good.ini" << 0
                              << "^POWER +500\\nPMODE +0 STAT\\n.*CALCMODE +0 X/Y INT "
                                 "GN\\n.*\\nROW +X +Y +CTO +INT +ITO +GN +GTO "
                                 "+GROUP\\n +0( +\\d+){8}\\n.*\\n +30( +\\d+){8}\\n$"
                              << "^$" << false << ""
                              << "";
        QTest::newRow("send cut off")
            << "--tcp %A send %D/good.ini" << 1 << "^$"
            << "^tolvane-cli: send interrupted: the server 127.0.0.1:[0-9]+ "
               "closed the connection at row 5\\. SEND stopped at row 5 \\(telegram 7 of 32\\)"
            << true << "disconnect:40"
            << "";
        QTest::newRow("get: file cannot be written")
            << "--tcp %A get -o %D/no-folder/x.ini" << 2 << "^$"
            << "no-folder/x.ini cannot be written" << true << ""
            << "no-folder/x.ini";
        QTest::newRow("get: sensor silent")
            << "--tcp %A get -o %D/lost.ini" << 1 << "^$"
            << "no answer from 127.0.0.1:[0-9]+ at row 10 within 3 s" << true << "no-answer:14"
            << "lost.ini";
        QTest::newRow("record: link lost")
            << "--tcp %A record -n 3 -i 1 -o %D/lost.dat" << 1 << "^$"
            << "closed the connection at the data frame request.*after 1 of 3 lines.*the 1 line "
               "recorded so far is kept in .*lost.dat"
            << true << "disconnect:35"
            << "lost.dat.part";
    }

    void exitCodesAndMessages() {
        QFETCH(QString, args);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(bool, wire);
        QFETCH(QString, fault);
        QFETCH(QString, noFile);
        if (!fault.isEmpty()) {
            tsim::FaultPlan armed;
            QVERIFY(tsim::ParseFault(fault, &armed));
            a->armFault(armed);
        }
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
        if (!noFile.isEmpty()) {
            QVERIFY(!QFile::exists(Path(noFile)));
            QVERIFY(!QFile::exists(Path(noFile + ".part")));
        }
    }

    // A backup restored onto another sensor, over either link, holds what
    // the first one held, and verify then finds the two equal.
    void backupAndRestore_data() {
        QTest::addColumn<bool>("pty");
        QTest::newRow("TCP") << false;
        QTest::newRow("pseudo-terminal") << true;
    }
    void backupAndRestore() {
        QFETCH(bool, pty);
        tsim::SensorState &from = a->state();
        from.ramParams[0] = 620;
        from.ramParams[10] = 1; // s/i layout
        from.ramRows[6][2] = 80;
        from.ramRows[30][7] = 3;
        QVERIFY(std::memcmp(from.ramRows, b->state().ramRows, sizeof from.ramRows) != 0);
        QStringList linkA{"--tcp", Tcp(*a)}, linkB{"--tcp", Tcp(*b)};
        if (pty) {
            QVERIFY(a->openPty() && b->openPty());
            linkA = QStringList{"--serial", a->ptyPath()};
            linkB = QStringList{"--serial", b->ptyPath(), "--baud", "115200"};
        }
        const Result got = Cli(linkA + QStringList{"get", "-o", Path("backup.ini")});
        QVERIFY2(got.code == 0, got.err.constData());
        QCOMPARE(FileBytes("backup.ini").count("\r\n"), 264);
        const Result sent = Cli(linkB + QStringList{"send", Path("backup.ini")});
        QVERIFY2(sent.code == 0, sent.err.constData());
        QCOMPARE(std::memcmp(b->state().ramParams, from.ramParams, sizeof from.ramParams), 0);
        QCOMPARE(std::memcmp(b->state().ramRows, from.ramRows, sizeof from.ramRows), 0);
        const Result verified = Cli(linkB + QStringList{"verify", Path("backup.ini")});
        QVERIFY2(verified.code == 0, verified.err.constData());
        QCOMPARE(verified.out, QByteArray());
        if (pty) {
            a->closePty();
            b->closePty();
        }
    }

    // verify names each difference by the operator's names, FILE's value
    // first; --eeprom compares what the EEPROM holds.
    void verifyNamesDifferences_data() {
        QTest::addColumn<int>("power");
        QTest::addColumn<int>("cto");
        QTest::addColumn<bool>("eeprom");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out");
        QTest::newRow("equal") << 500 << 100 << false << 0 << "";
        QTest::newRow("POWER") << 620 << 100 << false << 3 << "POWER 500 -> 620\n";
        QTest::newRow("teach cell") << 500 << 80 << false << 3 << "row 6 CTO 100 -> 80\n";
        QTest::newRow("both") << 620 << 80 << false << 3
                              << "POWER 500 -> 620\nrow 6 CTO 100 -> 80\n";
        QTest::newRow("--eeprom: RAM changed, EEPROM equal") << 620 << 80 << true << 0 << "";
    }
    void verifyNamesDifferences() {
        QFETCH(int, power);
        QFETCH(int, cto);
        QFETCH(bool, eeprom);
        QFETCH(int, code);
        QFETCH(QString, out);
        a->state().ramRows[6][2] = a->state().eepromRows[6][2] = 100;
        QCOMPARE(Cli({"--tcp", Tcp(*a), "get", "-o", Path("approved.ini")}).code, 0);
        a->state().ramParams[0] = uint16_t(power);
        a->state().ramRows[6][2] = uint16_t(cto);
        QStringList args{"--tcp", Tcp(*a), "verify", Path("approved.ini")};
        if (eeprom) args << "--eeprom";
        const Result r = Cli(args);
        QVERIFY2(r.code == code, r.err.constData());
        QCOMPARE(QString::fromUtf8(r.out), out);
        if (eeprom) QCOMPARE(a->requestCount(8), 1); // the EEPROM was loaded into RAM
    }

    // A counted recording writes the recorder's file: its header, then one
    // CR LF line per frame, and nothing beside it.
    void recordWritesTheRecordFile() {
        const Result r =
            Cli({"--tcp", Tcp(*a), "record", "-n", "3", "-i", "1", "-o", Path("rec.dat")});
        QVERIFY2(r.code == 0, r.err.constData());
        const QList<QByteArray> lines = FileBytes("rec.dat").split('\n');
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[0], QByteArray("DATE\tTIME\tRED\tGREEN\tBLUE\tREF\tDIR\tDIF\tX s\tY "
                                      "i\tINT M\tGN\tVECTOR\tTEMP\t\r"));
        static const QRegularExpression line(
            "^\\d\\d-\\d\\d-\\d{4}\t\\d\\d:\\d\\d:\\d\\d(\t\\d+){12}\r$");
        for (int i = 1; i <= 3; ++i)
            QVERIFY2(line.match(QString::fromLatin1(lines[i])).hasMatch(), lines[i]);
        QCOMPARE(lines[4], QByteArray());
        QCOMPARE(a->requestCount(5), 3);
        QVERIFY(!QFile::exists(Path("rec.dat.part")));
    }

    // Ctrl-C ends a run cleanly: frames with whole lines and exit 130, a
    // recording cut short with the lines it took; --all-or-nothing keeps none.
    void interruptEndsCleanly_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("kept");
        QTest::newRow("frames") << "frames" << 130 << false;
        QTest::newRow("record") << "record -n 100 -i 1 -o %D/cut.dat" << 130 << true;
        QTest::newRow("record --all-or-nothing")
            << "record -n 100 -i 1 -o %D/cut.dat --all-or-nothing" << 130 << false;
    }
    void interruptEndsCleanly() {
        QFETCH(QString, command);
        QFETCH(int, code);
        QFETCH(bool, kept);
        QFile::remove(Path("cut.dat"));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        p.setProcessEnvironment(env);
        QSignalSpy done(&p, &QProcess::finished);
        p.start(QDir(BinDir()).filePath("tolvane-cli"),
                QStringList{"--tcp", Tcp(*a)} + command.replace("%D", dir.path()).split(' '));
        QTRY_VERIFY_WITH_TIMEOUT(a->requestCount(5) >= 3, 10000);
        ::kill(pid_t(p.processId()), SIGINT);
        QVERIFY(done.wait(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), code);
        const QByteArray out = p.readAllStandardOutput();
        if (command == "frames") {
            QVERIFY(out.endsWith('\n'));
            QVERIFY(out.count('\n') >= 3);
        }
        QCOMPARE(QFile::exists(Path("cut.dat")), kept);
        QVERIFY(!QFile::exists(Path("cut.dat.part")));
    }

    // get -o DIR/ from several sensors: one file per sensor that answered,
    // a summary line for each, the worst exit code.
    void backupOfALine() {
        const QString hosts = QStringLiteral("# line 3\n%1\n127.0.0.1:%2\n\n%3\n")
                                  .arg(Tcp(*a))
                                  .arg(DeadPort())
                                  .arg(Tcp(*b));
        WriteFile("hosts.txt", hosts.toUtf8());
        const Result r = Cli({"--hosts", Path("hosts.txt"), "get", "-o", Path("line3/")});
        QCOMPARE(r.code, 1);
        QCOMPARE(QDir(Path("line3")).entryList(QDir::Files).size(), 2);
        QVERIFY(QFile::exists(Path("line3/127.0.0.1_%1.ini").arg(a->tcpPort())));
        QCOMPARE(r.err.count(": ok\n"), 2);
        QCOMPARE(r.err.count(": failed\n"), 1);
    }

    // Two instances of the window, each with its own --config folder, each
    // start on their own sensor; --tcp starts on another without storing it.
    void windowConfigFolders_data() {
        QTest::addColumn<QString>("config");
        QTest::addColumn<bool>("tcpToB");
        QTest::addColumn<bool>("reachesA");
        QTest::newRow("first instance") << "cfgA" << false << true;
        QTest::newRow("second instance") << "cfgB" << false << false;
        QTest::newRow("--tcp overrides, not stored") << "cfgA" << true << false;
    }
    void windowConfigFolders() {
        QFETCH(QString, config);
        QFETCH(bool, tcpToB);
        QFETCH(bool, reachesA);
        for (auto [name, sim] : {std::pair{"cfgA", a.get()}, std::pair{"cfgB", b.get()}}) {
            QDir(dir.path()).mkpath(name);
            WriteFile(QString(name) + "/ComSettings.cfg",
                      QStringLiteral("1\n1\n4\n127.0.0.1\n%1\n").arg(sim->tcpPort()).toUtf8());
        }
        const QByteArray stored = FileBytes(config + "/ComSettings.cfg");
        QProcess window;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("TOLVANE_POPUP_SCRIPT", "fail");
        window.setProcessEnvironment(env);
        QStringList args{"--config", Path(config)};
        if (tcpToB) args << "--tcp" << Tcp(*b);
        window.start(QDir(BinDir()).filePath("tolvane"), args);
        tsim::Simulator *reached = reachesA ? a.get() : b.get();
        tsim::Simulator *other = reachesA ? b.get() : a.get();
        QTRY_VERIFY_WITH_TIMEOUT(reached->requestCount(4) == 31, 15000);
        QCOMPARE(other->requestCount(), 0);
        window.kill();
        window.waitForFinished();
        QCOMPARE(FileBytes(config + "/ComSettings.cfg"), stored);
    }

    // frames -n 100 in both formats: the record file's header and columns,
    // or one JSON object per frame, each with its number, named values and
    // the time its answer came, the window's pause apart.
    void framesParse_data() {
        QTest::addColumn<QString>("format");
        QTest::newRow("tsv") << "tsv";
        QTest::newRow("tsv, ISO time") << "tsv --time iso";
        QTest::newRow("json") << "json";
    }
    void framesParse() {
        QFETCH(QString, format);
        const qint64 before = QDateTime::currentMSecsSinceEpoch() / 1000 * 1000;
        const Result r = Cli(QStringList{"--tcp", Tcp(*a), "frames", "-n", "100", "--format"} +
                             format.split(' '));
        const qint64 after = QDateTime::currentMSecsSinceEpoch();
        QVERIFY2(r.code == 0, r.err.constData());
        QList<QByteArray> lines = r.out.split('\n');
        QCOMPARE(lines.takeLast(), QByteArray()); // every line ends
        QCOMPARE(a->requestCount(5), 100);
        if (format.startsWith("tsv")) {
            const bool iso = format.contains("iso");
            QCOMPARE(lines.size(), 101);
            QCOMPARE(lines[0],
                     QByteArray(iso ? "TIME" : "DATE\tTIME") +
                         "\tRED\tGREEN\tBLUE\tREF\tDIR\tDIF\tX_s\tY_i\tINT_M\tGN\tVECTOR\tTEMP");
            const QRegularExpression line(
                iso ? "^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d(\t\\d+)"
                      "{12}$"
                    : "^\\d\\d-\\d\\d-\\d{4}\t\\d\\d:\\d\\d:\\d\\d(\t\\d+){12}$");
            qint64 previous = 0;
            for (int i = 1; i < lines.size(); ++i) {
                QVERIFY2(line.match(QString::fromLatin1(lines[i])).hasMatch(), lines[i]);
                QCOMPARE(lines[i].count('\t'), lines[0].count('\t'));
                if (!iso) continue;
                // Each line stamped with its frame's arrival, to the millisecond.
                const qint64 at =
                    QDateTime::fromString(QString::fromLatin1(lines[i].split('\t')[0]),
                                          Qt::ISODateWithMs)
                        .toMSecsSinceEpoch();
                QVERIFY2(at >= before && at <= after, lines[i]);
                if (i > 1) QVERIFY2(at - previous >= 9, lines[i]);
                previous = at;
            }
            return;
        }
        QCOMPARE(lines.size(), 100);
        qint64 previous = 0;
        for (int i = 0; i < lines.size(); ++i) {
            QJsonParseError error;
            const QJsonObject o = QJsonDocument::fromJson(lines[i], &error).object();
            QVERIFY2(error.error == QJsonParseError::NoError, lines[i]);
            QCOMPARE(o.value("frame").toInt(), i + 1);
            for (const char *key :
                 {"red", "green", "blue", "x", "y", "int", "gn", "vector", "temp"})
                QVERIFY2(o.value(key).isDouble(), key);
            QVERIFY(o.value("red").toInt() <= 4095);
            const QDateTime time =
                QDateTime::fromString(o.value("time").toString(), Qt::ISODateWithMs);
            QVERIFY(time.isValid());
            const qint64 at = time.toMSecsSinceEpoch();
            QVERIFY(at >= before && at <= after);
            // Stamps in whole milliseconds of answers at least 10 ms apart.
            if (i > 0) QVERIFY2(at - previous >= 9, lines[i]);
            previous = at;
        }
    }

    // Bytes within the quiet after an answer make it doubtful: that frame
    // is refused, not printed, over either link. (A body that holds a frame
    // head is waited on 100 ms; bytes come 20 ms after the third frame's
    // answer, telegram 37 after the link check, version and set.)
    void framesRefuseBytesAfterTheAnswer_data() {
        QTest::addColumn<bool>("pty");
        QTest::newRow("TCP") << false;
        QTest::newRow("pseudo-terminal") << true;
    }
    void framesRefuseBytesAfterTheAnswer() {
        QFETCH(bool, pty);
        a->setFrameWord(4, 170);
        a->setFrameWord(5, 5);
        a->armFault({tsim::Fault::Unsolicited, 37, 0});
        QStringList link{"--tcp", Tcp(*a)};
        if (pty) {
            QVERIFY(a->openPty());
            link = QStringList{"--serial", a->ptyPath()};
        }
        const Result r = Cli(link + QStringList{"frames", "-n", "5", "--format", "json"});
        if (pty) a->closePty();
        QVERIFY2(r.code == 1, r.err.constData());
        QVERIFY2(r.err.contains("more bytes followed the answer at the data frame request"),
                 r.err.constData());
        QCOMPARE(r.out.count('\n'), 2);
    }

    // send puts exactly the file's set on the wire, spare words included, or
    // refuses the file naming each value that would change, sending nothing.
    // Each case sets words of the file (word=value) before it is sent to B.
    void sendIsExactlyTheFile_data() {
        QTest::addColumn<QString>("words");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("err");
        QTest::newRow("spare words") << "14=1234 15=4321" << 0 << "parameter set sent";
        QTest::newRow("DYN without limit") << "1=1 5=0" << 0 << "parameter set sent";
        QTest::newRow("PMODE 9") << "1=9" << 2 << "PMODE 9: no such code \\(0 STAT, 1 DYN\\)";
        QTest::newRow("PMODE 2") << "1=2" << 2 << "PMODE 2: no such code";
        QTest::newRow("INTLIM in DYN")
            << "1=1 5=50" << 2 << "INTLIM 50: power mode DYN.*SEND would write 0";
        QTest::newRow("CALCMODE 8") << "10=8" << 2 << "CALCMODE 8: no such code";
        QTest::newRow("external teach, external trigger")
            << "9=1 8=2" << 2 << "EXTEACH 1 ON with TRIGGER 2 EXT1: .*exclude each other";
        QTest::newRow("STAT1 in DYN") << "9=2 1=1 5=0" << 2 << "PMODE 1 DYN: EXTEACH 2 STAT1";
        QTest::newRow("MAXCOL-No. 40") << "6=40" << 2 << "MAXCOL-No. 40: the teach table";
        QTest::newRow("two at once") << "1=9 10=9" << 2 << "PMODE 9.*\n.*CALCMODE 9";
    }
    void sendIsExactlyTheFile() {
        QFETCH(QString, words);
        QFETCH(int, code);
        QFETCH(QString, err);
        QByteArray file = FileBytes("good.ini");
        QVector<uint16_t> values;
        for (int w = 0; w < 264; ++w)
            values << uint16_t(file.mid(w * 12, 10).trimmed().toUInt());
        for (const QString &pair : words.split(' ')) {
            const int w = pair.section('=', 0, 0).toInt();
            values[w] = uint16_t(pair.section('=', 1).toUInt());
            file.replace(w * 12, 10, QByteArray::number(values[w]).rightJustified(10));
        }
        WriteFile("exact.ini", file);
        b->state().ramParams[14] = b->state().ramParams[15] = 0;
        const Result r = Cli({"--tcp", Tcp(*b), "send", Path("exact.ini")});
        QVERIFY2(r.code == code, r.err.constData());
        QVERIFY2(QRegularExpression(err).match(QString::fromUtf8(r.err)).hasMatch(),
                 r.err.constData());
        if (code != 0) {
            QCOMPARE(b->requestCount(), 0); // nothing on the wire
            return;
        }
        for (int w = 0; w < 16; ++w)
            QCOMPARE(b->state().ramParams[w], values[w]);
        for (int row = 0; row < 31; ++row)
            for (int c = 0; c < 8; ++c)
                QCOMPARE(b->state().ramRows[row][c], values[16 + row * 8 + c]);
        // The backup restored reads back as backed up.
        const Result verified = Cli({"--tcp", Tcp(*b), "verify", Path("exact.ini")});
        QVERIFY2(verified.code == 0, verified.out.constData());
        QCOMPARE(verified.out, QByteArray());
    }

    // Output that cannot be written ends the tool: a full device with exit 2
    // and a message; a reader that went away at once, quietly, with 141 (as
    // a pipe's SIGPIPE would), never a reconnect to a sensor that is fine.
    void outputThatCannotBeWritten_data() {
        QTest::addColumn<QString>("args");
        QTest::addColumn<bool>("closedPipe");
        for (bool pipe : {false, true}) {
            const char *to = pipe ? "closed pipe: " : "/dev/full: ";
            QTest::addRow("%sframes", to) << "--tcp %A frames" << pipe;
            QTest::addRow("%sframes json", to) << "--tcp %A frames --format json" << pipe;
            QTest::addRow("%sframes --reconnect", to) << "--tcp %A frames --reconnect" << pipe;
            QTest::addRow("%sframes --reconnect json", to)
                << "--tcp %A frames --reconnect --format json" << pipe;
        }
        QTest::newRow("/dev/full: version") << "--tcp %A version" << false;
        QTest::newRow("/dev/full: get") << "--tcp %A get" << false;
        QTest::newRow("/dev/full: show") << "show %D/good.ini" << false;
        QTest::newRow("/dev/full: stats") << "stats %D/rec.dat" << false;
        QTest::newRow("/dev/full: --help") << "--help" << false;
        QTest::newRow("/dev/full: --version") << "--version" << false;
        QTest::newRow("/dev/full: frames -n 3") << "--tcp %A frames -n 3" << false;
    }
    void outputThatCannotBeWritten() {
        QFETCH(QString, args);
        QFETCH(bool, closedPipe);
        args.replace("%A", Tcp(*a)).replace("%D", dir.path());
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        p.setProcessEnvironment(env);
        QSignalSpy done(&p, &QProcess::finished);
        if (closedPipe) {
            // The reader takes three lines and goes, as `| head -n 3` does.
            p.start("bash", QStringList{"-c",
                                        "\"$0\" \"$@\" | head -n 3 >/dev/null; exit "
                                        "${PIPESTATUS[0]}",
                                        QDir(BinDir()).filePath("tolvane-cli")} +
                                args.split(' '));
        } else {
            p.setStandardOutputFile("/dev/full");
            p.start(QDir(BinDir()).filePath("tolvane-cli"), args.split(' '));
        }
        QVERIFY2(done.wait(20000), "the tool did not end");
        const QByteArray err = p.readAllStandardError();
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        if (closedPipe) {
            QVERIFY2(p.exitCode() == 141, err.constData());
            QVERIFY2(err.isEmpty(), err.constData());
        } else {
            QVERIFY2(p.exitCode() == 2, err.constData());
            QVERIFY2(err.contains("the output cannot be written: No space left on device"),
                     err.constData());
            QVERIFY2(!err.contains("sensor"), err.constData());
        }
    }

    // Bad input ends the tool with a usage error instead of a crash or a
    // wait for ever: options without their value, a FIFO given as a file.
    void badInputEndsAtOnce_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("err");
        QTest::newRow("record -n") << "tolvane-cli"
                                   << "--tcp %A record -n"
                                   << "-n needs a value";
        QTest::newRow("record -n 5 -i") << "tolvane-cli"
                                        << "--tcp %A record -n 5 -i"
                                        << "-i needs a value";
        QTest::newRow("record -o") << "tolvane-cli"
                                   << "--tcp %A record -n 5 -i 1 -o"
                                   << "-o needs a value";
        QTest::newRow("stats FIFO") << "tolvane-cli"
                                    << "stats %F"
                                    << "not a file";
        QTest::newRow("show FIFO") << "tolvane-cli"
                                   << "show %F"
                                   << "is not a file";
        QTest::newRow("send FIFO") << "tolvane-cli"
                                   << "--tcp %A send %F"
                                   << "is not a file";
        QTest::newRow("password file FIFO")
            << "tolvane-cli"
            << "--tcp %A frames -n 1 --publish mqtt://127.0.0.1:1/line --mqtt-user u "
               "--mqtt-password-file %F"
            << "password file .* is not a file";
        QTest::newRow("viewer FIFO") << "tolvane"
                                     << "--view %F"
                                     << "not a file";
    }
    void badInputEndsAtOnce() {
        QFETCH(QString, program);
        QFETCH(QString, args);
        QFETCH(QString, err);
        const QString fifo = Path("fifo");
        if (!QFile::exists(fifo)) QCOMPARE(::mkfifo(qPrintable(fifo), 0600), 0);
        args.replace("%A", Tcp(*a)).replace("%F", fifo);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("TOLVANE_POPUP_SCRIPT", "fail");
        p.setProcessEnvironment(env);
        QSignalSpy done(&p, &QProcess::finished);
        p.start(QDir(BinDir()).filePath(program), args.split(' '));
        if (!done.wait(15000)) {
            p.kill();
            p.waitForFinished();
            QFAIL("did not end");
        }
        const QByteArray out = p.readAllStandardError() + p.readAllStandardOutput();
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QVERIFY2(p.exitCode() == 2, out.constData());
        QVERIFY2(QRegularExpression(err).match(QString::fromUtf8(out)).hasMatch(), out.constData());
        QCOMPARE(a->requestCount(), 0);
    }

    // stats says when the last line has no line end (the recorder may still
    // be writing it) instead of dropping it without a word.
    void statsOfAnUnendedLastLine_data() {
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("err");
        const QByteArray line = "12-08-2026\t01:03:33\t3\t0\t0\t0\t0\t0\t0\t0\t0\t0\t3\t36";
        QTest::newRow("whole file") << line + "\r\n" << 3 << "^$";
        QTest::newRow("last line unended") << line << 2 << "the last line \\(44 bytes\\) has no";
        QTest::newRow("cut in a value") << line.left(30) << 2 << "\\(30 bytes\\) has no line end";
        QTest::newRow("200 kB without an end")
            << QByteArray(200000, '7') << 2 << "\\(200000 bytes\\) has no line end";
    }
    void statsOfAnUnendedLastLine() {
        QFETCH(QByteArray, tail);
        QFETCH(int, count);
        QFETCH(QString, err);
        WriteFile("tail.dat", kTwoLines + tail);
        const Result r = Cli({"stats", Path("tail.dat")});
        QVERIFY2(r.code == 0, r.err.constData());
        QVERIFY2(r.out.contains(QStringLiteral("\nRED\t%1\t").arg(count).toLatin1()),
                 r.out.constData());
        QVERIFY2(QRegularExpression(err).match(QString::fromUtf8(r.err)).hasMatch(),
                 r.err.constData());
    }

    // A recording ended early keeps every line it took, whole, in the named
    // file, says how far it came, and exits by what ended it.
    void recordKeepsItsLines_data() {
        QTest::addColumn<int>("signal"); // sent after two lines; 0: none
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said");
        QTest::addColumn<bool>("toStdout"); // -o -
        QTest::newRow("SIGINT") << int(SIGINT) << "" << 130 << "interrupted after (\\d+) of 10"
                                << false;
        QTest::newRow("SIGTERM") << int(SIGTERM) << "" << 143 << "interrupted after (\\d+) of 10"
                                 << false;
        // The link drops after the third frame's answer (telegram 35 after
        // the line check's 32).
        QTest::newRow("sensor lost")
            << 0 << "disconnect:37" << 1 << "closed the connection.* after (\\d+) of 10" << false;
        QTest::newRow("SIGINT, -o -")
            << int(SIGINT) << "" << 130 << "interrupted after (\\d+) of 10" << true;
    }
    void recordKeepsItsLines() {
        QFETCH(int, signal);
        QFETCH(QString, fault);
        QFETCH(int, code);
        QFETCH(QString, said);
        QFETCH(bool, toStdout);
        if (!fault.isEmpty()) {
            tsim::FaultPlan armed;
            QVERIFY(tsim::ParseFault(fault, &armed));
            a->armFault(armed);
        }
        QFile::remove(Path("kept.dat"));
        WriteFile("kept.dat", "an earlier recording\r\n");
        QProcess p;
        QSignalSpy done(&p, &QProcess::finished);
        p.start(QDir(BinDir()).filePath("tolvane-cli"),
                {"--tcp", Tcp(*a), "record", "-n", "10", "-i", "1", "-o",
                 toStdout ? QStringLiteral("-") : Path("kept.dat")});
        QTRY_VERIFY_WITH_TIMEOUT(a->requestCount(5) >= 2, 10000);
        // Until the recording ends, an earlier file of the name stays as it was.
        QCOMPARE(FileBytes("kept.dat"), QByteArray("an earlier recording\r\n"));
        if (signal) ::kill(pid_t(p.processId()), signal);
        QVERIFY(done.wait(15000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(p.exitCode() == code, qPrintable(err));
        const auto m = QRegularExpression(said).match(err);
        QVERIFY2(m.hasMatch(), qPrintable(err));
        const int taken = m.captured(1).toInt();
        QVERIFY2(taken >= 2 && taken < 10, qPrintable(err));
        const QByteArray file = toStdout ? p.readAllStandardOutput() : FileBytes("kept.dat");
        QVERIFY(file.startsWith("DATE\tTIME\tRED"));
        QVERIFY(file.endsWith("\r\n"));
        QCOMPARE(int(file.count("\r\n")), 1 + taken);
        QVERIFY(!QFile::exists(Path("kept.dat.part")));
    }

    // --format json: one object per line, each field named, every sensor's
    // outcome on stdout. Checks are PATH=REGEX on the first line's object.
    void jsonOutput_data() {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("sensorWords"); // set on A before the run
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("lines");
        QTest::addColumn<QStringList>("checks");
        QTest::newRow("version") << "--tcp %A version --format json"
                                 << "" << 0 << 1
                                 << QStringList{"sensor=^TCP/IP 127.0.0.1:\\d+$", "result=^ok$",
                                                "exit=^0$", "version=^TOLVANE-SIM V"};
        QTest::newRow("several sensors, one down")
            << "--tcp %DEAD --tcp %A version --format json"
            << "" << 1 << 2
            << QStringList{"result=^failed$", "exit=^1$", "messages/0=cannot open the link"};
        QTest::newRow("show") << "show %D/good.ini --format json"
                              << "" << 0 << 1
                              << QStringList{
                                     "parameters/0/name=^POWER$", "parameters/0/value=^500$",
                                     "parameters/1/text=^STAT$",  "parameters/10/text=^X/Y INT GN$",
                                     "columns/2=^CTO$",           "columns/7=^GROUP$",
                                     "rows/30/7=^\\d+$"};
        QTest::newRow("verify, equal")
            << "--tcp %A verify %D/now.ini --format json"
            << "" << 0 << 1 << QStringList{"result=^ok$", "differences=^$"};
        QTest::newRow("verify, differences") << "--tcp %A verify %D/now.ini --format json"
                                             << "0=620 1=1" << 3 << 1
                                             << QStringList{"result=^differs$",
                                                            "exit=^3$",
                                                            "differences/0/name=^POWER$",
                                                            "differences/0/file=^500$",
                                                            "differences/0/sensor=^620$",
                                                            "differences/1/name=^PMODE$",
                                                            "differences/1/file_text=^STAT$",
                                                            "differences/1/sensor_text=^DYN$"};
        QTest::newRow("stats") << "stats %D/two.dat --format json"
                               << "" << 0 << 1
                               << QStringList{"lines=^2$",
                                              "channels/0/name=^RED$",
                                              "channels/0/count=^2$",
                                              "channels/0/mean=^1.5$",
                                              "channels/0/sd=^0.71$",
                                              "vectors/0/vector=^3$",
                                              "vectors/0/share=^100$",
                                              "unended_last_line=^false$"};
        QTest::newRow("get into a folder, two sensors")
            << "--tcp %A --tcp %B get -o %D/jsonline/ --format json"
            << "" << 0 << 2 << QStringList{"result=^ok$", "file=jsonline/127.0.0.1_\\d+\\.ini$"};
    }
    void jsonOutput() {
        QFETCH(QString, args);
        QFETCH(QString, sensorWords);
        QFETCH(int, code);
        QFETCH(int, lines);
        QFETCH(QStringList, checks);
        WriteFile("two.dat", kTwoLines);
        QCOMPARE(Cli({"--tcp", Tcp(*a), "get", "-o", Path("now.ini")}).code, 0);
        for (const QString &pair : sensorWords.split(' ', Qt::SkipEmptyParts))
            a->state().ramParams[pair.section('=', 0, 0).toInt()] =
                uint16_t(pair.section('=', 1).toUInt());
        args.replace("%DEAD", QStringLiteral("127.0.0.1:%1").arg(DeadPort()));
        args.replace("%A", Tcp(*a)).replace("%B", Tcp(*b)).replace("%D", dir.path());
        const Result r = Cli(args.split(' '));
        QVERIFY2(r.code == code, r.err.constData());
        QList<QByteArray> got = r.out.split('\n');
        QCOMPARE(got.takeLast(), QByteArray());
        QCOMPARE(got.size(), lines);
        for (const QByteArray &line : got) {
            QJsonParseError error;
            const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
            QVERIFY2(error.error == QJsonParseError::NoError && doc.isObject(), line);
        }
        const QJsonValue first = QJsonDocument::fromJson(got.value(0)).object();
        for (const QString &check : checks) {
            QJsonValue v = first;
            for (const QString &key : check.section('=', 0, 0).split('/'))
                v = v.isArray() ? v.toArray().at(key.toInt()) : v.toObject().value(key);
            // An array reads as its elements' count, empty when it has none.
            const QString text = !v.isArray()            ? v.toVariant().toString()
                                 : v.toArray().isEmpty() ? QString()
                                                         : QString::number(v.toArray().size());
            QVERIFY2(QRegularExpression(check.section('=', 1)).match(text).hasMatch(),
                     qPrintable(check + " got " + text + " in " + got[0]));
        }
    }

    // stats --from/--to take the record file's own form or, with --time iso,
    // ISO 8601 with a zone, converted to the file's local clock (here UTC+1).
    void statsTimeRange_data() {
        QTest::addColumn<QStringList>("range");
        QTest::addColumn<int>("count");
        QTest::newRow("file's form") << QStringList{"--from", "12-08-2026 01:03:32"} << 1;
        QTest::newRow("ISO with zone")
            << QStringList{"--time", "iso", "--from", "2026-12-08T00:03:32Z"} << 1;
        QTest::newRow("ISO with offset")
            << QStringList{"--time", "iso", "--to", "2026-12-08T02:03:31+02:00"} << 1;
        QTest::newRow("ISO, local")
            << QStringList{"--time", "iso", "--from", "2026-12-08T01:03:31"} << 2;
    }
    void statsTimeRange() {
        QFETCH(QStringList, range);
        QFETCH(int, count);
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "CET-1");
        WriteFile("range.dat", kTwoLines);
        const Result r = Cli(QStringList{"stats", Path("range.dat")} + range);
        if (zone.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", zone);
        QVERIFY2(r.code == 0, r.err.constData());
        QVERIFY2(r.out.contains(QStringLiteral("\nRED\t%1\t").arg(count).toLatin1()),
                 r.out.constData());
    }

    // The command line as a shell user writes it: every form of an option
    // means the same, a missing value, a repeated option or an unknown word
    // is a usage error that names the word, and nothing reaches a sensor
    // unless the line is sound. (%A: a sensor, %D: the scratch folder.)
    void commandLineForms_data() {
        QTest::addColumn<QString>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        auto row = [](const char *name, const char *args, int code, const char *out,
                      const char *err) { QTest::newRow(name) << args << code << out << err; };
        // Forms of options.
        row("--tcp=HOST:PORT", "--tcp=%A version", 0, "^TOLVANE-SIM", "^$");
        row("-n5 and --format=json", "--tcp %A frames -n2 --format=json", 0,
            "^\\{\"time\":[^\n]*\n\\{[^\n]*\n$", "^$");
        row("-n=2, --count 2", "--tcp %A frames --count 2 -n=2", 2, "^$",
            "-n is given twice|--count is given twice");
        row("options after the command's word", "version --tcp %A", 0, "^TOLVANE-SIM", "^$");
        // Missing values: the crashes of record -n and record -n 5 -i.
        row("record -n", "--tcp %A record -n", 2, "^$", "^tolvane-cli: record: -n needs a value");
        row("record -n 5 -i", "--tcp %A record -n 5 -i", 2, "^$", "record: -i needs a value");
        row("record -n -i 1", "--tcp %A record -n -i 1 -o %D/x.dat", 2, "^$",
            "record: -n needs a value");
        row("record -n x", "--tcp %A record -n x -i 1 -o %D/x.dat", 2, "^$",
            "-n takes a whole number from 1 to 65535, not \"x\"");
        row("--hosts without value", "--hosts", 2, "^$", "--hosts needs a value");
        row("frames --publish without value", "--tcp %A frames --publish", 2, "^$",
            "--publish needs a value");
        // Repeated options: refused unless they mean something.
        row("--publish twice",
            "--tcp %A frames --publish mqtt://127.0.0.1/a --publish=mqtt://127.0.0.1/b", 2, "^$",
            "--publish is given twice");
        row("--eeprom twice", "--tcp %A get --eeprom --eeprom", 2, "^$", "--eeprom is given twice");
        row("--serial twice", "--serial /dev/null --serial /dev/zero version", 2, "^$",
            "--serial is given twice");
        row("--format twice", "--tcp %A frames --format tsv --format json", 2, "^$",
            "--format is given twice");
        // Unknown and wrong words, each named.
        row("unknown option", "--tcp %A frames --frmat json", 2, "^$",
            "frames: unknown option --frmat \\(tolvane-cli frames --help");
        row("unknown short option", "--tcp %A get -x", 2, "^$", "get: unknown option -x");
        row("bad format value", "--tcp %A frames --format csv", 2, "^$",
            "frames: --format csv: one of tsv, json");
        row("format of version", "--tcp %A version --format xml", 2, "^$",
            "version: --format xml: one of text, json");
        row("format of stats", "stats %D/forms.dat --format text", 2, "^$",
            "stats: --format text: one of tsv, json");
        row("format of get without -o", "--tcp %A get --format json", 2, "^$",
            "--format json reports on stdout, so the set goes into -o FILE or DIR/");
        row("--all-or-nothing with a value",
            "--tcp %A record -n 1 -i 1 -o %D/x.dat --all-or-nothing=yes", 2, "^$",
            "--all-or-nothing takes no value");
        // The commands' own options, in the parser's forms.
        row("stats --format=json", "stats --format=json %D/forms.dat", 0,
            "^\\{\"bad_lines\":0,.*\"lines\":2,.*\\}\n$", "^$");
        row("stats --format tsv", "stats %D/forms.dat --format tsv", 0, "^.*\nRED\t2\t", "^$");
        row("get --format=json -o", "--tcp %A get --format=json -o %D/fmt.ini", 0,
            "^\\{.*\"result\":\"ok\".*\\}\n$", "");
        row("frames --time=iso", "--tcp %A frames -n1 --time=iso", 0, "^TIME\tRED\t", "^$");
        row("word too many", "--tcp %A version now", 2, "^$", "version: unexpected \"now\"");
        row("word missing", "--tcp %A send", 2, "^$", "send needs FILE");
        row("flag with a value", "--tcp %A get --eeprom=yes", 2, "^$", "--eeprom takes no value");
        row("host that is no host", "--tcp bad!host version", 2, "^$",
            "--tcp bad!host: not HOST\\[:PORT\\]");
        row("brackets without IPv6", "--tcp [sensor]:10002 version", 2, "^$", "no IPv6 address");
        row("garbage line in a hosts file", "--hosts %D/garbage-hosts.txt version", 2, "^$",
            "line 2 holds no HOST\\[:PORT\\]: \"not a host\"");
        row("COM number out of range", "--serial COM49 version", 2, "^$", "COM1..COM48");
        row("--baud alone", "--baud 9600 version", 2, "^$", "--baud goes with --serial");
        row("stats with a link", "--tcp %A stats %D/rec.dat", 2, "^$", "stats needs no link");
        row("password on the command line", "--tcp %A frames --mqtt-password x", 2, "^$",
            "not accepted");
        // serve: its options in the table, its sensor named, never guessed.
        row("serve --listen without value", "--tcp %A serve --listen", 2, "^$",
            "serve: --listen needs a value");
        row("serve --group twice", "--tcp %A serve --group a --group b", 2, "^$",
            "--group is given twice");
        row("serve without a link", "serve", 2, "^$",
            "give one --tcp HOST\\[:PORT\\] or --serial DEVICE");
        row("serve with two sensors", "--tcp %A --tcp %A serve", 2, "^$", "one sensor's line");
        row("serve word too many", "--tcp %A serve now", 2, "^$", "serve: unexpected \"now\"");
        row("frames --share-group without value", "--tcp %A frames --share-group", 2, "^$",
            "--share-group needs a value");
        row("serve --help", "serve --help", 0,
            "^Usage: tolvane-cli \\[LINK\\] serve .*--listen \\[HOST:\\]PORT.*\nExamples:\n", "^$");
        // Help: the command's own, with an example; on stdout, exit 0.
        row("CMD --help", "frames --help", 0,
            "^Usage: tolvane-cli \\[LINK\\] frames .*--publish URL.*\nExamples:\n  tolvane-cli ",
            "^$");
        row("help CMD", "help record", 0,
            "^Usage: tolvane-cli \\[LINK\\] record .*-i, --interval SECONDS.*Example:\n", "^$");
        row("help of no command", "help frob", 2, "^$", "help: no command \"frob\"");
        row("--help", "--help", 0, "^Usage: tolvane-cli .*Exit status:\n  0 .*130 .*143 .*141 ",
            "^$");
        // A serial device is named as given, not by a port number.
        row("serial device missing", "--serial /dev/ttyS99 version", 1, "^$",
            "^tolvane-cli: cannot open the link: /dev/ttyS99 is not there; check the device "
            "name and the adapter\n$");
    }
    void commandLineForms() {
        QFETCH(QString, args);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        WriteFile("garbage-hosts.txt", QStringLiteral("%1\nnot a host\n").arg(Tcp(*a)).toUtf8());
        WriteFile("forms.dat", kTwoLines);
        args.replace("%A", Tcp(*a)).replace("%D", dir.path());
        const Result r = Cli(args.split(' '));
        QVERIFY2(r.code == code, r.err.constData());
        const auto dotAll = QRegularExpression::DotMatchesEverythingOption;
        QVERIFY2(QRegularExpression(out, dotAll).match(QString::fromUtf8(r.out)).hasMatch(),
                 r.out.constData());
        QVERIFY2(QRegularExpression(err, dotAll).match(QString::fromUtf8(r.err)).hasMatch(),
                 r.err.constData());
        // A refused line never reaches a sensor; a window's box is never repeated.
        if (code == 2) QCOMPARE(a->requestCount(), 0);
        QVERIFY(!r.err.contains("ATTENTION!") && !r.err.contains("TCP Client"));
    }

    // Help and version that cannot be written are an output error, in each
    // program: a full disk is never reported as success.
    void helpToAFullDisk_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("option");
        QTest::newRow("tolvane-cli --help") << "tolvane-cli"
                                            << "--help";
        QTest::newRow("tolvane-cli get --help") << "tolvane-cli"
                                                << "get --help";
        QTest::newRow("tolvane-cli --version") << "tolvane-cli"
                                               << "--version";
        QTest::newRow("tolvane --help") << "tolvane"
                                        << "--help";
        QTest::newRow("tolvane-sim --help") << "tolvane-sim"
                                            << "--help";
    }
    void helpToAFullDisk() {
        QFETCH(QString, program);
        QFETCH(QString, option);
        QProcess p;
        p.setStandardOutputFile("/dev/full");
        p.start(QDir(BinDir()).filePath(program), option.split(' '));
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardError().contains("cannot be written") || program == "tolvane-sim");
    }

    // A named pipe where a file is named is refused at once: it may never
    // end, and Ctrl-C would not end the wait.
    void specialFilesAreRefused_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("err");
        QTest::newRow("stats") << "tolvane-cli"
                               << "stats %F"
                               << "not a file";
        QTest::newRow("show") << "tolvane-cli"
                              << "show %F"
                              << "not a file";
        QTest::newRow("--mqtt-password-file")
            << "tolvane-cli"
            << "--tcp %A frames --publish mqtt://127.0.0.1/t --mqtt-user u --mqtt-password-file %F"
            << "is not a file";
        QTest::newRow("--hosts") << "tolvane-cli"
                                 << "--hosts %F version"
                                 << "not a file";
        QTest::newRow("tolvane --view") << "tolvane"
                                        << "--view %F"
                                        << "not a file";
    }
    void specialFilesAreRefused() {
        QFETCH(QString, program);
        QFETCH(QString, args);
        QFETCH(QString, err);
        const QString fifo = Path("fifo");
        QFile::remove(fifo);
        QCOMPARE(::mkfifo(qPrintable(fifo), 0600), 0);
        args.replace("%F", fifo).replace("%A", Tcp(*a));
        const Result r = RunProgram(program, args.split(' '), 10000);
        QFile::remove(fifo);
        QVERIFY2(r.code == 2, r.err.constData());
        QVERIFY2(r.err.contains(err.toUtf8()), r.err.constData());
        QCOMPARE(a->requestCount(), 0);
    }

    // Without a link option and with none stored the tool says how to give
    // one, as a usage error (the program's directory holds no settings).
    void noLinkIsAUsageError() {
        QTemporaryDir program;
        for (const char *file : {"tolvane-cli", "Tolvane.uir"})
            QVERIFY(QFile::copy(QDir(BinDir()).filePath(file), program.filePath(file)));
        QFile::setPermissions(program.filePath("tolvane-cli"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcess p;
        p.start(program.filePath("tolvane-cli"), {"version"});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 2);
        const QByteArray err = p.readAllStandardError();
        QVERIFY2(err.contains("give --tcp HOST[:PORT] or --serial DEVICE"), err.constData());
    }

    // frames on the stored link: read through the panels, then named for
    // tolvane-line, which takes the frames without them in the same process.
    void framesOnTheStoredLinkRunWithoutPanels() {
        QTemporaryDir program;
        for (const char *file : {"tolvane-cli", "tolvane-line", "Tolvane.uir"}) {
            QVERIFY(QFile::copy(QDir(BinDir()).filePath(file), program.filePath(file)));
            QFile::setPermissions(program.filePath(file),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        QFile cfg(program.filePath("ComSettings.cfg"));
        QVERIFY(cfg.open(QIODevice::WriteOnly));
        cfg.write(QStringLiteral("1\n1\n4\n127.0.0.1\n%1\n").arg(a->tcpPort()).toUtf8());
        cfg.close();
        QProcess p;
        p.start(program.filePath("tolvane-cli"), {"frames", "-n", "300", "--format", "json"});
        QVERIFY(p.waitForStarted());
        const QString exe = QStringLiteral("/proc/%1/exe").arg(p.processId());
        QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(exe).symLinkTarget(),
                                  QFileInfo(program.filePath("tolvane-line")).canonicalFilePath(),
                                  15000);
        QFile maps(QStringLiteral("/proc/%1/maps").arg(p.processId()));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        QVERIFY(!maps.readAll().contains("libQt6Widgets"));
        // The simulator answers from this test's event loop.
        QTRY_VERIFY_WITH_TIMEOUT(p.state() == QProcess::NotRunning, 30000);
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        QCOMPARE(p.readAllStandardOutput().count('\n'), 300);
    }

    // `-` is stdin or stdout wherever a file is named: a set copied from one
    // sensor to another through a pipe, then read back and shown from pipes.
    void streamsThroughPipes() {
        a->state().ramParams[0] = 640;
        a->state().ramRows[3][1] = 77;
        QProcess get, send;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        get.setProcessEnvironment(env);
        send.setProcessEnvironment(env);
        get.setStandardOutputProcess(&send);
        get.start(QDir(BinDir()).filePath("tolvane-cli"), {"--tcp", Tcp(*a), "get", "-o", "-"});
        send.start(QDir(BinDir()).filePath("tolvane-cli"), {"--tcp", Tcp(*b), "send", "-"});
        QSignalSpy sent(&send, &QProcess::finished);
        QVERIFY(sent.wait(30000) || send.state() == QProcess::NotRunning);
        get.waitForFinished(5000);
        QCOMPARE(get.exitCode(), 0);
        QVERIFY2(send.exitCode() == 0, send.readAllStandardError().constData());
        QCOMPARE(b->state().ramParams[0], uint16_t(640));
        QCOMPARE(b->state().ramRows[3][1], uint16_t(77));

        const Result got = Cli({"--tcp", Tcp(*b), "get"});
        QCOMPARE(got.code, 0);
        WriteFile("piped.ini", got.out);
        for (const QString command : {"verify", "show"}) {
            QProcess p;
            p.setProcessEnvironment(env);
            p.setStandardInputFile(Path("piped.ini"));
            QStringList args{command, "-"};
            if (command == "verify") args = QStringList{"--tcp", Tcp(*a)} + args;
            QSignalSpy done(&p, &QProcess::finished);
            p.start(QDir(BinDir()).filePath("tolvane-cli"), args);
            QVERIFY(done.wait(30000));
            QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
            const QByteArray out = p.readAllStandardOutput();
            if (command == "verify") QCOMPARE(out, QByteArray());
            if (command == "show") QVERIFY(out.startsWith("POWER           640\n"));
        }

        // A recording to stdout, then its statistics from stdin.
        const Result rec = Cli({"--tcp", Tcp(*a), "record", "-n", "2", "-i", "1", "-o", "-"});
        QVERIFY2(rec.code == 0, rec.err.constData());
        QCOMPARE(rec.out.count("\r\n"), 3);
        WriteFile("piped.dat", rec.out);
        const Result byName = Cli({"stats", Path("piped.dat")});
        QProcess stats;
        stats.setProcessEnvironment(env);
        stats.setStandardInputFile(Path("piped.dat"));
        QSignalSpy done(&stats, &QProcess::finished);
        stats.start(QDir(BinDir()).filePath("tolvane-cli"), {"stats", "-"});
        QVERIFY(done.wait(30000));
        QCOMPARE(stats.exitCode(), 0);
        QCOMPARE(stats.readAllStandardOutput(), byName.out);
        QVERIFY(byName.out.startsWith("CHANNEL\tCOUNT"));
        QVERIFY(!QFile::exists(Path("-")));
    }

    // SIGINT and SIGTERM end a run with 130 and 143; a second Ctrl-C ends
    // it at once, even while the first waits for a silent sensor.
    void signalsEndWithTheirCodes_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("code");
        QTest::newRow("frames, SIGINT") << "frames" << SIGINT << 130;
        QTest::newRow("frames, SIGTERM") << "frames" << SIGTERM << 143;
        QTest::newRow("frames --reconnect, SIGTERM") << "frames --reconnect" << SIGTERM << 143;
        QTest::newRow("record, SIGTERM") << "record -n 100 -i 1 -o %D/term.dat" << SIGTERM << 143;
    }
    void signalsEndWithTheirCodes() {
        QFETCH(QString, command);
        QFETCH(int, signal);
        QFETCH(int, code);
        QProcess p;
        QSignalSpy done(&p, &QProcess::finished);
        p.start(QDir(BinDir()).filePath("tolvane-cli"),
                QStringList{"--tcp", Tcp(*a)} + command.replace("%D", dir.path()).split(' '));
        QTRY_VERIFY_WITH_TIMEOUT(a->requestCount(5) >= 3, 10000);
        ::kill(pid_t(p.processId()), signal);
        QVERIFY(done.wait(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), code);
    }
    void secondInterruptEndsAtOnce() {
        QProcess p;
        QSignalSpy done(&p, &QProcess::finished);
        p.start(QDir(BinDir()).filePath("tolvane-cli"), {"--tcp", Tcp(*a), "frames"});
        QTRY_VERIFY_WITH_TIMEOUT(a->requestCount(5) >= 3, 10000);
        // The sensor falls silent: the tool waits its 3 s for an answer.
        a->armFault({tsim::Fault::NoAnswer, 0, 0});
        QTest::qWait(300);
        ::kill(pid_t(p.processId()), SIGINT);
        QTest::qWait(100);
        QElapsedTimer clock;
        clock.start();
        ::kill(pid_t(p.processId()), SIGINT);
        QVERIFY(done.wait(10000));
        QVERIFY2(clock.elapsed() < 1000, QByteArray::number(clock.elapsed()));
        QCOMPARE(p.exitCode(), 130);
    }

    // The man pages are made from the programs' --help and render without a
    // warning; tolvane-cli's holds every command and the exit codes.
    void manPagesRender_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("holds");
        QTest::newRow("tolvane") << "tolvane"
                                 << "--view FILE";
        QTest::newRow("tolvane-cli") << "tolvane-cli"
                                     << "Exit status:";
        QTest::newRow("tolvane-sim") << "tolvane-sim"
                                     << "--fault";
    }
    void manPagesRender() {
        QFETCH(QString, page);
        QFETCH(QString, holds);
        const QString file = QDir(BinDir()).filePath("../man/" + page + ".1");
        QVERIFY2(QFile::exists(file), qPrintable(file));
        QProcess man;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("MANWIDTH", "80");
        env.insert("MANPAGER", "cat");
        env.insert("LC_ALL", "C.UTF-8");
        man.setProcessEnvironment(env);
        man.start("man", {"--warnings", "-l", file});
        QVERIFY(man.waitForFinished(30000));
        const QByteArray err = man.readAllStandardError();
        QVERIFY2(man.exitCode() == 0 && err.isEmpty(), err.constData());
        const QString text = QString::fromUtf8(man.readAllStandardOutput());
        QVERIFY2(text.contains(holds), qPrintable(text.left(2000)));
        if (page == "tolvane-cli")
            for (const char *command :
                 {"version", "get", "send", "verify", "show", "frames", "record", "stats", "serve"})
                QVERIFY2(text.contains(QStringLiteral("Command %1:").arg(command)), command);
    }

    // The bash completion offers the commands, a command's options and the
    // values an option takes.
    void completionOffersCommands_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("commands") << "tolvane-cli --tcp h:1 "
                                  << QStringList{"version", "get",   "send", "frames",
                                                 "stats",   "serve", "help"};
        QTest::newRow("command by prefix") << "tolvane-cli ve" << QStringList{"verify", "version"};
        QTest::newRow("options of frames")
            << "tolvane-cli --tcp h frames --"
            << QStringList{"--format", "--publish", "--reconnect", "--share", "--share-group"};
        QTest::newRow("options of serve")
            << "tolvane-cli --tcp h serve --" << QStringList{"--group", "--listen"};
        QTest::newRow("values of --format")
            << "tolvane-cli frames --format " << QStringList{"json", "tsv"};
        QTest::newRow("baud rates")
            << "tolvane-cli --serial /dev/x --baud 1" << QStringList{"115200", "19200"};
        QTest::newRow("help's words") << "tolvane-cli help rec" << QStringList{"record"};
        QTest::newRow("the window's options")
            << "tolvane --v" << QStringList{"--view", "--version"};
        QTest::newRow("the simulator's options") << "tolvane-sim --fa" << QStringList{"--fault"};
    }
    void completionOffersCommands() {
        QFETCH(QString, line);
        QFETCH(QStringList, offered);
        const QString script = QDir(BinDir()).filePath("../completion/tolvane-cli");
        QVERIFY(QFile::exists(script));
        // The words as bash splits the line; a trailing space starts a new, empty one.
        QStringList words = line.split(' ');
        QStringList quoted;
        for (const QString &w : words)
            quoted << "'" + w + "'";
        QProcess bash;
        bash.start("bash",
                   {"-c", QStringLiteral("source '%1'; COMP_WORDS=(%2); COMP_CWORD=%3; "
                                         "%4; printf '%s\\n' \"${COMPREPLY[@]}\"")
                              .arg(script, quoted.join(' '))
                              .arg(words.size() - 1)
                              .arg(words[0] == "tolvane-cli"
                                       ? QStringLiteral("_tolvane_cli")
                                       : "_tolvane_options " + QDir(BinDir()).filePath(words[0]))});
        QVERIFY(bash.waitForFinished(10000));
        const QStringList got =
            QString::fromUtf8(bash.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QVERIFY2(bash.exitCode() == 0, bash.readAllStandardError().constData());
        for (const QString &word : offered)
            QVERIFY2(got.contains(word), qPrintable(got.join(' ')));
    }

    // After --serial the completion offers the machine's serial devices.
    void completionOffersSerialDevices() {
        const QStringList devices =
            QDir("/dev").entryList({"ttyS*", "ttyUSB*", "ttyACM*"}, QDir::System);
        if (devices.isEmpty()) QSKIP("this machine has no serial device");
        QProcess bash;
        bash.start("bash", {"-c", QStringLiteral("source '%1'; COMP_WORDS=(tolvane-cli --serial "
                                                 "/dev/tty); COMP_CWORD=2; _tolvane_cli; printf "
                                                 "'%s\\n' \"${COMPREPLY[@]}\"")
                                      .arg(QDir(BinDir()).filePath("../completion/tolvane-cli"))});
        QVERIFY(bash.waitForFinished(10000));
        const QStringList got =
            QString::fromUtf8(bash.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QVERIFY2(got.contains("/dev/" + devices.first()), qPrintable(got.join(' ')));
    }

    // A fragment of the earlier frame glued in front of the third frame's
    // answer, the answer's rest late: frames prints the two frames before
    // it and ends with exit 1; nothing it prints is that glued piece (every
    // frame the simulator sends carries GN 77), over either link.
    void framesNeverPrintAGluedFragment_data() {
        QTest::addColumn<bool>("pty");
        QTest::addColumn<int>("fragment");
        QTest::addColumn<int>("delay");
        QTest::addColumn<bool>("headInBody");
        for (bool pty : {false, true}) {
            const char *link = pty ? "pseudo-terminal" : "TCP";
            QTest::addRow("%s, 34 glued, rest 50 ms late", link) << pty << 34 << 50 << false;
            QTest::addRow("%s, 35 glued, rest 200 ms late", link) << pty << 35 << 200 << false;
            QTest::addRow("%s, 28 glued, head in the body", link) << pty << 28 << 50 << true;
        }
    }
    void framesNeverPrintAGluedFragment() {
        QFETCH(bool, pty);
        QFETCH(int, fragment);
        QFETCH(int, delay);
        QFETCH(bool, headInBody);
        a->setFrameWord(17, 77);
        if (headInBody) {
            a->setFrameWord(4, 170);
            a->setFrameWord(5, 5);
        }
        a->armFault({tsim::Fault::SplitAnswer, 37, fragment, delay});
        QStringList link{"--tcp", Tcp(*a)};
        if (pty) {
            QVERIFY(a->openPty());
            link = QStringList{"--serial", a->ptyPath()};
        }
        const Result r = Cli(link + QStringList{"frames", "-n", "11", "--format", "json"});
        if (pty) a->closePty();
        a->setFrameWord(17, -1);
        QVERIFY2(r.code == 1, r.err.constData());
        const QList<QByteArray> lines = r.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        for (const QByteArray &line : lines)
            QVERIFY2(line.contains("\"gn\":77"), line.constData());
    }

    void cleanupTestCase() {
        a.reset();
        b.reset();
    }
};

QTEST_GUILESS_MAIN(TstCli)
#include "tst_cli.moc"
