// The command-line layer and the address readers every program shares: the
// forms a shell user writes, the mistakes each must name, and the words that
// must never reach a name server.
#include "platform/Address.h"
#include "platform/CommandLine.h"

#include <QTest>

class TstCmdline : public QObject {
    Q_OBJECT

    const QList<cmdline::Option> table{
        {{"n", "count"}, "N", "frames"},     {{"o", "output"}, "FILE", "where"},
        {{"tcp"}, "HOST", "a sensor", true}, {{"eeprom"}, {}, "flag"},
        {{"format"}, "tsv|json", "format"},
    };

  private slots:
    // Each line: the words, then what the parser must make of them: the
    // values of -n, -o and --tcp and the words left, or the error.
    void parse_data() {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("n");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("tcp");
        QTest::addColumn<QString>("words");
        QTest::addColumn<QString>("error");
        auto ok = [](const char *name, const char *args, const char *n, const char *o,
                     const char *tcp, const char *words) {
            QTest::newRow(name) << args << n << o << tcp << words << "";
        };
        auto bad = [](const char *name, const char *args, const char *error) {
            QTest::newRow(name) << args << ""
                                << ""
                                << ""
                                << "" << error;
        };
        ok("-n 5", "frames -n 5", "5", "", "", "frames");
        ok("-n5", "frames -n5", "5", "", "", "frames");
        ok("-n=5", "frames -n=5", "5", "", "", "frames");
        ok("--count=5", "frames --count=5", "5", "", "", "frames");
        ok("--count 5", "--count 5 frames", "5", "", "", "frames");
        ok("- is a word", "show - -o -", "", "-", "", "show -");
        ok("-- ends the options", "show -- -n", "", "", "", "show -n");
        ok("repeatable option", "--tcp a --tcp=b:1 version", "", "", "a,b:1", "version");
        bad("unknown long option", "frames --frmat json", "unknown option --frmat");
        bad("unknown short option", "frames -x", "unknown option -x");
        bad("value missing at the end", "record -n", "-n needs a value");
        bad("an option where the value goes", "record -n -o x", "-n needs a value");
        bad("long option where the value goes", "record --count --eeprom", "--count needs a value");
        bad("repeated value", "frames -n 1 -n 2", "-n is given twice");
        bad("repeated by both names", "frames -n 1 --count 2", "is given twice");
        bad("repeated flag", "get --eeprom --eeprom", "--eeprom is given twice");
        bad("flag with a value", "get --eeprom=1", "--eeprom takes no value");
        bad("value not among the choices", "frames --format csv", "--format csv: one of tsv, json");
    }
    void parse() {
        QFETCH(QString, args);
        QFETCH(QString, n);
        QFETCH(QString, output);
        QFETCH(QString, tcp);
        QFETCH(QString, words);
        QFETCH(QString, error);
        cmdline::Parser p(table);
        QString why;
        const bool parsed = p.Parse(args.split(' '), &why);
        if (!error.isEmpty()) {
            QVERIFY(!parsed);
            QVERIFY2(why.contains(error), qPrintable(why));
            return;
        }
        QVERIFY2(parsed, qPrintable(why));
        QCOMPARE(p.Value("n"), n);
        QCOMPARE(p.Value("output"), output);
        QCOMPARE(p.Values("tcp").join(','), tcp);
        QCOMPARE(p.Words().join(' '), words);
    }

    // The command is the first word that is no option nor an option's value.
    void firstWord() {
        QCOMPARE(cmdline::FirstWord({"--tcp", "get", "version"}, table), QString("version"));
        QCOMPARE(cmdline::FirstWord({"--tcp=x", "get"}, table), QString("get"));
        QCOMPARE(cmdline::FirstWord({"--eeprom", "--", "-weird"}, table), QString("-weird"));
        QCOMPARE(cmdline::FirstWord({"--tcp"}, table), QString());
    }

    void hostPort_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("host"); // empty: refused
        QTest::addColumn<int>("port");
        QTest::newRow("name") << "sensor-3.line"
                              << "sensor-3.line" << 10002;
        QTest::newRow("name:port") << "10.0.3.14:2000"
                                   << "10.0.3.14" << 2000;
        QTest::newRow("[IPv6]:port") << "[fe80::1%eth0]:7"
                                     << "fe80::1%eth0" << 7;
        QTest::newRow("[IPv6]") << "[::1]"
                                << "::1" << 10002;
        QTest::newRow("bare IPv6") << "::1"
                                   << "::1" << 10002;
        QTest::newRow("brackets round a name") << "[sensor]:10002"
                                               << "" << 0;
        QTest::newRow("brackets round anything") << "[a b]"
                                                 << "" << 0;
        QTest::newRow("text after ]") << "[::1]x"
                                      << "" << 0;
        QTest::newRow("unclosed [") << "[::1"
                                    << "" << 0;
        QTest::newRow("words") << "not a host"
                               << "" << 0;
        QTest::newRow("shell characters") << "h;rm"
                                          << "" << 0;
        QTest::newRow("empty") << ""
                               << "" << 0;
        QTest::newRow("no host") << ":10002"
                                 << "" << 0;
        QTest::newRow("empty port") << "h:"
                                    << "" << 0;
        QTest::newRow("port 0") << "h:0"
                                << "" << 0;
        QTest::newRow("port 65536") << "h:65536"
                                    << "" << 0;
        QTest::newRow("port with sign") << "h:+5"
                                        << "" << 0;
        QTest::newRow("too long") << QString(100, 'a') << "" << 0;
        QTest::newRow("two colons, no IPv6") << "a:b:c"
                                             << "" << 0;
    }
    void hostPort() {
        QFETCH(QString, text);
        QFETCH(QString, host);
        QFETCH(int, port);
        QString gotHost, why;
        int gotPort = 0;
        const bool ok = ParseHostPort(text, 10002, &gotHost, &gotPort, &why);
        QCOMPARE(ok, !host.isEmpty());
        if (!ok) {
            QVERIFY(!why.isEmpty());
            return;
        }
        QCOMPARE(gotHost, host);
        QCOMPARE(gotPort, port);
        // What HostPortText writes is read back the same.
        QString again;
        int againPort = 0;
        QVERIFY(ParseHostPort(HostPortText(gotHost, gotPort), 1, &again, &againPort));
        QCOMPARE(again, gotHost);
        QCOMPARE(againPort, gotPort);
    }

    void serialDevice_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("device");
        QTest::addColumn<int>("com");
        QTest::newRow("path kept as given") << "/dev/ttyS99" << true << "/dev/ttyS99" << 0;
        QTest::newRow("relative path") << "ttyUSB0" << true << "ttyUSB0" << 0;
        QTest::newRow("COM1") << "COM1" << true << "" << 1;
        QTest::newRow("com48") << "com48" << true << "" << 48;
        QTest::newRow("COM0") << "COM0" << false << "" << 0;
        QTest::newRow("COM49") << "COM49" << false << "" << 0;
        QTest::newRow("COM0001") << "COM0001" << false << "" << 0;
        QTest::newRow("empty") << "" << false << "" << 0;
    }
    void serialDevice() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QString, device);
        QFETCH(int, com);
        QString gotDevice = "x", why;
        int gotCom = -1;
        QCOMPARE(ParseSerialDevice(text, &gotDevice, &gotCom, &why), ok);
        if (!ok) return;
        QCOMPARE(gotDevice, device);
        QCOMPARE(gotCom, com);
    }
};

QTEST_GUILESS_MAIN(TstCmdline)
#include "tst_cmdline.moc"
