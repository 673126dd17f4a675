// The parameter file: its text format, and SEND / GET with the memory
// selector on FILE through the real panels and the "Parameter" dialog.
#include "ParamsTestUtil.h"

#include "params/ParaFile.h"
#include "support/AppFixture.h"
#include "support/WindowSuite.h"

#include <QDir>
#include <QFile>
#include <csignal>
#include <sys/resource.h>

using namespace ptest;

namespace {
QString PathOf(const QString &name) {
    return QDir(fixture::ProgramDir()).filePath(name);
}

QByteArray ReadAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteRaw(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// A valid set: the factory parameters and a teach table of distinct cells.
void ValidSet(uint16_t words[kParaFileValues]) {
    const uint16_t params[16] = {500, 0, 8, 0, 10, 50, 5, 1, 0, 0, 0, 100, 3000, 0, 0, 0};
    std::copy(std::begin(params), std::end(params), words);
    for (int i = 16; i < kParaFileValues; ++i)
        words[i] = uint16_t(i * 7);
}

QStringList Lines(const QByteArray &text) {
    QStringList lines = QString::fromLatin1(text).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

// SEND to FILE with the dialog answered; `then` are the pop-ups expected after it.
void Send(const QString &path, int answer = VAL_NEW_FILE_SELECTED, const QStringList &then = {}) {
    SetMemorySelector(DATFILE);
    popupscript::Expect("Parameter", answer, path);
    for (const QString &title : then)
        popupscript::Expect(title);
    Click(mainpanel, MAINP_ButtonSend);
}

void Get(const QString &path, int answer = VAL_EXISTING_FILE_SELECTED,
         const QStringList &then = {}) {
    SetMemorySelector(DATFILE);
    popupscript::Expect("Parameter", answer, path);
    for (const QString &title : then)
        popupscript::Expect(title);
    Click(mainpanel, MAINP_ButtonGet);
}
} // namespace

class TestParaFile : public fixture::WindowSuite {
    Q_OBJECT

  private slots:
    void initTestCase() { QVERIFY(fixture::StartProgram()); }

    void init() {
        LoadDefaultSet();
        fixture::CheckNoUnexpectedPopups();
    }

    void formatLayout() {
        uint16_t words[kParaFileValues];
        ValidSet(words);
        words[0] = 65535;
        words[263] = 0;
        const QByteArray text = FormatParaFile(words);
        QCOMPARE(text.count("\r\n"), kParaFileValues);
        QCOMPARE(text.size(), kParaFileValues * 12);
        QVERIFY(text.startsWith("     65535\r\n         0\r\n         8\r\n"));
        QVERIFY(text.endsWith("         0\r\n"));
    }

    void parseAccepts_data() {
        QTest::addColumn<QByteArray>("text");
        uint16_t words[kParaFileValues];
        ValidSet(words);
        const QByteArray crlf = FormatParaFile(words);
        QByteArray lf = crlf;
        lf.replace("\r\n", "\n");
        QByteArray leftAligned;
        for (uint16_t w : words)
            leftAligned += QByteArray::number(w) + "   \t\n";
        QByteArray twoPerLine;
        for (int i = 0; i < kParaFileValues; i += 2)
            twoPerLine +=
                QByteArray::number(words[i]) + " " + QByteArray::number(words[i + 1]) + "\n";
        QTest::newRow("CR LF, right-aligned") << crlf;
        QTest::newRow("LF") << lf;
        QTest::newRow("blanks after, no final line end") << leftAligned.chopped(1);
        QTest::newRow("blank lines between") << QByteArray(lf).replace("\n", "\n\n");
        QTest::newRow("two per line") << twoPerLine;
        QTest::newRow("byte order mark") << "\xEF\xBB\xBF" + lf;
        QTest::newRow("extra lines ignored") << crlf + "garbage\r\n99999\r\n";
    }

    void parseAccepts() {
        QFETCH(QByteArray, text);
        uint16_t expected[kParaFileValues], out[kParaFileValues] = {};
        ValidSet(expected);
        const QStringList lines = QString::fromUtf8(text).split('\n');
        QString problem;
        QVERIFY2(ParseParaFile(lines, out, &problem), qPrintable(problem));
        QVERIFY(std::equal(std::begin(out), std::end(out), std::begin(expected)));
    }

    void writeThenReadRestoresEverything() {
        const int controls[13][2] = {{PARAP_SlidePower, 999},
                                     {PARAP_EditPmode, 0},
                                     {PARAP_EditAverage, 65535},
                                     {PARAP_Evalmode, 1},
                                     {PARAP_EditHold, 12},
                                     {PARAP_EditIntlim, 345},
                                     {PARAP_EditMaxcolNo, 3},
                                     {PARAP_EditOutmode, 2},
                                     {PARAP_EditTrigger, 1},
                                     {PARAP_EditExteach, 1},
                                     {PARAP_Calcmode, 6},
                                     {PARAP_EditDynWinLoHi__Lo, 0},
                                     {PARAP_EditDynWinLoHi__Hi, 4000}};
        for (const auto &c : controls)
            SetCtrlVal(parapanel, c[0], c[1]);
        SetCtrlVal(grouppanel, PGROUP_EditColorGroups, 1);
        for (int n = 1; n <= 31; ++n) {
            SetTableCellVal(grouppanel, PGROUP_EditGridGroups, MakePoint(1, n), n % 5);
            for (int c = 1; c <= 7; ++c)
                SetTableCellVal(ttpanel, TTP_GridCtt, MakePoint(c, n), n * 100 + c);
        }
        frei15 = 1234;
        frei16 = 65535;
        InitPanelCtrlAttr(); // the modes' look of these values, as a load gives it
        const QList<int> shown = PanelSnapshot();
        const QString path = PathOf("roundtrip.ini");
        Send(path);
        const QList<int> sent = VarSnapshot();
        QCOMPARE(Lines(ReadAll(path)).size(), kParaFileValues);
        QCOMPARE(Lines(ReadAll(path))[14], QString("      1234\r"));

        LoadDefaultSet();
        QVERIFY(VarSnapshot() != sent);
        Get(path);
        QCOMPARE(VarSnapshot(), sent);
        QCOMPARE(PanelSnapshot(), shown);
        QCOMPARE(paraFileName, path);
    }

    void valuesBeyondThePanelAreLimitedAndListed() {
        uint16_t words[kParaFileValues];
        ValidSet(words);
        words[0] = 60000; // POWER, a slider up to 1000
        words[2] = 60000; // AVERAGE, a field up to 65535: kept
        words[6] = 45;    // MAXCOL-No., cut to the 31 rows
        words[10] = 9;    // CALCMODE, no such item
        words[13] = 5;    // the group switch, on or off
        const QString path = PathOf("beyond.ini");
        WriteRaw(path, FormatParaFile(words));
        Get(path, VAL_EXISTING_FILE_SELECTED, {"ATTENTION!"});

        const QString text = popupscript::Log().value(1).text;
        for (const char *note :
             {"POWER 60000 -> 1000", "MAXCOL-No. 45 -> 31", "CALCMODE 9 -> 0", "GROUPS 5 -> 1"})
            QVERIFY2(text.contains(note), qPrintable(text));
        QVERIFY2(!text.contains("AVERAGE"), qPrintable(text));
        QCOMPARE(Val(parapanel, PARAP_EditMaxcolNo), 31);
        GetPanelValues();
        QCOMPARE(power, uint16_t(1000));
        QCOMPARE(average, uint16_t(60000));
        QCOMPARE(calcmode, uint16_t(0));
    }

    void externalTriggerRestoresTriggerList() {
        // The panel has external teach on: only CONT and SELF are listed.
        SetCtrlVal(parapanel, PARAP_EditExteach, 1);
        InitExteach();
        QCOMPARE(Items(parapanel, PARAP_EditTrigger), 2);
        uint16_t words[kParaFileValues];
        ValidSet(words);
        words[8] = 5; // EXT4
        words[9] = 0; // EXTEACH OFF
        const QString path = PathOf("ext4.ini");
        WriteRaw(path, FormatParaFile(words));
        Get(path);
        QCOMPARE(Items(parapanel, PARAP_EditTrigger), 6);
        QCOMPARE(Val(parapanel, PARAP_EditTrigger), 5);
        QCOMPARE(Val(parapanel, PARAP_EditExteach), 0);
        QCOMPARE(Attr(parapanel, PARAP_EditExteach, ATTR_DIMMED), 1);
    }

    void cancelledDialogChangesNothing() {
        const QString path = PathOf("kept.ini");
        WriteRaw(path, "old contents\n");
        CopyVarsToPP();
        const QList<int> ppBefore = PpSnapshot();
        const QList<int> panelBefore = PanelSnapshot();
        const QString lastFile = paraFileName;
        SetCtrlVal(parapanel, PARAP_SlidePower, 10); // would reach the file on a SEND

        Send(path, VAL_NO_FILE_SELECTED);
        QCOMPARE(ReadAll(path), QByteArray("old contents\n"));
        QCOMPARE(PpSnapshot(), ppBefore);

        SetCtrlVal(parapanel, PARAP_SlidePower, 500);
        Get(path, VAL_NO_FILE_SELECTED);
        QCOMPARE(PanelSnapshot(), panelBefore);
        QCOMPARE(paraFileName, lastFile);
    }

    // Lines after the 264th are ignored however many there are, within the
    // size a parameter file may have.
    void extraLinesAreIgnored_data() {
        QTest::addColumn<int>("lines");
        QTest::newRow("300 lines") << 300;
        QTest::newRow("5000 lines") << 5000;
    }
    void extraLinesAreIgnored() {
        QFETCH(int, lines);
        uint16_t words[kParaFileValues];
        ValidSet(words);
        QByteArray text = FormatParaFile(words);
        for (int i = kParaFileValues; i < lines; ++i)
            text += QByteArray::number(i % 7 == 0 ? 99999 : i).rightJustified(10, ' ') + "\r\n";
        const QString path = PathOf("extra-lines.ini");
        WriteRaw(path, text);
        pp[5] = 4711;
        Get(path);
        QCOMPARE(PpSnapshot(), QList<int>(std::begin(words), std::end(words)));
    }

    void refusedFileChangesNothing_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("problem");
        uint16_t words[kParaFileValues];
        ValidSet(words);
        QByteArray text = FormatParaFile(words);
        QTest::newRow("short") << text.left(100 * 12) << "only 100 of the 264";
        QTest::newRow("malformed")
            << QByteArray(text).replace(20 * 12, 10, "      abcd") << "line 21";
        QTest::newRow("out of range") << QByteArray(text).replace(0, 10, "    100000") << "line 1";
        QTest::newRow("65536") << QByteArray(text).replace(16 * 12, 10, "     65536")
                               << "\"65536\"";
        QTest::newRow("negative") << QByteArray(text).replace(16 * 12, 10, "        -1")
                                  << "\"-1\"";
        QTest::newRow("fraction") << QByteArray(text).replace(16 * 12, 10, "       1.5")
                                  << "\"1.5\"";
        QTest::newRow("missing") << QByteArray() << "cannot be read";
        // A large log chosen by mistake: its first line would parse, and the
        // whole of it used to be read into memory.
        QTest::newRow("50 MB of numbers") << text + QByteArray(50 << 20, '7') << "larger than";
    }

    void refusedFileChangesNothing() {
        QFETCH(QByteArray, text);
        QFETCH(QString, problem);
        const QString path = PathOf(QString("refused-%1.ini").arg(QTest::currentDataTag()));
        if (problem != "cannot be read") WriteRaw(path, text);
        pp[5] = 4711;
        const QList<int> ppBefore = PpSnapshot();
        const QList<int> varsBefore = VarSnapshot();
        const QList<int> panelBefore = PanelSnapshot();

        Get(path, VAL_EXISTING_FILE_SELECTED, {"ATTENTION!"});
        const popupscript::Shown shown = popupscript::Log().value(1);
        QCOMPARE(shown.title, QString("ATTENTION!"));
        QVERIFY2(shown.text.contains(path) && shown.text.contains(problem), qPrintable(shown.text));
        QCOMPARE(PpSnapshot(), ppBefore);
        QCOMPARE(VarSnapshot(), varsBefore);
        QCOMPARE(PanelSnapshot(), panelBefore);
    }

    void failedWriteKeepsOldFile() {
        const QString path = PathOf("full-disk.ini");
        WriteRaw(path, "old contents\n");
        // A file-size limit makes the write fail even for root.
        struct rlimit old {};
        getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit small = old;
        small.rlim_cur = 1000;
        std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        Send(path, VAL_EXISTING_FILE_SELECTED, {"ATTENTION!"});
        setrlimit(RLIMIT_FSIZE, &old);

        QVERIFY(popupscript::Log().value(1).text.contains("could not be written"));
        QCOMPARE(ReadAll(path), QByteArray("old contents\n"));
        QCOMPARE(QDir(fixture::ProgramDir()).entryList({"full-disk.ini*"}, QDir::Files).size(), 1);
    }
};

QTEST_MAIN(TestParaFile)
#include "tst_parafile.moc"
