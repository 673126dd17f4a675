// Cutting automatic frames out of the bytes as they arrive: what is taken is
// what the sensor sent whole, whatever words it holds, and a fragment glued
// to the start of a frame never becomes one, whatever its length and however
// late the frame's rest comes.
#include "link/Link.h"

#include <QTest>

namespace {
constexpr double kGap = 0.03, kProof = 0.25;

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
    void anyWordsTaken_data();
    void anyWordsTaken();
    void glueNeverTaken_data();
    void glueNeverTaken();
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
    // A frame that ends like the start of a head (GN 170: 00 AA) may be a
    // fragment with an answer's start glued on: 34 bytes behind it that go
    // on with that head are the rest of such an answer, and refuse it. Bytes
    // that break the head, the next frame, or a long quiet prove it.
    const QByteArray endsInHead = Frame(6, {{17, 170}});
    const QByteArray rest = QByteArray("\x00\x05", 2) + QByteArray(32, 0x55);
    QTest::newRow("GN 170, then the rest of a glued answer")
        << Script{{endsInHead + rest + b, 0}} << QList<QByteArray>{endsInHead.right(2) + rest, b}
        << 1;
    QTest::newRow("GN 170, a pause, then the rest of a glued answer")
        << Script{{endsInHead, 0}, {rest, 60}, {b, 100}} << QList<QByteArray>{b} << 2;
    QTest::newRow("GN 170, then no telegram") << Script{{endsInHead + QByteArray(36, 0x55) + b, 0}}
                                              << QList<QByteArray>{endsInHead, b} << 1;
    QTest::newRow("GN 170, then a frame")
        << Script{{endsInHead, 0}, {b, 100}} << QList<QByteArray>{endsInHead, b} << 0;
    QTest::newRow("GN 170, alone") << Script{{endsInHead, 0}} << QList<QByteArray>{endsInHead} << 0;
    QTest::newRow("head in the body, alone")
        << Script{{headInBody, 0}, {a, 300}} << QList<QByteArray>{headInBody, a} << 0;
    QTest::newRow("head in the body, next frame at once")
        << Script{{headInBody + a, 0}} << QList<QByteArray>{headInBody, a} << 0;
    QTest::newRow("head in the body, glued behind a fragment")
        << Script{{b.left(10) + headInBody, 0}, {a, 300}} << QList<QByteArray>{headInBody, a} << 1;
}

namespace {
// Plays the script into a stream the way the recording loop does: looking at
// the line often, also between arrivals, and long after the last.
QList<QByteArray> Play(const Script &script, unsigned *skipped = nullptr) {
    framing::FrameStream stream(kGap, kProof);
    QList<QByteArray> taken;
    unsigned char frame[36];
    auto judge = [&](double now) {
        while (stream.next(now, frame))
            taken << QByteArray(reinterpret_cast<char *>(frame), 36);
    };
    for (const Arrival &arrival : script) {
        const double now = arrival.ms / 1000.0;
        judge(now - 0.001);
        stream.add(reinterpret_cast<const unsigned char *>(arrival.bytes.constData()),
                   int(arrival.bytes.size()), now);
        judge(now);
    }
    for (int ms = 5; ms <= 500; ms += 5)
        judge(script.last().ms / 1000.0 + ms / 1000.0);
    if (skipped) *skipped = stream.skipped();
    return taken;
}
} // namespace

// Every frame the script delivers whole is taken, in order, and nothing
// else; each fragment counts as one skipped frame.
void TstFraming::stream() {
    QFETCH(Script, script);
    unsigned skipped = 0;
    QTEST(Play(script, &skipped), "taken");
    QTEST(int(skipped), "skipped");
}

void TstFraming::anyWordsTaken_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("ordinary") << Frame(1);
    QTest::newRow("group 1000, trigger off") << Frame(1, {{13, 1000}});
    QTest::newRow("group 1023 with trigger") << Frame(1, {{13, 1024 + 1023}});
    QTest::newRow("group 31") << Frame(1, {{13, 31}});
    QTest::newRow("vector 31") << Frame(1, {{8, 31}});
    for (int k : {2, 3, 4, 7, 17})
        QTest::addRow("word %d beyond 12 bits", k) << Frame(1, {{k, 5000}});
    QTest::newRow("all words full") << Frame(1, {{2, 65535}, {7, 65535}, {13, 65535}, {17, 65535}});
    // These end in bytes that look like the start of a head.
    for (int gn : {0, 170, 256, 0xAA00})
        QTest::addRow("GN %d", gn) << Frame(1, {{17, uint16_t(gn)}});
}

