// The shell's services on the real panels: the child-panel switch, dimming
// during transfers, the function keys, STOP and the time-out reaction.
#include "core/MasterCopy.h"
#include "core/SensorData.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "link/Link.h"
#include "live/Live.h"
#include "platform/Introspect.h"
#include "platform/Platform.h"
#include "shell/Shell.h"
#include "sim/Simulator.h"
#include "support/AppFixture.h"
#include "support/WindowSuite.h"
#include "uir_ids.h"

extern const UirPanelInfo kUirPanels[];
int CBF_ButtonGo(int, int, int, void *, int, int);
int CBF_COLBIGP(int, int, int, void *, int, int);

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <vector>

namespace {
const int kNavButtons[7] = {MAINP_ButtonConnect,     MAINP_ButtonPara,     MAINP_ButtonTeachTable,
                            MAINP_ButtonColorGroups, MAINP_ButtonRecorder, MAINP_ButtonCalibrate,
                            MAINP_ButtonTableAttr};
int *const kChildPanels[7] = {&interfacepanel, &parapanel,  &ttpanel, &grouppanel,
                              &recpanel,       &calibpanel, &tapanel};

bool Visible(int panel) {
    int v = 0;
    GetPanelAttribute(panel, ATTR_VISIBLE, &v);
    return v != 0;
}

int Dimmed(int panel, int control) {
    int v = -1;
    GetCtrlAttribute(panel, control, ATTR_DIMMED, &v);
    return v;
}

QList<int> Orders() {
    QList<int> orders;
    for (const QByteArray &r : fixture::Sim().requests())
        orders << ((uchar(r[2]) << 8) | uchar(r[3]));
    return orders;
}

// Every control and panel that the operator can act on, by the name its
// callback is bound to (CBF_ + name).
const char *const kCallbackNames[] = {
    "ButtonAccept",
    "ButtonApplyFromAll",
    "ButtonCalcCF",
    "ButtonCalibrate",
    "ButtonChangeBaudrate",
    "ButtonColorGroups",
    "ButtonConnect",
    "ButtonGet",
    "ButtonGetArray",
    "ButtonGetCF",
    "ButtonGo",
    "ButtonManualRecord",
    "ButtonPara",
    "ButtonRecorder",
    "ButtonResetGroupTable",
    "ButtonResetTable",
    "ButtonSaveArray",
    "ButtonSelRecFile",
    "ButtonSend",
    "ButtonSendCF",
    "ButtonSetRowColor",
    "ButtonSetStartupArray",
    "ButtonStartRecord",
    "ButtonStartTrigRec",
    "ButtonStop",
    "ButtonStopRecord",
    "ButtonStopTrigRec",
    "ButtonTableAttr",
    "ButtonTeachDataTo",
    "ButtonTeachMeanVal",
    "ButtonTeachTable",
    "ButtonTpCapture",
    "ButtonTpClose",
    "ButtonTpResetTable",
    "ButtonTpTeachToTable",
    "ButtonTpUndo",
    "ButtonTryToConnect",
    "ButtonUndo",
    "CALIBP",
    "COLBIGP",
    "Calcmode",
    "DATAP",
    "DispBars",
    "DispBarsRAW",
    "DispCOL",
    "DispGN",
    "DispGroup",
    "DispINT",
    "DispRaw",
    "DispRawDelta",
    "DispRecFile",
    "DispRecordTime",
    "DispRecordedValues",
    "DispRemaining",
    "DispStatus",
    "DispTemp",
    "DispTpCounter",
    "DispTpMaxDeltaGn",
    "DispTpMaxDeltaInt",
    "DispTpMaxDeltaXY",
    "DispX",
    "DispY",
    "EditAverage",
    "EditCFB",
    "EditCFG",
    "EditCFR",
    "EditColorGroups",
    "EditColorNumericRow",
    "EditCommunicationProtocol",
    "EditDynWinLoHi",
    "EditExteach",
    "EditGridGroups",
    "EditHold",
    "EditID",
    "EditInterval",
    "EditIntlim",
    "EditMaxDelta",
    "EditMaxcolNo",
    "EditNo",
    "EditOutmode",
    "EditPmode",
    "EditRecVal",
    "EditRow",
    "EditSelectBaudrate",
    "EditSelectComPort",
    "EditSelectDataRec",
    "EditSetColor",
    "EditSetValue",
    "EditTpRowNo",
    "EditTpTeachCtoWith",
    "EditTpTeachGtoWith",
    "EditTpTeachItoWith",
    "EditTpValueCto",
    "EditTpValueGto",
    "EditTpValueIto",
    "EditTrigger",
    "Evalmode",
    "GRPBIGP",
    "Graph3SidesView",
    "GraphData1",
    "GraphData2",
    "GraphRGB",
    "GridCtt",
    "GridTpMean",
    "GridTpValues",
    "INTERFACEP",
    "MAINP",
    "P3SIDESVIEW",
    "PARAP",
    "PGROUP",
    "RECP",
    "RadioInc",
    "SelectEEPROM",
    "SelectFILE",
    "SelectRAM",
    "SelectSource",
    "SlidePower",
    "StringIpAdress",
    "StringPortNumber",
    "TAP",
    "TEACHP",
    "TTP",
};
// Callbacks of subsystems that are not built yet; each entry leaves the list
// when its subsystem comes.
const std::vector<const char *> kNotBuiltYet = {};

// The callback a control or panel of that name is bound to; `found` tells
// whether any form has it (a control Base__Suffix counts as Base).
CtrlCallbackPtr BoundCallback(const QByteArray &name, bool *found) {
    *found = false;
    for (int p = 0; p < kUirPanelCount; ++p) {
        const UirPanelInfo &panel = kUirPanels[p];
        if (name == panel.name) {
            *found = true;
            return panel.cb;
        }
        for (int c = 0; c < panel.controlCount; ++c) {
            QByteArray control(panel.controls[c].name);
            const int cut = control.indexOf("__");
            if (cut > 0) control.truncate(cut);
            if (control == name) {
                *found = true;
                if (panel.controls[c].cb) return panel.controls[c].cb;
            }
        }
    }
    return nullptr;
}
} // namespace

