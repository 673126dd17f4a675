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

    // An installed program keeps its settings in the user's configuration
    // directory and proposes files at home, even when it could write its own
    // directory (run as root); a build tree or a copy keeps them beside itself.
    void filesGoWhereTheyCanBeWritten_data() {
        QTest::addColumn<QString>("programDir");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<bool>("beside");
        QTest::newRow("build tree") << "build/bin" << true << true;
        QTest::newRow("copy that cannot be written") << "copy" << false << false;
        QTest::newRow("installed, writable as by root") << "usr/lib/tolvane" << true << false;
        QTest::newRow("installed under another prefix") << "opt/t/lib/tolvane/" << true << false;
        QTest::newRow("installed, not writable") << "usr/lib/tolvane" << false << false;
        QTest::newRow("a folder named like it") << "lib/tolvane-2" << true << true;
    }
    void filesGoWhereTheyCanBeWritten() {
        QFETCH(QString, programDir);
        QFETCH(bool, writable);
        QFETCH(bool, beside);
        QTemporaryDir root, config;
        const QString dir = root.filePath(programDir);
        if (writable) QVERIFY(QDir().mkpath(dir));
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        const QString cfg = ConfigDirFor(dir);
        qunsetenv("XDG_CONFIG_HOME");
        QCOMPARE(cfg, beside ? dir : config.filePath("tolvane"));
        QVERIFY(QFileInfo(cfg).isDir());
        QCOMPARE(DataDirFor(dir), beside ? dir : QDir::homePath());
    }

    // What cmake --install (and so the package) puts down: the program with
    // everything it looks for beside itself.
    void installedTreeHoldsTheProgram_data() {
        QTest::addColumn<QString>("path");
        for (const char *path :
             {"lib/tolvane/tolvane", "lib/tolvane/Tolvane.uir", "lib/tolvane/TolvaneLogo.png",
              "bin/tolvane", "bin/tolvane-sim", "share/applications/tolvane.desktop"})
            QTest::newRow(path) << QString(path);
    }
    void installedTreeHoldsTheProgram() {
        QFETCH(QString, path);
        static QTemporaryDir prefix;
        static const bool installed = [] {
            QProcess install;
            install.start(TOLVANE_CMAKE,
                          {"--install", TOLVANE_BUILD_DIR, "--prefix", prefix.path()});
            return install.waitForFinished(60000) && install.exitCode() == 0;
        }();
        QVERIFY(installed);
        QVERIFY2(QFileInfo(prefix.filePath(path)).isFile(), qPrintable(path));
        // The installed program's directory is recognised as one.
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        const QString cfg = ConfigDirFor(prefix.filePath("lib/tolvane"));
        qunsetenv("XDG_CONFIG_HOME");
        QCOMPARE(cfg, config.filePath("tolvane"));
    }

    // Only the temporary copies the program provably made go: its own name
    // for them, and a writer that has ended. "ended" stands for the number of
    // a process that ran and ended, "running" for this test's own.
    void leftoversOfInterruptedWritesAreRemoved_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("removed");
        QTest::newRow("settings copy") << "ComSettings.cfg.tolvane-save-ended-a1b2c3" << true;
        QTest::newRow("host list copy") << "IPComboBox.cfg.tolvane-save-ended-000000" << true;
        QTest::newRow("start-up file copy") << "StartupFile.cfg.tolvane-save-ended-ffffff" << true;
        QTest::newRow("a running writer's copy")
            << "ComSettings.cfg.tolvane-save-running-a1b2c3" << false;
        QTest::newRow("the settings") << "ComSettings.cfg" << false;
        QTest::newRow("a backup") << "ComSettings.cfg.backup" << false;
        QTest::newRow("a Backup") << "ComSettings.cfg.Backup" << false;
        QTest::newRow("a dated copy") << "ComSettings.cfg.2024v1" << false;
        QTest::newRow("a copy per line") << "IPComboBox.cfg.LINE01" << false;
        QTest::newRow("six random-looking characters") << "ComSettings.cfg.aB3xY9" << false;
        QTest::newRow("an older one") << "ComSettings.cfg.old" << false;
        QTest::newRow("five characters") << "ComSettings.cfg.abcde" << false;
        QTest::newRow("not alphanumeric") << "ComSettings.cfg.ab-def" << false;
        QTest::newRow("a longer ending")
            << "ComSettings.cfg.tolvane-save-ended-a1b2c3.keep" << false;
        QTest::newRow("another file's copy")
            << "TableAttributes.cfg.tolvane-save-ended-a1b2c3" << false;
    }
    void leftoversOfInterruptedWritesAreRemoved() {
        QFETCH(QString, name);
        QFETCH(bool, removed);
        QProcess ended;
        ended.start("true");
        QVERIFY(ended.waitForStarted());
        const QString endedPid = QString::number(ended.processId());
        QVERIFY(ended.waitForFinished());
        name.replace("ended", endedPid);
        name.replace("running", QString::number(QCoreApplication::applicationPid()));
        QTemporaryDir dir;
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(QDir().mkdir(dir.filePath("IPComboBox.cfg.dirABC")));
        RemoveSaveLeftovers({dir.filePath("ComSettings.cfg"), dir.filePath("IPComboBox.cfg"),
                             dir.filePath("StartupFile.cfg")});
        QCOMPARE(QFileInfo::exists(dir.filePath(name)), !removed);
        QVERIFY(QFileInfo(dir.filePath("IPComboBox.cfg.dirABC")).isDir());
    }

    // A write leaves no copy behind and keeps the file's permissions.
    void atomicWriteReplacesTheFileWhole() {
        QTemporaryDir dir;
        const QString path = dir.filePath("ComSettings.cfg");
        QVERIFY(WriteFileAtomic(path, "1\n"));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(WriteFileAtomic(path, "2\n"));
        QFile read(path);
        QVERIFY(read.open(QIODevice::ReadOnly));
        QCOMPARE(read.readAll(), QByteArray("2\n"));
        QCOMPARE(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"ComSettings.cfg"});
        // A settings file kept elsewhere through a link is written there.
        QVERIFY(QFile::link(path, dir.filePath("IPComboBox.cfg")));
        QVERIFY(WriteFileAtomic(dir.filePath("IPComboBox.cfg"), "3\n"));
        QVERIFY(QFileInfo(dir.filePath("IPComboBox.cfg")).isSymLink());
        QFile linked(path);
        QVERIFY(linked.open(QIODevice::ReadOnly));
        QCOMPARE(linked.readAll(), QByteArray("3\n"));
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
