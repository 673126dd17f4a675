// Glitches on the line (a fragment glued to the start of an answer, half a
// frame and stray head bytes among the automatic frames) over TCP and over a
// pseudo-terminal: no value the sensor did not send reaches the displays or
// the record file, and the frame after the glitch does.
#include "core/Session.h"
#include "core/Ui.h"
#include "link/Link.h"
#include "live/Live.h"
#include "platform/Platform.h"
#include "recorder/Recorder.h"
#include "sim/Simulator.h"
#include "support/AppFixture.h"
#include "support/WindowSuite.h"
#include "uir_ids.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QTimer>

int CBF_ButtonGo(int, int, int, void *, int, int);
int CBF_ButtonStop(int, int, int, void *, int, int);
int CBF_ButtonSelRecFile(int, int, int, void *, int, int);
int CBF_EditSelectDataRec(int, int, int, void *, int, int);
int CBF_ButtonStartRecord(int, int, int, void *, int, int);
int CBF_ButtonStartTrigRec(int, int, int, void *, int, int);
int CBF_ButtonStopTrigRec(int, int, int, void *, int, int);

namespace {
enum Mode { kGo, kCounted, kTriggered };

uint16_t Word(const QByteArray &t, int k) {
    return uint16_t(uint8_t(t[2 * k]) * 256 + uint8_t(t[2 * k + 1]));
}

// The values a record line holds, in the line's order.
QList<int> LineValues(const QByteArray &frame) {
    QList<int> v;
    for (int k : {2, 3, 4, 14, 15, 16, 5, 6, 7, 17, 8, 12})
        v << Word(frame, k);
    return v;
}

QList<QList<int>> FileValues(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QList<QList<int>> lines;
    const QList<QByteArray> all = f.readAll().split('\n');
    for (qsizetype i = 1; i < all.size(); ++i) { // the header first
        const QList<QByteArray> fields = all[i].trimmed().split('\t');
        if (fields.size() < 14) continue;
        QList<int> v;
        for (int j = 2; j < 14; ++j)
            v << fields[j].toInt();
        lines << v;
    }
    return lines;
}

// The data frames the simulator sent whole, in order.
QList<QByteArray> wholeFrames;
int foreignShown = 0;
int framesShown = 0;

void CheckShown() {
    QByteArray shown(36, '\0');
    for (int k = 0; k < 18; ++k) {
        shown[2 * k] = char(databuf[k] >> 8);
        shown[2 * k + 1] = char(databuf[k]);
    }
    ++framesShown;
    if (!wholeFrames.contains(shown)) ++foreignShown;
}

void Click(int (*cb)(int, int, int, void *, int, int), int control) {
    cb(recpanel, control, EVENT_COMMIT, nullptr, 0, 0);
}

void Connect(bool serial) {
    tsim::Simulator &sim = fixture::Sim();
    sim.clearFaults();
    if (serial) {
        if (sim.ptyPath().isEmpty()) QVERIFY2(sim.openPty(), qPrintable(sim.errorString()));
        fixture::SelectSerial(sim.ptyPath(), sim.baudIndex());
    } else {
        fixture::SelectTcp();
    }
    TryToConnect();
    QCOMPARE(int(comecho), 1);
}

QString Path(const QString &name) {
    return QDir(fixture::ProgramDir()).filePath(name);
}

void Record(Mode mode, const QString &path, int count, int stopAfterMs) {
    QFile::remove(path);
    popupscript::Expect("FILENAME!", VAL_NEW_FILE_SELECTED, path);
    Click(CBF_ButtonSelRecFile, RECP_ButtonSelRecFile);
    SetCtrlVal(recpanel, RECP_EditSelectDataRec,
               int(mode == kCounted ? kRecCounted : kRecTriggered));
    Click(CBF_EditSelectDataRec, RECP_EditSelectDataRec);
    popupscript::Expect("ATTENTION!", 1);
    popupscript::Expect("ATTENTION!");
    popupscript::Expect("INFO!");
    if (mode == kCounted) {
        SetCtrlVal(recpanel, RECP_EditInterval, 0);
        SetCtrlVal(recpanel, RECP_EditRecVal, count);
        Click(CBF_ButtonStartRecord, RECP_ButtonStartRecord);
    } else {
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout,
                         [] { Click(CBF_ButtonStopTrigRec, RECP_ButtonStopTrigRec); });
        guard.start(stopAfterMs);
        Click(CBF_ButtonStartTrigRec, RECP_ButtonStartTrigRec);
    }
}

