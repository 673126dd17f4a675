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

#include "core/SensorData.h"

#include <QDir>
#include <QEventLoop>
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
int CBF_ButtonSendCF(int, int, int, void *, int, int);
int CBF_ButtonGetCF(int, int, int, void *, int, int);

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
int glued = 0;       // bytes glued in front of the next piece of 36
QByteArray cutFrame; // the start of the frame a glued fragment cut
QByteArray paced;    // the bytes of a telegram sent one by one, so far
int foreignShown = 0;
int framesShown = 0;

void CheckShown() {
    QByteArray shown(36, '\0');
    for (int k = 0; k < 18; ++k) {
        shown[2 * k] = char(databuf[k] >> 8);
        shown[2 * k + 1] = char(databuf[k]);
    }
    ++framesShown;
    if (!wholeFrames.contains(shown)) {
        ++foreignShown;
        qWarning("foreign %s of %d", shown.toHex(' ').constData(), int(wholeFrames.size()));
    }
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
    void valuesAreTheSensors_data();
    void valuesAreTheSensors();
    void aBoxDuringGoNeverStopsIt_data();
    void aBoxDuringGoNeverStopsIt();

  private:
    QMetaObject::Connection m_sent;
};

void TestGlitches::initTestCase() {
    QVERIFY(fixture::StartProgram());
    QVERIFY(fixture::StartUp());
    fixture::CheckNoUnexpectedPopups();
    // A fragment with a frame's start glued on leaves the simulator as one
    // piece of 36 bytes: no frame the sensor sent. The frame it cut is,
    // once its rest follows.
    connect(&fixture::Sim(), &tsim::Simulator::faultHit, [](tsim::FaultPlan f, int) {
        if (f.kind == tsim::Fault::SplitAnswer ||
            (f.kind == tsim::Fault::StrayHead && f.delayMs >= 0))
            glued = f.amount > 0 ? f.amount : 7;
    });
    m_sent = connect(&fixture::Sim(), &tsim::Simulator::answerSent, [](QByteArray b) {
        // Byte by byte on a paced line: the pieces make up the telegram.
        if (b.size() == 1) {
            paced += b;
            if (paced.size() < 36) return;
            b = paced;
            paced.clear();
        }
        if (glued > 0 && b.size() == 36) {
            cutFrame = b.mid(glued);
            glued = 0;
            return;
        }
        if (!cutFrame.isEmpty() && cutFrame.size() + b.size() == 36) {
            wholeFrames << cutFrame + b;
            cutFrame.clear();
            return;
        }
        if (b.size() == 36 && Word(b, 0) == 0x00AA && Word(b, 1) == 5) wholeFrames << b;
    });
}

void TestGlitches::init() {
    session::poll = 0;
    wholeFrames.clear();
    glued = 0;
    cutFrame.clear();
    paced.clear();
    foreignShown = framesShown = 0;
    pollFrameHook = CheckShown;
    fixture::Sim().setAutoSendIntervalMs(40);
}

