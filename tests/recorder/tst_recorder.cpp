// The recorder against the real panels and the simulated sensor: the record
// file's header and lines, choosing the file, the record time, what each mode
// shows, counted, continuous, manual and triggered recording, a file that
// cannot be written, and automatic sending switched off.
#include "core/LinkStatus.h"
#include "core/SensorData.h"
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
#include "viewer/Viewer.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <functional>

int CBF_ButtonRecorder(int, int, int, void *, int, int);
int CBF_ButtonSelRecFile(int, int, int, void *, int, int);
int CBF_EditSelectDataRec(int, int, int, void *, int, int);
int CBF_EditRecVal(int, int, int, void *, int, int);
int CBF_ButtonStartRecord(int, int, int, void *, int, int);
int CBF_ButtonStopRecord(int, int, int, void *, int, int);
int CBF_ButtonStartTrigRec(int, int, int, void *, int, int);
int CBF_ButtonStopTrigRec(int, int, int, void *, int, int);
int CBF_ButtonManualRecord(int, int, int, void *, int, int);
int CBF_ButtonOpenRecord(int, int, int, void *, int, int);
int CBF_RECP(int, int, int, void *, int, int);

namespace {
const QByteArray kHeader =
    "DATE\tTIME\tRED\tGREEN\tBLUE\tREF\tDIR\tDIF\tX s\tY i\tINT M\tGN\tVECTOR\tTEMP\t\r\n";

QString Path(const QString &name) {
    return QDir(fixture::ProgramDir()).filePath(name);
}

QByteArray Contents(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void Write(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// The lines of a record file, each still with its CR LF.
QList<QByteArray> Lines(const QString &path) {
    QList<QByteArray> lines;
    const QByteArray all = Contents(path);
    qsizetype from = 0;
    while (from < all.size()) {
        const qsizetype end = all.indexOf('\n', from);
        const qsizetype to = end < 0 ? all.size() : end + 1;
        lines << all.mid(from, to - from);
        from = to;
    }
    return lines;
}

uint16_t Word(const QByteArray &telegram, int k) {
    return uint16_t(uint8_t(telegram[2 * k]) * 256 + uint8_t(telegram[2 * k + 1]));
}

QByteArray Telegram(uint16_t sync, uint16_t first) {
    QByteArray t(36, '\0');
    for (int k = 0; k < 18; ++k) {
        const uint16_t w = k == 0 ? sync : k == 1 ? 5 : uint16_t(first + k);
        t[2 * k] = char(w >> 8);
        t[2 * k + 1] = char(w & 0xFF);
    }
    return t;
}

// A record line holds date, time, the eleven values and the temperature of
// the frame, tab-separated, ended by CR LF.
void CheckLine(const QByteArray &line, const QByteArray &frame) {
    QVERIFY2(line.endsWith("\r\n") && !line.endsWith("\t\r\n"), line.constData());
    const QList<QByteArray> fields = line.chopped(2).split('\t');
    QCOMPARE(fields.size(), 14);
    QVERIFY(QRegularExpression("^\\d\\d-\\d\\d-\\d{4}$").match(QString(fields[0])).hasMatch());
    QVERIFY(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d$").match(QString(fields[1])).hasMatch());
    const int words[] = {2, 3, 4, 14, 15, 16, 5, 6, 7, 17, 8, 12};
    for (int i = 0; i < 12; ++i)
        QCOMPARE(fields[2 + i], QByteArray::number(Word(frame, words[i])));
}

int Val(int control) {
    int v = -1;
    GetCtrlVal(recpanel, control, &v);
    return v;
}

void Click(int (*cb)(int, int, int, void *, int, int), int control) {
    cb(recpanel, control, EVENT_COMMIT, nullptr, 0, 0);
}

void SelectMode(int mode) {
    SetCtrlVal(recpanel, RECP_EditSelectDataRec, mode);
    Click(CBF_EditSelectDataRec, RECP_EditSelectDataRec);
}

void ChooseNewFile(const QString &path) {
    QFile::remove(path);
    popupscript::Expect("FILENAME!", VAL_NEW_FILE_SELECTED, path);
    Click(CBF_ButtonSelRecFile, RECP_ButtonSelRecFile);
}

// Runs an interval recording to its end; `result` is the closing pop-up's title.
void RunIntervalRecording(int interval, int count, const QString &result = "INFO!") {
    SetCtrlVal(recpanel, RECP_EditInterval, interval);
    SetCtrlVal(recpanel, RECP_EditRecVal, count);
    popupscript::Expect("ATTENTION!", 1);
    popupscript::Expect("ATTENTION!");
    popupscript::Expect(result);
    Click(CBF_ButtonStartRecord, RECP_ButtonStartRecord);
}

void StartTriggeredRecording() {
    popupscript::Expect("ATTENTION!", 1);
    popupscript::Expect("ATTENTION!");
    popupscript::Expect("INFO!");
    Click(CBF_ButtonStartTrigRec, RECP_ButtonStartTrigRec);
}

popupscript::Shown LastPopup() {
    const auto &log = popupscript::Log();
    return log.isEmpty() ? popupscript::Shown{} : log.last();
}

bool IsOrder(const QByteArray &telegram, uint16_t order, int arg = -1) {
    return telegram.size() == 36 && Word(telegram, 1) == order &&
           (arg < 0 || Word(telegram, 2) == arg);
}

// Collects what the sensor sends and when it is asked for a frame.
struct Traffic {
    QList<QByteArray> frames;
    QList<double> frameRequests;
    QList<QMetaObject::Connection> links;
    std::function<void(const QByteArray &)> onRequest;
    Traffic() {
        tsim::Simulator &sim = fixture::Sim();
        links << QObject::connect(&sim, &tsim::Simulator::answerSent, [this](const QByteArray &b) {
            if (IsOrder(b, 5)) frames << b;
        });
        links << QObject::connect(&sim, &tsim::Simulator::requestReceived,
                                  [this](const QByteArray &r) {
                                      if (IsOrder(r, 5)) frameRequests << Timer();
                                      if (onRequest) onRequest(r);
                                  });
    }
    ~Traffic() {
        for (const auto &c : links)
            QObject::disconnect(c);
    }
};

bool ConnectTcp() {
    fixture::Sim().clearFaults();
    fixture::SelectTcp();
    TryToConnect();
    return comecho == 1 && tcpcon == 1 && comprotocol == 1;
}
} // namespace

class TestRecorder : public fixture::WindowSuite {
    Q_OBJECT
  private slots:
    void initTestCase();
    void init();
    void cleanup();

    void defaultFileTakesManualLinesWithoutHeader();
    void chooseFile_data();
    void chooseFile();
    void existingFileQuestionKeepsTheFile_data();
    void existingFileQuestionKeepsTheFile();
    void numberedCopiesNeverReplaceEachOther();
    void recordTime_data();
    void recordTime();
    void modeShowsItsControls_data();
    void modeShowsItsControls();
    void countedRecordingKeepsTheInterval();
    void valuesHeldWhileTheResultIsOpen();
    void longCycleIsFollowedAtOnce();
    void timeoutKeepsTheLinesSoFar();
    void lostLinkSaysHowManyWereRecorded_data();
    void lostLinkSaysHowManyWereRecorded();
    void unwritableFileIsReportedOnce();
    void triggeredRecordsAutomaticFrames();
    void triggeredTakesEveryFrameThatArrives_data();
    void triggeredTakesEveryFrameThatArrives();
    void closingPanelStopsAutomaticSending_data();
    void closingPanelStopsAutomaticSending();
    void openRecord_data();
    void openRecord();
};

void TestRecorder::initTestCase() {
    QVERIFY(fixture::StartProgram());
    QVERIFY(fixture::StartUp());
    fixture::CheckNoUnexpectedPopups();
    ShowChildPanel(5);
}

void TestRecorder::init() {
    session::poll = 0;
    if (tcpcon != 1 || comecho != 1 || comprotocol != 1) QVERIFY(ConnectTcp());
    fixture::Sim().clearFaults();
    fixture::Sim().clearRequests();
    fixture::Sim().setAutoSendIntervalMs(100);
}

void TestRecorder::cleanup() {
    fixture::CheckNoUnexpectedPopups();
    QCOMPARE(popupscript::Pending(), 0);
    session::poll = 0;
}

// Without a choice the lines go to the program's RecordFile.dat, no header.
// A manual line holds the last frame, whatever its age: pressed twice without
// polling it repeats the values with a new time.
void TestRecorder::defaultFileTakesManualLinesWithoutHeader() {
    const QString path = Path("RecordFile.dat");
    QCOMPARE(recFileName, path);
    QVERIFY(!QFile::exists(path));
    SelectMode(kRecManual);

    QByteArray frame = Telegram(0x00AA, 0);
    frame.replace(4, 2, QByteArray("\xFF\xFF", 2)); // R 65535
    frame.replace(6, 2, QByteArray(2, '\0'));       // G 0
    for (int k = 0; k < 36; ++k)
        szReadBuf[k] = uint8_t(frame[k]);
    GetRxBufData();
    CopyDatatoVars();

    Click(CBF_ButtonManualRecord, RECP_ButtonManualRecord);
    const QString firstTime = TimeStr();
    while (TimeStr() == firstTime)
        fixture::Pump(50);
    Click(CBF_ButtonManualRecord, RECP_ButtonManualRecord);

    const QList<QByteArray> lines = Lines(path);
    QCOMPARE(lines.size(), 2);
    CheckLine(lines[0], frame);
    CheckLine(lines[1], frame);
    QVERIFY(lines[0].split('\t')[1] != lines[1].split('\t')[1]);
    QCOMPARE(Val(RECP_DispRecordedValues), 2);
    QCOMPARE(fixture::Sim().requests().size(), 0);
}

void TestRecorder::chooseFile_data() {
    QTest::addColumn<int>("answer");        // of the file dialog
    QTest::addColumn<int>("confirm");       // -1: not asked
    QTest::addColumn<bool>("chosen");       // the new file is the record file
    QTest::addColumn<QByteArray>("before"); // in the chosen file, empty: none
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("kept"); // in chosen.1.dat, empty: no copy

    const QByteArray old = "old\r\n", records = kHeader + "01-02-2026\t10:00:00\t1\r\n";
    QTest::newRow("new file") << int(VAL_NEW_FILE_SELECTED) << -1 << true << QByteArray() << kHeader
                              << QByteArray();
    QTest::newRow("existing, confirmed")
        << int(VAL_EXISTING_FILE_SELECTED) << 1 << true << old << kHeader << old;
    QTest::newRow("existing records, confirmed")
        << int(VAL_EXISTING_FILE_SELECTED) << 1 << true << records << kHeader << records;
    QTest::newRow("existing header alone, confirmed")
        << int(VAL_EXISTING_FILE_SELECTED) << 1 << true << kHeader << kHeader << QByteArray();
    QTest::newRow("existing empty, confirmed") << int(VAL_EXISTING_FILE_SELECTED) << 1 << true
                                               << QByteArray("") << kHeader << QByteArray();
    QTest::newRow("existing, declined")
        << int(VAL_EXISTING_FILE_SELECTED) << 0 << false << old << old << QByteArray();
    QTest::newRow("cancelled") << int(VAL_NO_FILE_SELECTED) << -1 << false << old << old
                               << QByteArray();
}

void TestRecorder::chooseFile() {
    QFETCH(int, answer);
    QFETCH(int, confirm);
    QFETCH(bool, chosen);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, kept);
    const QString previous = Path("previous.dat"), path = Path("chosen.dat"),
                  copy = Path("chosen.1.dat");
    Write(previous, "before\r\n");
    QFile::remove(path);
    QFile::remove(copy);
    if (answer != VAL_NEW_FILE_SELECTED) Write(path, before);
    recFileName = previous;
    SetCtrlVal(recpanel, RECP_DispRecFile, previous);

    popupscript::Expect("FILENAME!", answer, path);
    if (confirm >= 0) popupscript::Expect("ATTENTION!", confirm);
    if (confirm == 1 || answer == VAL_NO_FILE_SELECTED) popupscript::Expect("ATTENTION!");
    if (!kept.isEmpty()) popupscript::Expect("INFO!");
    Click(CBF_ButtonSelRecFile, RECP_ButtonSelRecFile);

    QTEST(Contents(path), "content");
    QCOMPARE(Contents(previous), QByteArray("before\r\n"));
    // The records the file held are kept beside it, and the operator is told where.
    QCOMPARE(QFileInfo::exists(copy), !kept.isEmpty());
    if (!kept.isEmpty()) {
        QCOMPARE(Contents(copy), kept);
        QVERIFY2(LastPopup().text.contains(copy), qPrintable(LastPopup().text));
    }
    QCOMPARE(popupscript::Pending(), 0);
    QString shown;
    GetCtrlVal(recpanel, RECP_DispRecFile, &shown);
    QCOMPARE(shown, chosen ? path : previous);
    if (answer != VAL_NO_FILE_SELECTED) {
        QCOMPARE(recFileName, chosen ? path : previous);
        return;
    }
    // Nothing is selected after a cancelled choice: a recording is refused
    // with the same message before the sensor is asked for anything.
    QVERIFY(recFileName.isEmpty());
    QCOMPARE(LastPopup().text, QString("No filename was choosen! \nRecording will not be done! "));
    SelectMode(kRecCounted);
    popupscript::Expect("ATTENTION!", 1);
    popupscript::Expect("ATTENTION!");
    Click(CBF_ButtonStartRecord, RECP_ButtonStartRecord);
    QCOMPARE(LastPopup().text, QString("No filename was choosen! \nRecording will not be done! "));
    QCOMPARE(fixture::Sim().requests().size(), 0);
}

// The real dialogs, as the operator meets them: the file chosen in the file
// dialog, then a key on the question whether to take the existing file.
void TestRecorder::existingFileQuestionKeepsTheFile_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("Escape") << int(Qt::Key_Escape);
}

void TestRecorder::existingFileQuestionKeepsTheFile() {
    QFETCH(int, key);
    const QString previous = Path("previous.dat"), path = Path("chosen.dat");
    Write(previous, "before\r\n");
    Write(path, "old\r\n");
    recFileName = previous;
    QString question;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *files = qobject_cast<QFileDialog *>(modal)) {
            files->selectFile(path);
            QMetaObject::invokeMethod(files, "accept");
        } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            question = box->text();
            QTest::keyClick(box, Qt::Key(key));
            if (box->isVisible()) box->reject(); // a key that did nothing fails below
        }
    });
    answerer.start(50);
    popupscript::Uninstall();
    Click(CBF_ButtonSelRecFile, RECP_ButtonSelRecFile);
    popupscript::Install();
    answerer.stop();
    QCOMPARE(question, QString("File already exist! \nDo you want to select existing file?"));
    QCOMPARE(Contents(path), QByteArray("old\r\n"));
    QCOMPARE(recFileName, previous);
    QVERIFY(!QFileInfo::exists(Path("chosen.1.dat")));
}

