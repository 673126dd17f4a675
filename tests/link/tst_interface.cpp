// The interface panel and its files, on the real panels against the
// simulated sensor: the host history in the host field's list and in
// IPComboBox.cfg, the stored settings in ComSettings.cfg, which controls each
// link shows, when ACCEPT may store, and the serial devices the COM-port
// selector offers.
#include "controls/Combo.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "link/Link.h"
#include "platform/Introspect.h"
#include "platform/Platform.h"
#include "sim/Simulator.h"
#include "support/AppFixture.h"
#include "support/WindowSuite.h"
#include "uir_ids.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTest>

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

int CBF_ButtonAccept(int, int, int, void *, int, int);
int CBF_ButtonTryToConnect(int, int, int, void *, int, int);
int CBF_EditCommunicationProtocol(int, int, int, void *, int, int);
int CBF_EditSelectBaudrate(int, int, int, void *, int, int);
int CBF_EditSelectComPort(int, int, int, void *, int, int);
int CBF_StringPortNumber(int, int, int, void *, int, int);

namespace {
constexpr int kHost = INTERFACEP_StringIpAdress;

QByteArray ReadAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QComboBox *HostCombo() {
    return qobject_cast<QComboBox *>(CtrlWidget(interfacepanel, kHost)->parentWidget());
}

// The entries the operator sees in the host field's list.
QStringList ListedHosts() {
    QStringList hosts;
    QComboBox *combo = HostCombo();
    for (int i = 0; combo && i < combo->count(); ++i)
        hosts << combo->itemText(i);
    return hosts;
}

// The hosts of the history file, record by record.
QStringList FileHosts() {
    const QByteArray bytes = ReadAll(ipComboBoxFileName);
    QStringList hosts;
    for (qsizetype at = 0; at + kHostRecordBytes <= bytes.size(); at += kHostRecordBytes)
        hosts << QString::fromUtf8(bytes.mid(at, kHostRecordBytes - 1).constData());
    return hosts;
}

// A commit of the host field, through the combo box as the operator makes it.
void CommitHost(const QString &host) {
    SetCtrlVal(interfacepanel, kHost, host);
    CtrlCallbackPtr callback = nullptr;
    void *data = nullptr;
    GetCtrlCallback(interfacepanel, kHost, &callback, &data);
    QVERIFY(callback);
    callback(interfacepanel, kHost, EVENT_COMMIT, data, 0, 0);
}

void Commit(CtrlCallbackPtr callback, int control) {
    callback(interfacepanel, control, EVENT_COMMIT, nullptr, 0, 0);
}

int Attribute(int control, int attribute) {
    int value = -1;
    GetCtrlAttribute(interfacepanel, control, attribute, &value);
    return value;
}

int IntVal(int control) {
    int value = -1;
    GetCtrlVal(interfacepanel, control, &value);
    return value;
}

QString TextVal(int control) {
    QString value;
    GetCtrlVal(interfacepanel, control, &value);
    return value;
}

QString ComPortLabelOf(int port) {
    auto *ring =
        qobject_cast<QComboBox *>(CtrlWidget(interfacepanel, INTERFACEP_EditSelectComPort));
    const int index = ring->findData(port);
    return index < 0 ? QString() : ring->itemText(index);
}

// What the panel shows of the five settings.
struct Settings {
    int protocol, comPort, baud;
    QString host, portNumber;
};

Settings PanelSettings() {
    return {IntVal(INTERFACEP_EditCommunicationProtocol), IntVal(INTERFACEP_EditSelectComPort),
            IntVal(INTERFACEP_EditSelectBaudrate), TextVal(kHost),
            TextVal(INTERFACEP_StringPortNumber)};
}

void SetPanelSettings(const Settings &s) {
    SetCtrlVal(interfacepanel, INTERFACEP_EditCommunicationProtocol, s.protocol);
    QVERIFY(SelectComPort(s.comPort));
    SetCtrlVal(interfacepanel, INTERFACEP_EditSelectBaudrate, s.baud);
    SetCtrlVal(interfacepanel, kHost, s.host);
    SetCtrlVal(interfacepanel, INTERFACEP_StringPortNumber, s.portNumber);
}

// The panel shows `expected`, and after a read of the file the variables are
// what the panel shows.
void ExpectSettings(const Settings &expected, bool fileRead = true) {
    const Settings s = PanelSettings();
    QCOMPARE(s.protocol, expected.protocol);
    QCOMPARE(s.comPort, expected.comPort);
    QCOMPARE(s.baud, expected.baud);
    QCOMPARE(s.host, expected.host);
    QCOMPARE(s.portNumber, expected.portNumber);
    if (!fileRead) return;
    QCOMPARE(int(comprotocol), s.protocol);
    QCOMPARE(int(comport), s.comPort);
    QCOMPARE(int(baudrate), s.baud);
    QCOMPARE(ipBuf, s.host);
    QCOMPARE(portNumStr, s.portNumber);
}

void ClearHistory() {
    QFile::remove(ipComboBoxFileName);
    GetHostHistoryFromFile();
    QVERIFY(ListedHosts().isEmpty());
}

// A port number whose device this machine does not have.
int AbsentPort() {
    for (int port = kComPortCount; port > 16; --port)
        if (!DescribeComPort(port).present) return port;
    return 0;
}
} // namespace

