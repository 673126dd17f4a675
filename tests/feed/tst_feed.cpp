// The plant feed against a real mosquitto broker on a free loopback port:
// what arrives on the topics, the last will, a broker that restarts, refused
// logins and certificates, and the feed's command-line options.
#include "feed/FeedOptions.h"
#include "feed/Publisher.h"
#include "link/ClientsNote.h"
#include "sim/Simulator.h"
#include "support/MqttBroker.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QProcess>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <csignal>
#include <functional>
#include <memory>

using fixture::MqttBroker;
using fixture::MqttSubscriber;

namespace {

constexpr char kLink[] = "TCP/IP 127.0.0.1:10002";
constexpr char kVersion[] = "SIM COLOUR 1.0";
constexpr char kPassword[] = "s3cret";

QByteArray Frame(int n) {
    return QString(R"({"n":%1})").arg(n).toUtf8();
}

feed::FeedOptions Options(quint16 port, const QString &prefix) {
    feed::FeedOptions o;
    o.host = "127.0.0.1";
    o.port = port;
    o.prefix = prefix;
    return o;
}

QJsonObject LastStatus(MqttSubscriber &sub, const QString &prefix) {
    const QList<QByteArray> all = sub.On(prefix + "/status");
    return all.isEmpty() ? QJsonObject() : QJsonDocument::fromJson(all.last()).object();
}

// tolvane-cli of this build, started with the event loop turning so that
// the simulator in this process answers it; no display, and the broker
// password only where a case gives one.
struct Cli {
    QProcess p;
    QSignalSpy done{&p, &QProcess::finished};
    explicit Cli(const QStringList &args, const QString &password = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *v :
             {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", feed::kPasswordVariable})
            env.remove(v);
        if (!password.isEmpty()) env.insert(feed::kPasswordVariable, password);
        p.setProcessEnvironment(env);
        p.start(QDir(QCoreApplication::applicationDirPath()).filePath("tolvane-cli"), args);
    }
    // The exit code, -2 for a crash, -1 when it did not end in time.
    int End(int ms = 20000) {
        if (p.state() != QProcess::NotRunning && !done.wait(ms)) {
            p.kill();
            p.waitForFinished();
            return -1;
        }
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    }
    QString Err() { return QString::fromLocal8Bit(p.readAllStandardError()); }
};

// Distinct frame numbers among the payloads of Frame().
QSet<int> Numbers(const QList<QByteArray> &payloads) {
    QSet<int> n;
    for (const QByteArray &p : payloads)
        n.insert(QJsonDocument::fromJson(p)["n"].toInt());
    return n;
}

// The feed's notices, collected from its thread.
struct Notices {
    QMutex mutex;
    QStringList texts;
    std::function<void(const QString &)> Sink() {
        return [this](const QString &text) {
            QMutexLocker lock(&mutex);
            texts << text;
        };
    }
    QString All() {
        QMutexLocker lock(&mutex);
        return texts.join('\n');
    }
};

QStringList Keys(const QByteArray &json) {
    QStringList keys = QJsonDocument::fromJson(json).object().keys();
    keys.sort();
    return keys;
}

} // namespace

class TstFeed : public QObject {
    Q_OBJECT
    QTemporaryDir certs_;

    bool Openssl(const QStringList &args) {
        QString error;
        const bool ok = fixture::RunTool("openssl", args, &error);
        if (!ok) qWarning("%s", qPrintable(error));
        return ok;
    }
    QString Cert(const QString &name) { return certs_.filePath(name); }