class TstShell : public fixture::WindowSuite {
    Q_OBJECT
  private slots:
    void init() { fixture::Sim().clearRequests(); }
    void cleanup() { fixture::CheckNoUnexpectedPopups(); }

    // A control whose callback was never written would silently do nothing.
    void everyControlHasItsCallback() {
        const QSet<QByteArray> notBuilt(std::begin(kNotBuiltYet), std::end(kNotBuiltYet));
        QStringList unbound, builtButListed;
        for (const char *name : kCallbackNames) {
            bool found = false;
            const bool bound = BoundCallback(name, &found) != nullptr;
            QVERIFY2(found, name);
            if (!bound && !notBuilt.contains(name)) unbound << name;
            if (bound && notBuilt.contains(name)) builtButListed << name;
        }
        QVERIFY2(unbound.isEmpty(), qPrintable("bound to nothing: " + unbound.join(' ')));
        QVERIFY2(builtButListed.isEmpty(),
                 qPrintable("built, still listed as not built: " + builtButListed.join(' ')));
    }

    void childPanelSwitch_data() {
        QTest::addColumn<int>("code");
        for (int code = 0; code <= 8; ++code)
            QTest::addRow("code %d", code) << code;
    }
    void childPanelSwitch() {
        QFETCH(int, code);
        ShowChildPanel(code);
        for (int i = 0; i < 7; ++i) {
            const bool open = i == code - 1;
            QCOMPARE(Visible(*kChildPanels[i]), open);
            int colour = 0;
            GetCtrlAttribute(mainpanel, kNavButtons[i], ATTR_CMD_BUTTON_COLOR, &colour);
            QCOMPARE(colour, open ? 0xC0C0C0 : 0xE0E0E0);
        }
        QVERIFY(Visible(datapanel));
        if (code == 1) QCOMPARE(Dimmed(interfacepanel, INTERFACEP_ButtonAccept), 1);
        ShowChildPanel(2);
    }

    void navigationButtonsOpenTheirPanels() {
        for (int i = 0; i < 7; ++i) {
            QTest::mouseClick(CtrlWidget(mainpanel, kNavButtons[i]), Qt::LeftButton);
            QVERIFY(Visible(*kChildPanels[i]));
        }
        // A right click only explains the button.
        popupscript::Expect("INFO!");
        QTest::mouseClick(CtrlWidget(mainpanel, MAINP_ButtonPara), Qt::RightButton);
        QVERIFY(!Visible(parapanel));
        QCOMPARE(popupscript::Pending(), 0);
        ShowChildPanel(2);
    }

