// The editable combo box on the interface panel's host field, driven with
// keys and clicks: completion, the list keys, Shift+Tab, choosing from the
// list, list operations and the error codes.
#include "controls/Combo.h"
#include "platform/Introspect.h"
#include "platform/Platform.h"
#include "uir_ids.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

extern const UirPanelInfo kUirPanels[];

namespace {

struct Ev {
    int control, event;
    bool operator==(const Ev &o) const { return control == o.control && event == o.event; }
};
QList<Ev> g_events;

int Record(int, int control, int event, void *, int, int) {
    if (event == EVENT_COMMIT || event == EVENT_VAL_CHANGED) g_events.append(Ev{control, event});
    return 0;
}

int Commits() {
    return int(
        std::count(g_events.begin(), g_events.end(), Ev{INTERFACEP_StringIpAdress, EVENT_COMMIT}));
}

constexpr int kHost = INTERFACEP_StringIpAdress;

} // namespace

class TestCombo : public QObject {
    Q_OBJECT

    int m_panel = 0;

    QLineEdit *field() { return qobject_cast<QLineEdit *>(CtrlWidget(m_panel, kHost)); }
    QComboBox *combo() { return qobject_cast<QComboBox *>(field()->parentWidget()); }
    QString text() {
        QString t;
        GetCtrlVal(m_panel, kHost, &t);
        return t;
    }
    // The host field as a combo box holding `entries`, empty and focused.
    void makeCombo(const QStringList &entries, int maxLength = 99) {
        QCOMPARE(Combo_NewComboBox(m_panel, kHost), kHost);
        for (const QString &e : entries)
            QCOMPARE(Combo_InsertComboItem(m_panel, kHost, -1, e), 0);
        QCOMPARE(Combo_SetComboAttribute(m_panel, kHost, ATTR_COMBO_MAX_ENTRY_LENGTH, maxLength),
                 0);
        SetCtrlVal(m_panel, kHost, "");
        SetActiveCtrl(m_panel, kHost);
        QVERIFY(combo());
        QCOMPARE(QApplication::focusWidget(), combo());
        g_events.clear();
    }

  private slots:
    void initTestCase() {
        QVERIFY(InitRunTimeEngine(0, nullptr) == 0);
        InstallUirTable(kUirPanels, kUirPanelCount);
        SetProjectDir(
            qEnvironmentVariable("TOLVANE_BIN_DIR", QCoreApplication::applicationDirPath()));
    }

    void init() {
        m_panel = LoadPanel(0, QStringLiteral("Tolvane.uir"), INTERFACEP);
        QVERIFY(m_panel > 0);
        InstallCtrlCallback(m_panel, kHost, Record, nullptr);
        DisplayPanel(m_panel);
        QVERIFY(QTest::qWaitForWindowActive(PanelWidget(m_panel)));
        g_events.clear();
        // Completion is switched by the last key: start every case with it on.
        QTest::keyClick(CtrlWidget(m_panel, INTERFACEP_StringPortNumber), Qt::Key_Shift);
    }