void TestGlitches::cleanup() {
    pollFrameHook = nullptr;
    for (int word : {2, 4, 5, 13, 17})
        fixture::Sim().setFrameWord(word, -1);
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
    QTest::addColumn<int>("fragment");    // bytes glued in front; 0 = the fault's default
    QTest::addColumn<int>("delay");       // ms until the frame's rest; -1 = the default

    const int none = int(tsim::Fault::None), split = int(tsim::Fault::SplitAnswer),
              strayHead = int(tsim::Fault::StrayHead);
    for (bool serial : {false, true}) {
        const char *link = serial ? "pty" : "TCP";
        QTest::addRow("%s, GO, split answer", link)
            << serial << int(kGo) << split << false << 0 << -1;
        QTest::addRow("%s, counted, split answer", link)
            << serial << int(kCounted) << split << false << 0 << -1;
        QTest::addRow("%s, triggered, half frame", link)
            << serial << int(kTriggered) << int(tsim::Fault::HalfFrame) << false << 0 << -1;
        QTest::addRow("%s, triggered, stray head", link)
            << serial << int(kTriggered) << strayHead << false << 0 << -1;
        QTest::addRow("%s, GO, head in the body", link)
            << serial << int(kGo) << none << true << 0 << -1;
        QTest::addRow("%s, triggered, head in the body", link)
            << serial << int(kTriggered) << none << true << 0 << -1;
        // A sample of fragment lengths and late rests: the tail lengths that
        // leave only the start of a head inside, and delays within the
        // quiet, within the pause, and well beyond a cycle.
        const struct {
            int fragment, delay;
        } sample[] = {{34, 50}, {35, 200}, {33, 3}, {1, 120}, {20, 0}};
        for (const auto &g : sample)
            QTest::addRow("%s, GO, %d glued, rest %d ms late", link, g.fragment, g.delay)
                << serial << int(kGo) << split << false << g.fragment << g.delay;
        // A counted run waits out the answer time after the glitch: one sample.
        for (const auto &g : {sample[1]})
            QTest::addRow("%s, counted, %d glued, rest %d ms late", link, g.fragment, g.delay)
                << serial << int(kCounted) << split << false << g.fragment << g.delay;
        for (const auto &g : {sample[0], sample[1]})
            QTest::addRow("%s, triggered, %d glued, rest %d ms late", link, g.fragment, g.delay)
                << serial << int(kTriggered) << strayHead << false << g.fragment << g.delay;
        // The rest of the glued frame begins with what looks like a head.
        QTest::addRow("%s, GO, head in the body, 28 glued", link)
            << serial << int(kGo) << split << true << 28 << 50;
        QTest::addRow("%s, triggered, head in the body, 28 glued", link)
            << serial << int(kTriggered) << strayHead << true << 28 << 50;
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
    QFETCH(int, fragment);
    QFETCH(int, delay);
    tsim::Simulator &sim = fixture::Sim();
    Connect(serial);
    if (headInBody) {
        sim.setFrameWord(4, 170);
        sim.setFrameWord(5, 5);
    }
    const bool glitch = fault != int(tsim::Fault::None);
    if (glitch) sim.armFault({tsim::Fault(fault), 3, fragment, delay});
    // The rest of a broken answer comes and goes before the next start.
    const int settle = std::max(delay, 50) + 150;
    wholeFrames.clear();
    const QString path = Path("glitch.dat");

    if (mode == kGo) {
        const int frames = RunGo(1500);
        QCOMPARE(foreignShown, 0);
        if (glitch) {
            QCOMPARE(frames, 2);
            QCOMPARE(Status(), QString("TIMEOUT"));
            fixture::Pump(settle);
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
        fixture::Pump(settle);
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
        Record(kTriggered, path, 0, 600 + std::max(delay, 0));
        const QList<QList<int>> lines = FileValues(path);
        // Every line is a frame sent whole, in order; a glitch may take the
        // frame before it along (what follows a frame decides on it).
        QVERIFY2(lines.size() >= 4 && lines.size() >= wholeFrames.size() - (glitch ? 2 : 1),
                 qPrintable(QString("%1 of %2").arg(lines.size()).arg(wholeFrames.size())));
        qsizetype next = 0;
        for (const QList<int> &line : lines) {
            while (next < wholeFrames.size() && LineValues(wholeFrames[next]) != line)
                ++next;
            QVERIFY2(next < wholeFrames.size(), "a line no frame sent whole, or out of order");
            ++next;
        }
        if (glitch) {
            QVERIFY(recTally.skipped >= 1 && recTally.skipped <= 2);
            QVERIFY(popupscript::Log().last().text.contains("broken frame"));
        } else {
            QCOMPARE(int(recTally.skipped), 0);
        }
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

void TestGlitches::valuesAreTheSensors_data() {
    QTest::addColumn<bool>("serial");
    QTest::newRow("TCP") << false;
    QTest::newRow("pty") << true;
}

// Words the panels never show in their usual ranges are still the sensor's:
// group 1000 with the trigger off, group 1023 with it on, R and GN above 12
// bits are shown as sent, and a calibration factor of 5000 written with
// SEND CF reads back with GET CF.
void TestGlitches::valuesAreTheSensors() {
    QFETCH(bool, serial);
    tsim::Simulator &sim = fixture::Sim();
    Connect(serial);
    sim.setFrameWord(13, 1000);
    sim.setFrameWord(2, 5000);
    sim.setFrameWord(17, 4096);
    QVERIFY(RunGo(300) >= 3);
    QVERIFY(Status() != "TIMEOUT");
    QCOMPARE(foreignShown, 0);
    QCOMPARE(int(dataGroup), 1000);
    QCOMPARE(int(dataTrigger), 0);
    QCOMPARE(int(dataR), 5000);
    QCOMPARE(int(dataGn), 4096);
    int shown = 0;
    GetCtrlVal(datapanel, DATAP_DispGroup, &shown);
    QCOMPARE(shown, 1000);
    sim.setFrameWord(13, 1024 + 1023);
    QVERIFY(RunGo(300) >= 3);
    QCOMPARE(int(dataGroup), 1023);
    QCOMPARE(int(dataTrigger), 1);

    const uint16_t kept[3] = {sim.state().cf[0], sim.state().cf[1], sim.state().cf[2]};
    SetCtrlVal(calibpanel, CALIBP_EditCFR, 5000);
    SetCtrlVal(calibpanel, CALIBP_EditCFG, 1000);
    SetCtrlVal(calibpanel, CALIBP_EditCFB, 65535);
    popupscript::Expect("ATTENTION!", 1); // outside the range a calibration accepts
    CBF_ButtonSendCF(calibpanel, CALIBP_ButtonSendCF, EVENT_COMMIT, nullptr, 0, 0);
    QCOMPARE(int(sim.state().cf[0]), 5000);
    QCOMPARE(int(sim.state().cf[2]), 65535);
    SetCtrlVal(calibpanel, CALIBP_EditCFR, 0);
    SetCtrlVal(calibpanel, CALIBP_EditCFB, 0);
    CBF_ButtonGetCF(calibpanel, CALIBP_ButtonGetCF, EVENT_COMMIT, nullptr, 0, 0);
    QCOMPARE(int(cfrot), 5000);
    QCOMPARE(int(cfblau), 65535);
    int field = 0;
    GetCtrlVal(calibpanel, CALIBP_EditCFR, &field);
    QCOMPARE(field, 5000);
    QVERIFY(Status() != "TIMEOUT");
    for (int i = 0; i < 3; ++i)
        sim.state().cf[i] = kept[i];
    if (serial) Connect(false);
}

void TestGlitches::aBoxDuringGoNeverStopsIt_data() {
    QTest::addColumn<bool>("serial");
    QTest::newRow("TCP") << false;
    QTest::newRow("pty at 9600 baud, byte by byte") << true;
}

// A box the operator opens during GO (a help text on a right click, any
// question) holds the program in its own event loop while an answer is
// arriving byte by byte: the bytes are stamped as they come, so the box's
// time is no pause inside the answer, and GO goes on.
void TestGlitches::aBoxDuringGoNeverStopsIt() {
    QFETCH(bool, serial);
    tsim::Simulator &sim = fixture::Sim();
    const int baudIndex = sim.state().baudIndex;
    if (serial) {
        sim.state().baudIndex = 0;
        sim.setEmulateWireTime(true);
        sim.setPaceBytes(true);
    }
    Connect(serial);
    int boxes = 0;
    QTimer opener;
    opener.setInterval(45);
    connect(&opener, &QTimer::timeout, [&boxes] {
        if (session::poll != 1) return;
        ++boxes;
        // What a modal box's exec() does: its own loop until it is closed.
        QEventLoop box;
        QTimer::singleShot(80, &box, &QEventLoop::quit);
        box.exec();
    });
    opener.start();
    const int frames = RunGo(1500);
    opener.stop();
    sim.setPaceBytes(false);
    sim.setEmulateWireTime(false);
    sim.state().baudIndex = baudIndex;
    QVERIFY2(boxes >= 8, qPrintable(QString::number(boxes)));
    QVERIFY2(Status() != "TIMEOUT", qPrintable(Status()));
    QVERIFY2(frames >= 8, qPrintable(QString::number(frames)));
    QCOMPARE(foreignShown, 0);
    if (serial) Connect(false);
}

QTEST_MAIN(TestGlitches)
#include "tst_glitches.moc"
