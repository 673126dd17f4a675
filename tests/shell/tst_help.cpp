// Help on the real panels: a right click on every control of the help table
// shows its text with its title and starts nothing; the same text, without
// its leading blank, is the control's tooltip; the texts with a fixed wording
// keep it byte for byte; the logo band.
#include "core/HelpTable.h"
#include "core/HelpTexts.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "platform/Introspect.h"
#include "platform/Platform.h"
#include "shell/Shell.h"
#include "sim/Simulator.h"
#include "support/AppFixture.h"
#include "support/WindowSuite.h"
#include "uir_ids.h"

#include <QComboBox>
#include <QLabel>
#include <QRegularExpression>
#include <QTest>
#include <QWidget>

extern const UirPanelInfo kUirPanels[];

namespace {
struct PanelName {
    int *handle;
    const char *name;
};
const PanelName kPanels[] = {{&calibpanel, "CALIBP"},
                             {&colbigpanel, "COLBIGP"},
                             {&datapanel, "DATAP"},
                             {&grpbigpanel, "GRPBIGP"},
                             {&interfacepanel, "INTERFACEP"},
                             {&mainpanel, "MAINP"},
                             {&p3sidesview, "P3SIDESVIEW"},
                             {&parapanel, "PARAP"},
                             {&grouppanel, "PGROUP"},
                             {&recpanel, "RECP"},
                             {&tapanel, "TAP"},
                             {&teachpanel, "TEACHP"},
                             {&ttpanel, "TTP"}};
int *const kChildPanels[] = {&parapanel,      &ttpanel,    &datapanel, &tapanel,
                             &interfacepanel, &grouppanel, &recpanel,  &calibpanel};

const UirPanelInfo *PanelInfo(const int *handle) {
    for (const PanelName &p : kPanels)
        if (p.handle == handle)
            for (int i = 0; i < kUirPanelCount; ++i)
                if (qstrcmp(kUirPanels[i].name, p.name) == 0) return &kUirPanels[i];
    return nullptr;
}

const UirControlInfo *ControlInfo(const int *handle, int control) {
    const UirPanelInfo *p = PanelInfo(handle);
    for (int c = 0; p && c < p->controlCount; ++c)
        if (p->controls[c].id == control) return &p->controls[c];
    return nullptr;
}

QList<bool> PanelsShown() {
    QList<bool> shown;
    for (const PanelName &p : kPanels) {
        int v = 0;
        GetPanelAttribute(*p.handle, ATTR_VISIBLE, &v);
        shown << (v != 0);
    }
    return shown;
}

QList<QLabel *> LogoTexts() {
    QList<QLabel *> texts;
    for (QLabel *l : PanelWidget(mainpanel)->findChildren<QLabel *>())
        if (l->objectName().startsWith("TextMsg")) texts << l;
    return texts;
}

int TextMsgId(const QLabel *l) {
    return l->objectName().mid(7).toInt();
}

// Runs ShowLogo and returns the text lines it added.
QList<QLabel *> ShowLogoTexts(int index) {
    const QList<QLabel *> before = LogoTexts();
    ShowLogo(index);
    QList<QLabel *> added;
    for (QLabel *l : LogoTexts())
        if (!before.contains(l)) added << l;
    return added;
}

void Discard(const QList<QLabel *> &texts) {
    for (QLabel *l : texts)
        DiscardCtrl(mainpanel, TextMsgId(l));
}

QRect Geometry(int control) {
    int top = 0, left = 0, width = 0, height = 0;
    GetCtrlAttribute(mainpanel, control, ATTR_TOP, &top);
    GetCtrlAttribute(mainpanel, control, ATTR_LEFT, &left);
    GetCtrlAttribute(mainpanel, control, ATTR_WIDTH, &width);
    GetCtrlAttribute(mainpanel, control, ATTR_HEIGHT, &height);
    return QRect(left, top, width, height);
}

// Back to the start-up band: its frame and picture, its text lines kept once.
void RestoreLogo() {
    Discard(ShowLogoTexts(5));
}

const char kTitle[] = "TOLVANE-Zaded V1.2";
} // namespace

class TstHelp : public fixture::WindowSuite {
    Q_OBJECT
  private slots:
    void init() {
        fixture::Sim().clearRequests();
        popupscript::Clear();
    }
    void cleanup() { fixture::CheckNoUnexpectedPopups(); }

