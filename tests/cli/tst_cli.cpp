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
#include <csignal>
#include <cstring>
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
                                           << "unexpected" << false << ""
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
            << "TCP/IP 127.0.0.1:[0-9]+: cannot open the link" << false << ""
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
            << "POWER.*panels would change; nothing was sent" << false << ""
            << "";
        QTest::newRow("verify bad file") << "--tcp %A verify %D/short.ini" << 2 << "^$"
                                         << "holds only 263" << false << ""
                                         << "";
        QTest::newRow("show") << "show %D/good.ini" << 0
                              << "^POWER +500\\nPMODE +0\\n.*\\nROW +X +Y +CTO +INT +ITO +GN +GTO "
                                 "+GROUP\\n +0( +\\d+){8}\\n.*\\n +30( +\\d+){8}\\n$"
                              << "^$" << false << ""
                              << "";
        QTest::newRow("send cut off")
            << "--tcp %A send %D/good.ini" << 1 << "^$"
            << "Server has closed connection!.*send interrupted: the server 127.0.0.1:[0-9]+ "
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
            << "closed the connection at the data frame request.*after 1 of 3 lines.*lost.dat was "
               "not written"
            << true << "disconnect:35"
            << "lost.dat";
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

    // Ctrl-C ends a run cleanly: frames with whole lines and exit 0, a
    // recording cut short with no record file at all.
    void interruptEndsCleanly_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("code");
        QTest::newRow("frames") << "frames" << 0;
        QTest::newRow("record") << "record -n 100 -i 1 -o %D/cut.dat" << 1;
    }
    void interruptEndsCleanly() {
        QFETCH(QString, command);
        QFETCH(int, code);
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
        QVERIFY(!QFile::exists(Path("cut.dat")));
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
        QTest::newRow("json") << "json";
    }
    void framesParse() {
        QFETCH(QString, format);
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        const Result r = Cli({"--tcp", Tcp(*a), "frames", "-n", "100", "--format", format});
        const qint64 after = QDateTime::currentMSecsSinceEpoch();
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
