// The table-attributes panel on the real panels: the start-up file read at
// start-up, save and load through the file dialog, the refusal of files that
// are not table-attribute files, a failed save, the start-up button, manual
// row colours and the manual/automatic switch.
#include "params/ParamsTestUtil.h"

#include "support/AppFixture.h"
#include "support/WindowSuite.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace ptest;

namespace {
constexpr int kBuiltIn[15] = {0xFF0000, 0x80FF00, 0x0000FF, 0x000000, 0xFF80C0,
                              0xFFFF00, 0x808000, 0x800080, 0x80FFFF, 0xFF0080,
                              0x400080, 0xFF00FF, 0x008000, 0x408080, 0x800000};

QString PathOf(const QString &name) {
    return QDir(fixture::ProgramDir()).filePath(name);
}

void WriteRaw(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray ReadAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QList<int> Colours() {
    return QList<int>(std::begin(tolvanearr), std::end(tolvanearr));
}

QStringList Texts() {
    QStringList t;
    for (int n = 1; n <= 31; ++n) {
        QString s;
        GetTableCellVal(tapanel, TAP_GridSpec, MakePoint(1, n), &s);
        t << s;
    }
    return t;
}

void SetTexts(const QStringList &texts) {
    for (int n = 1; n <= 31; ++n)
        SetTableCellVal(tapanel, TAP_GridSpec, MakePoint(1, n), texts.value(n - 1));
}

// The indicator cells of all three tables, row by row.
QList<int> Shown() {
    QList<int> s;
    for (int n = 1; n <= 31; ++n) {
        int a = -1, b = -1, c = -1;
        GetTableCellAttribute(ttpanel, TTP_GridCtt, MakePoint(8, n), ATTR_TEXT_BGCOLOR, &a);
        GetTableCellAttribute(tapanel, TAP_GridSpec, MakePoint(2, n), ATTR_TEXT_BGCOLOR, &b);
        GetTableCellAttribute(grouppanel, PGROUP_EditGridGroups, MakePoint(2, n), ATTR_TEXT_BGCOLOR,
                              &c);
        s << a << b << c;
    }
    return s;
}

QList<int> ThreeTimes(const QList<int> &colours) {
    QList<int> s;
    for (int r = 0; r < 31; ++r)
        s << colours[r] << colours[r] << colours[r];
    return s;
}

QList<int> BuiltIn() {
    QList<int> c;
    for (int i = 0; i < 45; ++i)
        c << kBuiltIn[i % 15];
    return c;
}

QList<int> Distinct(int seed) {
    QList<int> c;
    for (int i = 0; i < 45; ++i)
        c << ((seed * 7919 + i * 104729) & 0xFFFFFF);
    return c;
}

QStringList SampleTexts() {
    QStringList t;
    for (int r = 0; r < 31; ++r)
        t << (r % 4 == 0 ? QString() : QString("  colour %1  of row ").arg(r));
    t[30] = QString(99, 'x');
    return t;
}

QByteArray FileOf(const QList<int> &colours, const QStringList &texts) {
    QByteArray out;
    for (int c : colours)
        out += QByteArray::number(c).rightJustified(10, ' ') + "\r\n";
    for (const QString &t : texts)
        out += t.toUtf8() + "\r\n";
    return out;
}

void Press(int control, const QString &path = QString(), int answer = VAL_EXISTING_FILE_SELECTED,
           const QString &then = QString()) {
    if (!path.isEmpty()) popupscript::Expect("TableAttributes", answer, path);
    if (!then.isEmpty()) popupscript::Expect(then);
    Click(tapanel, control);
}

QString LastPopup() {
    const QList<popupscript::Shown> &log = popupscript::Log();
    return log.isEmpty() ? QString() : log.last().title + '|' + log.last().text;
}
} // namespace

class TestTableAttr : public fixture::WindowSuite {
    Q_OBJECT

  private slots:
    void initTestCase() {
        QVERIFY(fixture::StartProgram());
        // Written before the start-up: its colours and texts must be on the
        // panels once the program is up.
        WriteRaw(PathOf("StartupFile.cfg"), FileOf(Distinct(1), SampleTexts()));
        QVERIFY(fixture::StartUp());
        fixture::CheckNoUnexpectedPopups();
    }