int RunGo(int stopAfterMs) {
    const int before = framesShown;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        CBF_ButtonStop(mainpanel, MAINP_ButtonStop, EVENT_COMMIT, nullptr, 0, 0);
    });
    guard.start(stopAfterMs);
    CBF_ButtonGo(mainpanel, MAINP_ButtonGo, EVENT_COMMIT, nullptr, 0, 0);
    return framesShown - before;
}

QString Status() {
    QString s;
    GetCtrlVal(datapanel, DATAP_DispStatus, &s);
    return s;
}
} // namespace

class TestGlitches : public fixture::WindowSuite {
    Q_OBJECT
  private slots:
    void initTestCase();
    void init();
    void cleanup();
    void onlyWhatTheSensorSentIsTaken_data();
    void onlyWhatTheSensorSentIsTaken();
    void cleanRunLosesNoFrame_data();
    void cleanRunLosesNoFrame();

  private:
    QMetaObject::Connection m_sent;
};

void TestGlitches::initTestCase() {
    QVERIFY(fixture::StartProgram());
    QVERIFY(fixture::StartUp());
    fixture::CheckNoUnexpectedPopups();
    m_sent = connect(&fixture::Sim(), &tsim::Simulator::answerSent, [](const QByteArray &b) {
        if (b.size() == 36 && Word(b, 0) == 0x00AA && Word(b, 1) == 5) wholeFrames << b;
    });
}

void TestGlitches::init() {
    session::poll = 0;
    wholeFrames.clear();
    foreignShown = framesShown = 0;
    pollFrameHook = CheckShown;
    fixture::Sim().setAutoSendIntervalMs(40);
}

void TestGlitches::cleanup() {
    pollFrameHook = nullptr;
    fixture::Sim().setFrameWord(4, -1);
    fixture::Sim().setFrameWord(5, -1);
    fixture::Sim().clearFaults();
    fixture::CheckNoUnexpectedPopups();
    QCOMPARE(popupscript::Pending(), 0);
    session::poll = 0;
}

void TestGlitches::onlyWhatTheSensorSentIsTaken_data() {
    QTest::addColumn<bool>("serial");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("headInBody"); // words 4 and 5 of every frame are 170 and 5

    const int none = int(tsim::Fault::None), split = int(tsim::Fault::SplitAnswer);
    for (bool serial : {false, true}) {
        const char *link = serial ? "pty" : "TCP";
        QTest::addRow("%s, GO, split answer", link) << serial << int(kGo) << split << false;
        QTest::addRow("%s, counted, split answer", link)
            << serial << int(kCounted) << split << false;
        QTest::addRow("%s, triggered, half frame", link)
            << serial << int(kTriggered) << int(tsim::Fault::HalfFrame) << false;
        QTest::addRow("%s, triggered, stray head", link)
            << serial << int(kTriggered) << int(tsim::Fault::StrayHead) << false;
        QTest::addRow("%s, GO, head in the body", link) << serial << int(kGo) << none << true;
        QTest::addRow("%s, triggered, head in the body", link)
            << serial << int(kTriggered) << none << true;
    }
}