void TestRecorder::numberedCopiesNeverReplaceEachOther() {
    const QString path = Path("chosen.dat");
    for (const char *name : {"chosen.1.dat", "chosen.2.dat", "chosen.3.dat"})
        QFile::remove(Path(name));
    Write(Path("chosen.1.dat"), "operator's own\r\n");
    for (const QByteArray &records : {QByteArray("first\r\n"), QByteArray("second\r\n")}) {
        Write(path, records);
        popupscript::Expect("FILENAME!", VAL_EXISTING_FILE_SELECTED, path);
        popupscript::Expect("ATTENTION!", 1);
        popupscript::Expect("ATTENTION!");
        popupscript::Expect("INFO!");
        Click(CBF_ButtonSelRecFile, RECP_ButtonSelRecFile);
    }
    QCOMPARE(Contents(Path("chosen.1.dat")), QByteArray("operator's own\r\n"));
    QCOMPARE(Contents(Path("chosen.2.dat")), QByteArray("first\r\n"));
    QCOMPARE(Contents(Path("chosen.3.dat")), QByteArray("second\r\n"));
    QCOMPARE(Contents(path), kHeader);
}

void TestRecorder::recordTime_data() {
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("shown"); // days, hours, minutes, seconds

    QTest::newRow("10 s x 8640") << 10 << 8640 << QList<int>{1, 0, 0, 0};
    QTest::newRow("7 s x 1000") << 7 << 1000 << QList<int>{0, 1, 56, 40};
    // Beyond a signed 32-bit product.
    QTest::newRow("65535 s x 65535") << 65535 << 65535 << QList<int>{49708, 18, 3, 45};
}