    void startupFileReadAtStartUp() {
        QCOMPARE(Colours(), Distinct(1));
        QCOMPARE(Shown(), ThreeTimes(Distinct(1)));
        QCOMPARE(Texts(), SampleTexts());
    }

    void saveThenLoadRestoresAll() {
        const QString path = PathOf("attrs.cfg");
        std::copy_n(Distinct(2).begin(), 45, tolvanearr);
        SetTexts(SampleTexts());
        Press(TAP_ButtonSaveArray, path, VAL_NEW_FILE_SELECTED);

        const QByteArray saved = ReadAll(path);
        QCOMPARE(saved.count('\n'), 76);
        QVERIFY(saved.endsWith('\n'));
        QCOMPARE(saved.split('\n')[0], QByteArray::number(Distinct(2)[0]).rightJustified(10, ' '));

        std::copy_n(Distinct(3).begin(), 45, tolvanearr);
        ApplyRowColors();
        SetTexts(QStringList(31, "other"));
        Press(TAP_ButtonGetArray, path);

        QCOMPARE(Colours(), Distinct(2));
        QCOMPARE(Shown(), ThreeTimes(Distinct(2)));
        QCOMPARE(Texts(), SampleTexts());
    }

    void cancelledDialogChangesNothing() {
        const QList<int> colours = Colours();
        const QStringList texts = Texts();
        Press(TAP_ButtonGetArray, PathOf("attrs.cfg"), VAL_NO_FILE_SELECTED);
        QCOMPARE(Colours(), colours);
        QCOMPARE(Texts(), texts);
    }

    void badFileIsRefused_data() {
        QTest::addColumn<QByteArray>("contents");
        QByteArray good = FileOf(Distinct(4), SampleTexts());
        QByteArray outOfRange = good;
        outOfRange.replace(outOfRange.indexOf('\n', 30) + 1, 10, "  16777216");
        QByteArray negative = good;
        negative.replace(0, 10, "        -1");
        QByteArray controlInText = good;
        controlInText.replace("colour 5", "col\x07ur 5");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("44 colours") << FileOf(Distinct(4).mid(0, 44), {});
        QTest::newRow("colour above 0xFFFFFF") << outOfRange;
        QTest::newRow("negative colour") << negative;
        QTest::newRow("word for a colour") << good.replace(0, 10, "       red");
        QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0", 17).repeated(9);
        QTest::newRow("control character in a text") << controlInText;
    }
    void badFileIsRefused() {
        QFETCH(QByteArray, contents);
        const QString path = PathOf("bad.cfg");
        WriteRaw(path, contents);
        const QList<int> colours = Colours();
        const QList<int> shown = Shown();
        const QStringList texts = Texts();
        Press(TAP_ButtonGetArray, path, VAL_EXISTING_FILE_SELECTED, "ATTENTION!");
        QVERIFY2(LastPopup().contains(path), qPrintable(LastPopup()));
        QCOMPARE(Colours(), colours);
        QCOMPARE(Shown(), shown);
        QCOMPARE(Texts(), texts);
    }

    void malformedStartupFileIsSkipped() {
        std::copy_n(BuiltIn().begin(), 45, tolvanearr);
        SetTexts(SampleTexts());
        WriteRaw(PathOf("StartupFile.cfg"), FileOf(Distinct(5).mid(0, 30), {}));
        popupscript::Expect("ATTENTION!");
        LoadStartupFile();
        QVERIFY(LastPopup().contains("built-in"));
        QCOMPARE(Colours(), BuiltIn());
        QCOMPARE(Shown(), ThreeTimes(BuiltIn()));
        QCOMPARE(Texts(), SampleTexts());
    }

    // Files of older installations are 8-bit; either way the text reads as typed.
    void startupFileTextsInEitherCharacterSet_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("UTF-8") << QByteArray("Gr\xc3\xbcn");
        QTest::newRow("Windows-1252") << QByteArray("Gr\xfcn");
    }
    void startupFileTextsInEitherCharacterSet() {
        QFETCH(QByteArray, text);
        QByteArray file = FileOf(Distinct(7), QStringList(31, "x"));
        file.replace("x\r\n", text + "\r\n");
        WriteRaw(PathOf("StartupFile.cfg"), file);
        LoadStartupFile();
        QCOMPARE(Texts(), QStringList(31, QString::fromUtf8("Gr\xc3\xbcn")));
        QCOMPARE(Colours(), Distinct(7));
    }