// The glitch hits the third frame. Requested frames: the two before it are
// taken, the broken answer ends the transfer as a missing one would, and the
// next start takes frames again. Automatic frames: every frame sent whole is
// recorded, the one right after the glitch too, and the glitch is counted.
// A body holding the words 170 and 5 is no glitch: every such frame is taken.
void TestGlitches::onlyWhatTheSensorSentIsTaken() {
    QFETCH(bool, serial);
    QFETCH(int, mode);
    QFETCH(int, fault);
    QFETCH(bool, headInBody);
    tsim::Simulator &sim = fixture::Sim();
    Connect(serial);
    if (headInBody) {
        sim.setFrameWord(4, 170);
        sim.setFrameWord(5, 5);
    }
    const bool glitch = fault != int(tsim::Fault::None);
    if (glitch) sim.armFault({tsim::Fault(fault), 3, 0});
    wholeFrames.clear();
    const QString path = Path("glitch.dat");

    if (mode == kGo) {
        const int frames = RunGo(1500);
        QCOMPARE(foreignShown, 0);
        if (glitch) {
            QCOMPARE(frames, 2);
            QCOMPARE(Status(), QString("TIMEOUT"));
            fixture::Pump(200); // the rest of the broken answer comes and goes
            ShowChildPanel(2);
            QVERIFY(RunGo(300) >= 2);
            QCOMPARE(foreignShown, 0);
        } else {
            QVERIFY2(frames >= 5, qPrintable(QString::number(frames)));
            QVERIFY(Status() != "TIMEOUT");
        }
    } else if (mode == kCounted) {
        Record(kCounted, path, 8, 0);
        QList<QList<int>> lines = FileValues(path);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(Status(), QString("TIMEOUT"));
        fixture::Pump(200);
        Connect(serial);
        Record(kCounted, path, 3, 0);
        lines += FileValues(path);
        QCOMPARE(lines.size(), 5);
        for (const QList<int> &line : lines) {
            bool sent = false;
            for (const QByteArray &f : wholeFrames)
                sent = sent || LineValues(f) == line;
            QVERIFY(sent);
        }
    } else {
        Record(kTriggered, path, 0, 600);
        const QList<QList<int>> lines = FileValues(path);
        QVERIFY2(lines.size() >= 4 && lines.size() >= wholeFrames.size() - 1,
                 qPrintable(QString("%1 of %2").arg(lines.size()).arg(wholeFrames.size())));
        for (qsizetype i = 0; i < lines.size(); ++i)
            QCOMPARE(lines[i], LineValues(wholeFrames[i]));
        QCOMPARE(int(recTally.skipped), glitch ? 1 : 0);
        if (glitch) QVERIFY(popupscript::Log().last().text.contains("1 broken frame skipped"));
        QCOMPARE(foreignShown, 0);
    }
    if (serial) Connect(false);
}

void TestGlitches::cleanRunLosesNoFrame_data() {
    QTest::addColumn<bool>("serial");
    QTest::newRow("TCP") << false;
    QTest::newRow("pty") << true;
}

// 2000 automatic frames as fast as the simulator sends them: each one is
// recorded, none skipped.
void TestGlitches::cleanRunLosesNoFrame() {
    QFETCH(bool, serial);
    tsim::Simulator &sim = fixture::Sim();
    Connect(serial);
    sim.setAutoSendIntervalMs(1);
    wholeFrames.clear();
    QTimer stopper;
    stopper.setSingleShot(true);
    connect(&stopper, &QTimer::timeout,
            [] { Click(CBF_ButtonStopTrigRec, RECP_ButtonStopTrigRec); });
    auto stop = connect(&sim, &tsim::Simulator::answerSent, [&sim, &stopper] {
        if (wholeFrames.size() < 2000 || stopper.isActive()) return;
        sim.setAutoSendIntervalMs(600000);
        stopper.start(200);
    });
    const QString path = Path("clean.dat");
    Record(kTriggered, path, 0, 60000);
    disconnect(stop);
    const QList<QList<int>> lines = FileValues(path);
    QCOMPARE(lines.size(), wholeFrames.size());
    QVERIFY(lines.size() >= 2000);
    for (qsizetype i = 0; i < lines.size(); ++i)
        QCOMPARE(lines[i], LineValues(wholeFrames[i]));
    QCOMPARE(int(recTally.skipped), 0);
    if (serial) Connect(false);
}

QTEST_MAIN(TestGlitches)
#include "tst_glitches.moc"