void TestRecorder::recordTime() {
    QFETCH(int, interval);
    QFETCH(int, count);
    SetCtrlVal(recpanel, RECP_DispRecordedValues, 7);
    SetCtrlVal(recpanel, RECP_EditInterval, interval);
    SetCtrlVal(recpanel, RECP_EditRecVal, count);
    Click(CBF_EditRecVal, RECP_EditRecVal);

    const QList<int> shown{Val(RECP_DispRecordTime__Days), Val(RECP_DispRecordTime__Hours),
                           Val(RECP_DispRecordTime__Minutes), Val(RECP_DispRecordTime__Seconds)};
    QTEST(shown, "shown");
    QCOMPARE(Val(RECP_DispRecordedValues), 0);
    QCOMPARE(Val(RECP_DispRemaining), count);
}

void TestRecorder::modeShowsItsControls_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QList<int>>("visible");
    const QList<int> recordTime{RECP_DispRecordTime__Days, RECP_DispRecordTime__Hours,
                                RECP_DispRecordTime__Minutes, RECP_DispRecordTime__Seconds};
    QTest::newRow("counted") << 0
                             << QList<int>{RECP_EditInterval,       RECP_EditRecVal,
                                           RECP_DispRecordedValues, RECP_DispRemaining,
                                           RECP_ButtonStartRecord,  RECP_ButtonStopRecord} +
                                    recordTime;
    QTest::newRow("continuous") << 1
                                << QList<int>{RECP_EditInterval, RECP_DispFrameCounter,
                                              RECP_ButtonStartRecord, RECP_ButtonStopRecord};
    QTest::newRow("manual") << 2 << QList<int>{RECP_DispRecordedValues, RECP_ButtonManualRecord};
    QTest::newRow("triggered") << 3
                               << QList<int>{RECP_DispFrameCounter, RECP_ButtonStartTrigRec,
                                             RECP_ButtonStopTrigRec};
}

