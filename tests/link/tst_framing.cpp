// Cutting automatic frames out of the bytes as they arrive, and the word
// ranges a data frame must keep.
#include "link/Link.h"

#include <QTest>

namespace {
constexpr double kGap = 0.03, kQuiet = 0.008, kDoubt = 0.1;

QByteArray Frame(int seed, std::initializer_list<std::pair<int, uint16_t>> words = {}) {
    uint16_t w[18] = {0x00AA, 5};
    for (int k = 2; k < 18; ++k)
        w[k] = uint16_t(100 * seed + k);
    w[8] = uint16_t(seed % 31);  // vector number
    w[13] = uint16_t(seed % 31); // group
    for (auto [k, v] : words)
        w[k] = v;
    QByteArray b;
    for (uint16_t v : w) {
        b.append(char(v >> 8));
        b.append(char(v & 0xFF));
    }
    return b;
}

// One arrival: its bytes and when they came, in milliseconds.
struct Arrival {
    QByteArray bytes;
    int ms;
};
using Script = QList<Arrival>;
} // namespace

Q_DECLARE_METATYPE(Script)

class TstFraming : public QObject {
    Q_OBJECT
  private slots:
    void stream_data();
    void stream();
    void ranges_data();
    void ranges();
};

void TstFraming::stream_data() {
    QTest::addColumn<Script>("script");
    QTest::addColumn<QList<QByteArray>>("taken");
    QTest::addColumn<int>("skipped");

    const QByteArray a = Frame(1), b = Frame(2), c = Frame(3);
    // Words 4 and 5 (B and X) are 170 and 5: a frame head inside the body.
    const QByteArray headInBody = Frame(4, {{4, 170}, {5, 5}});
    QTest::newRow("frames one by one")
        << Script{{a, 0}, {b, 100}, {c, 200}} << QList<QByteArray>{a, b, c} << 0;
    QTest::newRow("frames in one piece")
        << Script{{a + b + c, 0}} << QList<QByteArray>{a, b, c} << 0;
    QTest::newRow("frame split by the reads")
        << Script{{a.left(5), 0}, {a.mid(5) + b, 2}} << QList<QByteArray>{a, b} << 0;
    QTest::newRow("half frame, then frames")
        << Script{{a.left(18), 0}, {b, 100}, {c, 200}} << QList<QByteArray>{b, c} << 1;
    QTest::newRow("half frame glued to the next")
        << Script{{a.left(18) + b, 0}, {c, 100}} << QList<QByteArray>{b, c} << 1;
    QTest::newRow("stray head glued to a frame")
        << Script{{b.left(7) + a, 0}, {c, 100}} << QList<QByteArray>{a, c} << 1;
    QTest::newRow("stray head, then the frame at once")
        << Script{{b.left(7), 0}, {a, 1}, {c, 100}} << QList<QByteArray>{a, c} << 1;
    QTest::newRow("frame whose tail comes late")
        << Script{{a.left(29), 0}, {a.mid(29), 50}, {b, 100}} << QList<QByteArray>{b} << 1;
    QTest::newRow("no telegram between two frames")
        << Script{{a + QByteArray(36, 0x55) + b, 0}} << QList<QByteArray>{a, b} << 1;
    QTest::newRow("words out of range")
        << Script{{a, 0}, {Frame(5, {{2, 4096}}), 100}, {b, 200}} << QList<QByteArray>{a, b} << 1;
    QTest::newRow("head in the body, alone")
        << Script{{headInBody, 0}, {a, 300}} << QList<QByteArray>{headInBody, a} << 0;
    QTest::newRow("head in the body, next frame at once")
        << Script{{headInBody + a, 0}} << QList<QByteArray>{headInBody, a} << 0;
    QTest::newRow("head in the body, glued behind a fragment")
        << Script{{b.left(10) + headInBody, 0}, {a, 300}} << QList<QByteArray>{headInBody, a} << 1;
}

// Every frame the script delivers whole is taken, in order, and nothing
// else; each fragment counts as one skipped frame.
void TstFraming::stream() {
    QFETCH(Script, script);
    framing::FrameStream stream(kGap, kQuiet, kDoubt);
    QList<QByteArray> taken;
    unsigned char frame[36];
    auto judge = [&](double now) {
        while (stream.next(now, frame))
            taken << QByteArray(reinterpret_cast<char *>(frame), 36);
    };
    for (const Arrival &arrival : script) {
        // The loop looks at the line often, also between arrivals.
        const double now = arrival.ms / 1000.0;
        judge(now - 0.001);
        stream.add(reinterpret_cast<const unsigned char *>(arrival.bytes.constData()),
                   int(arrival.bytes.size()), now);
        judge(now);
    }
    for (int ms = 5; ms <= 500; ms += 5)
        judge(script.last().ms / 1000.0 + ms / 1000.0);
    QTEST(taken, "taken");
    QTEST(int(stream.skipped()), "skipped");
}

void TstFraming::ranges_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("inRange");
    QTest::newRow("ordinary") << Frame(1) << true;
    QTest::newRow("12-bit full scale")
        << Frame(1, {{2, 4095}, {3, 4095}, {4, 4095}, {7, 4095}, {17, 4095}}) << true;
    for (int k : {2, 3, 4, 7, 17})
        QTest::addRow("word %d beyond 12 bits", k) << Frame(1, {{k, 4096}}) << false;
    QTest::newRow("vector 30, group 30 with trigger")
        << Frame(1, {{8, 30}, {13, 1024 + 30}}) << true;
    QTest::newRow("error state") << Frame(1, {{8, 255}, {13, 255 + 1024}}) << true;
    QTest::newRow("vector 31") << Frame(1, {{8, 31}}) << false;
    QTest::newRow("group 31") << Frame(1, {{13, 31}}) << false;
    QTest::newRow("group 1000") << Frame(1, {{13, 1000}}) << false;
    QTest::newRow("group 31 with trigger") << Frame(1, {{13, 1024 + 31}}) << false;
}

void TstFraming::ranges() {
    QFETCH(QByteArray, frame);
    QTEST(framing::FrameInRange(reinterpret_cast<const unsigned char *>(frame.constData())),
          "inRange");
}

QTEST_GUILESS_MAIN(TstFraming)
#include "tst_framing.moc"