    void dimmingDuringTransfers() {
        const int transfer[] = {MAINP_SelectRAM,  MAINP_SelectEEPROM, MAINP_SelectFILE,
                                MAINP_ButtonSend, MAINP_ButtonGet,    MAINP_ButtonGo};
        SetButtonsDimmed(1);
        for (int c : transfer)
            QCOMPARE(Dimmed(mainpanel, c), 1);
        QCOMPARE(Dimmed(mainpanel, MAINP_ButtonStop), 0);
        QCOMPARE(Dimmed(parapanel, PARAP_Calcmode), 1);
        QCOMPARE(Dimmed(interfacepanel, INTERFACEP_ButtonTryToConnect), 1);
        // A dimmed button's key does nothing.
        QTest::keyClick(PanelWidget(mainpanel), Qt::Key_F9);
        QVERIFY(fixture::Sim().requests().isEmpty());
        SetButtonsDimmed(0);
        for (int c : transfer)
            QCOMPARE(Dimmed(mainpanel, c), 0);
        QCOMPARE(Dimmed(parapanel, PARAP_Calcmode), 0);
    }

    void functionKeysActLikeTheirButtons() {
        target = RAM;
        QTest::keyClick(PanelWidget(mainpanel), Qt::Key_F9); // SEND
        QCOMPARE(Orders().size(), 32);
        QCOMPARE(Orders().first(), 1);

        fixture::Sim().clearRequests();
        QTest::keyClick(PanelWidget(mainpanel), Qt::Key_F10); // GET
        QCOMPARE(Orders().first(), 3);
        QCOMPARE(Orders().size(), 32);

        // GO polls until F12.
        fixture::Sim().clearRequests();
        QTimer::singleShot(400, [] { QTest::keyClick(PanelWidget(mainpanel), Qt::Key_F12); });
        QTest::keyClick(PanelWidget(mainpanel), Qt::Key_F11);
        QCOMPARE(session::poll, uint16_t(0));
        QVERIFY(fixture::Sim().requestCount(5) >= 5);
        QCOMPARE(fixture::Sim().requestCount(), fixture::Sim().requestCount(5));
        QCOMPARE(Dimmed(mainpanel, MAINP_ButtonGo), 0);
    }

    // The keys reach the main panel's buttons from every free-standing
    // window, and still after a big display was closed with a right click.
    void functionKeysWorkInEveryWindow_data() {
        QTest::addColumn<int *>("panel");
        QTest::newRow("big vector number") << &colbigpanel;
        QTest::newRow("big group") << &grpbigpanel;
        QTest::newRow("mean-value teach") << &teachpanel;
        QTest::newRow("three-sides view") << &p3sidesview;
    }
    void functionKeysWorkInEveryWindow() {
        QFETCH(int *, panel);
        QWidget *window = PanelWidget(*panel);
        DisplayPanel(*panel);
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTimer::singleShot(300, [window] { QTest::keyClick(window, Qt::Key_F12); });
        QTimer::singleShot(5000, [] { session::poll = 0; }); // a lost key fails, not hangs
        const double start = Timer();
        QTest::keyClick(window, Qt::Key_F11);
        QVERIFY2(Timer() - start < 2.0, "F12 did not stop GO");
        QVERIFY(fixture::Sim().requestCount(5) >= 3);

        // A right click hides a big display; the main window takes the keys.
        CBF_COLBIGP(*panel, 0, EVENT_RIGHT_CLICK, nullptr, 0, 0);
        QVERIFY(QTest::qWaitForWindowActive(PanelWidget(mainpanel)));
    }

    // The status line says where SEND put the parameter set and where GET
    // took it from: RAM forgets it at power-off, EEPROM keeps it.
    void transfersSayWhereTheParametersWent_data() {
        QTest::addColumn<int>("memory");
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("note");
        QTest::newRow("SEND RAM") << RAM << int(MAINP_ButtonSend) << "sent to the sensor's RAM";
        QTest::newRow("SEND EEPROM")
            << EEPROM << int(MAINP_ButtonSend) << "stored in the sensor's EEPROM";
        QTest::newRow("GET EEPROM")
            << EEPROM << int(MAINP_ButtonGet) << "read from the sensor's EEPROM";
    }
    void transfersSayWhereTheParametersWent() {
        QFETCH(int, memory);
        QFETCH(int, button);
        QFETCH(QString, note);
        SetMemorySelector(memory);
        QTest::mouseClick(CtrlWidget(mainpanel, button), Qt::LeftButton);
        SetMemorySelector(RAM);
        QString line;
        GetCtrlVal(datapanel, DATAP_DispLink, &line);
        QVERIFY2(line.contains(note), qPrintable(line));
    }