    // Whatever is at the start-up file's path and cannot be read is reported.
    void startupPathThatIsNoFile_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("directory") << "directory";
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("link to a device") << "device";
    }
    void startupPathThatIsNoFile() {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString saved = colorArrayStartupFileName;
        colorArrayStartupFileName = dir.filePath("StartupFile.cfg");
        if (kind == "directory")
            QVERIFY(QDir().mkdir(colorArrayStartupFileName));
        else if (kind == "fifo")
            QCOMPARE(mkfifo(QFile::encodeName(colorArrayStartupFileName).constData(), 0600), 0);
        else
            QVERIFY(QFile::link("/dev/zero", colorArrayStartupFileName));
        std::copy_n(BuiltIn().begin(), 45, tolvanearr);
        popupscript::Expect("ATTENTION!");
        LoadStartupFile();
        colorArrayStartupFileName = saved;
        QVERIFY2(LastPopup().contains("is not a file"), qPrintable(LastPopup()));
        QCOMPARE(Shown(), ThreeTimes(BuiltIn()));
    }

    void startupButtonWritesWithoutAsking() {
        const QString path = PathOf("StartupFile.cfg");
        WriteRaw(path, "old\n");
        std::copy_n(Distinct(6).begin(), 45, tolvanearr);
        SetTexts(SampleTexts());
        Press(TAP_ButtonSetStartupArray, QString(), 0, "INFO!");
        QCOMPARE(LastPopup(),
                 QString("INFO!|File has been saved as \nstartup configuration file."));
        QCOMPARE(ReadAll(path), FileOf(Distinct(6), SampleTexts()).replace("\r\n", "\n"));
    }

    void failedSaveKeepsEarlierFile() {
        const QString path = PathOf("full-disk.cfg");
        WriteRaw(path, "earlier\n");
        // A file-size limit makes the write fail even for root.
        struct rlimit old {};
        getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit small = old;
        small.rlim_cur = 200;
        std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        Press(TAP_ButtonSaveArray, path, VAL_EXISTING_FILE_SELECTED, "ATTENTION!");
        setrlimit(RLIMIT_FSIZE, &old);

        QVERIFY2(LastPopup().contains("could not be saved"), qPrintable(LastPopup()));
        QCOMPARE(ReadAll(path), QByteArray("earlier\n"));
        QCOMPARE(QDir(fixture::ProgramDir()).entryList({"full-disk.cfg*"}, QDir::Files).size(), 1);
    }

    void manualAndAutomaticColours() {
        Pick(tapanel, TAP_EditSetColor, 0);
        for (int control : {TAP_EditRow, TAP_EditColorNumericRow, TAP_ButtonSetRowColor})
            QCOMPARE(Attr(tapanel, control, ATTR_DIMMED), 0);
        QCOMPARE(Attr(datapanel, DATAP_ColorPatch, ATTR_VISIBLE), 0);

        const QList<int> before = Colours();
        Enter(tapanel, TAP_EditRow, 30);
        Enter(tapanel, TAP_EditColorNumericRow, 0x00FF7F);
        Click(tapanel, TAP_ButtonSetRowColor);
        QList<int> expected = before;
        expected[30] = 0x00FF7F;
        QCOMPARE(Colours(), expected);
        QCOMPARE(Shown().mid(90), (QList<int>{0x00FF7F, 0x00FF7F, 0x00FF7F}));

        Pick(tapanel, TAP_EditSetColor, 1);
        for (int control : {TAP_EditRow, TAP_EditColorNumericRow, TAP_ButtonSetRowColor})
            QCOMPARE(Attr(tapanel, control, ATTR_DIMMED), 1);
        QCOMPARE(Attr(datapanel, DATAP_ColorPatch, ATTR_VISIBLE), 1);
    }
};

QTEST_MAIN(TestTableAttr)
#include "tst_tableattr.moc"
