// The program's start and end as a whole: the entry point with and without
// its user-interface definition, start-up against the simulated sensor, and
// the end when the main panel is closed.
#include "core/Session.h"
#include "core/Ui.h"
#include "link/Link.h"
#include "platform/Introspect.h"
#include "platform/Platform.h"
#include "shell/Shell.h"
#include "sim/Simulator.h"
#include "uir_ids.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

namespace {
QString BinDir() {
    return QCoreApplication::applicationDirPath();
}

bool AnyWindowVisible() {
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible()) return true;
    return false;
}

bool PanelVisible(int panel) {
    int v = 0;
    GetPanelAttribute(panel, ATTR_VISIBLE, &v);
    return v != 0;
}
} // namespace

class TstStartup : public QObject {
    Q_OBJECT
  private slots:
    void missingDefinitionEndsTheProgram() {
        QTemporaryDir dir;
        QVERIFY(QFile::copy(QDir(BinDir()).filePath("tolvane"), dir.filePath("tolvane")));
        QFile::setPermissions(dir.filePath("tolvane"),
                              QFile::permissions(dir.filePath("tolvane")) | QFile::ExeOwner);
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("TOLVANE_POPUP_SCRIPT", "fail");
        program.setProcessEnvironment(env);
        program.start(dir.filePath("tolvane"));
        QVERIFY(program.waitForFinished(15000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 255); // -1

        // In process: no panel is created, no window shows.
        SetProjectDir(dir.path());
        static char arg0[] = "tolvane";
        char *argv[] = {arg0, nullptr};
        QCOMPARE(LoadAllPanels(1, argv), -1);
        QVERIFY(!AnyWindowVisible());
    }

    // An installed program cannot write its own directory: its settings go to
    // the user's configuration directory, record and parameter files home.
    void filesGoWhereTheyCanBeWritten_data() {
        QTest::addColumn<bool>("writable");
        QTest::newRow("program directory writable") << true;
        QTest::newRow("program directory not writable") << false;
    }
    void filesGoWhereTheyCanBeWritten() {
        QFETCH(bool, writable);
        QTemporaryDir program, config;
        const QString programDir = writable ? program.path() : program.filePath("absent");
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        const QString cfg = ConfigDirFor(programDir);
        qunsetenv("XDG_CONFIG_HOME");
        QCOMPARE(cfg, writable ? programDir : config.filePath("tolvane"));
        QVERIFY(QFileInfo(cfg).isDir());
        QCOMPARE(DataDirFor(programDir), writable ? programDir : QDir::homePath());
    }

    void comesUpConnectedAndEndsWhenClosed() {
        tsim::Simulator sim;
        QVERIFY(sim.listenTcp(0));
        QTemporaryDir dir;
        QVERIFY(QFile::copy(QDir(BinDir()).filePath("Tolvane.uir"), dir.filePath("Tolvane.uir")));
        QFile settings(dir.filePath("ComSettings.cfg"));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write(QString("1\n1\n4\n127.0.0.1\n%1\n").arg(sim.tcpPort()).toLatin1());
        settings.close();
        SetProjectDir(dir.path());
        popupscript::Install();

        bool checked = false;
        QString failure;
        QTimer probe;
        probe.setInterval(50);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (!mainpanel || !PanelVisible(mainpanel) || comecho != 1 ||
                sim.requests().size() < 34)
                return;
            probe.stop();
            checked = true;
            if (!PanelVisible(parapanel)) failure += "parameter panel hidden; ";
            if (!PanelVisible(datapanel)) failure += "data panel hidden; ";
            if (PanelVisible(interfacepanel)) failure += "interface panel shown; ";
            if (tcpcon != 1) failure += "not connected; ";
            PanelWidget(mainpanel)->close();
        });
        probe.start();
        static char arg0[] = "tolvane";
        char *argv[] = {arg0, nullptr};
        QTimer::singleShot(20000, [] { QuitUserInterface(1); }); // a hang fails, not blocks
        const int result = WinMain(1, argv);
        QVERIFY(checked);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QCOMPARE(result, 0);
        QVERIFY(popupscript::Unexpected().isEmpty());
    }
};

QTEST_MAIN(TstStartup)
#include "tst_startup.moc"
