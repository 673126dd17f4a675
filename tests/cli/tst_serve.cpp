// tolvane-cli serve end to end: the built programs and the window's own
// panels against a simulated sensor in this process, over loopback TCP and a
// pseudo-terminal. Clients interleaving through one owner, found without
// configuration; the window's GET, SEND and GO beside a frames loop; a client
// killed in the middle of an exchange; a silent sensor; a client holding the
// line for automatic sending; the socket's permissions; a second owner refused.
#include "core/LinkStatus.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "link/Link.h"
#include "platform/Platform.h"
#include "sim/Simulator.h"
#include "support/AppFixture.h"
#include "support/MqttBroker.h"
#include "uir_ids.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <grp.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString BinDir() {
    const QString dir = qEnvironmentVariable("TOLVANE_BIN_DIR");
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() : dir;
}

QProcessEnvironment CliEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "TOLVANE_POPUP_SCRIPT"})
        env.remove(v);
    return env;
}

// A tolvane-cli run in the background, so that several run at once while the
// simulator in this process answers them.
struct Run {
    std::unique_ptr<QProcess> p = std::make_unique<QProcess>();
    QElapsedTimer clock;
    qint64 tookMs = -1;
    QByteArray err;

    void start(const QStringList &args) {
        p->setProcessEnvironment(CliEnvironment());
        p->start(QDir(BinDir()).filePath("tolvane-cli"), args);
        clock.start();
    }
    // The exit code; -1 when it did not end in time, -2 when it crashed.
    int finish(int timeoutMs = 30000) {
        QElapsedTimer waited;
        waited.start();
        while (p->state() != QProcess::NotRunning && waited.elapsed() < timeoutMs)
            QTest::qWait(5);
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished();
            err += p->readAllStandardError();
            return -1;
        }
        tookMs = clock.elapsed();
        err += p->readAllStandardError();
        return p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -2;
    }
    QByteArray out() { return p->readAllStandardOutput(); }
};

QJsonObject LastStatus(fixture::MqttSubscriber &sub, const QString &prefix) {
    const QList<QByteArray> all = sub.On(prefix + "/status");
    for (qsizetype i = all.size() - 1; i >= 0; --i)
        if (all[i].startsWith('{')) return QJsonDocument::fromJson(all[i]).object();
    return QJsonObject();
}

int RunCli(const QStringList &args, QByteArray *out = nullptr, QByteArray *err = nullptr) {
    Run r;
    r.start(args);
    const int code = r.finish();
    if (out) *out = r.out();
    if (err) *err = r.err;
    return code;
}

QByteArray Telegram(uint16_t order, uint16_t word2 = 0) {
    QByteArray t(36, '\0');
    t[1] = 0x55;
    t[2] = char(order >> 8);
    t[3] = char(order & 0xFF);
    t[4] = char(word2 >> 8);
    t[5] = char(word2 & 0xFF);
    return t;
}

// Reads from a raw client until `count` bytes came or the time is over.
QByteArray ReadBytes(QLocalSocket &s, int count, int timeoutMs) {
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (got.size() < count && t.elapsed() < timeoutMs) {
        QTest::qWait(2);
        got += s.read(count - got.size());
    }
    return got;
}
} // namespace

int CBF_ButtonGo(int, int, int, void *, int, int);

