// Serial ports over a pair of pseudo-terminals joined by socat: what one port
// writes, the other receives.
#include "platform/Platform.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/resource.h>

namespace {

constexpr int kQueue = 1024;

// Two linked pseudo-terminals; link names a and b in dir.
class PtyPair {
  public:
    bool start(const QString &dir) {
        a = dir + "/a";
        b = dir + "/b";
        socat.setStandardOutputFile(QProcess::nullDevice());
        socat.setStandardErrorFile(QProcess::nullDevice());
        socat.start("socat", {"pty,raw,echo=0,link=" + a, "pty,raw,echo=0,link=" + b});
        return socat.waitForStarted(5000) &&
               QTest::qWaitFor([&] { return QFileInfo::exists(a) && QFileInfo::exists(b); }, 5000);
    }
    // As a simulator ends: socat removes its links on the way out.
    void stop() {
        socat.terminate();
        if (!socat.waitForFinished(5000)) {
            socat.kill();
            socat.waitForFinished(5000);
        }
    }
    ~PtyPair() { stop(); }
    QString a, b;

  private:
    QProcess socat;
};

int openPort(int port, long baud = 115200) {
    return OpenComConfig(port, QString(), baud, NO_PARITY, 8, 1, kQueue, kQueue);
}

// The program's answer wait: sleep in the event loop until `want` bytes are
// queued or the time is up; returns the queue length at the end.
int waitForQueue(int port, int want, double seconds) {
    const double start = Timer();
    int queued = GetInQLen(port);
    while (queued >= 0 && queued < want && Timer() - start < seconds) {
        WaitSystemEvents(seconds - (Timer() - start));
        queued = GetInQLen(port);
    }
    return queued;
}

QByteArray pattern(int size, int seed = 0) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + seed) % 251);
    return bytes;
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