    void cleanup() {
        DiscardPanel(m_panel);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void completion_data() {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<int>("maxLength");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("selected");
        QTest::newRow("first entry with the prefix") << QStringList{"ab12", "cd34"} << 99 << "c"
                                                     << "cd34"
                                                     << "d34";
        QTest::newRow("case ignored, typed case kept") << QStringList{"ABCD"} << 99 << "ab"
                                                       << "abCD"
                                                       << "CD";
        QTest::newRow("typing on over the completion") << QStringList{"cx", "cd34"} << 99 << "cd"
                                                       << "cd34"
                                                       << "34";
        QTest::newRow("within the maximum length") << QStringList{"abcdefgh"} << 5 << "a"
                                                   << "abcde"
                                                   << "bcde";
        QTest::newRow("no entry with the prefix") << QStringList{"ab12"} << 99 << "x"
                                                  << "x"
                                                  << "";
    }
    void completion() {
        QFETCH(QStringList, entries);
        QFETCH(int, maxLength);
        QFETCH(QString, typed);
        makeCombo(entries, maxLength);
        QTest::keyClicks(combo(), typed);
        QTEST(text(), "text");
        QTEST(field()->selectedText(), "selected");
        // A completion is typing: it reports a change, not a commit.
        QVERIFY(g_events.contains(Ev{kHost, EVENT_VAL_CHANGED}));
        QCOMPARE(Commits(), 0);
    }

    void backspaceRemovesTheCompletion() {
        makeCombo({"ab12", "cd34"});
        QTest::keyClick(combo(), Qt::Key_C);
        QCOMPARE(text(), QStringLiteral("cd34"));
        QTest::keyClick(combo(), Qt::Key_Backspace);
        QCOMPARE(text(), QStringLiteral("c"));
        QCOMPARE(field()->selectedText(), QString());
        // The next key completes again.
        QTest::keyClick(combo(), Qt::Key_D);
        QCOMPARE(text(), QStringLiteral("cd34"));
    }

    void upAndDownOpenTheList_data() {
        QTest::addColumn<int>("key");
        QTest::newRow("down") << int(Qt::Key_Down);
        QTest::newRow("up") << int(Qt::Key_Up);
    }
    void upAndDownOpenTheList() {
        QFETCH(int, key);
        makeCombo({"ab12", "cd34"});
        SetCtrlVal(m_panel, kHost, "typed");
        QTest::keyClick(combo(), Qt::Key(key));
        QVERIFY(combo()->view()->isVisible());
        // The key opened the list and did not step through the entries.
        QCOMPARE(text(), QStringLiteral("typed"));
        QVERIFY(g_events.isEmpty());
        combo()->hidePopup();
    }

    void choosingFromTheListCommits() {
        makeCombo({"ab12", "cd34"});
        QTest::keyClick(combo(), Qt::Key_Down);
        QAbstractItemView *list = combo()->view();
        QVERIFY(list->isVisible());
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Return);
        QVERIFY(!list->isVisible());
        QCOMPARE(text(), QStringLiteral("cd34"));
        QCOMPARE(Commits(), 1);
        QCOMPARE(g_events.last(), (Ev{kHost, EVENT_COMMIT}));

        // Enter on a typed entry commits once, as a plain text field does.
        g_events.clear();
        SetCtrlVal(m_panel, kHost, "");
        QTest::keyClick(combo(), Qt::Key_A);
        QTest::keyClick(combo(), Qt::Key_Return);
        QCOMPARE(text(), QStringLiteral("ab12"));
        QCOMPARE(Commits(), 1);
    }

    void shiftTabMovesToThePreviousUsableControl_data() {
        QTest::addColumn<QList<int>>("dimmed");
        QTest::addColumn<QList<int>>("hidden");
        QTest::addColumn<int>("expected");
        QTest::newRow("previous") << QList<int>{} << QList<int>{}
                                  << int(INTERFACEP_ButtonChangeBaudrate);
        QTest::newRow("skips dimmed and hidden")
            << QList<int>{INTERFACEP_ButtonChangeBaudrate}
            << QList<int>{INTERFACEP_EditSelectBaudrate} << int(INTERFACEP_EditSelectComPort);
        QTest::newRow("wraps to the last")
            << QList<int>{INTERFACEP_ButtonChangeBaudrate, INTERFACEP_EditSelectBaudrate}
            << QList<int>{INTERFACEP_EditSelectComPort, INTERFACEP_EditCommunicationProtocol}
            << int(INTERFACEP_EditID); // ACCEPT, the last, is dimmed by the form
    }
    void shiftTabMovesToThePreviousUsableControl() {
        QFETCH(QList<int>, dimmed);
        QFETCH(QList<int>, hidden);
        QFETCH(int, expected);
        // The form dims CHANGE BAUDRATE until a connection succeeded.
        SetCtrlAttribute(m_panel, INTERFACEP_ButtonChangeBaudrate, ATTR_DIMMED, 0);
        for (int c : dimmed)
            SetCtrlAttribute(m_panel, c, ATTR_DIMMED, 1);
        for (int c : hidden)
            SetCtrlAttribute(m_panel, c, ATTR_VISIBLE, 0);
        makeCombo({"ab12"});
        QTest::keyClick(combo(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), CtrlWidget(m_panel, expected));
    }