class TstServe : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    tsim::Simulator *sim = nullptr;
    Run serve;
    int servePid = 0;

    QString Sensor() const { return QStringLiteral("127.0.0.1:%1").arg(sim->tcpPort()); }
    QString Registry() const { return dir.filePath("run"); }
    QString Socket() const {
        return QStringLiteral("%1/tcp-127.0.0.1-%2.sock").arg(Registry()).arg(sim->tcpPort());
    }

    // Starts the owner and waits until it says it shares the line.
    bool StartServe(Run &r, const QStringList &extra = {}) {
        r.start(QStringList{"--tcp", Sensor(), "serve"} + extra);
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000 && r.p->state() != QProcess::NotRunning) {
            r.err += r.p->readAllStandardError();
            if (r.err.contains("shared on")) return true;
            QTest::qWait(5);
        }
        return false;
    }
    void StopServe(Run &r) {
        if (r.p->state() == QProcess::NotRunning) return;
        ::kill(pid_t(r.p->processId()), SIGTERM);
        // Ended by a stop, as every command: 143 (the units count it a success).
        QCOMPARE(r.finish(10000), 143);
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        // The registry of this run only: nothing of the user's own is touched.
        qputenv("TOLVANE_RUNTIME_DIR", Registry().toLocal8Bit());
        QVERIFY(fixture::StartProgram());
        sim = &fixture::Sim();
        sim->setStoreTimeEmulation(false);
        QVERIFY(StartServe(serve));
        servePid = int(serve.p->processId());
    }
    void init() {
        sim->clearFaults();
        sim->restart();
        QVERIFY2(serve.p->state() == QProcess::Running, serve.err.constData());
    }

    // What a line PC runs per sensor, an owner and a feed, holds none of the
    // window's libraries: tolvane-cli became tolvane-line in the same
    // process, whose pid the unit and the registry know.
    void linePrograms_data() {
        QTest::addColumn<QStringList>("command");
        QTest::newRow("serve") << QStringList{};
        QTest::newRow("frames") << QStringList{"frames", "--format", "json"};
        QTest::newRow("frames --publish")
            << QStringList{"frames", "--publish", "mqtt://127.0.0.1:1/plant/line1/s3"};
    }
    void linePrograms() {
        QFETCH(QStringList, command);
        Run frames;
        int pid = servePid;
        if (!command.isEmpty()) {
            frames.start(QStringList{"--tcp", Sensor()} + command);
            QTRY_VERIFY2_WITH_TIMEOUT(frames.err.append(frames.p->readAllStandardError())
                                          .contains("through the shared line"),
                                      frames.err.constData(), 10000);
            pid = int(frames.p->processId());
        }
        QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        const QByteArray mapped = maps.readAll();
        QVERIFY(mapped.contains("libQt6Core"));
        for (const char *library : {"libQt6Gui", "libQt6Widgets", "libQCustomPlot"})
            QVERIFY2(!mapped.contains(library), library);
        QCOMPARE(QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget(),
                 QFileInfo(QCoreApplication::applicationDirPath() + "/tolvane-line")
                     .canonicalFilePath());
        if (command.isEmpty()) return;
        ::kill(pid_t(pid), SIGTERM);
        QCOMPARE(frames.finish(10000), 143);
    }

    // Several clients at once, each found its way to the owner by itself:
    // the frames loop gets every frame, the parameter set read through the
    // owner is the sensor's, and the sensor saw one connection only.
    void clientsInterleave() {
        QSignalSpy connections(sim, &tsim::Simulator::clientConnected);
        const QString set = dir.filePath("set.ini");
        Run frames, get, version;
        frames.start({"--tcp", Sensor(), "frames", "-n", "300"});
        QTest::qWait(300);
        get.start({"--tcp", Sensor(), "get", "-o", set});
        version.start({"--tcp", "localhost:" + QString::number(sim->tcpPort()), "version"});
        QCOMPARE(version.finish(), 0);
        QCOMPARE(get.finish(), 0);
        QByteArray verifyErr;
        QCOMPARE(RunCli({"--tcp", Sensor(), "verify", set}, nullptr, &verifyErr), 0);
        QCOMPARE(frames.finish(), 0);
        const QList<QByteArray> lines = frames.out().trimmed().split('\n');
        QCOMPARE(lines.size(), 301); // the header and every frame
        const QByteArray through =
            "through the shared line of tolvane-cli serve, pid " + QByteArray::number(servePid);
        for (Run *r : {&frames, &get, &version})
            QVERIFY2(r->err.contains(through), r->err.constData());
        QVERIFY(verifyErr.contains(through));
        QCOMPARE(connections.count(), 0);
        // The owner's log says how long the clients waited for each other.
        QTRY_VERIFY_WITH_TIMEOUT(
            (serve.err += serve.p->readAllStandardError()).contains("exchanges of other clients"),
            2000);
        QFile f(set);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll().count('\n'), 264);
    }

    // A client killed in the middle of its exchange, and one that sent half a
    // request and went, leave the line to the others.
    void killedClientLeavesTheLine() {
        {
            QLocalSocket half;
            half.connectToServer(Socket());
            QVERIFY(half.waitForConnected(2000));
            half.write(Telegram(7).left(20));
            half.flush();
            QTest::qWait(50);
        }
        sim->armFault({tsim::Fault::Delay, 1, 500});
        {
            QLocalSocket dying;
            dying.connectToServer(Socket());
            QVERIFY(dying.waitForConnected(2000));
            dying.write(Telegram(5));
            dying.flush();
            QTest::qWait(100); // the sensor holds its answer back
            dying.abort();
        }
        {
            // One that floods the line with requests is let go.
            QLocalSocket flood;
            flood.connectToServer(Socket());
            QVERIFY(flood.waitForConnected(2000));
            QByteArray many;
            for (int i = 0; i < 200; ++i)
                many += Telegram(5);
            flood.write(many);
            flood.flush();
            QTRY_VERIFY_WITH_TIMEOUT(flood.state() == QLocalSocket::UnconnectedState, 3000);
        }
        Run frames;
        frames.start({"--tcp", Sensor(), "frames", "-n", "50"});
        QTest::qWait(200);
        ::kill(pid_t(frames.p->processId()), SIGKILL);
        QCOMPARE(frames.finish(), -2);
        QByteArray out;
        QCOMPARE(RunCli({"--tcp", Sensor(), "version"}, &out), 0);
        QVERIFY(out.startsWith("TOLVANE-SIM"));
    }

    // A silent sensor: every waiting client meets the time-out it would have
    // met alone, not one after the other's; afterwards the line works.
    void silentSensorTimesOutEachClient() {
        sim->armFault({tsim::Fault::NoAnswer, 0, 0});
        QList<std::shared_ptr<Run>> runs;
        for (int i = 0; i < 3; ++i) {
            runs << std::make_shared<Run>();
            runs.last()->start({"--tcp", Sensor(), "version"});
        }
        for (auto &r : runs) {
            QCOMPARE(r->finish(), 1);
            // The line check's 5 s answer wait, plus start-up: not three in a row.
            QVERIFY2(r->tookMs < 9000, QByteArray::number(r->tookMs).constData());
        }
        sim->clearFaults();
        QCOMPARE(RunCli({"--tcp", Sensor(), "version"}), 0);
    }

    // Automatic sending switched on gives its client the line; the others
    // wait and are told so in the log; it comes back when switched off, and
    // when the holder goes away automatic sending is stopped for it.
    void automaticSendingHoldsTheLine_data() {
        QTest::addColumn<bool>("holderGoes");
        QTest::newRow("switched off") << false;
        QTest::newRow("holder goes away") << true;
    }
    void automaticSendingHoldsTheLine() {
        QFETCH(bool, holderGoes);
        sim->setAutoSendIntervalMs(20);
        auto holder = std::make_unique<QLocalSocket>();
        QLocalSocket other;
        holder->connectToServer(Socket());
        other.connectToServer(Socket());
        QVERIFY(holder->waitForConnected(2000) && other.waitForConnected(2000));
        holder->write(Telegram(50, 1));
        holder->flush();
        const QByteArray frames = ReadBytes(*holder, 5 * 36, 3000);
        QCOMPARE(frames.size(), 5 * 36);
        QCOMPARE(frames.left(2), QByteArray("\x00\xAA", 2));
        QVERIFY(sim->state().autoSend);

        other.write(Telegram(7));
        other.flush();
        QCOMPARE(ReadBytes(other, 36, 1500).size(), 0);
        QTRY_VERIFY_WITH_TIMEOUT((serve.err += serve.p->readAllStandardError()).contains("waits"),
                                 3000);
        if (!holderGoes) {
            // The tool meets its time-out and is told why.
            QByteArray err;
            QCOMPARE(RunCli({"--tcp", Sensor(), "version"}, nullptr, &err), 1);
            QVERIFY2(err.contains("is held by pid " +
                                  QByteArray::number(QCoreApplication::applicationPid())),
                     err.constData());
        }
        if (holderGoes) {
            holder->abort();
            holder.reset();
        } else {
            holder->write(Telegram(50, 0));
            holder->flush();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!sim->state().autoSend, 2000);
        // The request that waited has expired meanwhile; a new one is answered.
        QTest::qWait(300);
        other.readAll();
        other.write(Telegram(7));
        other.flush();
        QVERIFY(ReadBytes(other, 36, 3000).startsWith("TOLVANE-SIM"));
    }

    // Only the user may open the socket; with a group, its members too.
    void socketPermissions() {
        struct stat st {};
        QCOMPARE(::stat(Socket().toLocal8Bit().constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0600);
        QCOMPARE(::stat(Registry().toLocal8Bit().constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0700);
        // The note of its clients' counts is readable as the socket is.
        const QString note = QString(Socket()).replace(".sock", ".clients");
        QTRY_COMPARE_WITH_TIMEOUT(::stat(note.toLocal8Bit().constData(), &st), 0, 3000);
        QCOMPARE(int(st.st_mode & 0777), 0600);

        // A second sensor's owner for the user's own group.
        tsim::Simulator second;
        QVERIFY(second.listenTcp());
        const group *g = getgrgid(getgid());
        QVERIFY(g);
        int port = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            port = probe.serverPort();
        }
        Run grouped;
        grouped.start({"--tcp", QStringLiteral("127.0.0.1:%1").arg(second.tcpPort()), "serve",
                       "--group", QString::fromLocal8Bit(g->gr_name), "--listen",
                       QString::number(port)});
        QTRY_VERIFY_WITH_TIMEOUT(
            (grouped.err += grouped.p->readAllStandardError()).contains("shared on"), 10000);
        const QString path =
            QStringLiteral("%1/tcp-127.0.0.1-%2.sock").arg(Registry()).arg(second.tcpPort());
        QCOMPARE(::stat(path.toLocal8Bit().constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0660);
        QCOMPARE(st.st_gid, g->gr_gid);
        const QString groupNote = QString(path).replace(".sock", ".clients");
        QTRY_COMPARE_WITH_TIMEOUT(::stat(groupNote.toLocal8Bit().constData(), &st), 0, 3000);
        QCOMPARE(int(st.st_mode & 0777), 0660);
        // The loopback port speaks the sensor's protocol as the socket does.
        QTcpSocket tcp;
        tcp.connectToHost(QHostAddress::LocalHost, quint16(port));
        QVERIFY(tcp.waitForConnected(2000));
        tcp.write(Telegram(7));
        QByteArray version;
        QTRY_VERIFY_WITH_TIMEOUT((version += tcp.readAll()).size() >= 36, 3000);
        QVERIFY(version.startsWith("TOLVANE-SIM"));
        StopServe(grouped);
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(!QFileInfo::exists(groupNote));
        // Its group's access to the directory ends with it.
        ::chmod(Registry().toLocal8Bit().constData(), 0700);
    }

    // A TCP port for clients that cannot open a local socket: loopback unless
    // another address is given, and refused when it is no address.
    void listenAddress_data() {
        QTest::addColumn<QString>("listen");
        QTest::addColumn<int>("code");
        QTest::newRow("port 0") << "0" << 2;
        QTest::newRow("no address") << "example.invalid:4000" << 1;
        QTest::newRow("not a port") << "abc" << 2;
    }
    void listenAddress() {
        QFETCH(QString, listen);
        QFETCH(int, code);
        tsim::Simulator second;
        QVERIFY(second.listenTcp());
        QByteArray err;
        QCOMPARE(RunCli({"--tcp", QStringLiteral("127.0.0.1:%1").arg(second.tcpPort()), "serve",
                         "--listen", listen},
                        nullptr, &err),
                 code);
        QVERIFY(!err.isEmpty());
    }

    // A second owner for the same sensor is refused and names the first; once
    // the first is gone, killed or ended, the tool goes to the sensor
    // directly and a new owner may start.
    void secondOwnerRefusedAndStaleOnesIgnored() {
        QByteArray err;
        QCOMPARE(RunCli({"--tcp", Sensor(), "serve"}, nullptr, &err), 1);
        QVERIFY2(err.contains("pid " + QByteArray::number(servePid)), err.constData());

        ::kill(pid_t(servePid), SIGKILL);
        QCOMPARE(serve.finish(), -2);
        QVERIFY(QFileInfo::exists(Socket())); // left behind by the killed owner
        QCOMPARE(RunCli({"--tcp", Sensor(), "version"}, nullptr, &err), 0);
        QVERIFY2(!err.contains("through the shared line"), err.constData());

        serve = Run();
        QVERIFY(StartServe(serve));
        servePid = int(serve.p->processId());
        QCOMPARE(RunCli({"--tcp", Sensor(), "version"}, nullptr, &err), 0);
        QVERIFY(err.contains("pid " + QByteArray::number(servePid)));
    }

    // The window finds the owner as the tool does and says so in its status
    // line; its GET, SEND and GO work while a frames loop runs beside it.
    void windowBesideAFramesLoop() {
        Run frames;
        frames.start({"--tcp", Sensor(), "frames", "-n", "600"});
        QTest::qWait(300);
        fixture::SelectTcp();
        TryToConnect();
        QCOMPARE(comecho, uint16_t(1));
        QVERIFY2(LinkStatusText().contains("through the shared line of tolvane-cli serve, pid " +
                                           QString::number(servePid)),
                 qPrintable(LinkStatusText()));
        target = RAM;
        GetPara();
        QCOMPARE(comecho, uint16_t(1));
        SetCtrlVal(parapanel, PARAP_SlidePower, 321);
        SendPara();
        QCOMPARE(comecho, uint16_t(1));
        QCOMPARE(sim->state().ramParams[0], uint16_t(321));
        const qint64 before = sim->requestCount(proto::SendFrame);
        QTimer::singleShot(700, [] { session::poll = 0; });
        CBF_ButtonGo(mainpanel, MAINP_ButtonGo, EVENT_COMMIT, nullptr, 0, 0);
        QVERIFY(CurrentLinkState() != kLinkTimeout);
        QVERIFY(sim->requestCount(proto::SendFrame) - before > 20);
        QCOMPARE(frames.finish(), 0);
        QCOMPARE(frames.out().trimmed().split('\n').size(), 601);
        fixture::CheckNoUnexpectedPopups();
        if (tcpcon) DisconnectFromTCPServer(g_hconversation);
        tcpcon = 0;
    }

    // A serial sensor's owner: the tool given the same device (by another
    // name too) goes through it.
    void serialLineShared() {
        const QString link = dir.filePath("sensor-tty");
        QVERIFY(sim->openPty(link));
        Run owner;
        owner.start({"--serial", sim->ptyPath(), "--baud", "115200", "serve"});
        QTRY_VERIFY_WITH_TIMEOUT(
            (owner.err += owner.p->readAllStandardError()).contains("shared on"), 10000);
        Run a, b;
        a.start({"--serial", link, "--baud", "115200", "frames", "-n", "100"});
        b.start({"--serial", sim->ptyPath(), "--baud", "115200", "version"});
        QCOMPARE(b.finish(), 0);
        QCOMPARE(a.finish(), 0);
        QCOMPARE(a.out().trimmed().split('\n').size(), 101);
        for (Run *r : {&a, &b})
            QVERIFY2(r->err.contains("through the shared line of tolvane-cli serve, pid " +
                                     QByteArray::number(owner.p->processId())),
                     r->err.constData());
        StopServe(owner);
        sim->closePty();
    }

    // frames --share owns the line while it runs: others go through it, and
    // the line is free again when it ends.
    void framesShare() {
        tsim::Simulator second;
        second.setStoreTimeEmulation(false);
        QVERIFY(second.listenTcp());
        const QString sensor = QStringLiteral("127.0.0.1:%1").arg(second.tcpPort());
        Run feed;
        feed.start({"--tcp", sensor, "frames", "-n", "400", "--share"});
        QTest::qWait(1000);
        QByteArray err;
        const int code = RunCli({"--tcp", sensor, "version"}, nullptr, &err);
        QVERIFY2(code == 0 && err.contains("through the shared line"), err.constData());
        QCOMPARE(feed.finish(), 0);
        QCOMPARE(feed.out().trimmed().split('\n').size(), 401);
        QCOMPARE(RunCli({"--tcp", sensor, "version"}, nullptr, &err), 0);
        QVERIFY2(!err.contains("through the shared line"), err.constData());
    }

    // The plant feed owns the line and keeps publishing while verify runs
    // beside it again and again: each verify passes, every frame reaches the
    // broker, in order, and the status counts the exchanges its frames waited
    // for and says why.
    void feedBesideAVerifyLoop() {
        tsim::Simulator second;
        second.setStoreTimeEmulation(false);
        QVERIFY(second.listenTcp());
        const QString sensor = QStringLiteral("127.0.0.1:%1").arg(second.tcpPort());
        const QString set = dir.filePath("second.ini");
        QCOMPARE(RunCli({"--tcp", sensor, "get", "-o", set}), 0);
        fixture::MqttBroker broker;
        QVERIFY(broker.Start());
        fixture::MqttSubscriber sub;
        QVERIFY(sub.Start(broker.Port(), "line/#"));
        Run feed;
        feed.start({"--tcp", sensor, "frames", "-n", "500", "--reconnect", "--share", "--publish",
                    QStringLiteral("mqtt://127.0.0.1:%1/line").arg(broker.Port())});
        QTRY_VERIFY_WITH_TIMEOUT(sub.On("line/frame").size() > 20, 10000);
        const auto others = [&] {
            return second.requestCount() - second.requestCount(proto::SendFrame);
        };
        const qint64 othersBefore = others();
        for (int i = 0; i < 3; ++i) {
            QByteArray err;
            QCOMPARE(RunCli({"--tcp", sensor, "verify", set}, nullptr, &err), 0);
            QVERIFY2(err.contains("through the shared line"), err.constData());
            QTest::qWait(200);
        }
        QTRY_VERIFY_WITH_TIMEOUT(LastStatus(sub, "line")["shared"].toInt() > 0, 5000);
        const QJsonObject status = LastStatus(sub, "line");
        const int waited = status["shared"].toInt();
        QCOMPARE(status["reason"].toString(),
                 QStringLiteral("shared: %1 exchanges for another client").arg(waited));
        QCOMPARE(status["state"].toString(), QString("polling"));
        const qint64 forOthers = others() - othersBefore;
        QCOMPARE(feed.finish(), 0);
        // The frames wait for nearly every exchange of verify; the summary
        // may miss the last second's.
        const QRegularExpressionMatch summary =
            QRegularExpression("shared: (\\d+) exchanges for another client")
                .match(QString::fromLocal8Bit(feed.err));
        QVERIFY2(summary.hasMatch(), feed.err.constData());
        const qint64 total = summary.captured(1).toLongLong();
        QVERIFY2(total >= waited && total >= forOthers / 2 && total <= forOthers,
                 qPrintable(QStringLiteral("%1 of %2").arg(total).arg(forOthers)));
        QTRY_COMPARE_WITH_TIMEOUT(sub.On("line/frame").size(), 500, 5000);
        const QList<QByteArray> frames = sub.On("line/frame");
        for (int i = 0; i < frames.size(); ++i)
            QCOMPARE(QJsonDocument::fromJson(frames[i])["frame"].toInt(), i + 1);
        QVERIFY2(!feed.err.contains("TIMEOUT"), feed.err.constData());
    }

    // A client that holds the line for automatic sending stops the feed's
    // frames: its status says who holds the line, and the frames go on once
    // the line is given back.
    void feedAroundAHeldLine() {
        fixture::MqttBroker broker;
        QVERIFY(broker.Start());
        fixture::MqttSubscriber sub;
        QVERIFY(sub.Start(broker.Port(), "held/#"));
        Run feed;
        feed.start({"--tcp", Sensor(), "frames", "--reconnect", "--publish",
                    QStringLiteral("mqtt://127.0.0.1:%1/held").arg(broker.Port())});
        QTRY_VERIFY_WITH_TIMEOUT(sub.On("held/frame").size() > 20, 10000);
        QVERIFY(!LastStatus(sub, "held").contains("reason"));
        sim->setAutoSendIntervalMs(20);
        QLocalSocket holder;
        holder.connectToServer(Socket());
        QVERIFY(holder.waitForConnected(2000));
        holder.write(Telegram(50, 1));
        holder.flush();
        const QString heldBy =
            "is held by pid " + QString::number(QCoreApplication::applicationPid());
        QTRY_VERIFY_WITH_TIMEOUT(LastStatus(sub, "held")["reason"].toString().contains(heldBy),
                                 15000);
        QVERIFY(LastStatus(sub, "held")["state"].toString() != "polling");
        holder.write(Telegram(50, 0));
        holder.flush();
        const qsizetype before = sub.On("held/frame").size();
        QTRY_VERIFY_WITH_TIMEOUT(sub.On("held/frame").size() > before + 20, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(LastStatus(sub, "held")["state"].toString(), QString("polling"),
                                  3000);
        // Polling is never said to be held up, not even by a status that
        // catches up with a short state.
        for (const QByteArray &payload : sub.On("held/status")) {
            const QJsonObject status = QJsonDocument::fromJson(payload).object();
            if (status["state"].toString() == "polling")
                QVERIFY2(!status["reason"].toString().contains(heldBy), payload.constData());
        }
        ::kill(pid_t(feed.p->processId()), SIGTERM);
        QCOMPARE(feed.finish(), 143);
    }

    void cleanupTestCase() {
        StopServe(serve);
        QVERIFY(!QFileInfo::exists(Socket()));
        fixture::EndProgram();
    }
};

QTEST_MAIN(TstServe)
#include "tst_serve.moc"