class TestSerial : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    PtyPair pair;

  private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        QVERIFY2(pair.start(dir.path()), "socat did not make the pseudo-terminals");
        qputenv("TOLVANE_COM1", pair.a.toLocal8Bit());
        qputenv("TOLVANE_COM2", pair.b.toLocal8Bit());
    }

    void init() {
        QCOMPARE(openPort(1), 0);
        QCOMPARE(openPort(2), 0);
        QCOMPARE(SetComTime(1, 1.0), 0);
        QCOMPARE(SetComTime(2, 1.0), 0);
        QCOMPARE(SetCTSMode(1, 0), 0);
    }

    void cleanup() {
        CloseCom(1);
        CloseCom(2);
    }

    void openFailures_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("device"); // TOLVANE_COM<port>; empty leaves it alone
        QTest::addColumn<int>("code");
        QTest::newRow("port 0") << 0 << QString() << -2;
        QTest::newRow("port 49") << 49 << QString() << -2;
        QTest::newRow("missing device") << 3 << "missing" << -6;
        QTest::newRow("dangling link") << 3 << "dangling" << -6;
        QTest::newRow("not a terminal") << 3 << "plain" << -1;
        // Port 1 holds the pseudo-terminal; its real name must meet the same lock.
        QTest::newRow("busy under another name") << 3 << "canonical" << -7;
    }
    void openFailures() {
        QFETCH(int, port);
        QFETCH(QString, device);
        QFETCH(int, code);
        const QString path = dir.filePath("dev-" + device);
        if (device == "dangling") QVERIFY(QFile::link(dir.filePath("gone"), path));
        if (device == "plain") {
            QFile plain(path);
            QVERIFY(plain.open(QIODevice::WriteOnly));
        }
        const QString name = device == "canonical" ? QFileInfo(pair.a).canonicalFilePath() : path;
        if (!device.isEmpty())
            qputenv(qPrintable(QString("TOLVANE_COM%1").arg(port)), name.toLocal8Bit());
        QCOMPARE(openPort(port), code);
        QVERIFY(GetInQLen(port) < 0);
        CloseCom(port);
    }

    // The answer wait reads the queue length of a port that failed to open.
    void callsOnAClosedPort() {
        char byte = 0;
        QCOMPARE(CloseCom(7), 0);
        QCOMPARE(ComWrt(7, &byte, 1), -3);
        QCOMPARE(ComRd(7, &byte, 1), -3);
        QCOMPARE(GetInQLen(7), -3);
    }

    void telegramBothWays() {
        for (const auto &[from, to] : {std::pair{1, 2}, std::pair{2, 1}}) {
            const QByteArray sent = pattern(36, from);
            QCOMPARE(ComWrt(from, sent.constData(), 36), 36);
            QCOMPARE(waitForQueue(to, 36, 3.0), 36);
            QByteArray got(36, '\0');
            QCOMPARE(ComRd(to, got.data(), 36), 36);
            QCOMPARE(got, sent);
            QCOMPARE(GetInQLen(to), 0);
        }
    }

    void reopenAtAnotherRate() {
        QCOMPARE(CloseCom(1), 0);
        QCOMPARE(openPort(1, 19200), 0);
        QCOMPARE(openPort(1, 9600), 0); // open on an open port starts it afresh
        const QByteArray sent = pattern(36, 3);
        QCOMPARE(ComWrt(1, sent.constData(), 36), 36);
        QCOMPARE(waitForQueue(2, 36, 3.0), 36);
    }

    void flushDropsQueuedInputOnly() {
        const QByteArray early = pattern(20, 1);
        QCOMPARE(ComWrt(2, early.constData(), 20), 20);
        QCOMPARE(waitForQueue(1, 20, 3.0), 20);
        QCOMPARE(FlushInQ(1), 0);
        QCOMPARE(GetInQLen(1), 0);
        QCOMPARE(FlushOutQ(1), 0);
        // The port still receives after a flush.
        const QByteArray later = pattern(36, 2);
        QCOMPARE(ComWrt(2, later.constData(), 36), 36);
        QCOMPARE(waitForQueue(1, 36, 3.0), 36);
        QByteArray got(36, '\0');
        QCOMPARE(ComRd(1, got.data(), 36), 36);
        QCOMPARE(got, later);
    }

    void readWaitsForTheTimeOut() {
        QCOMPARE(SetComTime(1, 0.3), 0);
        char buffer[36];
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(ComRd(1, buffer, 36), 0);
        QVERIFY2(clock.elapsed() >= 280 && clock.elapsed() < 2000,
                 qPrintable(QString::number(clock.elapsed())));

        // A short answer: what came is returned when the time is up.
        const QByteArray part = pattern(10, 4);
        QCOMPARE(ComWrt(2, part.constData(), 10), 10);
        clock.restart();
        QCOMPARE(ComRd(1, buffer, 36), 10);
        QVERIFY(clock.elapsed() >= 280);
        QCOMPARE(QByteArray(buffer, 10), part);
    }

    void queueIsBoundedAndReadsKeepToTheCount() {
        const QByteArray flood = pattern(3000, 5);
        QCOMPARE(ComWrt(2, flood.constData(), 3000), 3000);
        const double start = Timer();
        int queued = 0;
        while (Timer() - start < 1.0) {
            WaitSystemEvents(0.05);
            queued = GetInQLen(1);
            QVERIFY2(queued >= 0 && queued <= kQueue, qPrintable(QString::number(queued)));
        }
        QCOMPARE(queued, kQueue);

        // Guard bytes after the count must stay untouched.
        QByteArray buffer(kQueue + 64, char(0xEE));
        QCOMPARE(ComRd(1, buffer.data(), 10), 10);
        QCOMPARE(buffer.left(10), flood.left(10));
        QCOMPARE(buffer.mid(10), QByteArray(buffer.size() - 10, char(0xEE)));

        QCOMPARE(SetComTime(1, 0.2), 0);
        buffer.fill(char(0xEE));
        QCOMPARE(ComRd(1, buffer.data(), kQueue + 32), kQueue - 10);
        QCOMPARE(buffer.left(kQueue - 10), flood.mid(10, kQueue - 10));
        QCOMPARE(buffer.mid(kQueue - 10), QByteArray(buffer.size() - (kQueue - 10), char(0xEE)));

        // After the overflow the next exchange is clean.
        QCOMPARE(FlushInQ(1), 0);
        const QByteArray sent = pattern(36, 6);
        QCOMPARE(ComWrt(2, sent.constData(), 36), 36);
        QCOMPARE(waitForQueue(1, 36, 3.0), 36);
    }

    void peerGoingAwayNeitherHangsNorSpins() {
        QTemporaryDir other;
        PtyPair lost;
        QVERIFY(lost.start(other.path()));
        qputenv("TOLVANE_COM9", lost.a.toLocal8Bit());
        QCOMPARE(openPort(9), 0);
        QCOMPARE(SetComTime(9, 1.0), 0);
        lost.stop();

        const double cpuStart = cpuSeconds();
        const double start = Timer();
        int wakeUps = 0;
        int queued = 0;
        while (Timer() - start < 1.0) {
            WaitSystemEvents(1.0 - (Timer() - start));
            ++wakeUps;
            queued = GetInQLen(9);
        }
        const double cpu = cpuSeconds() - cpuStart;
        QVERIFY2(queued < 0, "the port stayed open after its device went away");
        QVERIFY2(cpu < 0.5, qPrintable(QString("%1 s processor time in a 1 s wait").arg(cpu)));
        QVERIFY2(wakeUps < 1000, qPrintable(QString::number(wakeUps)));

        char buffer[36] = {};
        QElapsedTimer clock;
        clock.start();
        QVERIFY(ComRd(9, buffer, 36) < 0);
        QVERIFY(ComWrt(9, buffer, 36) < 0);
        QVERIFY(clock.elapsed() < 500);
        QCOMPARE(CloseCom(9), 0);
        QCOMPARE(openPort(9), -6);
    }
};

QTEST_MAIN(TestSerial)
#include "tst_serial.moc"