    void rightClickShowsHelpAndStartsNothing_data() {
        QTest::addColumn<int>("row");
        const auto table = HelpTable();
        for (int i = 0; i < int(table.size()); ++i) {
            const UirControlInfo *c = ControlInfo(table[i].panel, table[i].control);
            QVERIFY2(c, qPrintable(QString("row %1 names no control of its panel").arg(i)));
            QTest::addRow("%s %s", PanelInfo(table[i].panel)->name, c->name) << i;
        }
    }
    void rightClickShowsHelpAndStartsNothing() {
        QFETCH(int, row);
        const HelpEntry &e = HelpTable()[row];
        const UirControlInfo *info = ControlInfo(e.panel, e.control);
        if (!info->cb) QSKIP("callback not built yet");

        QWidget *w = CtrlWidget(*e.panel, e.control);
        QVERIFY(w);
        // The operator clicks a control he sees and can use.
        for (int *child : kChildPanels)
            if (child == e.panel) DisplayPanel(mainpanel);
        DisplayPanel(*e.panel);
        int visible = 1, dimmed = 0;
        GetCtrlAttribute(*e.panel, e.control, ATTR_VISIBLE, &visible);
        GetCtrlAttribute(*e.panel, e.control, ATTR_DIMMED, &dimmed);
        SetCtrlAttribute(*e.panel, e.control, ATTR_VISIBLE, 1);
        SetCtrlAttribute(*e.panel, e.control, ATTR_DIMMED, 0);
        const QList<bool> shown = PanelsShown();
        session::poll = 0;

        popupscript::Expect(e.title);
        QTest::mouseClick(w, Qt::RightButton, {}, w->rect().center());
        fixture::Pump(50);

        QCOMPARE(popupscript::Pending(), 0);
        QCOMPARE(popupscript::Log().size(), 1);
        QCOMPARE(popupscript::Log().first().title, QString(e.title));
        QCOMPARE(popupscript::Log().first().text, QString::fromUtf8(e.text));
        QVERIFY2(fixture::Sim().requests().isEmpty(), "a right click talked to the sensor");
        QCOMPARE(session::poll, uint16_t(0));
        QCOMPARE(PanelsShown(), shown);

        QCOMPARE(w->toolTip(), QString::fromUtf8(e.text).remove(QRegularExpression("^ +")));
        QVERIFY(!w->toolTip().isEmpty());

        SetCtrlAttribute(*e.panel, e.control, ATTR_VISIBLE, visible);
        SetCtrlAttribute(*e.panel, e.control, ATTR_DIMMED, dimmed);
        ShowChildPanel(2);
    }

    // A control built with a callback but left out of the table would show
    // no tooltip, and its help would go unchecked.
    void everyBuiltControlIsInTheHelpTable() {
        QSet<QPair<int, int>> listed;
        for (const HelpEntry &e : HelpTable())
            listed.insert({*e.panel, e.control});
        QStringList missing;
        for (const PanelName &p : kPanels) {
            // The big displays close on a right click instead.
            if (p.handle == &colbigpanel || p.handle == &grpbigpanel) continue;
            const UirPanelInfo *info = PanelInfo(p.handle);
            for (int c = 0; c < info->controlCount; ++c) {
                const UirControlInfo &ctrl = info->controls[c];
                if (!ctrl.cb) continue;
                if (!listed.contains({*p.handle, ctrl.id}))
                    missing << QString("%1 %2").arg(p.name, ctrl.name);
            }
        }
        QVERIFY2(missing.isEmpty(), qPrintable("not in the help table: " + missing.join(", ")));
    }

    // The host field becomes an editable ring (the host list) after the
    // tooltips are given; the ring's arrow explains the field all the same.
    void hostRingCarriesTheFieldsToolTip() {
        MakeEditableRing(interfacepanel, INTERFACEP_StringIpAdress); // refused when one already
        auto *ring = qobject_cast<QComboBox *>(
            CtrlWidget(interfacepanel, INTERFACEP_StringIpAdress)->parentWidget());
        QVERIFY(ring);
        QCOMPARE(ring->toolTip(), QString(HelpToolTip(InfoStringIpAdress)));
    }