class TstInterface : public fixture::WindowSuite {
    Q_OBJECT
    Settings m_defaults{};

  private slots:
    void initTestCase() {
        QVERIFY(fixture::StartProgram());
        m_defaults = PanelSettings();
        QVERIFY(fixture::StartUp());
        QVERIFY(HostCombo());
    }

    void init() { QFile::remove(conSettingsFileName); }

    void cleanup() {
        fixture::CheckNoUnexpectedPopups();
        QFile::remove(conSettingsFileName);
    }

    // ---- host history

    void existingHostMovesToTop() {
        ClearHistory();
        for (const char *host : {"alpha", "bravo", "charlie"})
            CommitHost(host);
        QCOMPARE(ListedHosts(), QStringList({"charlie", "bravo", "alpha"}));
        CommitHost("alpha");
        const QStringList expected{"alpha", "charlie", "bravo"};
        QCOMPARE(ListedHosts(), expected);
        QCOMPARE(FileHosts(), expected);
        QCOMPARE(ReadAll(ipComboBoxFileName).size(), 3 * kHostRecordBytes);
        QCOMPARE(ipBuf, QString("alpha"));
        QCOMPARE(Attribute(INTERFACEP_ButtonAccept, ATTR_DIMMED), 1);
    }

    void eleventhHostPushesOutTheOldest() {
        ClearHistory();
        QStringList newestFirst;
        for (int i = 1; i <= 11; ++i) {
            CommitHost(QString("host-%1").arg(i));
            newestFirst.prepend(QString("host-%1").arg(i));
        }
        newestFirst.removeLast();
        QCOMPARE(ListedHosts(), newestFirst);
        QCOMPARE(FileHosts(), newestFirst);
        QCOMPARE(ReadAll(ipComboBoxFileName).size(), kHostHistoryMax * kHostRecordBytes);
    }