// The values a frame holds are the sensor's business: alone, in a run and
// right after another frame, it is taken as it came.
void TstFraming::anyWordsTaken() {
    QFETCH(QByteArray, frame);
    const QByteArray a = Frame(2);
    QCOMPARE(Play({{frame, 0}}), QList<QByteArray>{frame});
    QCOMPARE(Play({{a, 0}, {frame, 100}, {a, 200}}), (QList<QByteArray>{a, frame, a}));
    QCOMPARE(Play({{frame + a + frame, 0}}), (QList<QByteArray>{frame, a, frame}));
}

void TstFraming::glueNeverTaken_data() {
    QTest::addColumn<QByteArray>("frame"); // every frame the sensor sends looks like this
    QTest::addColumn<int>("fragment");
    const struct {
        const char *name;
        QByteArray frame;
    } kinds[] = {
        {"plain", Frame(7)},
        {"GN 0", Frame(7, {{17, 0}})},
        {"GN 170", Frame(7, {{17, 170}})},
        {"GN 256", Frame(7, {{17, 256}})},
        // Words 4 and 5 are 170 and 5: the rest of a glued frame may begin
        // with what looks like a head.
        {"head in the body", Frame(7, {{4, 170}, {5, 5}})},
    };
    for (const auto &kind : kinds)
        for (int n = 1; n <= 35; ++n)
            QTest::addRow("%s, %d glued", kind.name, n) << kind.frame << n;
}

// The first n bytes of an earlier frame come glued in front of a frame, and
// that frame's last n bytes follow 0..200 ms later, before the next frame.
// Whatever n and the delay, only frames the sensor sent whole are taken, and
// the frames after the glitch are among them; so is the one before it, unless
// the bytes after it are not even a head (a fragment of 1 to 3 bytes) or its
// own body holds a head: what follows a frame decides, and that could be the
// rest of a glued one.
void TstFraming::glueNeverTaken() {
    QFETCH(QByteArray, frame);
    QFETCH(int, fragment);
    auto variant = [&frame](int seed) {
        QByteArray f = frame;
        f[7] = char(seed); // R's low byte tells them apart
        return f;
    };
    const QByteArray before = variant(1), glued = variant(2), after = variant(3), last = variant(4),
                     earlier = variant(5);
    const QList<QByteArray> sent{before, glued, after, last};
    // A head inside every frame: the fragment right behind the frame before
    // may look like that frame's glued rest, and the frame before goes too.
    const bool maySwallowBefore =
        framing::InnerHead(reinterpret_cast<const unsigned char *>(frame.constData()), 36, 5) >= 0;
    for (int delay = 0; delay <= 200; ++delay) {
        // The next frame comes on its own time, or right behind the late
        // rest, as a sensor sends what waited.
        for (bool behind : {false, true}) {
            const Script script =
                behind ? Script{{before, 0},
                                {earlier.left(fragment) + glued.left(36 - fragment), 100},
                                {glued.right(fragment) + after, 100 + delay},
                                {last, 400 + delay}}
                       : Script{{before, 0},
                                {earlier.left(fragment) + glued.left(36 - fragment), 100},
                                {glued.right(fragment), 100 + delay},
                                {after, 300 + delay},
                                {last, 400 + delay}};
            const QString where =
                QStringLiteral("delay %1 ms%2: ").arg(delay).arg(behind ? ", next behind" : "");
            const QList<QByteArray> taken = Play(script);
            for (const QByteArray &f : taken)
                QVERIFY2(sent.contains(f), qPrintable(where + f.toHex(' ') + " taken"));
            for (const QByteArray &f : {before, after, last})
                if (f != before || (fragment >= 4 && !maySwallowBefore))
                    QVERIFY2(taken.contains(f), qPrintable(where + "a whole frame lost"));
        }
    }
}

QTEST_GUILESS_MAIN(TstFraming)
#include "tst_framing.moc"