    // Tab walks the panels as they are seen: from the navigation into the
    // open child panel, from STOP into the data panel.
    void tabFollowsThePanels() {
        ShowChildPanel(2);
        SetActivePanel(mainpanel);
        QWidget *nav = CtrlWidget(mainpanel, MAINP_ButtonTableAttr);
        nav->setFocus();
        QTest::keyClick(nav, Qt::Key_Tab);
        QVERIFY(PanelWidget(parapanel)->isAncestorOf(QApplication::focusWidget()));
        QWidget *stop = CtrlWidget(mainpanel, MAINP_ButtonStop);
        stop->setFocus();
        QTest::keyClick(stop, Qt::Key_Tab);
        QVERIFY(PanelWidget(datapanel)->isAncestorOf(QApplication::focusWidget()));
    }

    // After SEND or GO the focus is where it was, not on a stray button.
    void focusReturnsAfterATransfer_data() {
        QTest::addColumn<int>("button");
        QTest::newRow("SEND") << int(MAINP_ButtonSend);
        QTest::newRow("GO") << int(MAINP_ButtonGo);
    }
    void focusReturnsAfterATransfer() {
        QFETCH(int, button);
        SetActivePanel(mainpanel);
        QWidget *w = CtrlWidget(mainpanel, button);
        w->setFocus();
        if (button == MAINP_ButtonGo) QTimer::singleShot(200, [] { session::poll = 0; });
        QTest::keyClick(w, Qt::Key_Space);
        QCOMPARE(QApplication::focusWidget(), w);
    }

    // Closing the main panel while GO waits for an answer that does not come
    // ends the program at once, not after the time-out.
    void closingDuringGoEndsAtOnce() {
        fixture::Sim().armFault({tsim::Fault::NoAnswer, 3, 0});
        double closedAt = 0;
        QTimer::singleShot(
            0, [] { CBF_ButtonGo(mainpanel, MAINP_ButtonGo, EVENT_COMMIT, nullptr, 0, 0); });
        QTimer::singleShot(400, [&] {
            closedAt = Timer();
            PanelWidget(mainpanel)->close();
        });
        QTimer::singleShot(10000, [] { QuitUserInterface(1); });
        QCOMPARE(RunUserInterface(), 0);
        const double seconds = Timer() - closedAt;
        QVERIFY2(seconds < 0.25, qPrintable(QString::number(seconds)));
        fixture::Sim().clearFaults();
        TryToConnect();
        ShowChildPanel(2);
        QCOMPARE(comecho, uint16_t(1));
    }

    void stopEndsTheLoopAfterTheRunningTurn() {
        // STOP arrives while the sensor is still answering: that frame is
        // still shown, then the loop ends.
        fixture::Sim().armFault({tsim::Fault::Delay, 3, 300});
        QTimer::singleShot(150, [] {
            QTest::mouseClick(CtrlWidget(mainpanel, MAINP_ButtonStop), Qt::LeftButton);
        });
        dataTemp = 0;
        QTest::mouseClick(CtrlWidget(mainpanel, MAINP_ButtonGo), Qt::LeftButton);
        fixture::Sim().clearFaults();
        QCOMPARE(session::poll, uint16_t(0));
        QCOMPARE(Orders().size(), 3);
        QVERIFY(dataTemp > 0);
        QString status;
        GetCtrlVal(datapanel, DATAP_DispStatus, &status);
        QVERIFY(status != "TIMEOUT");
    }

    void timeoutReactionOpensTheInterfacePanel() {
        session::poll = 1;
        comecho = 1;
        SetPopupTimeout();
        QCOMPARE(session::poll, uint16_t(0));
        QCOMPARE(comecho, uint16_t(0));
        QString status;
        GetCtrlVal(datapanel, DATAP_DispStatus, &status);
        QCOMPARE(status, QString("TIMEOUT"));
        GetCtrlVal(interfacepanel, INTERFACEP_DispStatus, &status);
        QCOMPARE(status, QString("TIMEOUT"));
        QVERIFY(Visible(interfacepanel));
        ShowChildPanel(2);
    }
};

QTEST_MAIN(TstShell)
#include "tst_shell.moc"