    void historyFileSizes_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("entries");
        QByteArray fifteen;
        for (int i = 0; i < 15; ++i)
            fifteen += HostHistoryRecords({QString("h%1").arg(i)});
        QTest::newRow("1010 bytes") << fifteen.left(1010) << 10;
        QTest::newRow("1009 bytes") << fifteen.left(1009) << 9;
        QTest::newRow("100 bytes") << fifteen.left(100) << 0;
        QTest::newRow("oversized") << fifteen << 10;
        QTest::newRow("empty records skipped")
            << HostHistoryRecords({"a", "", "b", "a", QString(" ")}) << 2;
        QByteArray binary(1010, '\0');
        for (int i = 0; i < binary.size(); ++i)
            binary[i] = char((i * 37 + 11) % 256);
        QTest::newRow("binary") << binary << 0;
        QTest::newRow("invalid UTF-8") << HostHistoryRecords({"ok"}).replace(0, 1, "\xff") << 0;
    }
    void historyFileSizes() {
        QFETCH(QByteArray, file);
        QFETCH(int, entries);
        WriteAll(ipComboBoxFileName, file);
        GetHostHistoryFromFile();
        QCOMPARE(ListedHosts().size(), entries);
        QCOMPARE(ListedHosts(), hostHistory);
    }

    // Assistive technology names each field by its caption, the host field
    // too since it became a combo box (the box and the field inside it).
    void fieldsAreNamedByTheirCaptions_data() {
        QTest::addColumn<int>("control");
        QTest::addColumn<QString>("caption");
        QTest::newRow("HOST") << kHost << "HOST";
        QTest::newRow("PORT") << int(INTERFACEP_StringPortNumber) << "PORT";
        QTest::newRow("SENSOR ID") << int(INTERFACEP_EditID) << "SENSOR ID";
    }
    void fieldsAreNamedByTheirCaptions() {
        QFETCH(int, control);
        QFETCH(QString, caption);
        QWidget *field = CtrlWidget(interfacepanel, control);
        QVERIFY(field);
        QList<QWidget *> named{field};
        if (auto *box = qobject_cast<QComboBox *>(field->parentWidget())) named << box;
        // A combo box's name is its text; its caption comes as its label.
        for (QWidget *w : named) {
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
            QVERIFY(a);
            QStringList names{a->text(QAccessible::Name)};
            for (const auto &[label, relation] : a->relations(QAccessible::Label))
                names << label->text(QAccessible::Name);
            QVERIFY2(names.contains(caption), qPrintable(names.join('|')));
        }
    }

    // The COM-PORT list shows a device's name whole, however narrow the box.
    void comPortListShowsWholeNames() {
        auto *box =
            qobject_cast<QComboBox *>(CtrlWidget(interfacepanel, INTERFACEP_EditSelectComPort));
        QVERIFY(box);
        const QString path =
            "COM60  /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0 (absent)";
        QCOMPARE(InsertListItem(interfacepanel, INTERFACEP_EditSelectComPort, -1, path, 60), 0);
        QVERIFY(box->fontMetrics().horizontalAdvance(path) > box->width());
        QVERIFY(box->view()->minimumWidth() >= box->view()->fontMetrics().horizontalAdvance(path));
        QCOMPARE(box->itemData(box->count() - 1, Qt::ToolTipRole).toString(), path);
        DeleteListItem(interfacepanel, INTERFACEP_EditSelectComPort, box->count() - 1, 1);
    }

    // A record whose 100 bytes are all text holds more than an entry; what
    // is taken from it must survive the next save unchanged.
    void fullRecordIsSavedBackAsRead_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("host");
        QTest::newRow("100 ASCII bytes") << QByteArray(100, 'a') << QString(99, 'a');
        QTest::newRow("99 characters in 100 bytes")
            << QByteArray(98, 'z') + "\xc3\xbc" << QString(98, 'z');
        QTest::newRow("ends in a 3-byte character")
            << QByteArray(97, 'e') + "\xe2\x82\xac" << QString(97, 'e');
    }
    void fullRecordIsSavedBackAsRead() {
        QFETCH(QByteArray, text);
        QFETCH(QString, host);
        ClearHistory();
        WriteAll(ipComboBoxFileName, text + '\n' + HostHistoryRecords({"b"}));
        GetHostHistoryFromFile();
        QCOMPARE(hostHistory, (QStringList{host, "b"}));
        CommitHost("c");
        QCOMPARE(FileHosts(), (QStringList{"c", host, "b"}));
        GetHostHistoryFromFile();
        QCOMPARE(ListedHosts(), (QStringList{"c", host, "b"}));
    }

    void longestHostSurvivesTheFile() {
        ClearHistory();
        const QString longest(kHostMaxChars, 'x');
        CommitHost(longest);
        const QByteArray bytes = ReadAll(ipComboBoxFileName);
        QCOMPARE(bytes.size(), kHostRecordBytes);
        QCOMPARE(bytes.at(99), '\0');
        QCOMPARE(bytes.at(100), '\n');
        GetHostHistoryFromFile();
        QCOMPARE(ListedHosts(), QStringList{longest});

        // Typing is limited at the field: a 100th character is not taken.
        auto *edit = qobject_cast<QLineEdit *>(CtrlWidget(interfacepanel, kHost));
        edit->clear();
        QTest::keyClicks(edit, QString(120, 'y'));
        QCOMPARE(edit->text().size(), kHostMaxChars);
        // Text that does not fit a record as UTF-8 is cut at a character.
        CommitHost(QString(98, 'z') + QString::fromUtf8("\xc3\xbc"));
        QCOMPARE(FileHosts().first(), QString(98, 'z'));
    }

    void historySurvivesARestart() {
        ClearHistory();
        for (const char *host : {"sensor-a.local", "10.0.0.7", "127.0.0.1"})
            CommitHost(host);
        const QByteArray file = ReadAll(ipComboBoxFileName);
        const QStringList before = ListedHosts();
        // The end of a run closes the link; the start opens it anew.
        DisconnectFromTCPServer(g_hconversation);
        tcpcon = 0;
        QVERIFY(fixture::StartUp());
        QCOMPARE(ListedHosts(), before);
        QCOMPARE(ReadAll(ipComboBoxFileName), file);
    }

    // ---- stored settings

    void acceptedSettingsSurviveARestart() {
        fixture::SelectTcp();
        Commit(CBF_ButtonTryToConnect, INTERFACEP_ButtonTryToConnect);
        QCOMPARE(comecho, uint16_t(1));
        Commit(CBF_ButtonAccept, INTERFACEP_ButtonAccept);
        const Settings accepted = PanelSettings();
        QCOMPARE(ReadAll(conSettingsFileName), QString("1\n%1\n%2\n127.0.0.1\n%3\n")
                                                   .arg(accepted.comPort)
                                                   .arg(accepted.baud)
                                                   .arg(fixture::Sim().tcpPort())
                                                   .toUtf8());

        SetPanelSettings({0, AbsentPort(), 2, "sensor.local", "4001"});
        GetConnectionSettingsFromFile();
        ExpectSettings(accepted);
    }

    void missingFileKeepsTheDefaults() {
        SetPanelSettings(m_defaults);
        GetConnectionSettingsFromFile();
        ExpectSettings(m_defaults, false);
    }

    void badLinesFallBack_data() {
        QTest::addColumn<int>("line"); // 1..5; 0: the whole file is refused
        QTest::addColumn<QByteArray>("file");
        const QList<QByteArray> good{"0", "2", "1", "sensor.local", "4001"};
        auto with = [&](int line, const QByteArray &bad) {
            QList<QByteArray> lines = good;
            lines[line - 1] = bad;
            return lines.join('\n') + '\n';
        };
        const struct {
            int line;
            const char *name;
            QByteArray bad;
        } cases[] = {
            {1, "protocol letters", "abc"},
            {1, "protocol 2", "2"},
            {1, "protocol negative", "-1"},
            {1, "protocol empty", ""},
            {2, "port 0", "0"},
            {2, "port 49", "49"},
            {2, "port huge", "99999999999"},
            {2, "port letters", "COM3"},
            {3, "baud 5", "5"},
            {3, "baud letters", "fast"},
            {4, "host too long", QByteArray(150, 'h')},
            {4, "host with control bytes", "ho\x01st"},
            {5, "port number 0", "0"},
            {5, "port number 70000", "70000"},
            {5, "port number letters", "10O02"},
        };
        for (const auto &c : cases)
            QTest::newRow(c.name) << c.line << with(c.line, c.bad);
        QTest::newRow("truncated after two lines") << 3 << QByteArray("0\n2\n");
        QTest::newRow("binary") << 0 << QByteArray("0\n2\n\0\x01\x02\n", 9);
        QTest::newRow("oversized") << 0 << QByteArray(100 * 1024, '1');
    }
    void badLinesFallBack() {
        QFETCH(int, line);
        QFETCH(QByteArray, file);
        SetPanelSettings(m_defaults);
        WriteAll(conSettingsFileName, file);
        popupscript::Expect("ATTENTION!");
        GetConnectionSettingsFromFile();
        QCOMPARE(popupscript::Pending(), 0);

        // The bad line (and for a truncated file, every missing one) keeps
        // the default; the good lines are taken.
        const bool truncated = file == "0\n2\n";
        auto pick = [&](int n, auto fromFile, auto fallback) {
            return line == 0 || n == line || (truncated && n >= 3) ? fallback : fromFile;
        };
        ExpectSettings({pick(1, 0, m_defaults.protocol), pick(2, 2, m_defaults.comPort),
                        pick(3, 1, m_defaults.baud),
                        pick(4, QString("sensor.local"), m_defaults.host),
                        pick(5, QString("4001"), m_defaults.portNumber)});
    }

    // ---- panel logic

    void linkChoiceShowsItsControls_data() {
        QTest::addColumn<int>("protocol");
        QTest::newRow("RS232") << 0;
        QTest::newRow("TCP/IP") << 1;
    }
    void linkChoiceShowsItsControls() {
        QFETCH(int, protocol);
        SetCtrlVal(interfacepanel, INTERFACEP_EditCommunicationProtocol, protocol);
        Commit(CBF_EditCommunicationProtocol, INTERFACEP_EditCommunicationProtocol);
        const int serial = protocol == 0;
        for (int control : {INTERFACEP_EditSelectComPort, INTERFACEP_EditSelectBaudrate,
                            INTERFACEP_ButtonChangeBaudrate})
            QCOMPARE(Attribute(control, ATTR_VISIBLE), serial);
        QCOMPARE(Attribute(INTERFACEP_StringPortNumber, ATTR_VISIBLE), 1 - serial);
        int hostVisible = -1;
        QCOMPARE(Combo_GetComboAttribute(interfacepanel, kHost, ATTR_COMBO_VISIBLE, &hostVisible),
                 0);
        QCOMPARE(hostVisible, 1 - serial);
        // The list button goes with the field.
        QCOMPARE(HostCombo()->isHidden(), bool(serial));
        QCOMPARE(comprotocol, uint16_t(protocol));
        QCOMPARE(Attribute(INTERFACEP_ButtonAccept, ATTR_DIMMED), 1);
        QCOMPARE(Attribute(INTERFACEP_ButtonChangeBaudrate, ATTR_DIMMED), 1);
    }

    void acceptOnlyAfterASuccessfulTry_data() {
        QTest::addColumn<int>("control");
        QTest::addColumn<bool>("dimsBaudrateChange");
        QTest::newRow("COM port") << int(INTERFACEP_EditSelectComPort) << true;
        QTest::newRow("baud rate") << int(INTERFACEP_EditSelectBaudrate) << false;
        QTest::newRow("host") << int(kHost) << false;
        QTest::newRow("port number") << int(INTERFACEP_StringPortNumber) << false;
    }
    void acceptOnlyAfterASuccessfulTry() {
        QFETCH(int, control);
        QFETCH(bool, dimsBaudrateChange);
        fixture::SelectTcp();
        SetCtrlVal(interfacepanel, INTERFACEP_StringPortNumber, "1"); // nobody listens
        Commit(CBF_ButtonTryToConnect, INTERFACEP_ButtonTryToConnect);
        QVERIFY(ret < 0);
        QCOMPARE(Attribute(INTERFACEP_ButtonAccept, ATTR_DIMMED), 1);

        fixture::SelectTcp();
        Commit(CBF_ButtonTryToConnect, INTERFACEP_ButtonTryToConnect);
        QCOMPARE(comecho, uint16_t(1));
        QCOMPARE(Attribute(INTERFACEP_ButtonAccept, ATTR_DIMMED), 0);
        QCOMPARE(Attribute(INTERFACEP_ButtonChangeBaudrate, ATTR_DIMMED), 0);

        if (control == kHost)
            CommitHost("127.0.0.1");
        else if (control == INTERFACEP_EditSelectComPort)
            Commit(CBF_EditSelectComPort, control);
        else if (control == INTERFACEP_EditSelectBaudrate)
            Commit(CBF_EditSelectBaudrate, control);
        else
            Commit(CBF_StringPortNumber, control);
        QCOMPARE(Attribute(INTERFACEP_ButtonAccept, ATTR_DIMMED), 1);
        QCOMPARE(Attribute(INTERFACEP_ButtonChangeBaudrate, ATTR_DIMMED), int(dimsBaudrateChange));
    }

    // ---- serial devices

    void environmentDeviceListedUnderItsNumber() {
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0);
        QVERIFY(grantpt(master) == 0 && unlockpt(master) == 0);
        const QString pty = QString::fromLocal8Bit(ptsname(master));
        qputenv("TOLVANE_COM7", pty.toLocal8Bit());
        qputenv("TOLVANE_COM9", "/nonexistent/tolvane-com9");
        FillComPortSelector();
        const QString seven = ComPortLabelOf(7);
        const QString nine = ComPortLabelOf(9);
        qunsetenv("TOLVANE_COM7");
        qunsetenv("TOLVANE_COM9");
        ::close(master);
        QCOMPARE(seven, "COM7 " + pty);
        QCOMPARE(nine, QString("COM9 /nonexistent/tolvane-com9 (absent)"));
        FillComPortSelector();
        QVERIFY(ComPortLabelOf(7).isEmpty());
    }

    void absentStoredPortIsKept() {
        const int absent = AbsentPort();
        QVERIFY(absent > 0);
        WriteAll(conSettingsFileName, QString("0\n%1\n4\n127.0.0.1\n10002\n").arg(absent).toUtf8());
        GetConnectionSettingsFromFile();
        QCOMPARE(IntVal(INTERFACEP_EditSelectComPort), absent);
        QCOMPARE(int(comport), absent);
        QVERIFY2(ComPortLabelOf(absent).endsWith("(absent)"), qPrintable(ComPortLabelOf(absent)));
        // Opening the panel again lists the ports anew; the choice stays.
        FillComPortSelector();
        QCOMPARE(IntVal(INTERFACEP_EditSelectComPort), absent);

        Commit(CBF_ButtonTryToConnect, INTERFACEP_ButtonTryToConnect);
        QCOMPARE(TextVal(INTERFACEP_DispStatus), QString(SerialErrorText(kComErrNoDevice)));
        SaveCommunicationSettings();
        QVERIFY(ReadAll(conSettingsFileName).startsWith(QString("0\n%1\n").arg(absent).toUtf8()));
        fixture::SelectTcp();
    }

    // A port typed wrong is refused and framed red; the frame goes once the
    // value standing in the field has connected.
    void refusedPortMarkGoesWithAGoodConnection() {
        fixture::SelectTcp();
        ShowChildPanel(1);
        auto *port =
            qobject_cast<QLineEdit *>(CtrlWidget(interfacepanel, INTERFACEP_StringPortNumber));
        QVERIFY(port);
        const QString good = port->text();
        port->setFocus();
        QTest::keyClick(port, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(port, "abc");
        QTest::keyClick(port, Qt::Key_Return);
        QVERIFY(CtrlInputRefused(interfacepanel, INTERFACEP_StringPortNumber));
        QCOMPARE(TextVal(INTERFACEP_StringPortNumber), good);

        Commit(CBF_ButtonTryToConnect, INTERFACEP_ButtonTryToConnect);
        QCOMPARE(int(comecho), 1);
        QVERIFY(!CtrlInputRefused(interfacepanel, INTERFACEP_StringPortNumber));
        QCOMPARE(TextVal(INTERFACEP_StringPortNumber), good);
    }
};

QTEST_MAIN(TstInterface)
#include "tst_interface.moc"