// Opened from the main panel, the recorder shows what the selected mode uses.
void TestRecorder::modeShowsItsControls() {
    QFETCH(int, mode);
    QFETCH(QList<int>, visible);
    const int always[] = {RECP_EditSelectDataRec, RECP_ButtonSelRecFile, RECP_DispRecFile,
                          RECP_DispID};
    const int modal[] = {RECP_EditInterval,
                         RECP_EditRecVal,
                         RECP_DispRecordTime__Days,
                         RECP_DispRecordTime__Hours,
                         RECP_DispRecordTime__Minutes,
                         RECP_DispRecordTime__Seconds,
                         RECP_DispRecordedValues,
                         RECP_DispRemaining,
                         RECP_DispFrameCounter,
                         RECP_ButtonStartRecord,
                         RECP_ButtonStopRecord,
                         RECP_ButtonStartTrigRec,
                         RECP_ButtonStopTrigRec,
                         RECP_ButtonManualRecord};
    SetCtrlVal(recpanel, RECP_EditSelectDataRec, mode);
    CBF_ButtonRecorder(mainpanel, MAINP_ButtonRecorder, EVENT_COMMIT, nullptr, 0, 0);

    int panelShown = 0;
    GetPanelAttribute(recpanel, ATTR_VISIBLE, &panelShown);
    QVERIFY(panelShown);
    auto shown = [](int control) {
        int v = 0;
        GetCtrlAttribute(recpanel, control, ATTR_VISIBLE, &v);
        return v != 0;
    };
    for (int control : always)
        QVERIFY(shown(control));
    for (int control : modal)
        QCOMPARE(shown(control), visible.contains(control));
}

