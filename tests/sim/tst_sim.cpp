// The simulated sensor, driven as the program drives it: a plain TCP socket
// and a raw pseudo-terminal descriptor on the same event loop.
#include "core/Protocol.h"
#include "sim/Simulator.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <memory>
#include <termios.h>
#include <unistd.h>

using tsim::Fault;

namespace {

uint16_t W(const QByteArray &t, int k) {
    return uint16_t(uint8_t(t[2 * k]) << 8 | uint8_t(t[2 * k + 1]));
}

// A request as the program builds it: words the order does not define still
// hold stale bytes, here a recognisable filler.
QByteArray Req(uint16_t order, const QList<uint16_t> &words = {}) {
    QByteArray t(proto::kTelegramBytes, '\0');
    auto put = [&t](int k, uint16_t v) { t[2 * k] = char(v >> 8), t[2 * k + 1] = char(v); };
    put(0, proto::kRequestSync);
    put(1, order);
    for (int k = 2; k < proto::kWords; ++k)
        put(k, k - 2 < words.size() ? words[k - 2] : uint16_t(0xA500 + k));
    return t;
}

// The program's echo rule: 00 AA, then bytes 2..2n-1 as sent; here also: the rest is 0.
void VerifyEcho(const QByteArray &a, const QByteArray &req, int n) {
    QCOMPARE(a.size(), proto::kTelegramBytes);
    QCOMPARE(a.left(2), QByteArray("\x00\xAA", 2));
    QCOMPARE(a.mid(2, 2 * n - 2), req.mid(2, 2 * n - 2));
    QCOMPARE(a.mid(2 * n), QByteArray(proto::kTelegramBytes - 2 * n, '\0'));
}

class Peer {
  public:
    virtual ~Peer() = default;
    virtual void send(const QByteArray &bytes) = 0;
    bool waitFor(int n, int ms = 1000) {
        QDeadlineTimer d(ms);
        while (in.size() < n && !d.hasExpired())
            QTest::qWait(1);
        return in.size() >= n;
    }
    QByteArray take(int n = proto::kTelegramBytes, int ms = 1000) {
        waitFor(n, ms);
        const QByteArray r = in.left(n);
        in.remove(0, r.size());
        return r;
    }
    QByteArray ask(const QByteArray &req) { return send(req), take(); }
    bool silentFor(int ms) { return QTest::qWait(ms), in.isEmpty(); }
    QByteArray in;
};

class TcpPeer : public Peer {
  public:
    explicit TcpPeer(quint16 port) {
        QObject::connect(&sock, &QTcpSocket::readyRead, [this] { in += sock.readAll(); });
        sock.connectToHost(QHostAddress::LocalHost, port);
        QDeadlineTimer d(2000);
        while (sock.state() != QAbstractSocket::ConnectedState && !d.hasExpired())
            QTest::qWait(1);
        QTest::qWait(5); // let the server take the connection
    }
    void send(const QByteArray &b) override { sock.write(b); }
    QTcpSocket sock;
};

class PtyPeer : public Peer {
  public:
    explicit PtyPeer(const QString &path) {
        fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios t{};
        ::tcgetattr(fd, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd, TCSANOW, &t);
        notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, [this] {
            char buf[256];
            for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
                in.append(buf, n);
        });
    }
    ~PtyPeer() override { notifier.reset(), ::close(fd); }
    void send(const QByteArray &b) override {
        QVERIFY(::write(fd, b.constData(), b.size()) == b.size());
    }
    speed_t speed() const {
        termios t{};
        ::tcgetattr(fd, &t);
        return ::cfgetospeed(&t);
    }
    void setSpeed(speed_t s) {
        termios t{};
        ::tcgetattr(fd, &t);
        ::cfsetispeed(&t, s), ::cfsetospeed(&t, s);
        ::tcsetattr(fd, TCSANOW, &t);
    }
    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
};

