// The user-interface services driven through the real panels from the built
// Tolvane.uir: loading, events, values, attributes, rings, tables, graphs,
// pop-ups and files.
#include "platform/Introspect.h"
#include "platform/Platform.h"
#include "uir_ids.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <csignal>
#include <qcustomplot.h>
#include <sys/resource.h>
#include <unistd.h>

extern const UirPanelInfo kUirPanels[];

namespace {

struct Ev {
    int panel, control, event, data1, data2;
    bool operator==(const Ev &o) const {
        return panel == o.panel && control == o.control && event == o.event && data1 == o.data1 &&
               data2 == o.data2;
    }
};
QList<Ev> g_events;

int Record(int panel, int control, int event, void *, int data1, int data2) {
    g_events.append(Ev{panel, control, event, data1, data2});
    return 0;
}

// The value events of one control, in order (clicks, keys and focus aside).
QList<int> ValueEvents(int control) {
    QList<int> out;
    for (const Ev &e : g_events)
        if (e.control == control && (e.event == EVENT_COMMIT || e.event == EVENT_VAL_CHANGED))
            out.append(e.event);
    return out;
}

QList<int> EventsOf(int control) {
    QList<int> out;
    for (const Ev &e : g_events)
        if (e.control == control) out.append(e.event);
    return out;
}

const QString kUir = QStringLiteral("Tolvane.uir");

void Flush() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

template <typename T> T *Widget(int panel, int control) {
    return qobject_cast<T *>(CtrlWidget(panel, control));
}

QCustomPlot *Plot(int panel, int control) {
    return Widget<QCustomPlot>(panel, control);
}

// Routes every control of a loaded panel, and the panel itself, to Record.
void HookAll(int handle, int panelId) {
    const UirPanelInfo &info = kUirPanels[panelId - 1];
    for (int i = 0; i < info.controlCount; ++i)
        InstallCtrlCallback(handle, info.controls[i].id, Record, nullptr);
    InstallPanelCallback(handle, Record, nullptr);
}

} // namespace

class TestUi : public QObject {
    Q_OBJECT

  private:
    QList<int> m_handles;

    int load(int panelId, int parent = 0) {
        const int h = LoadPanel(parent, kUir, panelId);
        if (h > 0) {
            m_handles.append(h);
            HookAll(h, panelId);
        }
        return h;
    }

  private slots:
    void initTestCase() {
        QVERIFY(InitRunTimeEngine(0, nullptr) == 0);
        InstallUirTable(kUirPanels, kUirPanelCount);
        const QString bin =
            qEnvironmentVariable("TOLVANE_BIN_DIR", QCoreApplication::applicationDirPath());
        SetProjectDir(bin);
        QVERIFY2(QFile::exists(JoinPath(bin, kUir)), "build the uir target first");
    }

    void cleanup() {
        for (int h : m_handles)
            DiscardPanel(h);
        m_handles.clear();
        Flush();
        g_events.clear();
        popupscript::Uninstall();
        popupscript::Clear();
    }

    // ------------------------------------------------------------ panels ---