// A new file, three values at 1 s: the header and three lines holding the
// frames the sensor sent, a request every second.
void TestRecorder::countedRecordingKeepsTheInterval() {
    const QString path = Path("three.dat");
    ChooseNewFile(path);
    SelectMode(kRecCounted);
    Traffic traffic;
    RunIntervalRecording(1, 3);

    QCOMPARE(LastPopup().text, QString("File has been saved!"));
    QCOMPARE(traffic.frames.size(), 3);
    const QList<QByteArray> lines = Lines(path);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], kHeader);
    for (int i = 0; i < 3; ++i)
        CheckLine(lines[i + 1], traffic.frames[i]);
    QCOMPARE(Val(RECP_DispRecordedValues), 3);
    QCOMPARE(Val(RECP_DispRemaining), 0);
    for (int i = 1; i < 3; ++i) {
        const double gap = traffic.frameRequests[i] - traffic.frameRequests[i - 1];
        QVERIFY2(gap > 0.98 && gap < 1.2, qPrintable(QString::number(gap)));
    }
    int colour = 0;
    GetCtrlAttribute(recpanel, RECP_ButtonStartRecord, ATTR_CMD_BUTTON_COLOR, &colour);
    QCOMPARE(colour, 0xE0E0E0);
}

namespace {
// The values' state while the box after a recording is open.
bool heldAtResult = false;
int greyedAtResult = -1;
} // namespace

// "File has been saved!" comes after the recording's loop has ended: the
// values it left are held while the operator reads the box, not only after OK.
void TestRecorder::valuesHeldWhileTheResultIsOpen() {
    ChooseNewFile(Path("held.dat"));
    SelectMode(kRecCounted);
    heldAtResult = false;
    greyedAtResult = -1;
    popupscript::Forward([](const QString &title, const QString &text) {
        if (title == "INFO!" && text.startsWith("File has been saved!")) {
            heldAtResult = ValuesHeld();
            GetCtrlAttribute(datapanel, DATAP_DispX, ATTR_GREYED, &greyedAtResult);
        }
    });
    RunIntervalRecording(1, 2);
    popupscript::Forward(nullptr);
    QCOMPARE(LastPopup().text, QString("File has been saved!"));
    QVERIFY(heldAtResult);
    QCOMPARE(greyedAtResult, 1);
    QVERIFY(ValuesHeld());
}

