#include "support/AppFixture.h"
#include "core/Session.h"
#include "core/Ui.h"

#include "link/Link.h"
#include "platform/Platform.h"
#include "shell/Shell.h"
#include "sim/Simulator.h"
#include "uir_ids.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace fixture {
namespace {
QTemporaryDir *g_dir = nullptr;
tsim::Simulator *g_sim = nullptr;
} // namespace

bool StartProgram() {
    g_dir = new QTemporaryDir();
    if (!g_dir->isValid()) return false;
    const QString uir = QDir(QCoreApplication::applicationDirPath()).filePath("Tolvane.uir");
    if (!QFile::copy(uir, QDir(g_dir->path()).filePath("Tolvane.uir"))) return false;
    SetProjectDir(g_dir->path());
    popupscript::Install();
    static char arg0[] = "tolvane";
    char *argv[] = {arg0, nullptr};
    if (LoadAllPanels(1, argv) < 0) return false;
    ShowChildPanel(2);
    DisplayPanel(datapanel);
    DisplayPanel(mainpanel);
    return true;
}

void EndProgram() {
    session::poll = 0;
    if (tcpcon) DisconnectFromTCPServer(g_hconversation);
    tcpcon = 0;
    DiscardAllPanels();
    delete g_sim;
    g_sim = nullptr;
}

QString ProgramDir() {
    return g_dir ? g_dir->path() : QString();
}

tsim::Simulator &Sim() {
    if (!g_sim) {
        g_sim = new tsim::Simulator();
        g_sim->listenTcp(0);
    }
    return *g_sim;
}

void Reconnect() {
    Sim().clearFaults();
    SelectTcp();
    SetButtonsDimmed(1);
    TryToConnect();
    SetButtonsDimmed(0);
    QCOMPARE(comecho, uint16_t(1));
}

void Type(QWidget *field, const QString &text) {
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

QString Text(int panel, int control) {
    QString s;
    GetCtrlVal(panel, control, &s);
    return s;
}

void SelectTcp() {
    SetCtrlVal(interfacepanel, INTERFACEP_EditCommunicationProtocol, 1);
    SetCtrlVal(interfacepanel, INTERFACEP_StringIpAdress, "127.0.0.1");
    SetCtrlVal(interfacepanel, INTERFACEP_StringPortNumber, QString::number(Sim().tcpPort()));
}

void SelectSerial(const QString &device, int baudIndex) {
    qputenv("TOLVANE_COM1", device.toLocal8Bit());
    SetCtrlVal(interfacepanel, INTERFACEP_EditCommunicationProtocol, 0);
    SelectComPort(1);
    SetCtrlVal(interfacepanel, INTERFACEP_EditSelectBaudrate, baudIndex);
}

bool StartUp() {
    SelectTcp();
    InitAll();
    return comecho == 1 && tcpcon == 1;
}

void Pump(int ms) {
    const double end = Timer() + ms / 1000.0;
    while (Timer() < end)
        WaitSystemEvents(end - Timer());
}

void CheckNoUnexpectedPopups() {
    const QStringList unexpected = popupscript::Unexpected();
    popupscript::Clear();
    QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join(" | ")));
}
} // namespace fixture