    // "Close the big display with a right mouse click": anywhere on it.
    void rightClickClosesTheBigDisplays_data() {
        QTest::addColumn<int *>("panel");
        QTest::addColumn<int>("control");
        QTest::newRow("number") << &colbigpanel << int(COLBIGP_DispBigCOL);
        QTest::newRow("number's ID") << &colbigpanel << int(COLBIGP_DispID);
        QTest::newRow("group") << &grpbigpanel << int(GRPBIGP_DispBigGroup);
        QTest::newRow("group's ID") << &grpbigpanel << int(GRPBIGP_DispID);
    }
    void rightClickClosesTheBigDisplays() {
        QFETCH(int *, panel);
        QFETCH(int, control);
        DisplayPanel(*panel);
        QWidget *w = CtrlWidget(*panel, control);
        QTest::mouseClick(w, Qt::RightButton, {}, w->rect().center());
        int visible = 1;
        GetPanelAttribute(*panel, ATTR_VISIBLE, &visible);
        QCOMPARE(visible, 0);
    }

    void textsKeepTheirWording_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("wording");
#define ROW(name, wording) QTest::newRow(#name) << QByteArray(name) << QByteArray(wording)
        ROW(InfoButtonPara, " Switch to sensor parameters.");
        ROW(InfoButtonTeachTable, " Switch to vector teach table.");
        ROW(InfoButtonSend, " All the parameters of the PC-User-Interface are transferred to the "
                            "sensor or to a selectable file. \n The target of the parameter "
                            "transfer is determined by the select button (RAM, EEPROM, FILE). "
                            "\n Shortcut Key: F9. ");
        ROW(InfoButtonGet, " Sensor or file parameters are transferred to the PC-User-Interface. "
                           "\n The source of the parameter transfer is determined by the select "
                           "button (RAM, EEPROM, FILE). \n Shortcut Key: F10. ");
        ROW(InfoButtonGo, " Starts data transfer (R,G,B,X,Y,INT,GN,V-No:,TEMP respectively \n "
                          "R,G,B,s,i,M,GN,V-No:,TEMP from sensor to PC. \n The data are shown in "
                          "the displays, bars and in the graph.\n Shortcut Key: F11. ");
        ROW(InfoButtonStop, " Stops data transfer from sensor to PC.\n Shortcut Key: F12. ");
        ROW(InfoButtonConnect, " Open a panel to select an interface protocol.");
        ROW(InfoButtonTryToConnect, " Try to connect sensor.");
        ROW(InfoButtonAccept, " Accept settings and return to main panel.");
        ROW(InfoButtonChangeBaudrate,
            "Save selected Baudrate to sensor. \n\nConfirm new baudrate with EEPROM and SEND.");
        ROW(InfoEditCommunicationProtocol, " Select RS232 or TCP/IP Interface. ");
        ROW(InfoEditConnect, " Select a serial COM-PORT.");
        ROW(InfoEditSelectBaudrate, "Select the Baudrate for data transfer. \n\nAttention! Sensor "
                                    "and user surface \nmust work with the same Baudrate. ");
        ROW(InfoStringIpAdress, " Select a Server by name or IP address.");
        ROW(InfoStringPortNumber, " Select a port number.");
        ROW(InfoEditID, " Insert sensor identification. \n This ID will be displayed in some "
                        "panels of the software.");
        ROW(InfoStatus, " Displays interface status.");
        ROW(InfoDispCOL, " Displays the current detected vector number in \n accordance with the "
                         "row in the VECTOR TEACH TABLE. \n Double click opens a big display. \n "
                         "Close the big display with a right mouse click.");
        ROW(InfoDispGroup, " Displays the current detected vector group. \n Double click opens a "
                           "big display. \n Close the big display with a right mouse click.");
        ROW(InfoButtonTableAttr, " Switch to table attributes.");
        ROW(InfoEditPower, " Select the intensity of the transmitter LED. \n 0 = no intensity,  "
                           "1000 = full intensity.");
        ROW(InfoEditIntlim, " Select an intensity limit. \n Color evaluation is stopped, if the "
                            "current intensity INT falls below this limit. \n ERROR STATE is "
                            "output (V-No: = 255).");
        ROW(InfoEditMaxcolNo, " Select the number of vectors in the VECTOR TEACH TABLE to be "
                              "checked (beginning from row 0). \n Aktive rows are labelled green, "
                              "inaktive are labelled red.");
        ROW(InfoGroupsOutmode, " ATTENTION! \n If OUTMODE=DIRECT HI or DIRECT LO: \n 5 groups are "
                               "possible! GROUP 0,1,2,3,4. \n If OUTMODE=BINARY: \n 31 groups are "
                               "possible. GROUP 0,1,2.....30.");
        ROW(InfoButtonResetTable, " Reset the VECTOR TEACH TABLE. \n All cells are set to 1.");
        ROW(InfoEditInterval, " Choose a even interval for recording. \n Minimum interval is 1 "
                              "second. ");
        // Quoted where the panels that use them are described.
        ROW(InfoButtonColorGroups, " Open panel to create vector groups.");
        ROW(InfoEditColorGroups, " Activate vector groups.");
        ROW(InfoButtonResetGroupTable, " Reset the GROUP TABLE. \n All cells are set to 0.");
        ROW(InfoButtonTpResetTable, " Set all table cell to 0.");
        ROW(InfoButtonTpTeachToTable, " Mean values are assigned to the \n VECTOR TEACH TABLE row "
                                      "selected \n in the ROW No.: function field.");
        ROW(InfoDispTpCounter, " Displays the amount of captured frames. ");
#undef ROW
    }
    void textsKeepTheirWording() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, wording);
        QCOMPARE(text, wording);
    }

    void logoOutsideTheTableLeavesTheBand_data() {
        QTest::addColumn<int>("index");
        QTest::newRow("13") << 13;
        QTest::newRow("-1") << -1;
    }
    void logoOutsideTheTableLeavesTheBand() {
        QFETCH(int, index);
        int frame = 0, frameAfter = 0;
        GetCtrlAttribute(mainpanel, MAINP_LogoFrame, ATTR_TEXT_BGCOLOR, &frame);
        const QRect picture = Geometry(MAINP_LogoPicture);
        const QList<QLabel *> added = ShowLogoTexts(index);
        Discard(added);
        QVERIFY(added.isEmpty());
        GetCtrlAttribute(mainpanel, MAINP_LogoFrame, ATTR_TEXT_BGCOLOR, &frameAfter);
        QCOMPARE(frameAfter, frame);
        QCOMPARE(Geometry(MAINP_LogoPicture), picture);
    }

    void logoWithoutBrandShowsTheTitleAlone() {
        const QList<QLabel *> added = ShowLogoTexts(0);
        QCOMPARE(added.size(), 1);
        QLabel *title = added.first();
        int colour = -1, ground = -1, frame = -1;
        GetCtrlAttribute(mainpanel, TextMsgId(title), ATTR_TEXT_COLOR, &colour);
        GetCtrlAttribute(mainpanel, TextMsgId(title), ATTR_TEXT_BGCOLOR, &ground);
        GetCtrlAttribute(mainpanel, MAINP_LogoFrame, ATTR_TEXT_BGCOLOR, &frame);
        const QString text = title->text();
        const QPoint at = title->pos();
        Discard(added);
        QCOMPARE(text, QString(kTitle));
        QCOMPARE(at, QPoint(280, 20));
        QCOMPARE(colour, 0x000000);
        QCOMPARE(ground, 0xFFFFFF);
        QCOMPARE(frame, 0xFFFFFF);
        QCOMPARE(Geometry(MAINP_LogoPicture).topLeft(), QPoint(800, 5));
        RestoreLogo();
    }

    // Every row shows the title, and all its lines lie inside the band.
    void logoRowsStayInsideTheBand_data() {
        QTest::addColumn<int>("index");
        for (int i = 0; i <= 12; ++i)
            QTest::addRow("%d", i) << i;
    }
    void logoRowsStayInsideTheBand() {
        QFETCH(int, index);
        const QList<QLabel *> added = ShowLogoTexts(index);
        const QRect band = Geometry(MAINP_LogoFrame);
        const QRect picture = Geometry(MAINP_LogoPicture);
        QStringList texts, outside;
        for (QLabel *l : added) {
            texts << l->text();
            if (!band.contains(l->geometry())) outside << l->text();
        }
        Discard(added);
        QVERIFY(added.size() >= 1 && added.size() <= 4);
        QVERIFY(texts.contains(kTitle));
        QVERIFY2(outside.isEmpty(), qPrintable(outside.join(", ")));
        QVERIFY(band.contains(picture));
        RestoreLogo();
    }
};

QTEST_MAIN(TstHelp)
#include "tst_help.moc"