void TestRecorder::longCycleIsFollowedAtOnce() {
    ChooseNewFile(Path("late.dat"));
    SelectMode(kRecCounted);
    fixture::Sim().armFault({tsim::Fault::Delay, 2, 1500});
    Traffic traffic;
    RunIntervalRecording(1, 3);

    QCOMPARE(traffic.frameRequests.size(), 3);
    const double gap = traffic.frameRequests[2] - traffic.frameRequests[1];
    QVERIFY2(gap >= 1.45 && gap < 1.7, qPrintable(QString::number(gap)));
    QCOMPARE(Lines(Path("late.dat")).size(), 4);
}

void TestRecorder::timeoutKeepsTheLinesSoFar() {
    const QString path = Path("cut.dat");
    ChooseNewFile(path);
    SelectMode(kRecCounted);
    fixture::Sim().armFault({tsim::Fault::ShortAnswer, 3, 1});
    Traffic traffic;
    RunIntervalRecording(1, 5);

    const QList<QByteArray> lines = Lines(path);
    QCOMPARE(lines.size(), 3);
    for (int i = 0; i < 2; ++i)
        CheckLine(lines[i + 1], traffic.frames[i]);
    QCOMPARE(LastPopup().text, QString("File has been saved!\n\nThe link to the sensor was lost: "
                                       "2 of 5 values were recorded."));
    QString status;
    GetCtrlVal(datapanel, DATAP_DispStatus, &status);
    QCOMPARE(status, QString("TIMEOUT"));
    QCOMPARE(Val(RECP_DispRecordedValues), 2);
    QCOMPARE(traffic.frameRequests.size(), 3);
}

void TestRecorder::lostLinkSaysHowManyWereRecorded_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("fault");    // tsim::Fault
    QTest::addColumn<int>("telegram"); // counted from the start of the recording
    QTest::addColumn<QString>("said"); // after "File has been saved!"
    QTest::addColumn<QString>("why");  // in the status line

    QTest::newRow("counted, no answer to the 9th of 20")
        << int(kRecCounted) << int(tsim::Fault::NoAnswer) << 9 << "8 of 20 values were recorded."
        << "No answer from 127.0.0.1:";
    QTest::newRow("counted, server gone after the 8th of 20")
        << int(kRecCounted) << int(tsim::Fault::Disconnect) << 8 << "8 of 20 values were recorded."
        << "closed the connection at the data frame request";
    QTest::newRow("continuous, no answer to the 4th")
        << int(kRecContinuous) << int(tsim::Fault::NoAnswer) << 4 << "3 values were recorded."
        << "No answer from 127.0.0.1:";
}

// "File has been saved!" stays; a recording that a lost link cut short adds
// how many values it holds, and the status line keeps why.
void TestRecorder::lostLinkSaysHowManyWereRecorded() {
    QFETCH(int, mode);
    QFETCH(int, fault);
    QFETCH(int, telegram);
    QFETCH(QString, said);
    QFETCH(QString, why);
    const QString path = Path("lost-link.dat");
    ChooseNewFile(path);
    SelectMode(mode);
    // Back to back: the interval's minimum is lowered as the benchmark does.
    SetCtrlAttribute(recpanel, RECP_EditInterval, ATTR_MIN_VALUE, 0);
    fixture::Sim().armFault({tsim::Fault(fault), telegram, 0});
    SetCtrlVal(recpanel, RECP_EditInterval, 0);
    SetCtrlVal(recpanel, RECP_EditRecVal, 20);
    popupscript::Expect("ATTENTION!", 1);
    popupscript::Expect("ATTENTION!");
    if (tsim::Fault(fault) == tsim::Fault::Disconnect) popupscript::Expect("TCP Client");
    popupscript::Expect("INFO!");
    Click(CBF_ButtonStartRecord, RECP_ButtonStartRecord);
    SetCtrlAttribute(recpanel, RECP_EditInterval, ATTR_MIN_VALUE, 1);
    SetCtrlVal(recpanel, RECP_EditInterval, 1);

    QCOMPARE(LastPopup().text, "File has been saved!\n\nThe link to the sensor was lost: " + said);
    const int lines = int(Lines(path).size()) - 1;
    QVERIFY2(said.startsWith(QString::number(lines) + " "), qPrintable(QString::number(lines)));
    QString status;
    GetCtrlVal(datapanel, DATAP_DispLink, &status);
    QVERIFY2(status.contains(why) && status.contains(said), qPrintable(status));
}