    void listOperationsKeepTheField() {
        // The form's text stays when the list is filled, as at start-up.
        QCOMPARE(Combo_NewComboBox(m_panel, kHost), kHost);
        QCOMPARE(text(), QStringLiteral("127.0.0.1"));
        Combo_InsertComboItem(m_panel, kHost, -1, "b");
        Combo_InsertComboItem(m_panel, kHost, 0, "a");
        Combo_InsertComboItem(m_panel, kHost, -1, "c");
        Combo_ReplaceComboItem(m_panel, kHost, 2, "z");
        int index = 0;
        QCOMPARE(Combo_GetIndexFromValue(m_panel, kHost, &index, "z"), 0);
        QCOMPARE(index, 2);
        Combo_DeleteComboItem(m_panel, kHost, 1, -1);
        Combo_GetIndexFromValue(m_panel, kHost, &index, "b");
        QCOMPARE(index, -1);
        QCOMPARE(combo()->count(), 1);
        QCOMPARE(text(), QStringLiteral("127.0.0.1"));

        // The field, its list and its label hide and dim together.
        Combo_SetComboAttribute(m_panel, kHost, ATTR_COMBO_VISIBLE, 0);
        QVERIFY(combo()->isHidden());
        QVERIFY(!CtrlWidget(m_panel, kHost)->isVisible());
        int visible = 1;
        Combo_GetComboAttribute(m_panel, kHost, ATTR_COMBO_VISIBLE, &visible);
        QCOMPARE(visible, 0);
    }

    void errors() {
        const int plain = INTERFACEP_StringPortNumber;
        QCOMPARE(Combo_NewComboBox(m_panel, INTERFACEP_EditSelectComPort), COMBO_ERR_NOT_A_COMBO);
        int v = 0;
        QString s;
        QCOMPARE(Combo_InsertComboItem(m_panel, plain, -1, "x"), COMBO_ERR_NOT_A_COMBO);
        QCOMPARE(Combo_DeleteComboItem(m_panel, plain, 0, -1), COMBO_ERR_NOT_A_COMBO);
        QCOMPARE(Combo_ReplaceComboItem(m_panel, plain, 0, "x"), COMBO_ERR_NOT_A_COMBO);
        QCOMPARE(Combo_GetIndexFromValue(m_panel, plain, &v, "x"), COMBO_ERR_NOT_A_COMBO);
        QCOMPARE(Combo_SetComboAttribute(m_panel, plain, ATTR_COMBO_VISIBLE, 0),
                 COMBO_ERR_NOT_A_COMBO);
        QCOMPARE(Combo_GetComboAttribute(m_panel, plain, ATTR_COMBO_VISIBLE, &v),
                 COMBO_ERR_NOT_A_COMBO);
        QCOMPARE(Combo_DiscardComboBox(m_panel, plain), COMBO_ERR_NOT_A_COMBO);

        QCOMPARE(Combo_NewComboBox(m_panel, kHost), kHost);
        QCOMPARE(Combo_NewComboBox(m_panel, kHost), COMBO_ERR_NOT_A_COMBO);
        QCOMPARE(Combo_SetComboAttribute(m_panel, kHost, ATTR_COMBO_HEIGHT, 30),
                 COMBO_ERR_BAD_ATTRIBUTE);
        QCOMPARE(Combo_SetComboAttribute(m_panel, kHost, ATTR_COMBO_TEXT_FONT_NAME_LENGTH, 5),
                 COMBO_ERR_BAD_ATTRIBUTE);
        QCOMPARE(Combo_GetComboAttribute(m_panel, kHost, 15, &v), COMBO_ERR_BAD_ATTRIBUTE);

        QCOMPARE(Combo_DiscardComboBox(m_panel, kHost), 0);
        QCOMPARE(Combo_InsertComboItem(m_panel, kHost, -1, "x"), COMBO_ERR_NOT_A_COMBO);
        QVERIFY(GetCtrlVal(m_panel, kHost, &s) < 0);
    }
};

QTEST_MAIN(TestCombo)
#include "tst_combo.moc"