// Teach-table cells for a measurement with the default tolerances (evaluation
// mode 0, power mode STAT), in the column layout of the calculation mode.
QList<uint16_t> TaughtRow(int calcmode, const tsim::Frame &f, uint16_t group) {
    switch (calcmode / 2) {
    case 0:
        return {f.x, f.y, 100, f.intensity, uint16_t(calcmode == 1 ? 50 : 100), f.gn, 100, group};
    case 1:
        return {f.x, f.y, f.intensity, 100, f.gn, 100, 1, group};
    case 2:
        return {f.x, f.y, f.gn, 100, f.intensity, uint16_t(calcmode == 5 ? 50 : 100), 1, group};
    default:
        return {f.x, f.y, f.intensity, f.gn, 100, 1, 1, group};
    }
}

} // namespace

class TestSim : public QObject {
    Q_OBJECT
    std::unique_ptr<tsim::Simulator> sim;
    std::unique_ptr<Peer> peer;

    void connectTcp() {
        QVERIFY(sim->listenTcp());
        peer = std::make_unique<TcpPeer>(sim->tcpPort());
    }
    void connectPty() {
        QVERIFY(sim->openPty());
        peer = std::make_unique<PtyPeer>(sim->ptyPath());
    }
    void connectLink(const QString &link) { link == "pty" ? connectPty() : connectTcp(); }
    void addLinks() {
        QTest::addColumn<QString>("link");
        QTest::newRow("tcp") << "tcp";
        QTest::newRow("pty") << "pty";
    }
    QList<uint16_t> params(uint16_t calcmode, uint16_t intlim = 50, uint16_t maxcolno = 5,
                           uint16_t colorgroup = 0) {
        return {500, 0, 8, 0, 10, intlim, maxcolno, 1, 0, 0, calcmode, 100, 3000, colorgroup, 0, 0};
    }

  private slots:
    void init() {
        sim = std::make_unique<tsim::Simulator>();
        sim->setSeed(7);
    }
    void cleanup() { peer.reset(), sim.reset(); }