// The file turns into a directory after two lines: the recording goes on,
// the operator is told once, and the closing message counts both kinds.
void TestRecorder::unwritableFileIsReportedOnce() {
    const QString path = Path("lost.dat");
    ChooseNewFile(path);
    SelectMode(kRecContinuous);
    Traffic traffic;
    int requests = 0;
    traffic.onRequest = [&](const QByteArray &r) {
        if (!IsOrder(r, 5)) return;
        if (++requests == 3) {
            QFile::remove(path);
            QDir().mkdir(path);
        }
        if (requests == 5) Click(CBF_ButtonStopRecord, RECP_ButtonStopRecord);
    };
    const qsizetype popupsBefore = popupscript::Log().size();
    RunIntervalRecording(1, 100, "ATTENTION!");
    QDir(path).removeRecursively();

    QCOMPARE(Val(RECP_DispFrameCounter), 5);
    QCOMPARE(LastPopup().text,
             QString("File has not been saved completely! \n2 lines were written, "
                     "3 lines could not be written \nto %1.")
                 .arg(path));
    QString status;
    GetCtrlVal(datapanel, DATAP_DispStatus, &status);
    QCOMPARE(status, QString("RECORD FILE CAN NOT BE WRITTEN!"));
    // Only the closing message: the warning came without a pop-up.
    QCOMPARE(popupscript::Log().size(), popupsBefore + 3);
}

void TestRecorder::triggeredRecordsAutomaticFrames() {
    const QString path = Path("trig.dat");
    ChooseNewFile(path);
    SelectMode(kRecTriggered);
    tsim::Simulator &sim = fixture::Sim();
    sim.setAutoSendIntervalMs(40);
    sim.setTriggerEvery(2);
    Traffic traffic;
    connect(&sim, &tsim::Simulator::answerSent, this, [&] {
        if (traffic.frames.size() == 6) Click(CBF_ButtonStopTrigRec, RECP_ButtonStopTrigRec);
    });
    StartTriggeredRecording();
    disconnect(&sim, &tsim::Simulator::answerSent, this, nullptr);

    const QList<QByteArray> lines = Lines(path);
    QVERIFY2(lines.size() >= 6 && lines.size() <= traffic.frames.size() + 1,
             qPrintable(QString::number(lines.size())));
    for (int i = 1; i < lines.size(); ++i)
        CheckLine(lines[i], traffic.frames[i - 1]);
    QCOMPARE(Val(RECP_DispFrameCounter), int(lines.size()) - 1);
    // Flagged frames were among them; the group is shown without the flag.
    const QByteArray last = traffic.frames[lines.size() - 2];
    int group = -1, led = -1;
    GetCtrlVal(datapanel, DATAP_DispGroup, &group);
    GetCtrlVal(datapanel, DATAP_LedTrig, &led);
    QCOMPARE(group, Word(last, 13) % 1024);
    QCOMPARE(led, Word(last, 13) >= 1024 ? 1 : 0);
    int flagged = 0;
    for (int i = 0; i < lines.size() - 1; ++i)
        flagged += Word(traffic.frames[i], 13) >= 1024;
    QVERIFY(flagged >= 2);

    // Automatic sending is off, and the link answers requests again with
    // nothing of it left over.
    fixture::Pump(200);
    QVERIFY(!sim.state().autoSend);
    QVERIFY(IsOrder(sim.requests().last(), 50, 0));
    const int sent = int(traffic.frames.size());
    FillTxBuf(5, 0, 0, 0);
    GetDataFrame();
    QCOMPARE(bytesToRead, 0);
    QCOMPARE(int(traffic.frames.size()), sent + 1);
    QCOMPARE(QByteArray(reinterpret_cast<char *>(szReadBuf), 36), traffic.frames.last());
}

void TestRecorder::triggeredTakesEveryFrameThatArrives_data() {
    QTest::addColumn<bool>("serial");
    QTest::addColumn<QByteArray>("stray"); // bytes ahead of the first frame
    QTest::newRow("TCP/IP") << false << QByteArray();
    QTest::newRow("RS-232") << true << QByteArray();
    QTest::newRow("TCP/IP, stray bytes first") << false << QByteArray("\x42\x00\xAA", 3);
}