    void loadFailures_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("panelId");
        QTest::addColumn<int>("parent");
        QTest::newRow("missing file") << "NoSuch.uir" << int(MAINP) << 0;
        QTest::newRow("unknown panel") << kUir << 99 << 0;
        QTest::newRow("stale parent") << kUir << int(PARAP) << 9999;
    }
    void loadFailures() {
        QFETCH(QString, file);
        QFETCH(int, panelId);
        QFETCH(int, parent);
        QVERIFY(LoadPanel(parent, file, panelId) < 0);
    }

    void missingControlFailsTheLoad() {
        // The table names a control that the form does not have.
        const UirPanelInfo &colbig = kUirPanels[COLBIGP - 1];
        std::vector<UirControlInfo> controls(colbig.controls,
                                             colbig.controls + colbig.controlCount);
        controls.push_back(UirControlInfo{int(controls.size()) + 2, "NoSuchControl", nullptr});
        std::vector<UirPanelInfo> table(kUirPanels, kUirPanels + kUirPanelCount);
        table[COLBIGP - 1].controls = controls.data();
        table[COLBIGP - 1].controlCount = int(controls.size());
        InstallUirTable(table.data(), int(table.size()));
        const int h = LoadPanel(0, kUir, COLBIGP);
        InstallUirTable(kUirPanels, kUirPanelCount);
        QVERIFY(h < 0);
        QVERIFY(load(COLBIGP) > 0);
    }

    void panelsLoadTwiceAndNest() {
        const int main1 = load(MAINP);
        const int main2 = load(MAINP);
        QVERIFY(main1 > 0 && main2 > 0 && main1 != main2);
        QVERIFY(PanelWidget(main1) != PanelWidget(main2));
        QVERIFY(PanelWidget(main1)->isWindow());

        const int para = load(PARAP, main1);
        QVERIFY(para > 0);
        // Inside the main panel (in the content of its scroll area).
        QVERIFY(PanelWidget(main1)->isAncestorOf(PanelWidget(para)));
        QVERIFY(PanelWidget(para)->isHidden());
        QCOMPARE(SetPanelPos(para, 119, 7), 0);
        QCOMPARE(PanelWidget(para)->pos(), QPoint(7, 119));
        DisplayPanel(para);
        int visible = 0;
        GetPanelAttribute(para, ATTR_VISIBLE, &visible);
        QCOMPARE(visible, 1);

        // Discarding the parent takes the child along.
        QPointer<QWidget> child = PanelWidget(para);
        QCOMPARE(DiscardPanel(main1), 0);
        QVERIFY(PanelWidget(para) == nullptr);
        QVERIFY(SetCtrlVal(para, PARAP_EditAverage, 3) < 0);
        Flush();
        QVERIFY(child.isNull());
        QVERIFY(PanelWidget(main2) != nullptr);
    }

    void graphsArePlots() {
        const int data = load(DATAP);
        QVERIFY(Plot(data, DATAP_GraphRGB));
        QVERIFY(Plot(data, DATAP_GraphData2));
        const int sides = load(P3SIDESVIEW);
        QVERIFY(Plot(sides, P3SIDESVIEW_Graph3SidesView__IntTrend));
    }

    void closeAsksTheCallback() {
        const int big = load(COLBIGP);
        DisplayPanel(big);
        PanelWidget(big)->close();
        QCOMPARE(g_events.size(), 1);
        QCOMPARE(g_events[0], (Ev{big, 0, EVENT_CLOSE, 0, 0}));
        QVERIFY(PanelWidget(big)->isVisible());
    }

    void callbacksBoundByName() {
        // The Base__Suffix controls share one callback; the engine binds
        // each control to the table's callback.
        const UirPanelInfo &info = kUirPanels[DATAP - 1];
        CtrlCallbackPtr raw[6] = {};
        const int ids[6] = {DATAP_DispRaw__R,   DATAP_DispRaw__G,   DATAP_DispRaw__B,
                            DATAP_DispRaw__Ref, DATAP_DispRaw__Dir, DATAP_DispRaw__Dif};
        for (int i = 0; i < info.controlCount; ++i)
            for (int k = 0; k < 6; ++k)
                if (info.controls[i].id == ids[k]) raw[k] = info.controls[i].cb;
        for (int k = 1; k < 6; ++k)
            QVERIFY(raw[k] == raw[0]);

        const int h = LoadPanel(0, kUir, DATAP);
        m_handles.append(h);
        for (int k = 0; k < 6; ++k) {
            CtrlCallbackPtr cb = nullptr;
            void *data = nullptr;
            QCOMPARE(GetCtrlCallback(h, ids[k], &cb, &data), 0);
            QVERIFY(cb == raw[0]);
        }
    }

    // ------------------------------------------------------------ values ---

    void valueRoundTrip_data() {
        QTest::addColumn<int>("panelId");
        QTest::addColumn<int>("control");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("shown"); // what the widget shows, when it shows text
        QTest::newRow("spin box") << int(PARAP) << int(PARAP_EditAverage) << 7 << "7";
        QTest::newRow("slider") << int(PARAP) << int(PARAP_SlidePower) << 300 << "";
        QTest::newRow("ring by value")
            << int(INTERFACEP) << int(INTERFACEP_EditSelectComPort) << 3 << "COM3";
        QTest::newRow("numeric display") << int(DATAP) << int(DATAP_DispX) << 1234 << "1234";
        QTest::newRow("led on") << int(DATAP) << int(DATAP_LedTrig) << 1 << "";
        QTest::newRow("colour patch") << int(DATAP) << int(DATAP_ColorPatch) << 0x12AB34 << "";
        QTest::newRow("bar") << int(DATAP) << int(DATAP_BarR) << 2000 << "";
        QTest::newRow("text field")
            << int(INTERFACEP) << int(INTERFACEP_StringPortNumber) << 502 << "502";
        QTest::newRow("check box") << int(TTP) << int(TTP_RadioInc) << 1 << "";
        QTest::newRow("toggle button") << int(MAINP) << int(MAINP_SelectEEPROM) << 1 << "";
    }
    void valueRoundTrip() {
        QFETCH(int, panelId);
        QFETCH(int, control);
        QFETCH(int, value);
        QFETCH(QString, shown);
        const int h = load(panelId);
        QCOMPARE(SetCtrlVal(h, control, value), 0);
        int back = -1;
        QCOMPARE(GetCtrlVal(h, control, &back), 0);
        QCOMPARE(back, value);
        double d = -1;
        GetCtrlVal(h, control, &d);
        QCOMPARE(d, double(value));
        QWidget *w = CtrlWidget(h, control);
        if (auto *label = qobject_cast<QLabel *>(w); label && !shown.isEmpty())
            QCOMPARE(label->text(), shown);
        if (auto *edit = qobject_cast<QLineEdit *>(w)) QCOMPARE(edit->text(), shown);
        if (auto *ring = qobject_cast<QComboBox *>(w)) QCOMPARE(ring->currentText(), shown);
        if (auto *spin = qobject_cast<QSpinBox *>(w)) QCOMPARE(spin->text(), shown);
        // Values set by the program reach no callback.
        QVERIFY(g_events.isEmpty());
    }

    void textValues() {
        const int h = load(INTERFACEP);
        QCOMPARE(SetCtrlVal(h, INTERFACEP_StringIpAdress, "192.168.0.10"), 0);
        QString text;
        GetCtrlVal(h, INTERFACEP_StringIpAdress, &text);
        QCOMPARE(text, QStringLiteral("192.168.0.10"));
        QCOMPARE(SetCtrlVal(h, INTERFACEP_DispStatus, QStringLiteral("TIMEOUT")), 0);
        GetCtrlVal(h, INTERFACEP_DispStatus, &text);
        QCOMPARE(text, QStringLiteral("TIMEOUT"));
        // A ring refuses a value none of its items has.
        QVERIFY(SetCtrlVal(h, INTERFACEP_EditSelectComPort, 77) < 0);
        QVERIFY(g_events.isEmpty());
    }

    void sliderShowsItsValueInItsLabel() {
        const int h = load(PARAP);
        auto *mirror = PanelWidget(h)->findChild<QSpinBox *>("EditPower");
        QVERIFY(mirror);
        SetCtrlVal(h, PARAP_SlidePower, 345);
        QCOMPARE(mirror->value(), 345);
    }

    // ------------------------------------------------------------ events ---

    void userActionsCommit() {
        const int main = load(MAINP);
        const int ttp = load(TTP);
        const int para = load(PARAP);
        DisplayPanel(main);
        DisplayPanel(ttp);
        DisplayPanel(para);

        QTest::mouseClick(CtrlWidget(main, MAINP_ButtonGo), Qt::LeftButton);
        QCOMPARE(ValueEvents(MAINP_ButtonGo), QList<int>{EVENT_COMMIT});

        int before = 0, after = 0;
        GetCtrlVal(ttp, TTP_RadioInc, &before);
        QTest::mouseClick(CtrlWidget(ttp, TTP_RadioInc), Qt::LeftButton);
        QCOMPARE(ValueEvents(TTP_RadioInc), (QList<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
        GetCtrlVal(ttp, TTP_RadioInc, &after);
        QCOMPARE(after, 1 - before);

        // A spin box commits the entered number, not every keystroke.
        auto *spin = Widget<QSpinBox>(para, PARAP_EditAverage);
        spin->setFocus();
        spin->selectAll();
        QTest::keyClicks(spin, "12");
        QCOMPARE(ValueEvents(PARAP_EditAverage), QList<int>{});
        QTest::keyClick(spin, Qt::Key_Return);
        QCOMPARE(ValueEvents(PARAP_EditAverage), (QList<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
        int v = 0;
        GetCtrlVal(para, PARAP_EditAverage, &v);
        QCOMPARE(v, spin->value());

        // Picking a ring item from the keyboard.
        auto *ring = Widget<QComboBox>(para, PARAP_Calcmode);
        SetCtrlVal(para, PARAP_Calcmode, 0);
        QTest::keyClick(ring, Qt::Key_Down);
        QCOMPARE(ValueEvents(PARAP_Calcmode), (QList<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
        GetCtrlVal(para, PARAP_Calcmode, &v);
        QCOMPARE(v, 1);
    }

    void textFieldCommitsOnEnter() {
        const int h = load(INTERFACEP);
        DisplayPanel(h);
        auto *edit = Widget<QLineEdit>(h, INTERFACEP_StringPortNumber);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, "9");
        QCOMPARE(ValueEvents(INTERFACEP_StringPortNumber), QList<int>{EVENT_VAL_CHANGED});
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(ValueEvents(INTERFACEP_StringPortNumber),
                 (QList<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
        // The key presses reached the control's and the panel's callbacks.
        QVERIFY(
            g_events.contains(Ev{h, INTERFACEP_StringPortNumber, EVENT_KEYPRESS, Qt::Key_9, 0}));
        QVERIFY(g_events.contains(Ev{h, 0, EVENT_KEYPRESS, Qt::Key_9, 0}));
    }

    void rightClickOnlyRightClicks_data() {
        QTest::addColumn<int>("panelId");
        QTest::addColumn<int>("control");
        QTest::newRow("button") << int(MAINP) << int(MAINP_ButtonSend);
        QTest::newRow("toggle") << int(MAINP) << int(MAINP_SelectRAM);
        QTest::newRow("display") << int(DATAP) << int(DATAP_DispX);
        QTest::newRow("graph") << int(DATAP) << int(DATAP_GraphRGB);
        QTest::newRow("ring") << int(PARAP) << int(PARAP_Calcmode);
        QTest::newRow("table") << int(TTP) << int(TTP_GridCtt);
    }
    void rightClickOnlyRightClicks() {
        QFETCH(int, panelId);
        QFETCH(int, control);
        const int h = load(panelId);
        DisplayPanel(h);
        QWidget *w = CtrlWidget(h, control);
        if (auto *table = qobject_cast<QTableWidget *>(w)) w = table->viewport();
        int before = 0;
        GetCtrlVal(h, control, &before);
        QTest::mouseClick(w, Qt::RightButton, {}, QPoint(10, 10));
        QCOMPARE(EventsOf(control), QList<int>{EVENT_RIGHT_CLICK});
        int after = 0;
        GetCtrlVal(h, control, &after);
        QCOMPARE(after, before);
    }

    void doubleClick() {
        const int h = load(DATAP);
        DisplayPanel(h);
        QTest::mouseDClick(CtrlWidget(h, DATAP_DispCOL), Qt::LeftButton);
        QCOMPARE(EventsOf(DATAP_DispCOL), QList<int>{EVENT_LEFT_DOUBLE_CLICK});
    }

    void shortcutsFollowDimming() {
        const int main = load(MAINP);
        const int para = load(PARAP, main);
        DisplayPanel(para);
        DisplayPanel(main);
        QWidget *window = PanelWidget(main);
        QVERIFY(QTest::qWaitForWindowActive(window));

        QTest::keyClick(window, Qt::Key_F11);
        QCOMPARE(ValueEvents(MAINP_ButtonGo), QList<int>{EVENT_COMMIT});

        // From a control of a child panel.
        auto *spin = Widget<QSpinBox>(para, PARAP_EditAverage);
        spin->setFocus();
        QTest::keyClick(spin, Qt::Key_F9);
        QCOMPARE(ValueEvents(MAINP_ButtonSend), QList<int>{EVENT_COMMIT});

        g_events.clear();
        SetCtrlAttribute(main, MAINP_ButtonGo, ATTR_DIMMED, 1);
        QTest::keyClick(window, Qt::Key_F11);
        QCOMPARE(ValueEvents(MAINP_ButtonGo), QList<int>{});
        QTest::keyClick(window, Qt::Key_F12); // STOP stays usable
        QCOMPARE(ValueEvents(MAINP_ButtonStop), QList<int>{EVENT_COMMIT});
        // The key acted once, not again as a delayed click.
        QTest::qWait(200);
        QCOMPARE(ValueEvents(MAINP_ButtonStop), QList<int>{EVENT_COMMIT});
    }

    // -------------------------------------------------------- attributes ---

    void attributes() {
        const int data = load(DATAP);
        DisplayPanel(data);
        QLabel *label = PanelWidget(data)->findChild<QLabel *>("lblX");
        QVERIFY(label);

        SetCtrlAttribute(data, DATAP_DispX, ATTR_VISIBLE, 0);
        QVERIFY(CtrlWidget(data, DATAP_DispX)->isHidden());
        QVERIFY(label->isHidden());
        int v = -1;
        GetCtrlAttribute(data, DATAP_DispX, ATTR_VISIBLE, &v);
        QCOMPARE(v, 0);
        SetCtrlAttribute(data, DATAP_DispX, ATTR_VISIBLE, 1);
        QVERIFY(!label->isHidden());

        SetCtrlAttribute(data, DATAP_DispX, ATTR_LABEL_TEXT, QStringLiteral("s"));
        QCOMPARE(label->text(), QStringLiteral("s"));
        QString text;
        GetCtrlAttribute(data, DATAP_DispX, ATTR_LABEL_TEXT, &text);
        QCOMPARE(text, QStringLiteral("s"));

        SetCtrlAttribute(data, DATAP_GraphData1, ATTR_LABEL_TEXT, QStringLiteral("s/i"));
        GetCtrlAttribute(data, DATAP_GraphData1, ATTR_LABEL_TEXT, &text);
        QCOMPARE(text, QStringLiteral("s/i"));

        for (int attr : {ATTR_TEXT_BGCOLOR, ATTR_FRAME_COLOR, ATTR_TEXT_COLOR}) {
            SetCtrlAttribute(data, DATAP_DispY, attr, 0x80FFFF);
            GetCtrlAttribute(data, DATAP_DispY, attr, &v);
            QCOMPARE(v, 0x80FFFF);
        }

        SetCtrlAttribute(data, DATAP_DispCOL, ATTR_TOP, 40);
        SetCtrlAttribute(data, DATAP_DispCOL, ATTR_WIDTH, 77);
        GetCtrlAttribute(data, DATAP_DispCOL, ATTR_TOP, &v);
        QCOMPARE(v, 40);
        QCOMPARE(CtrlWidget(data, DATAP_DispCOL)->width(), 77);

        SetCtrlAttribute(data, DATAP_SelectSource, ATTR_DIMMED, 1);
        QVERIFY(!CtrlWidget(data, DATAP_SelectSource)->isEnabled());
        GetCtrlAttribute(data, DATAP_SelectSource, ATTR_DIMMED, &v);
        QCOMPARE(v, 1);
    }

    void buttonColourMarksTheOpenPanel() {
        const int main = load(MAINP);
        DisplayPanel(main);
        auto *button = Widget<QPushButton>(main, MAINP_ButtonPara);
        const QPoint centre(4, button->height() / 2);
        auto face = [&](int colour) {
            SetCtrlAttribute(main, MAINP_ButtonPara, ATTR_CMD_BUTTON_COLOR, colour);
            int back = -1;
            GetCtrlAttribute(main, MAINP_ButtonPara, ATTR_CMD_BUTTON_COLOR, &back);
            [&] { QCOMPARE(back, colour); }();
            return button->grab().toImage().pixelColor(centre);
        };
        const QColor light = face(0xE0E0E0);
        const QColor dark = face(0xC0C0C0);
        QVERIFY2(light != dark, qPrintable(light.name() + " vs " + dark.name()));
        QVERIFY(dark.lightness() < light.lightness());
    }

    void ledPaintsItsColour() {
        const int data = load(DATAP);
        DisplayPanel(data);
        QWidget *led = CtrlWidget(data, DATAP_LedTrig);
        SetCtrlAttribute(data, DATAP_LedTrig, ATTR_ON_COLOR, 0xFF0000);
        SetCtrlAttribute(data, DATAP_LedTrig, ATTR_OFF_COLOR, 0x0000FF);
        const int d = std::min(led->width(), led->height());
        const QPoint lampCentre(d / 2, led->height() / 2);
        SetCtrlVal(data, DATAP_LedTrig, 1);
        QCOMPARE(led->grab().toImage().pixelColor(lampCentre), QColor(0xFF0000));
        SetCtrlVal(data, DATAP_LedTrig, 0);
        QCOMPARE(led->grab().toImage().pixelColor(lampCentre), QColor(0x0000FF));
    }

    // A window is drawn at most once per screen refresh however often its
    // displays change, and what it shows once they rest is their last state.
    void changesAreDrawnAtRefreshRateAndLast() {
        const int data = load(DATAP);
        DisplayPanel(data);
        auto *label = Widget<QLabel>(data, DATAP_DispX);
        QVERIFY(QTest::qWaitForWindowExposed(label->window()));
        Flush();
        struct Painted : QObject {
            int paints = 0;
            QString text;
            bool eventFilter(QObject *o, QEvent *e) override {
                if (e->type() == QEvent::Paint) ++paints, text = static_cast<QLabel *>(o)->text();
                return false;
            }
        } painted;
        label->installEventFilter(&painted);
        QElapsedTimer clock;
        clock.start();
        for (int i = 1; i <= 60; ++i) {
            SetCtrlVal(data, DATAP_DispX, i);
            SetCtrlVal(data, DATAP_BarR, 40 * i);
            QTest::qWait(1);
        }
        const qint64 ms = clock.elapsed();
        QTRY_COMPARE(painted.text, QStringLiteral("60"));
        label->removeEventFilter(&painted);
        QVERIFY2(painted.paints <= ms / 16 + 2,
                 qPrintable(QString("%1 paints in %2 ms").arg(painted.paints).arg(ms)));
    }

    // The waits for the sensor and the pauses between frames: never cut
    // short, also below a millisecond, and a wait inside an event handler
    // leaves the one around it its own end.
    void waitsKeepTheirEnds_data() {
        QTest::addColumn<double>("outer");
        QTest::addColumn<double>("inner"); // a handler's wait; 0: none
        QTest::newRow("below a millisecond") << 0.0004 << 0.0;
        QTest::newRow("the pause between frames") << 0.0105 << 0.0;
        QTest::newRow("a shorter wait inside") << 0.03 << 0.005;
        QTest::newRow("a longer wait inside") << 0.01 << 0.03;
    }
    void waitsKeepTheirEnds() {
        QFETCH(double, outer);
        QFETCH(double, inner);
        double innerTook = -1;
        if (inner > 0)
            QTimer::singleShot(1, [&] {
                const double start = Timer();
                WaitProcessingEvents(inner);
                innerTook = Timer() - start;
            });
        const double start = Timer();
        WaitProcessingEvents(outer);
        const double took = Timer() - start;
        QVERIFY2(took >= outer, qPrintable(QString::number(took)));
        QVERIFY2(took < std::max(outer, inner) + 2.0, "the wait hung");
        if (inner > 0) QVERIFY(innerTook >= inner);
    }

    void textMessagesAddControls() {
        const int main = load(MAINP);
        const int id = NewTextMsg(main, "COLOR SENSOR", 10, 20, 14, 0x000080, 0xFFFFFF, true);
        QVERIFY(id > MAINP_ButtonStop);
        const int second = NewTextMsg(main, "V1.2", 30, 20, 8, 0x000000, 0xFFFFFF, false);
        QVERIFY(second > id);
        auto *label = Widget<QLabel>(main, id);
        QVERIFY(label);
        QCOMPARE(label->text(), QStringLiteral("COLOR SENSOR"));
        QCOMPARE(label->pos(), QPoint(20, 10));
        SetCtrlVal(main, id, "BRAND");
        QCOMPARE(label->text(), QStringLiteral("BRAND"));
        int colour = 0;
        GetCtrlAttribute(main, id, ATTR_TEXT_COLOR, &colour);
        QCOMPARE(colour, 0x000080);
        QCOMPARE(DiscardCtrl(main, id), 0);
        QVERIFY(CtrlWidget(main, id) == nullptr);
        QVERIFY(CtrlWidget(main, second) != nullptr);
    }

    // ------------------------------------------------------------- rings ---

    void ringItems() {
        const int h = load(INTERFACEP);
        const int ring = INTERFACEP_EditSelectComPort;
        int n = 0, index = -1, value = -1;
        GetNumListItems(h, ring, &n);
        QVERIFY(n >= 3);
        // The form's `values` differ from the indices.
        GetValueFromIndex(h, ring, 0, &value);
        QCOMPARE(value, 1);
        GetIndexFromValue(h, ring, &index, 2);
        QCOMPARE(index, 1);

        QCOMPARE(InsertListItem(h, ring, -1, QStringLiteral("USB0"), 17), 0);
        GetNumListItems(h, ring, &index);
        QCOMPARE(index, n + 1);
        QCOMPARE(SetCtrlVal(h, ring, 17), 0);
        GetCtrlIndex(h, ring, &index);
        QCOMPARE(index, n);
        QCOMPARE(ReplaceListItem(h, ring, n, QStringLiteral("USB1"), 18), 0);
        GetCtrlVal(h, ring, &value);
        QCOMPARE(value, 18);
        QCOMPARE(Widget<QComboBox>(h, ring)->currentText(), QStringLiteral("USB1"));

        QCOMPARE(DeleteListItem(h, ring, 2, -1), 0);
        GetNumListItems(h, ring, &n);
        QCOMPARE(n, 2);
        GetIndexFromValue(h, ring, &index, 18);
        QCOMPARE(index, -1);
        QVERIFY(g_events.isEmpty());
    }

    // ------------------------------------------------------------ tables ---

    void tableCells() {
        const int h = load(TTP);
        const int grid = TTP_GridCtt;
        auto *table = Widget<QTableWidget>(h, grid);
        QCOMPARE(SetTableCellVal(h, grid, MakePoint(3, 2), 777), 0);
        QCOMPARE(table->item(1, 2)->text(), QStringLiteral("777")); // row 2, column 3
        unsigned short u = 0;
        GetTableCellVal(h, grid, MakePoint(3, 2), &u);
        QCOMPARE(u, 777);
        int rows = 0;
        GetNumTableRows(h, grid, &rows);
        QCOMPARE(rows, 31);
        QVERIFY(SetTableCellVal(h, grid, MakePoint(9, 1), 1) < 0);
        QVERIFY(SetTableCellVal(h, grid, MakePoint(1, 32), 1) < 0);
        QVERIFY(SetTableCellVal(h, grid, MakePoint(0, 1), 1) < 0);

        SetTableCellAttribute(h, grid, MakePoint(8, 5), ATTR_TEXT_BGCOLOR, 0x00FF80);
        int colour = 0;
        GetTableCellAttribute(h, grid, MakePoint(8, 5), ATTR_TEXT_BGCOLOR, &colour);
        QCOMPARE(colour, 0x00FF80);
        QCOMPARE(table->item(4, 7)->background().color(), QColor(0x00FF80));

        SetTableRowAttribute(h, grid, 3, ATTR_LABEL_COLOR, 0x008000);
        GetTableRowAttribute(h, grid, 3, ATTR_LABEL_COLOR, &colour);
        QCOMPARE(colour, 0x008000);
        QCOMPARE(table->verticalHeaderItem(2)->foreground().color(), QColor(0x008000));

        SetTableColumnAttribute(h, grid, 4, ATTR_LABEL_TEXT, QStringLiteral("TOL"));
        QCOMPARE(table->horizontalHeaderItem(3)->text(), QStringLiteral("TOL"));

        SetActiveTableCell(h, grid, MakePoint(2, 6));
        Point active{};
        GetActiveTableCell(h, grid, &active);
        QCOMPARE(active.x, 2);
        QCOMPARE(active.y, 6);
        QVERIFY(g_events.isEmpty());
    }

    void tableEditsReportRowAndColumn() {
        const int h = load(TTP);
        DisplayPanel(h);
        const int grid = TTP_GridCtt;
        auto *table = Widget<QTableWidget>(h, grid);

        auto edit = [&](int row, int column, const QString &keys) {
            QTableWidgetItem *item = table->item(row - 1, column - 1);
            table->setCurrentItem(item);
            table->editItem(item);
            auto *editor = table->viewport()->findChild<QSpinBox *>();
            if (!editor) return false;
            editor->selectAll();
            QTest::keyClicks(editor, keys);
            QTest::keyClick(editor, Qt::Key_Return);
            return true;
        };

        QVERIFY(edit(4, 2, "4321"));
        QTRY_COMPARE(ValueEvents(grid), (QList<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
        QVERIFY(g_events.contains(Ev{h, grid, EVENT_COMMIT, 4, 2}));
        int v = 0;
        GetTableCellVal(h, grid, MakePoint(2, 4), &v);
        QCOMPARE(v, 4321);

        // A cell taken away from the operator opens no editor.
        g_events.clear();
        SetTableColumnAttribute(h, grid, 3, ATTR_CELL_MODE, VAL_INDICATOR);
        Flush();
        QTest::ignoreMessage(QtWarningMsg, "edit: editing failed");
        QVERIFY(!edit(1, 3, "5"));
        QTest::qWait(50);
        QCOMPARE(ValueEvents(grid), QList<int>{});
    }

    void numericCellsStayWithinCellMax() {
        const int h = load(PGROUP);
        DisplayPanel(h);
        auto *table = Widget<QTableWidget>(h, PGROUP_EditGridGroups);
        QTableWidgetItem *item = table->item(0, 0);
        table->setCurrentItem(item);
        table->editItem(item);
        auto *editor = table->viewport()->findChild<QSpinBox *>();
        QVERIFY(editor);
        QCOMPARE(editor->maximum(), 30);
        QCOMPARE(editor->minimum(), 0);
    }

    // ------------------------------------------------------------ graphs ---

    void stripChartShowsLastPoints_data() {
        QTest::addColumn<QList<int>>("batches"); // points per PlotStripChart call
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("firstPoint"); // index of the oldest point shown
        QTest::newRow("filling") << QList<int>{10} << 10 << 0;
        QTest::newRow("exactly full") << QList<int>{101} << 101 << 0;
        QTest::newRow("overflow in one call") << QList<int>{150} << 101 << 49;
        QTest::newRow("over several calls") << QList<int>{100, 100, 100} << 101 << 199;
    }
    void stripChartShowsLastPoints() {
        QFETCH(QList<int>, batches);
        QFETCH(int, shown);
        QFETCH(int, firstPoint);
        const int h = load(DATAP);
        const int chart = DATAP_GraphRGB; // six traces, 101 points per screen
        int pps = 0;
        GetCtrlAttribute(h, chart, ATTR_POINTS_PER_SCREEN, &pps);
        QCOMPARE(pps, 101);
        int point = 0;
        for (int n : batches) {
            std::vector<double> data;
            for (int p = 0; p < n; ++p, ++point)
                for (int t = 0; t < 6; ++t)
                    data.push_back(point * 10 + t);
            QCOMPARE(PlotStripChart(h, chart, data.data(), int(data.size()), 0, 0, VAL_DOUBLE), 0);
        }
        QCustomPlot *plot = Plot(h, chart);
        QCOMPARE(plot->graphCount(), 6);
        for (int t : {0, 5}) {
            auto data = plot->graph(t)->data();
            QCOMPARE(data->size(), shown);
            QCOMPARE(data->at(0)->key, 0.0);
            QCOMPARE(data->at(0)->value, double(firstPoint * 10 + t));
            QCOMPARE(data->at(shown - 1)->key, double(shown - 1));
            QCOMPARE(data->at(shown - 1)->value, double((point - 1) * 10 + t));
        }
    }

    void pointsPerScreenKeepsNewest() {
        const int h = load(DATAP);
        std::vector<double> data;
        for (int p = 0; p < 100; ++p)
            for (int t = 0; t < 3; ++t)
                data.push_back(p);
        PlotStripChart(h, DATAP_GraphRGB__Int, data.data(), int(data.size()), 0, 0, VAL_DOUBLE);
        SetCtrlAttribute(h, DATAP_GraphRGB__Int, ATTR_POINTS_PER_SCREEN, 20);
        auto trace = Plot(h, DATAP_GraphRGB__Int)->graph(0)->data();
        QCOMPARE(trace->size(), 20);
        QCOMPARE(trace->at(0)->value, 80.0);
        QCOMPARE(trace->at(19)->value, 99.0);
        QCOMPARE(Plot(h, DATAP_GraphRGB__Int)->xAxis->range().upper, 19.0);
    }

    void plotsAndCursor() {
        const int h = load(DATAP);
        const int g = DATAP_GraphData2;
        QCustomPlot *plot = Plot(h, g);
        const int arc = PlotArc(h, g, 900, 900, 1100, 1100, 0, 3600, 0xFF0000, VAL_TRANSPARENT);
        const int rect = PlotRectangle(h, g, 10, 0, 20, 100, 0x408080, 0x408080);
        const unsigned short x[3] = {0, 1, 2}, y[3] = {4095, 4094, 4093};
        const int line = PlotXY(h, g, x, y, 3, VAL_THIN_LINE, 0xA0A0A0);
        QVERIFY(arc > 0 && rect > 0 && line > 0);
        QCOMPARE(QSet<int>({arc, rect, line}).size(), 3);
        QCOMPARE(GetGraphPlotCount(h, g), 3);
        auto *ellipse = qobject_cast<QCPItemEllipse *>(plot->item(0));
        QVERIFY(ellipse);
        QCOMPARE(ellipse->topLeft->coords(), QPointF(900, 1100));
        QCOMPARE(ellipse->bottomRight->coords(), QPointF(1100, 900));

        QCOMPARE(SetGraphCursor(h, g, 1, 1000, 2000), 0);
        QCOMPARE(DeleteGraphPlot(h, g, rect, VAL_DELAYED_DRAW), 0);
        QCOMPARE(GetGraphPlotCount(h, g), 2);
        QCOMPARE(DeleteGraphPlot(h, g, -1, VAL_IMMEDIATE_DRAW), 0);
        QCOMPARE(GetGraphPlotCount(h, g), 0);
        QCOMPARE(plot->plottableCount(), 0);
        // The cursor stays where it was put, drawn as a crosshair over the plot.
        QCOMPARE(plot->itemCount(), 0);
        double cx = 0, cy = 0;
        GetGraphCursor(h, g, 1, &cx, &cy);
        QCOMPARE(cx, 1000.0);
        QCOMPARE(cy, 2000.0);
        SetGraphCursor(h, g, 1, 1500, 500);
        DisplayPanel(h);
        SetCtrlAttribute(h, g, ATTR_VISIBLE, 1);
        QVERIFY(QTest::qWaitForWindowExposed(PanelWidget(h)));
        plot->replot();
        auto *vertical = plot->findChild<QWidget *>(QStringLiteral("cursor1x"));
        auto *horizontal = plot->findChild<QWidget *>(QStringLiteral("cursor1y"));
        QVERIFY(vertical && horizontal);
        QCOMPARE(vertical->x(), int(plot->xAxis->coordToPixel(1500)));
        QCOMPARE(horizontal->y(), int(plot->yAxis->coordToPixel(500)));
        QCOMPARE(vertical->height(), plot->axisRect()->rect().height());
        QVERIFY(vertical->height() > 100);

        SetAxisScalingMode(h, g, VAL_XAXIS, VAL_MANUAL, 975, 3025);
        SetAxisScalingMode(h, g, VAL_LEFT_YAXIS, VAL_MANUAL, -175, 1875);
        QCOMPARE(plot->xAxis->range(), QCPRange(975, 3025));
        double lo = 0, hi = 0;
        int mode = -1;
        GetAxisScalingMode(h, g, VAL_LEFT_YAXIS, &mode, &lo, &hi);
        QCOMPARE(mode, int(VAL_MANUAL));
        QCOMPARE(lo, -175.0);
        QCOMPARE(hi, 1875.0);
    }

    void squareGraphKeepsEqualScales() {
        const int h = load(DATAP);
        DisplayPanel(h);
        QCustomPlot *plot = Plot(h, DATAP_GraphData2);
        plot->show();
        for (const QSize size : {QSize(420, 260), QSize(250, 400)}) {
            plot->resize(size);
            plot->replot();
            const QRect area = plot->axisRect()->rect();
            QVERIFY2(std::abs(area.width() - area.height()) <= 1,
                     qPrintable(QStringLiteral("%1x%2").arg(area.width()).arg(area.height())));
            QVERIFY(area.width() > 50);
        }
    }

    // ----------------------------------------------------------- pop-ups ---

    void popupScript() {
        popupscript::Install();
        popupscript::Expect("INFO!");
        popupscript::Expect("ATTENTION!", 1);
        popupscript::Expect("ATTENTION!", 0);
        popupscript::Expect("Select record file", VAL_NEW_FILE_SELECTED, "/tmp/rec.dat");
        QCOMPARE(popupscript::Pending(), 4);

        MessagePopup("INFO!", "help text");
        QCOMPARE(ConfirmPopup("ATTENTION!", "overwrite?"), 1);
        QCOMPARE(ConfirmPopup("ATTENTION!", "really?"), 0);
        QString path;
        QCOMPARE(FileSelectPopup("/tmp", "*.dat", "*.dat", "Select record file", VAL_OK_BUTTON, 0,
                                 0, 1, 1, &path),
                 int(VAL_NEW_FILE_SELECTED));
        QCOMPARE(path, QStringLiteral("/tmp/rec.dat"));
        QCOMPARE(popupscript::Pending(), 0);
        QCOMPARE(popupscript::Log().size(), 4);
        QCOMPARE(popupscript::Log()[0].text, QStringLiteral("help text"));
        QVERIFY(popupscript::Unexpected().isEmpty());
    }

    void unexpectedPopups() {
        popupscript::Install();
        // Nothing expected: answered no / cancel.
        QCOMPARE(ConfirmPopup("ATTENTION!", "sure?"), 0);
        QString path = "untouched";
        QCOMPARE(FileSelectPopup("/tmp", "", "*.cfg", "Load", VAL_LOAD_BUTTON, 0, 0, 1, 0, &path),
                 int(VAL_NO_FILE_SELECTED));
        QVERIFY(path.isEmpty());
        // A different title does not use up the entry meant for another pop-up.
        popupscript::Expect("INFO!", 1);
        QCOMPARE(ConfirmPopup("ATTENTION!", "other"), 0);
        QCOMPARE(popupscript::Pending(), 1);
        QCOMPARE(popupscript::Unexpected().size(), 3);
        QVERIFY(popupscript::Unexpected()[0].contains("sure?"));
        QCOMPARE(popupscript::Log().size(), 3);
    }

    void unattendedRunScriptsPopups() {
        // A dialog that opens anyway is closed after a while, so that the
        // failure shows instead of a hang.
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] {
            if (QWidget *modal = QApplication::activeModalWidget()) modal->close();
        });
        guard.start(2000);
        qputenv("TOLVANE_POPUP_SCRIPT", "fail");
        InitRunTimeEngine(0, nullptr);
        qunsetenv("TOLVANE_POPUP_SCRIPT");
        QCOMPARE(ConfirmPopup("ATTENTION!", "unattended"), 0);
        QVERIFY(guard.isActive());
        QCOMPARE(popupscript::Unexpected().size(), 1);
    }

    // ------------------------------------------------------------- files ---

    void readTextLines_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<int>("maxLines");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("LF") << QByteArray("a\nbb\n") << -1 << QStringList{"a", "bb"};
        QTest::newRow("CR LF") << QByteArray("a\r\nbb\r\n") << -1 << QStringList{"a", "bb"};
        QTest::newRow("no final line end") << QByteArray("a\nbb") << -1 << QStringList{"a", "bb"};
        QTest::newRow("empty lines kept")
            << QByteArray("\n\nx\n") << -1 << QStringList{"", "", "x"};
        QTest::newRow("limited") << QByteArray("1\n2\n3\n") << 2 << QStringList{"1", "2"};
        QTest::newRow("not read beyond the limit")
            << QByteArray("1\n") + QByteArray(kTextFileMaxLineLength * 2, '7') << 1
            << QStringList{"1"};
        QTest::newRow("records padded with zero bytes")
            << QByteArray("host\0\0\0\n\0\0\n", 10) << -1 << QStringList{"host", ""};
        // Only the size bounds a file: as many short lines as fit are read.
        QTest::newRow("as many lines as fit the size")
            << QByteArray("1\n").repeated(kTextFileMaxBytes / 2) << -1
            << QStringList(kTextFileMaxBytes / 2, "1");
        QTest::newRow("more lines than the program's files hold")
            << QByteArray("1\n").repeated(1001) << -1 << QStringList(1001, "1");
        const QString gruen = QString::fromUtf8("Gr\xc3\xbcn");
        QTest::newRow("UTF-8") << QByteArray("Gr\xc3\xbcn\n") << -1 << QStringList{gruen};
        QTest::newRow("Windows-1252") << QByteArray("Gr\xfcn\n\x80 5\n") << -1
                                      << QStringList{gruen, QString::fromUtf8("\xe2\x82\xac 5")};
        QTest::newRow("one 8-bit line makes the file 8-bit")
            << QByteArray("Gr\xc3\xbcn\nGr\xfcn\n") << -1
            << QStringList{QString::fromUtf8("Gr\xc3\x83\xc2\xbcn"), gruen};
    }
    void readTextLines() {
        QFETCH(QByteArray, contents);
        QFETCH(int, maxLines);
        QFETCH(QStringList, lines);
        QTemporaryDir dir;
        const QString path = JoinPath(dir.path(), "f.txt");
        QVERIFY(WriteFileAtomic(path, contents));
        QStringList read;
        QVERIFY(ReadTextLines(path, &read, maxLines));
        QCOMPARE(read, lines);
        QVERIFY(!ReadTextLines(JoinPath(dir.path(), "missing"), &read));
    }

    void readTextLinesRefuses_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("problem");
        QTest::newRow("too large") << QByteArray(kTextFileMaxBytes + 1, '1') << "larger than";
        QTest::newRow("too many lines for the size")
            << QByteArray("1\n").repeated(kTextFileMaxBytes / 2 + 1) << "larger than";
        QTest::newRow("line too long") << QByteArray(kTextFileMaxLineLength + 10, '1') + "\n"
                                       << "line longer than";
        QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\n", 18)
                                << "not a text file";
    }
    void readTextLinesRefuses() {
        QFETCH(QByteArray, contents);
        QFETCH(QString, problem);
        QTemporaryDir dir;
        const QString path = JoinPath(dir.path(), "f.txt");
        QVERIFY(WriteFileAtomic(path, contents));
        QStringList read{"kept"};
        QString why;
        QVERIFY(!ReadTextLines(path, &read, -1, &why));
        QVERIFY2(why.contains(problem), qPrintable(why));
        QCOMPARE(read, QStringList{"kept"});
        QVERIFY(!ReadTextLines(dir.path(), &read, -1, &why));
        QCOMPARE(why, QString("is not a file"));
    }

    void filesAndNames() {
        QTemporaryDir dir;
        QCOMPARE(JoinPath("/a/b", "c.cfg"), QStringLiteral("/a/b/c.cfg"));
        QCOMPARE(JoinPath("/a/b/", "c.cfg"), QStringLiteral("/a/b/c.cfg"));
        const QString path = JoinPath(dir.path(), "RecordFile.dat");
        qint64 size = 0;
        QVERIFY(!FileExists(path, &size));
        QVERIFY(AppendToFile(path, "ab\r\n"));
        QVERIFY(AppendToFile(path, "cd\r\n"));
        QVERIFY(FileExists(path, &size));
        QCOMPARE(size, 8);
        QVERIFY(DeleteFile(path));
        QVERIFY(!FileExists(path));
        QVERIFY(QRegularExpression("^\\d\\d-\\d\\d-\\d{4}$").match(DateStr()).hasMatch());
        QVERIFY(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d$").match(TimeStr()).hasMatch());
    }

    void failedAtomicWriteKeepsOldFile_data() {
        QTest::addColumn<bool>("fileSizeLimit");
        QTest::addColumn<int>("size");
        QTest::newRow("unwritable directory") << false << 2000;
        // Root ignores permissions but not the file size limit.
        QTest::newRow("short write within the buffer") << true << 2000;
        QTest::newRow("short write beyond the buffer") << true << 64 * 1024;
    }
    void failedAtomicWriteKeepsOldFile() {
        QFETCH(bool, fileSizeLimit);
        QFETCH(int, size);
        QTemporaryDir dir;
        const QString path = JoinPath(dir.path(), "ComSettings.cfg");
        QVERIFY(WriteFileAtomic(path, "old\n"));
        const QByteArray big(size, 'x');
        bool ok = true;
        if (fileSizeLimit) {
            rlimit saved{};
            getrlimit(RLIMIT_FSIZE, &saved);
            auto previous = std::signal(SIGXFSZ, SIG_IGN);
            rlimit small = saved;
            small.rlim_cur = 1024;
            setrlimit(RLIMIT_FSIZE, &small);
            ok = WriteFileAtomic(path, big);
            setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, previous);
        } else {
            QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
            QFile probe(JoinPath(dir.path(), "probe"));
            if (probe.open(QIODevice::WriteOnly)) {
                probe.remove();
                QFile::setPermissions(dir.path(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
                QSKIP("permissions do not bind this user (root)");
            }
            ok = WriteFileAtomic(path, big);
            QFile::setPermissions(dir.path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        QVERIFY(!ok);
        QStringList lines;
        QVERIFY(ReadTextLines(path, &lines));
        QCOMPARE(lines, QStringList{"old"});
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"ComSettings.cfg"});
    }
};

QTEST_MAIN(TestUi)
#include "tst_ui.moc"