    // A certificate authority and a key pair it signs.
    bool MakeCa(const QString &ca) {
        return Openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                        "-nodes", "-days", "2", "-subj", "/CN=" + ca, "-keyout", Cert(ca + ".key"),
                        "-out", Cert(ca + ".crt")});
    }
    bool MakeSigned(const QString &name, const QString &ca, const QString &extensions) {
        QFile ext(Cert(name + ".ext"));
        if (!ext.open(QIODevice::WriteOnly)) return false;
        ext.write(extensions.toUtf8());
        ext.close();
        return Openssl({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                        "-nodes", "-subj", "/CN=" + name, "-keyout", Cert(name + ".key"), "-out",
                        Cert(name + ".csr")}) &&
               Openssl({"x509", "-req", "-in", Cert(name + ".csr"), "-CA", Cert(ca + ".crt"),
                        "-CAkey", Cert(ca + ".key"), "-CAcreateserial", "-days", "2", "-extfile",
                        ext.fileName(), "-out", Cert(name + ".crt")});
    }

    QString LoginListener() {
        return QString("allow_anonymous false\npassword_file %1\n").arg(Cert("passwd"));
    }
    QString TlsListener() {
        return QString("allow_anonymous true\ncafile %1\ncertfile %2\nkeyfile %3\n")
            .arg(Cert("ca.crt"), Cert("server.crt"), Cert("server.key"));
    }

  private slots:
    void initTestCase() {
        QVERIFY(certs_.isValid());
        QVERIFY(MakeCa("ca") && MakeCa("otherca"));
        QVERIFY(MakeSigned("server", "ca", "subjectAltName=IP:127.0.0.1\n"));
        QVERIFY(MakeSigned("client", "ca", "extendedKeyUsage=clientAuth\n"));
        QString error;
        QVERIFY2(fixture::RunTool("mosquitto_passwd",
                                  {"-b", "-c", Cert("passwd"), "tolvane", kPassword}, &error),
                 qPrintable(error));
    }

    void options_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("environment");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("rest");
        QTest::addColumn<QString>("password");

        const QString pwFile = certs_.filePath("pw.txt");
        QFile f(pwFile);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(kPassword) + "\r\n");
        f.close();

        auto row = [](const char *name, QStringList args, QString env, QString error,
                      QString address = {}, QString rest = {}, QString password = {}) {
            QTest::newRow(name) << args << env << error << address << rest << password;
        };
        row("plain", {"frames", "--publish", "mqtt://broker.plant/line1/s3"}, "", "",
            "mqtt://broker.plant:1883/line1/s3", "frames");
        row("port, trailing slash", {"--publish=mqtt://10.0.0.5:1884/p/", "-n", "5"}, "", "",
            "mqtt://10.0.0.5:1884/p", "-n 5");
        row("tls default port", {"--publish", "MQTTS://h/p"}, "", "", "mqtts://h:8883/p");
        row("ipv6", {"--publish", "mqtt://[::1]:1999/p"}, "", "", "mqtt://[::1]:1999/p");
        row("password file",
            {"--publish", "mqtt://h/p", "--mqtt-user", "u", "--mqtt-password-file", pwFile},
            "other", "", "mqtt://h:1883/p", "", kPassword);
        row("password from environment", {"--publish", "mqtt://h/p", "--mqtt-user", "u"}, "env", "",
            "mqtt://h:1883/p", "", "env");
        row("no feed", {"frames", "-n", "3"}, "", "", "", "frames -n 3");
        row("no prefix", {"--publish", "mqtt://h"}, "", "needs a topic prefix");
        row("wildcard prefix", {"--publish", "mqtt://h/a/+"}, "", "may not hold + or #");
        row("empty level", {"--publish", "mqtt://h/a//b"}, "", "empty level");
        row("port too big", {"--publish", "mqtt://h:70000/p"}, "", "bad broker port");
        row("empty port", {"--publish", "mqtt://h:/p"}, "", "bad broker port");
        row("no host", {"--publish", "mqtt://:1883/p"}, "", "no host");
        row("other scheme", {"--publish", "http://h/p"}, "", "unknown scheme");
        row("password in the address", {"--publish", "mqtt://u:pw@h/p"}, "", "--mqtt-user");
        row("password on the command line", {"--publish", "mqtt://h/p", "--mqtt-password", "x"}, "",
            "not accepted");
        row("qos 2", {"--publish", "mqtt://h/p", "--qos", "2"}, "", "--qos is 0 or 1");
        row("every 0", {"--publish", "mqtt://h/p", "--every", "0"}, "", "--every is 1");
        row("qos without publish", {"--qos", "1"}, "", "--qos needs --publish");
        row("value missing", {"--publish", "mqtt://h/p", "--every"}, "", "needs a value");
        row("TLS file, plain address", {"--publish", "mqtt://h/p", "--mqtt-cafile", pwFile}, "",
            "need an mqtts://");
        row("certificate without key", {"--publish", "mqtts://h/p", "--mqtt-cert", pwFile}, "",
            "go together");
        row("unreadable CA file", {"--publish", "mqtts://h/p", "--mqtt-cafile", "/nonexistent"}, "",
            "cannot read /nonexistent");
        row("missing password file",
            {"--publish", "mqtt://h/p", "--mqtt-user", "u", "--mqtt-password-file", "/nonexistent"},
            "", "cannot read the MQTT password file");
        row("password without user", {"--publish", "mqtt://h/p"}, "env", "needs --mqtt-user");
    }

    void options() {
        QFETCH(QStringList, args);
        QFETCH(QString, environment);
        QFETCH(QString, error);
        QFETCH(QString, address);
        QFETCH(QString, rest);
        QFETCH(QString, password);
        if (environment.isEmpty())
            qunsetenv(feed::kPasswordVariable);
        else
            qputenv(feed::kPasswordVariable, environment.toUtf8());
        feed::FeedOptions o;
        bool wanted = false;
        QString got;
        const bool ok = feed::TakeFeedOptions(&args, &o, &wanted, &got);
        qunsetenv(feed::kPasswordVariable);
        if (!error.isEmpty()) {
            QVERIFY(!ok);
            QVERIFY2(got.contains(error), qPrintable(got));
            return;
        }
        QVERIFY2(ok, qPrintable(got));
        QCOMPARE(wanted, !address.isEmpty());
        if (wanted) QCOMPARE(o.Address(), address);
        QCOMPARE(args.join(' '), rest);
        QCOMPARE(o.password, password);
    }

    // Every published frame arrives unchanged and in order, the status
    // carries the link state and the counters, and a clean end says offline.
    void framesAndStatus_data() {
        QTest::addColumn<int>("qos");
        QTest::addColumn<int>("every");
        QTest::newRow("qos 0") << 0 << 1;
        QTest::newRow("qos 1") << 1 << 1;
        QTest::newRow("every 3rd") << 0 << 3;
    }

    void framesAndStatus() {
        QFETCH(int, qos);
        QFETCH(int, every);
        MqttBroker broker;
        QVERIFY(broker.Start());
        MqttSubscriber sub;
        QVERIFY(sub.Start(broker.Port(), "s1/#"));
        feed::FeedOptions o = Options(broker.Port(), "s1");
        o.qos = qos;
        o.every = every;
        QStringList notices;
        feed::Publisher p(o, [&](const QString &text) { notices << text; });
        QString error;
        QVERIFY2(p.Start(&error), qPrintable(error));
        p.SetLink(feed::LinkState::Polling, kLink, kVersion);
        constexpr int kFrames = 30;
        for (int n = 1; n <= kFrames; ++n)
            p.PublishFrame(Frame(n));
        const int expected = (kFrames + every - 1) / every;
        QTRY_COMPARE_WITH_TIMEOUT(sub.On("s1/frame").size(), expected, 5000);
        const QList<QByteArray> frames = sub.On("s1/frame");
        for (int i = 0; i < expected; ++i)
            QCOMPARE(frames[i], Frame(1 + i * every));

        QTRY_COMPARE_WITH_TIMEOUT(LastStatus(sub, "s1")["published"].toInt(), expected, 5000);
        const QJsonObject status = LastStatus(sub, "s1");
        QCOMPARE(status["frames"].toInt(), kFrames);
        QCOMPARE(status["state"].toString(), QString("polling"));
        QCOMPARE(status["link"].toString(), QString(kLink));
        QCOMPARE(status["version"].toString(), QString(kVersion));
        QCOMPARE(status["unsent"].toInt(), 0);
        QVERIFY(QDateTime::fromString(status["time"].toString(), Qt::ISODateWithMs).isValid());
        QCOMPARE(status["shared"].toInt(), 0);
        QVERIFY(!status.contains("reason"));

        // Exchanges for other clients of a shared line are counted and named.
        p.SetShared(33);
        QTRY_COMPARE_WITH_TIMEOUT(LastStatus(sub, "s1")["shared"].toInt(), 33, 5000);
        QCOMPARE(LastStatus(sub, "s1")["reason"].toString(),
                 QString("shared: 33 exchanges for another client"));
        QCOMPARE(LastStatus(sub, "s1")["published"].toInt(), expected);

        p.SetLink(feed::LinkState::TimeOut, kLink, kVersion);
        QTRY_COMPARE_WITH_TIMEOUT(LastStatus(sub, "s1")["state"].toString(), QString("time-out"),
                                  5000);
        p.Stop();
        QTRY_COMPARE_WITH_TIMEOUT(sub.On("s1/status").last(), QByteArray("offline"), 5000);
        QVERIFY2(notices.isEmpty(), qPrintable(notices.join('\n')));
    }

    // tolvane-cli publishes each polled frame as the same object as a line of
    // frames --format json, and the link state with the sensor's version.
    void cliPublishes() {
        tsim::Simulator sim;
        QVERIFY(sim.listenTcp());
        MqttBroker broker;
        QVERIFY(broker.Start());
        MqttSubscriber sub;
        QVERIFY(sub.Start(broker.Port(), "cli/#"));
        const QString tcp = QString("127.0.0.1:%1").arg(sim.tcpPort());
        Cli json({"--tcp", tcp, "frames", "-n", "1", "--format", "json"});
        QCOMPARE(json.End(), 0);
        const QByteArray line = json.p.readAllStandardOutput().trimmed();
        Cli feed({"--tcp", tcp, "frames", "-n", "40", "--publish",
                  QString("mqtt://127.0.0.1:%1/cli").arg(broker.Port())});
        QCOMPARE(feed.End(), 0);
        QVERIFY(feed.p.readAllStandardOutput().isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(sub.On("cli/frame").size(), 40, 5000);
        const QList<QByteArray> frames = sub.On("cli/frame");
        for (int i = 0; i < frames.size(); ++i) {
            QCOMPARE(Keys(frames[i]), Keys(line));
            QCOMPARE(QJsonDocument::fromJson(frames[i])["frame"].toInt(), i + 1);
        }
        const QList<QByteArray> statuses = sub.On("cli/status");
        QCOMPARE(statuses.last(), QByteArray("offline"));
        const QJsonObject last =
            QJsonDocument::fromJson(statuses.value(statuses.size() - 2)).object();
        QCOMPARE(last["link"].toString(), "TCP/IP " + tcp);
        // Alone on its sensor the feed waits for nobody.
        QCOMPARE(last["shared"].toInt(), 0);
        QVERIFY(!last.contains("reason"));
        QVERIFY2(!feed.Err().contains("for another client"), "stderr");
        QVERIFY2(last["version"].toString().contains("SIM"),
                 qPrintable(last["version"].toString()));
    }

    // A feed that is killed leaves "offline" on its status topic through
    // the broker (the last will), so a dashboard sees the sensor go away.
    void lastWillWhenKilled() {
        tsim::Simulator sim;
        QVERIFY(sim.listenTcp());
        MqttBroker broker;
        QVERIFY(broker.Start());
        MqttSubscriber sub;
        QVERIFY(sub.Start(broker.Port(), "will/#"));
        Cli feed({"--tcp", QString("127.0.0.1:%1").arg(sim.tcpPort()), "frames", "--publish",
                  QString("mqtt://127.0.0.1:%1/will").arg(broker.Port())});
        QTRY_VERIFY_WITH_TIMEOUT(sub.On("will/frame").size() > 5, 10000);
        QCOMPARE(LastStatus(sub, "will")["state"].toString(), QString("polling"));
        ::kill(pid_t(feed.p.processId()), SIGKILL);
        QCOMPARE(feed.End(), -2);
        QTRY_COMPARE_WITH_TIMEOUT(sub.On("will/status").last(), QByteArray("offline"), 5000);
    }

    // With --reconnect a sensor that goes away is published as a time-out
    // and polled again once it is back; a stop by the service manager ends
    // cleanly.
    void cliReconnectsToTheSensor() {
        tsim::Simulator sim;
        QVERIFY(sim.listenTcp());
        const quint16 port = sim.tcpPort();
        MqttBroker broker;
        QVERIFY(broker.Start());
        MqttSubscriber sub;
        QVERIFY(sub.Start(broker.Port(), "rc/#"));
        Cli feed({"--tcp", QString("127.0.0.1:%1").arg(port), "frames", "--reconnect", "--publish",
                  QString("mqtt://127.0.0.1:%1/rc").arg(broker.Port())});
        QTRY_VERIFY_WITH_TIMEOUT(sub.On("rc/frame").size() > 5, 10000);
        sim.closeTcp();
        QTRY_VERIFY_WITH_TIMEOUT(sub.On("rc/status").join().contains("\"time-out\""), 10000);
        QTest::qWait(1500);
        QVERIFY(sim.listenTcp(port));
        const int before = sub.On("rc/frame").size();
        QTRY_VERIFY_WITH_TIMEOUT(sub.On("rc/frame").size() > before + 5, 15000);
        QCOMPARE(QJsonDocument::fromJson(sub.On("rc/frame").last())["frame"].toInt(),
                 sub.On("rc/frame").size());
        QCOMPARE(LastStatus(sub, "rc")["state"].toString(), QString("polling"));
        ::kill(pid_t(feed.p.processId()), SIGTERM);
        QCOMPARE(feed.End(), 143); // stopped as a service is: terminated, nothing lost
        QVERIFY2(feed.Err().contains("answers again"), "stderr");
        QTRY_COMPARE_WITH_TIMEOUT(sub.On("rc/status").last(), QByteArray("offline"), 5000);
    }

    // The broker goes away mid-run: publishing never blocks, the frames of
    // the outage are counted, and the feed goes on once the broker is back.
    void brokerRestart() {
        MqttBroker broker;
        QVERIFY(broker.Start());
        QStringList notices;
        QMutex noticeMutex;
        feed::Publisher p(Options(broker.Port(), "r"), [&](const QString &text) {
            QMutexLocker lock(&noticeMutex);
            notices << text;
        });
        QString error;
        QVERIFY2(p.Start(&error), qPrintable(error));
        p.SetLink(feed::LinkState::Polling, kLink, kVersion);
        int n = 0;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] { p.PublishFrame(Frame(++n)); });
        poll.start(10);
        QTest::qWait(300);
        broker.Kill();
        QTest::qWait(1500);
        const quint64 unsentInOutage = p.Counters().unsent;
        QVERIFY(unsentInOutage > 50);
        QVERIFY(broker.Restart());
        MqttSubscriber sub;
        QVERIFY(sub.Start(broker.Port(), "r/#"));
        QTRY_VERIFY_WITH_TIMEOUT(sub.On("r/frame").size() > 10, 12000);
        QTRY_VERIFY_WITH_TIMEOUT(LastStatus(sub, "r")["reconnects"].toInt() == 1, 5000);
        QVERIFY(LastStatus(sub, "r")["unsent"].toInt() >= int(unsentInOutage));
        poll.stop();
        p.Stop();
        const feed::FeedCounters c = p.Counters();
        QCOMPARE(c.frames, quint64(n));
        QCOMPARE(c.published + c.unsent + c.lost, c.frames);
        QMutexLocker lock(&noticeMutex);
        const QString all = notices.join('\n');
        QVERIFY2(all.contains("lost") && all.contains("back after") &&
                     all.contains("frames could not be sent"),
                 qPrintable(all));
    }

    // A broker that stops answering (SIGSTOP) keeps its connection open: the
    // frames written into it after its last answer are counted as possibly
    // lost when it dies, as published when it answers again, and the frames
    // of its silence as unsent at QoS 0 (QoS 1 keeps them for it). The counts
    // add up to the frames polled, and no frame counted as published is
    // missing at the subscriber.
    void stalledBroker_data() {
        QTest::addColumn<int>("qos");
        QTest::addColumn<bool>("dies");
        QTest::newRow("qos 0, answers again") << 0 << false;
        QTest::newRow("qos 1, answers again") << 1 << false;
        QTest::newRow("qos 0, dies") << 0 << true;
        QTest::newRow("qos 1, dies") << 1 << true;
    }

    void stalledBroker() {
        QFETCH(int, qos);
        QFETCH(bool, dies);
        MqttBroker broker;
        QVERIFY(broker.Start());
        MqttSubscriber sub;
        QVERIFY(sub.Start(broker.Port(), "st/#"));
        feed::FeedOptions o = Options(broker.Port(), "st");
        o.qos = qos;
        Notices notices;
        feed::Publisher p(o, notices.Sink());
        QString error;
        QVERIFY2(p.Start(&error), qPrintable(error));
        p.SetLink(feed::LinkState::Polling, kLink, kVersion);
        int n = 0;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] { p.PublishFrame(Frame(++n)); });
        poll.start(10);
        QTest::qWait(500);
        // A quiet moment, so that no frame is half-way through the broker
        // when it stops.
        poll.stop();
        QTest::qWait(100);
        QVERIFY(broker.Suspend());
        poll.start(10);
        QTRY_VERIFY2_WITH_TIMEOUT(notices.All().contains("has not answered"),
                                  qPrintable(notices.All()), 5000);
        QTest::qWait(300);
        std::unique_ptr<MqttSubscriber> after;
        if (dies) {
            broker.Kill();
            QTRY_VERIFY2_WITH_TIMEOUT(notices.All().contains(" lost ("), qPrintable(notices.All()),
                                      5000);
            const feed::FeedCounters atLoss = p.Counters();
            const qsizetype received = Numbers(sub.On("st/frame")).size();
            QVERIFY2(quint64(received) >= atLoss.published &&
                         quint64(received) <= atLoss.published + atLoss.lost,
                     qPrintable(QString("%1 received, %2 published, %3 possibly lost")
                                    .arg(received)
                                    .arg(atLoss.published)
                                    .arg(atLoss.lost)));
            QCOMPARE(atLoss.lost > 0, qos == 0);
            QVERIFY(broker.Restart());
            after = std::make_unique<MqttSubscriber>();
            QVERIFY(after->Start(broker.Port(), "st/#"));
            QTRY_VERIFY2_WITH_TIMEOUT(notices.All().contains("back after"),
                                      qPrintable(notices.All()), 10000);
        } else {
            QVERIFY(broker.Resume());
            QTRY_VERIFY2_WITH_TIMEOUT(notices.All().contains("answers again"),
                                      qPrintable(notices.All()), 5000);
        }
        QTest::qWait(300);
        poll.stop();
        // The status topic carries the same counts once it has caught up.
        MqttSubscriber &watch = dies ? *after : sub;
        const auto statusCounts = [&] {
            const QJsonObject s = LastStatus(watch, "st");
            return QList<qint64>{s["frames"].toInteger(), s["published"].toInteger(),
                                 s["unsent"].toInteger(), s["lost"].toInteger()};
        };
        const auto counts = [&] {
            const feed::FeedCounters c = p.Counters();
            return QList<qint64>{qint64(c.frames), qint64(c.published), qint64(c.unsent),
                                 qint64(c.lost)};
        };
        QTRY_COMPARE_WITH_TIMEOUT(statusCounts(), counts(), 5000);
        p.Stop();
        const feed::FeedCounters c = p.Counters();
        QCOMPARE(c.frames, quint64(n));
        QCOMPARE(c.published + c.unsent + c.lost, c.frames);
        // QoS 0 drops the frames of the silence; QoS 1 keeps them and sends
        // them again after a reconnect. Both drop those of the broker's absence.
        QCOMPARE(c.unsent > 0, qos == 0 || dies);
        QCOMPARE(c.lost > 0, qos == 0 && dies);
        if (!dies) {
            QTRY_COMPARE_WITH_TIMEOUT(quint64(Numbers(sub.On("st/frame")).size()), c.published,
                                      5000);
            QCOMPARE(quint64(sub.On("st/frame").size()), c.published);
        }
    }

    // Logins and certificates: the good ones carry frames, a refused one
    // ends the start with a message that says what to fix.
    void login_data() {
        QTest::addColumn<QString>("listener");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("cafile");
        QTest::addColumn<bool>("clientCert");
        QTest::addColumn<QString>("error");

        const QString login = LoginListener(), tls = TlsListener(),
                      mutual = tls + "require_certificate true\n";
        auto row = [](const char *name, QString listener, QString user, QString password,
                      QString cafile, bool clientCert, QString error) {
            QTest::newRow(name) << listener << user << password << cafile << clientCert << error;
        };
        row("login", login, "tolvane", kPassword, "", false, "");
        row("no login", login, "", "", "", false, "refused the connection without a login");
        row("tls, client certificate", mutual, "", "", Cert("ca.crt"), true, "");
        row("tls, no client certificate", mutual, "", "", Cert("ca.crt"), false,
            "TLS with the MQTT broker");
    }

    void login() {
        QFETCH(QString, listener);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, cafile);
        QFETCH(bool, clientCert);
        QFETCH(QString, error);
        const quint16 port = MqttBroker::FreePort();
        MqttBroker broker;
        QVERIFY(broker.Start(QString("listener %1 127.0.0.1\n").arg(port) + listener));
        MqttSubscriber sub;
        QVERIFY(sub.Start(broker.Port(), "c/#"));
        feed::FeedOptions o = Options(port, "c");
        o.user = user;
        o.password = password;
        o.tls = !cafile.isEmpty();
        o.cafile = cafile;
        if (clientCert) {
            o.certfile = Cert("client.crt");
            o.keyfile = Cert("client.key");
        }
        feed::Publisher p(o, [](const QString &) {});
        QString got;
        const bool started = p.Start(&got);
        if (!error.isEmpty()) {
            QVERIFY(!started);
            QVERIFY2(got.contains(error), qPrintable(got));
            return;
        }
        QVERIFY2(started, qPrintable(got));
        p.PublishFrame(Frame(1));
        QTRY_COMPARE_WITH_TIMEOUT(sub.On("c/frame"), QList<QByteArray>{Frame(1)}, 5000);
    }

    // The tool's exit codes for the broker's answers: a refused login or
    // certificate ends it with 1 and says which; a password on the command
    // line is refused before anything is sent.
    void cliExit_data() {
        QTest::addColumn<QString>("listener");
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        const QStringList user = {"--mqtt-user", "tolvane"};
        auto row = [](const char *name, QString listener, QString scheme, QStringList options,
                      QString password, int code, QString message) {
            QTest::newRow(name) << listener << scheme << options << password << code << message;
        };
        row("login", LoginListener(), "mqtt", user, kPassword, 0, "");
        row("wrong password", LoginListener(), "mqtt", user, "wrong", 1,
            "refused the login of user \"tolvane\"");
        row("password on the command line", LoginListener(), "mqtt",
            user + QStringList{"--mqtt-password", kPassword}, "", 2, "not accepted");
        row("tls, unknown authority", TlsListener(), "mqtts",
            {"--mqtt-cafile", Cert("otherca.crt")}, "", 1, "does not verify");
        // Nothing listens: the frames polled were never sent.
        row("no broker", {}, "mqtt", {}, "", 1, "5 frames could not be sent to the MQTT broker");
    }

    void cliExit() {
        QFETCH(QString, listener);
        QFETCH(QString, scheme);
        QFETCH(QStringList, options);
        QFETCH(QString, password);
        QFETCH(int, code);
        QFETCH(QString, message);
        tsim::Simulator sim;
        QVERIFY(sim.listenTcp());
        const quint16 port = MqttBroker::FreePort();
        MqttBroker broker;
        if (!listener.isEmpty())
            QVERIFY(broker.Start(QString("listener %1 127.0.0.1\n").arg(port) + listener));
        Cli feed(QStringList{"--tcp", QString("127.0.0.1:%1").arg(sim.tcpPort()), "frames", "-n",
                             "5", "--publish",
                             QString("%1://127.0.0.1:%2/x").arg(scheme).arg(port)} +
                     options,
                 password);
        QCOMPARE(feed.End(), code);
        const QString err = feed.Err();
        QVERIFY2(err.contains(message), qPrintable(err));
    }
    // What the feed makes of its owner's notes, read one after the other:
    // only its own whole lines count, each connection's count once however
    // often it is read, and a new connection or a new owner adds to the run.
    void clientsNote_data() {
        QTest::addColumn<QStringList>("reads"); // "OWNERPID:note", in turn
        QTest::addColumn<int>("waited");
        constexpr char kOwn[] = "50:pid 100 client 1 served 9 displaced 3\n";
        QTest::newRow("own line") << QStringList{kOwn} << 3;
        QTest::newRow("another pid's line")
            << QStringList{"50:pid 200 client 2 served 9 displaced 8\npid 100 client 1 served 9 "
                           "displaced 3\n"}
            << 3;
        QTest::newRow("torn line")
            << QStringList{QString(kOwn) + "pid 100 client 2 served 4 disp"} << 3;
        QTest::newRow("unknown lines")
            << QStringList{"50:pid 100 client 1 served 9 displaced 3 more\npid -1 client 1 "
                           "served 9 displaced 3\n\nPID 100 CLIENT 1 SERVED 9 DISPLACED 3"}
            << 0;
        QTest::newRow("read again") << QStringList{kOwn, kOwn} << 3;
        QTest::newRow("grows") << QStringList{kOwn, "50:pid 100 client 1 served 20 displaced 7"}
                               << 7;
        QTest::newRow("link opened again")
            << QStringList{kOwn, "50:pid 100 client 4 served 20 displaced 5"} << 8;
        QTest::newRow("owner started again")
            << QStringList{kOwn, "51:pid 100 client 1 served 2 displaced 2"} << 5;
        QTest::newRow("missing or empty note") << QStringList{kOwn, "50:"} << 3;
    }

    void clientsNote() {
        QFETCH(QStringList, reads);
        QFETCH(int, waited);
        shared::WaitTally tally;
        for (const QString &read : reads) {
            const int colon = int(read.indexOf(':'));
            tally.take(read.left(colon).toInt(), 100,
                       shared::ParseClientsNote(read.mid(colon + 1).split('\n')));
        }
        QCOMPARE(tally.displaced(), qint64(waited));
    }
};

QTEST_GUILESS_MAIN(TstFeed)
#include "tst_feed.moc"