// Two frames and one that is no answer arrive in one piece: both frames are
// recorded, the other is skipped; stray bytes ahead shift no frame.
void TestRecorder::triggeredTakesEveryFrameThatArrives() {
    QFETCH(bool, serial);
    QFETCH(QByteArray, stray);
    tsim::Simulator &sim = fixture::Sim();
    if (serial) {
        if (sim.ptyPath().isEmpty()) QVERIFY2(sim.openPty(), qPrintable(sim.errorString()));
        fixture::SelectSerial(sim.ptyPath(), sim.baudIndex());
        TryToConnect();
        QCOMPARE(int(comecho), 1);
    }
    const QString path = Path("together.dat");
    ChooseNewFile(path);
    SelectMode(kRecTriggered);
    sim.setAutoSendIntervalMs(600000);
    // Vector number and group (words 8 and 13) stay rows, as a sensor's do.
    const QByteArray a = Telegram(0x00AA, 10), b = Telegram(0x00AA, 17),
                     notAnAnswer = Telegram(0x0055, 200);
    Traffic traffic;
    traffic.onRequest = [&](const QByteArray &r) {
        if (!IsOrder(r, 50, 1)) return;
        QTimer::singleShot(50, [&] { sim.sendUnsolicited(stray + a + notAnAnswer + b); });
        QTimer::singleShot(400, [] { Click(CBF_ButtonStopTrigRec, RECP_ButtonStopTrigRec); });
    };
    StartTriggeredRecording();

    const QList<QByteArray> lines = Lines(path);
    QCOMPARE(lines.size(), 3);
    CheckLine(lines[1], a);
    CheckLine(lines[2], b);
    QCOMPARE(Val(RECP_DispFrameCounter), 2);
    if (serial) QVERIFY(ConnectTcp());
}

void TestRecorder::closingPanelStopsAutomaticSending_data() {
    QTest::addColumn<bool>("recording");
    QTest::newRow("idle") << false;
    QTest::newRow("while recording") << true;
}

void TestRecorder::closingPanelStopsAutomaticSending() {
    QFETCH(bool, recording);
    tsim::Simulator &sim = fixture::Sim();
    auto close = [] { CBF_RECP(recpanel, 0, EVENT_CLOSE, nullptr, 0, 0); };
    if (recording) {
        recFileName = Path("closed.dat");
        SelectMode(kRecTriggered);
        Traffic traffic;
        traffic.onRequest = [&](const QByteArray &r) {
            if (IsOrder(r, 50, 1)) QTimer::singleShot(300, close);
        };
        StartTriggeredRecording();
        QVERIFY(Lines(recFileName).size() >= 1);
    } else {
        sim.state().autoSend = true;
        close();
    }
    fixture::Pump(100);
    QVERIFY(!sim.state().autoSend);
    QVERIFY(IsOrder(sim.requests().last(), 50, 0));
}

// OPEN RECORD opens what this recorder writes, with or without the header of
// a chosen file, and refuses other files with a message.
void TestRecorder::openRecord_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("lines"); // -1: refused, -2: nothing chosen
    QTest::newRow("chosen record file, three lines") << "header" << 3;
    QTest::newRow("recorded before a file was chosen") << "noheader" << 2;
    QTest::newRow("not a record file") << "other" << -1;
    QTest::newRow("nothing chosen") << "cancel" << -2;
}

void TestRecorder::openRecord() {
    QFETCH(QString, kind);
    QFETCH(int, lines);
    const QString saved = recFileName;
    recFileName = Path("open-" + kind + ".dat");
    if (kind == "header") QVERIFY(WriteFileHeader());
    if (kind == "other") QVERIFY(WriteFileAtomic(recFileName, "time\tvalue\r\n1\t2\r\n"));
    for (int i = 0; i < lines; ++i)
        QVERIFY(ToFile());
    popupscript::Expect("OPEN RECORD",
                        lines == -2 ? VAL_NO_FILE_SELECTED : VAL_EXISTING_FILE_SELECTED,
                        recFileName);
    if (lines == -1) popupscript::Expect("ATTENTION!");
    Click(CBF_ButtonOpenRecord, RECP_ButtonOpenRecord);
    recFileName = saved;
    const QList<RecordViewer *> open = RecordViewer::All();
    QCOMPARE(open.size(), lines >= 0 ? 1 : 0);
    if (open.isEmpty()) return;
    open[0]->WaitRead();
    const size_t read = open[0]->Store().Count();
    const qint64 bad = open[0]->BadLineCount();
    delete open[0];
    QCOMPARE(read, size_t(lines));
    QCOMPARE(bad, qint64(0));
}

QTEST_MAIN(TestRecorder)
#include "tst_recorder.moc"