    void echoLayouts_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("echoWords");
        QTest::newRow("1 params") << Req(1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16})
                                  << 18;
        QTest::newRow("2 row") << Req(2, {30, 1, 2, 3, 4, 5, 6, 7, 8}) << 11;
        QTest::newRow("6 store") << Req(6) << 2;
        QTest::newRow("8 load") << Req(8) << 2;
        QTest::newRow("30 cf") << Req(30, {900, 1000, 1100}) << 5;
        QTest::newRow("180 announce") << Req(180, {5888}) << 2;
        QTest::newRow("182 full piece") << Req(182, {5888, 14}) << 18;
        QTest::newRow("182 last piece") << Req(182, {6140, 4, 1, 2, 3, 4}) << 8;
        QTest::newRow("190 baud") << Req(190, {3}) << 3;
        QTest::newRow("unknown order") << Req(99) << 18;
    }
    void echoLayouts() {
        QFETCH(QByteArray, request);
        QFETCH(int, echoWords);
        connectTcp();
        VerifyEcho(peer->ask(request), request, echoWords);
        QVERIFY(peer->silentFor(20));
    }

    void parametersRamEepromRoundTrip_data() { addLinks(); }
    void parametersRamEepromRoundTrip() {
        QFETCH(QString, link);
        connectLink(link);
        sim->setStoreTimeEmulation(false);
        const auto factory = sim->state();
        QList<uint16_t> written = params(6, 0, 31, 1);
        written[14] = 1234, written[15] = 65535;
        VerifyEcho(peer->ask(Req(1, written)), Req(1, written), 18);
        for (uint16_t r = 0; r < proto::kRows; ++r) {
            const QByteArray req =
                Req(2, {r, uint16_t(r * 10), 1, 2, 3, 4, 5, uint16_t(60000 + r), uint16_t(r % 5)});
            VerifyEcho(peer->ask(req), req, 11);
        }
        const QByteArray p = peer->ask(Req(3));
        QCOMPARE(W(p, 0), proto::kAnswerSync);
        QCOMPARE(W(p, 1), 3);
        for (int i = 0; i < 16; ++i)
            QCOMPARE(W(p, 2 + i), written[i]);
        const QByteArray row = peer->ask(Req(4, {30}));
        const QList<uint16_t> record{170, 4, 30, 300, 1, 2, 3, 4, 5, 60030, 0, 0, 0, 0, 0, 0, 0, 0};
        for (int k = 0; k < proto::kWords; ++k)
            QCOMPARE(W(row, k), record[k]);
        QVERIFY(
            std::equal(factory.eepromParams, factory.eepromParams + 16, sim->state().eepromParams));

        VerifyEcho(peer->ask(Req(6)), Req(6), 2);
        QVERIFY(std::equal(written.begin(), written.end(), sim->state().eepromParams));
        QCOMPARE(sim->state().eepromRows[17][6], 60017);

        VerifyEcho(peer->ask(Req(1, params(0))), Req(1, params(0)), 18);
        QCOMPARE(W(peer->ask(Req(3)), 2 + 10), 0);
        VerifyEcho(peer->ask(Req(8)), Req(8), 2);
        QCOMPARE(W(peer->ask(Req(3)), 2 + 10), 6);
        QCOMPARE(W(peer->ask(Req(4, {17})), 9), 60017);

        VerifyEcho(peer->ask(Req(1, params(2))), Req(1, params(2)), 18);
        sim->restart();
        QCOMPARE(sim->state().ramParams[10], 6);
    }

    void versionAndWhiteCalibration() {
        connectTcp();
        sim->setNoiseEnabled(false);
        sim->setTarget(tsim::WhiteTargetIndex(sim->scene()));
        QCOMPARE(peer->ask(Req(7)), QByteArray("TOLVANE-SIM V1.2 COLOUR/GLOSS SENSOR"));
        auto factors = [&] {
            const QByteArray a = peer->ask(Req(31));
            return QList<uint16_t>{W(a, 1), W(a, 2), W(a, 3), W(a, 4)};
        };
        QCOMPARE(factors(), (QList<uint16_t>{31, 1024, 1024, 1024}));
        const QByteArray before = peer->ask(Req(5));
        auto spread = [](const QByteArray &f, int first) {
            const auto [lo, hi] = std::minmax({W(f, first), W(f, first + 1), W(f, first + 2)});
            return hi - lo;
        };
        QVERIFY(spread(before, 2) > 300); // uncalibrated, the white target is far from white
        // Factors as the calibration computes them: set value * 1024 / raw mean.
        const uint32_t setvalue = 3600;
        QList<uint16_t> cf;
        for (int c = 0; c < 3; ++c)
            cf.append(uint16_t(setvalue * 1024 / W(before, 9 + c)));
        VerifyEcho(peer->ask(Req(30, cf)), Req(30, cf), 5);
        QCOMPARE(factors(), QList<uint16_t>{31} + cf);
        const QByteArray after = peer->ask(Req(5));
        QCOMPARE(after.mid(18, 6), before.mid(18, 6)); // raw R, G, B stay as the receivers see
        QVERIFY2(
            spread(after, 2) <= 4,
            qPrintable(QString("%1 %2 %3").arg(W(after, 2)).arg(W(after, 3)).arg(W(after, 4))));
        QVERIFY(qAbs(W(after, 2) - int(setvalue)) <= 4);
    }

    void thirdRootPiecesLandAtTheirAddresses() {
        connectTcp();
        VerifyEcho(peer->ask(Req(180, {5888})), Req(180, {5888}), 2);
        QTest::qWait(200); // the program's pause after the announcement
        QList<uint16_t> table;
        for (int i = 0; i < 256; ++i)
            table.append(uint16_t(40000 + i));
        for (int k = 0; k < 19; ++k) {
            const int count = k == 18 ? 4 : 14;
            QList<uint16_t> words{uint16_t(5888 + 14 * k), uint16_t(count)};
            words += table.mid(14 * k, count);
            const QByteArray req = Req(182, words);
            VerifyEcho(peer->ask(req), req, count + 4);
        }
        QVERIFY(std::equal(table.begin(), table.end(), sim->state().thirdRoot));
        // A short piece writes its count only, whatever stale words follow.
        peer->ask(Req(182, {5888, 2, 7, 8}));
        QCOMPARE(sim->state().thirdRoot[1], 8);
        QCOMPARE(sim->state().thirdRoot[2], 40002);
    }

    void frameFields_data() {
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("calcmode");
        for (int t = 0; t < 6; ++t)
            for (int m : {0, 1})
                QTest::addRow("target %d mode %d", t, m) << t << m;
    }
    void frameFields() {
        QFETCH(int, target);
        QFETCH(int, calcmode);
        connectTcp();
        sim->setTarget(target);
        peer->ask(Req(1, params(uint16_t(calcmode))));
        for (int n = 0; n < 5; ++n) {
            const QByteArray f = peer->ask(Req(5));
            QCOMPARE(W(f, 0), proto::kAnswerSync);
            QCOMPARE(W(f, 1), 5);
            for (int k : {2, 3, 4, 7, 9, 10, 11, 14, 15, 16, 17})
                QVERIFY(W(f, k) <= 4095);
            QVERIFY(W(f, 12) >= 30 && W(f, 12) <= 40);
            QCOMPARE(W(f, 13), W(f, 8)); // groups off: the group is the vector number
            const int sum = W(f, 2) + W(f, 3) + W(f, 4);
            QCOMPARE(int(W(f, 7)), sum / 3);
            if (calcmode == 0) {
                QVERIFY(qAbs(W(f, 5) - 4095.0 * W(f, 2) / sum) <= 0.5);
                QVERIFY(qAbs(W(f, 6) - 4095.0 * W(f, 3) / sum) <= 0.5);
            } else {
                QVERIFY(W(f, 5) <= 10000 && W(f, 6) < 3600);
            }
        }
    }

    void targetsTakenInTurn() {
        connectTcp();
        sim->setDwellMs(30);
        QSet<uint16_t> seen;
        for (int n = 0; n < 40; ++n, QTest::qWait(5))
            seen.insert(W(peer->ask(Req(5)), 2));
        QVERIFY(seen.size() >= 3);
    }

    void taughtColourIsRecognised_data() {
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("calcmode");
        for (int t : {0, 1, 5})
            for (int m = 0; m < 8; ++m)
                QTest::addRow("target %d mode %d", t, m) << t << m;
    }
    void taughtColourIsRecognised() {
        QFETCH(int, target);
        QFETCH(int, calcmode);
        connectTcp();
        sim->setTarget(target);
        const uint16_t mode = uint16_t(calcmode);
        peer->ask(Req(1, params(mode)));
        for (uint16_t r = 0; r < 5; ++r)
            peer->ask(Req(2, {r, 1, 1, 1, 1, 1, 1, 1, 0}));
        const QByteArray f = peer->ask(Req(5));
        tsim::Frame taught{};
        taught.x = W(f, 5), taught.y = W(f, 6), taught.intensity = W(f, 7), taught.gn = W(f, 17);
        QCOMPARE(W(f, 8), tsim::kNoVector);
        peer->ask(Req(2, QList<uint16_t>{3} + TaughtRow(calcmode, taught, 7)));
        auto verdicts = [&] {
            QSet<QPair<uint16_t, uint16_t>> v;
            for (int n = 0; n < 10; ++n) {
                const QByteArray g = peer->ask(Req(5));
                v.insert({W(g, 8), W(g, 13)});
            }
            return v;
        };
        QCOMPARE(verdicts(), (QSet<QPair<uint16_t, uint16_t>>{{3, 3}}));
        peer->ask(Req(1, params(mode, 50, 5, 1)));
        QCOMPARE(verdicts(), (QSet<QPair<uint16_t, uint16_t>>{{3, 7}}));
        peer->ask(Req(1, params(mode, uint16_t(taught.intensity + 100), 5, 1)));
        QCOMPARE(verdicts(), (QSet<QPair<uint16_t, uint16_t>>{{255, 255}}));
        peer->ask(Req(1, params(mode, 50, 3)));
        QCOMPARE(verdicts(), (QSet<QPair<uint16_t, uint16_t>>{{255, 255}}));
    }

    void evaluationRules() {
        uint16_t p[16] = {500, 0, 8, 0, 10, 50, 5, 1, 0, 0, 0, 100, 3000, 0, 0, 0};
        uint16_t rows[31][8] = {};
        auto row = [&](int r, QList<uint16_t> cells) {
            std::copy(cells.begin(), cells.end(), rows[r]);
        };
        // Mode 0 judges X/Y, INT and GN separately: a close colour with the intensity off fails.
        row(0, {1000, 1000, 100, 800, 100, 300, 100, 4});
        QCOMPARE(tsim::Evaluate(p, rows, {1060, 1080, 800}, 300).color, 0);
        QCOMPARE(tsim::Evaluate(p, rows, {1000, 1000, 901}, 300).color, 255);
        QCOMPARE(tsim::Evaluate(p, rows, {1000, 1000, 800}, 401).color, 255);
        // Mode 2 judges X/Y/INT as one vector: 60/80 apart is exactly 100.
        p[tsim::PCalcmode] = 2;
        row(0, {1000, 1000, 800, 100, 300, 100, 1, 4});
        QCOMPARE(tsim::Evaluate(p, rows, {1060, 1000, 880}, 300).color, 0);
        rows[0][3] = 99;
        QCOMPARE(tsim::Evaluate(p, rows, {1060, 1000, 880}, 300).color, 255);
        // s/i: the hue wraps around, 3590 and 10 lie 20 apart.
        p[tsim::PCalcmode] = 1;
        row(0, {6000, 3590, 100, 800, 50, 300, 100, 0});
        QCOMPARE(tsim::Evaluate(p, rows, {6000, 10, 800}, 300).color, 0);
        // s/i/M definition: saturation 0..10000, hue in 0.1 degree, no hue for greys.
        QCOMPARE(tsim::ChromaOf(1, 4095, 0, 0).x, 10000);
        QCOMPARE(tsim::ChromaOf(1, 4095, 0, 0).y, 0);
        QCOMPARE(tsim::ChromaOf(1, 0, 3000, 0).y, 1200);
        QCOMPARE(tsim::ChromaOf(3, 0, 0, 3000).y, 2400);
        QCOMPARE(tsim::ChromaOf(1, 2000, 2010, 1990).y, 0);
        QCOMPARE(tsim::ChromaOf(1, 3000, 1500, 0).intensity, 1500);
    }

    void evaluationModes_data() {
        QTest::addColumn<int>("calcmode");
        QTest::addColumn<int>("evalmode");
        QTest::addColumn<int>("maxcolno");
        QTest::addColumn<int>("colorgroup");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("color");
        QTest::addColumn<int>("group");
        // Rows (see evaluationModes): 0 at X 1000 and 1 at X 1050, both tolerance 100;
        // 2 at X 2000, tolerance 10; 3 at X 3000, tolerance 100.
        const struct {
            const char *name;
            int evalmode, maxcolno, colorgroup, x, color, group;
        } cases[] = {
            {"overlap best hit: nearer row", 0, 4, 0, 1040, 1, 1},
            {"overlap first hit: earlier row", 1, 4, 0, 1040, 0, 0},
            {"overlap best hit, groups", 0, 4, 1, 1040, 1, 9},
            {"overlap first hit, groups", 1, 4, 1, 1040, 0, 4},
            {"overlap binary: nearer row", 3, 4, 0, 1040, 1, 1},
            {"own tolerance 10 refuses 35", 0, 4, 0, 2035, 255, 255},
            {"fixed 40 accepts 35", 2, 4, 0, 2035, 2, 2},
            {"fixed 40 accepts 35, groups", 2, 4, 1, 2035, 2, 6},
            {"fixed 40 refuses 45", 2, 4, 0, 2045, 255, 255},
            {"fixed 40 overrides 100", 2, 4, 0, 3060, 255, 255},
            {"last active row", 0, 4, 0, 3000, 3, 3},
            {"best hit beyond maxcolno", 0, 3, 0, 3000, 255, 255},
            {"first hit beyond maxcolno", 1, 3, 1, 3000, 255, 255},
            {"fixed 40 beyond maxcolno", 2, 3, 0, 3000, 255, 255},
            {"nearer row beyond maxcolno", 0, 1, 0, 1040, 0, 0},
        };
        for (int calcmode : {0, 3, 4, 7})
            for (const auto &c : cases)
                QTest::addRow("mode %d %s", calcmode, c.name)
                    << calcmode << c.evalmode << c.maxcolno << c.colorgroup << c.x << c.color
                    << c.group;
    }
    void evaluationModes() {
        QFETCH(int, calcmode);
        QFETCH(int, evalmode);
        QFETCH(int, maxcolno);
        QFETCH(int, colorgroup);
        QFETCH(int, x);
        QFETCH(int, color);
        QFETCH(int, group);
        QList<uint16_t> p =
            params(uint16_t(calcmode), 50, uint16_t(maxcolno), uint16_t(colorgroup));
        p[tsim::PEvalmode] = uint16_t(evalmode);
        uint16_t rows[31][8] = {};
        const struct {
            uint16_t x, tol, group;
        } taught[] = {{1000, 100, 4}, {1050, 100, 9}, {2000, 10, 6}, {3000, 100, 7}};
        for (int r = 0; r < 4; ++r) {
            tsim::Frame f{};
            f.x = taught[r].x, f.y = 1000, f.intensity = 800, f.gn = 300;
            QList<uint16_t> cells = TaughtRow(calcmode, f, taught[r].group);
            cells[calcmode < 2 ? 2 : calcmode < 6 ? 3 : 4] = taught[r].tol;
            std::copy(cells.begin(), cells.end(), rows[r]);
        }
        const tsim::Verdict v = tsim::Evaluate(p.constData(), rows, {uint16_t(x), 1000, 800}, 300);
        QCOMPARE(int(v.color), color);
        QCOMPARE(int(v.group), group);
    }

    void autoSendWithTrigger() {
        connectTcp();
        sim->setAutoSendIntervalMs(10);
        peer->send(Req(50, {1}));
        QVERIFY(peer->waitFor(15 * 36));
        QVERIFY(sim->state().autoSend);
        int triggered = 0;
        for (int n = 0; n < 15; ++n) {
            const QByteArray f = peer->take();
            QCOMPARE(f.left(4), QByteArray("\x00\xAA\x00\x05", 4));
            triggered += W(f, 13) >= proto::kGroupTriggerFlag;
            QVERIFY(W(f, 13) % proto::kGroupTriggerFlag == W(f, 8));
        }
        QVERIFY(triggered >= 2 && triggered <= 4);
        peer->send(Req(50, {0}));
        QTest::qWait(30);
        peer->in.clear();
        QVERIFY(peer->silentFor(60));
    }

    void baudChangeAnswersAtTheOldRate() {
        sim->state().baudIndex = 0;
        sim->setEmulateWireTime(true);
        connectPty();
        auto *pty = static_cast<PtyPeer *>(peer.get());
        QElapsedTimer t;
        t.start();
        VerifyEcho(peer->ask(Req(190, {4})), Req(190, {4}), 3);
        QVERIFY(t.elapsed() >= 75); // request and answer, 36 bytes each at 9600
        QCOMPARE(sim->baudIndex(), 4);
        QCOMPARE(pty->speed(), speed_t(B115200));
        t.restart();
        peer->ask(Req(7));
        QVERIFY(t.elapsed() < 30);
        VerifyEcho(peer->ask(Req(190, {0})), Req(190, {0}), 3);
        t.restart();
        peer->ask(Req(7));
        QVERIFY(t.elapsed() >= 75);
        // Strict line: nothing is understood at a foreign rate.
        sim->setStrictLineRate(true);
        pty->setSpeed(B19200);
        peer->send(Req(7));
        QVERIFY(peer->silentFor(100));
        pty->setSpeed(B9600);
        QCOMPARE(peer->ask(Req(7)).size(), 36);
    }

    void resynchronisesOnGarbage_data() { addLinks(); }
    void resynchronisesOnGarbage() {
        QFETCH(QString, link);
        connectLink(link);
        peer->send(QByteArray("\x12\x00\x34\x00", 4) + Req(31));
        QCOMPARE(W(peer->take(), 1), 31);
        peer->send(Req(8).left(20)); // a broken telegram, then the line rests
        QTest::qWait(250);
        const QByteArray req = Req(30, {1000, 1000, 1000});
        peer->send(req.left(10));
        QTest::qWait(20);
        peer->send(req.mid(10));
        VerifyEcho(peer->take(), req, 5);
        QVERIFY(peer->silentFor(20));
        QCOMPARE(sim->requests(), (QList<QByteArray>{Req(31), req}));
    }

    // Served for hours, the simulator keeps the last requests and counts the
    // rest; each kept request holds its own 36 bytes, not the socket's read
    // buffer it arrived in.
    void requestLogStaysBounded() {
        connectTcp();
        const int sent = tsim::Simulator::kRequestLog + 44;
        for (int n = 0; n < sent; ++n) {
            const QByteArray req = Req(n % 2 ? 98 : 99, {uint16_t(n)});
            QCOMPARE(peer->ask(req), QByteArray("\x00\xAA", 2) + req.mid(2));
        }
        const QList<QByteArray> kept = sim->requests();
        QCOMPARE(kept.size(), tsim::Simulator::kRequestLog);
        QCOMPARE(W(kept.first(), 2), uint16_t(sent - tsim::Simulator::kRequestLog));
        QCOMPARE(W(kept.last(), 2), uint16_t(sent - 1));
        for (const QByteArray &r : kept)
            QVERIFY2(r.capacity() < 4 * proto::kTelegramBytes,
                     qPrintable(QString::number(r.capacity())));
        QCOMPARE(sim->requestCount(), qint64(sent));
        QCOMPARE(sim->requestCount(98), qint64(sent / 2));
        QCOMPARE(sim->requestCount(99), qint64(sent / 2));
        sim->clearRequests();
        QVERIFY(sim->requests().isEmpty());
        QCOMPARE(sim->requestCount(99), qint64(0));
    }

    void eepromStoreMakesTheSensorDeafBriefly() {
        connectTcp();
        peer->ask(Req(6));
        peer->send(Req(7));
        QVERIFY(peer->silentFor(100));
        QTest::qWait(250);
        QCOMPARE(peer->ask(Req(7)).size(), 36);
        sim->setStoreTimeEmulation(false);
        peer->ask(Req(6));
        QCOMPARE(peer->ask(Req(7)).size(), 36);
    }

    void faultsShapeTheAnswer_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("amount");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("flipped"); // byte that differs from the normal answer, -1 none
        QTest::newRow("short") << int(Fault::ShortAnswer) << 0 << 35 << -1;
        QTest::newRow("short 5") << int(Fault::ShortAnswer) << 5 << 31 << -1;
        QTest::newRow("extra") << int(Fault::ExtraBytes) << 0 << 38 << -1;
        QTest::newRow("wrong echo") << int(Fault::WrongEcho) << 0 << 36 << 9;
        QTest::newRow("wrong echo byte 4") << int(Fault::WrongEcho) << 4 << 36 << 4;
        QTest::newRow("wrong sync") << int(Fault::WrongSync) << 0 << 36 << 1;
    }
    void faultsShapeTheAnswer() {
        QFETCH(int, kind);
        QFETCH(int, amount);
        QFETCH(int, length);
        QFETCH(int, flipped);
        connectTcp();
        sim->armFault({Fault(kind), 2, amount});
        const QByteArray req = Req(30, {1000, 1000, 1000});
        const QByteArray normal = peer->ask(req);
        peer->send(req);
        QVERIFY(peer->waitFor(length));
        QVERIFY(!peer->waitFor(length + 1, 50));
        const QByteArray faulty = peer->take(length);
        for (int i = 0; i < std::min(length, 36); ++i)
            QCOMPARE(faulty[i] != normal[i], i == flipped);
        if (length > 36) QCOMPARE(faulty.mid(36), QByteArray(length - 36, char(0xEE)));
        QCOMPARE(peer->ask(req), normal);
        QVERIFY(sim->armedFaults().isEmpty());
    }

    void faultsOnTheLine() {
        connectTcp();
        sim->armFault({Fault::NoAnswer, 1});
        peer->send(Req(1, params(7)));
        QVERIFY(peer->silentFor(150));
        QCOMPARE(sim->state().ramParams[tsim::PCalcmode], 0); // lost, so not executed either

        sim->armFault({Fault::Delay, 1, 150});
        QElapsedTimer t;
        t.start();
        peer->send(Req(31));
        peer->send(Req(8));
        QCOMPARE(W(peer->take(36, 1000), 1), 31);
        QVERIFY(t.elapsed() >= 145);
        QCOMPARE(W(peer->take(), 1), 8); // a late answer is not overtaken

        sim->armFault({Fault::Unsolicited, 1, 10});
        QCOMPARE(W(peer->ask(Req(8)), 1), 8);
        QVERIFY(peer->waitFor(10, 500));
        QCOMPARE(peer->in.size(), 10);
        peer->in.clear();

        sim->armFault({Fault::WrongSync, 0});
        for (int n = 0; n < 3; ++n)
            QCOMPARE(peer->ask(Req(8)).left(2), QByteArray("\x00\x55", 2));
        sim->clearFaults();
        QCOMPARE(peer->ask(Req(8)).left(2), QByteArray("\x00\xAA", 2));
    }

    void disconnectAfterTheHitTelegram_data() { addLinks(); }
    void disconnectAfterTheHitTelegram() {
        QFETCH(QString, link);
        connectLink(link);
        sim->armFault({Fault::Disconnect, 2});
        QCOMPARE(peer->ask(Req(8)).size(), 36);
        QCOMPARE(peer->ask(Req(8)).size(), 36);
        if (link == "tcp") {
            auto &sock = static_cast<TcpPeer *>(peer.get())->sock;
            QTRY_COMPARE_WITH_TIMEOUT(sock.state(), QAbstractSocket::UnconnectedState, 1000);
            peer = std::make_unique<TcpPeer>(sim->tcpPort());
        } else {
            peer->send(Req(8));
            QVERIFY(peer->silentFor(100));
            sim->clearFaults();
        }
        QCOMPARE(peer->ask(Req(8)).size(), 36);
    }

    void newTcpClientTakesTheLineOver() {
        connectTcp();
        TcpPeer second(sim->tcpPort());
        QCOMPARE(second.ask(Req(7)).size(), 36);
        QTRY_COMPARE_WITH_TIMEOUT(static_cast<TcpPeer *>(peer.get())->sock.state(),
                                  QAbstractSocket::UnconnectedState, 1000);
    }

    void executableServesAPtyAndEndsOnSigterm() {
        const QString dir =
            qEnvironmentVariable("TOLVANE_BIN_DIR", QCoreApplication::applicationDirPath());
        QTemporaryDir tmp;
        const QString linkPath = tmp.filePath("com1");
        QProcess proc;
        proc.start(dir + "/tolvane-sim",
                   {"--tcp-port", "0", "--pty", linkPath, "--quiet", "--fault", "wrong_sync:1"});
        QVERIFY2(proc.waitForReadyRead(3000), qPrintable(proc.errorString()));
        const QString line = QString::fromLocal8Bit(proc.readLine()).trimmed();
        QVERIFY2(line.startsWith("tolvane-sim: pty /dev/pts/") && line.endsWith(" -> " + linkPath),
                 qPrintable(line));
        PtyPeer pty(linkPath);
        QCOMPARE(pty.ask(Req(8)).left(2), QByteArray("\x00\x55", 2)); // --fault wrong_sync:1
        QCOMPARE(pty.ask(Req(7)), QByteArray("TOLVANE-SIM V1.2 COLOUR/GLOSS SENSOR"));
        proc.terminate();
        QVERIFY(proc.waitForFinished(3000));
        QCOMPARE(proc.exitStatus(), QProcess::NormalExit);
        QCOMPARE(proc.exitCode(), 0);
        QVERIFY(!QFileInfo(linkPath).isSymLink());
    }
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
