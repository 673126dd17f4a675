// The fuzz targets' short deterministic run: each reader of outside bytes
// meets its seed corpus and a few thousand mutations of it (fixed seed).
// Under the sanitizer build a read outside a buffer fails here as well.
#include "fuzz/FuzzTargets.h"

#include <QTest>
#include <random>

namespace {
constexpr int kMutations = 3000;
constexpr int kMaxInput = 64 * 1024;

// Pieces that readers of numbers and lines stumble over.
const QByteArray kTokens[] = {"-1",
                              "65535",
                              "65536",
                              "99999999999999999999",
                              QByteArray(1, '\0'),
                              "\r\n",
                              "\n\n",
                              " ",
                              "+7",
                              "0x10",
                              "1e3",
                              "\t",
                              "\xff\xfe",
                              QByteArray(300, 'A'),
                              "\x00\xAA\x00\x05"};

QByteArray Mutate(QByteArray in, std::mt19937 &rng) {
    auto pick = [&rng](int n) { return n <= 0 ? 0 : int(rng() % unsigned(n)); };
    const int rounds = 1 + pick(4);
    for (int r = 0; r < rounds; ++r) {
        const int at = pick(int(in.size()) + 1);
        switch (pick(7)) {
        case 0: // a bit flipped
            if (!in.isEmpty()) in[at % in.size()] = char(in[at % in.size()] ^ (1 << pick(8)));
            break;
        case 1: // a byte replaced
            if (!in.isEmpty()) in[at % in.size()] = char(pick(256));
            break;
        case 2: // a piece removed
            in.remove(at, 1 + pick(40));
            break;
        case 3: // a piece repeated
            in.insert(at, in.mid(pick(int(in.size())), 1 + pick(200)));
            break;
        case 4: // a troublesome token
            in.insert(at, kTokens[pick(int(std::size(kTokens)))]);
            break;
        case 5: // cut short
            in.truncate(at);
            break;
        default: // random bytes
            for (int i = pick(16); i > 0; --i)
                in.insert(at, char(pick(256)));
            break;
        }
    }
    return in.left(kMaxInput);
}
} // namespace

class TstFuzz : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { QVERIFY(fuzz::Start()); }
    void cleanupTestCase() { fuzz::Stop(); }

    void readers_data() {
        QTest::addColumn<QString>("target");
        for (const fuzz::Target &t : fuzz::Targets())
            QTest::newRow(t.name) << QString(t.name);
    }

    void readers() {
        QFETCH(QString, target);
        const fuzz::Run run = fuzz::TargetNamed(qPrintable(target));
        QVERIFY(run);
        const QList<QByteArray> seeds =
            fuzz::Seeds(QStringLiteral(TOLVANE_SOURCE_DIR "/fuzz/corpus/") + target);
        QVERIFY(!seeds.isEmpty());
        auto feed = [run](const QByteArray &b) {
            run(reinterpret_cast<const uint8_t *>(b.constData()), size_t(b.size()));
        };
        for (const QByteArray &s : seeds)
            feed(s);
        feed(QByteArray());
        std::mt19937 rng(20261208u);
        for (int i = 0; i < kMutations; ++i)
            feed(Mutate(seeds[int(rng() % unsigned(seeds.size()))], rng));
    }
};

QTEST_MAIN(TstFuzz)
#include "tst_fuzz.moc"
