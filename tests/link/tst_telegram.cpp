// Telegram bytes, answer decoding and the parameter-set copies.
#include "core/MasterCopy.h"
#include "core/SensorData.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "link/Link.h"
#include "params/Params.h"
#include "platform/Platform.h"
#include "shell/Shell.h"
#include "teach/TeachTable.h"

#include <QTest>
#include <cstring>

namespace {
QByteArray Request() {
    return QByteArray(reinterpret_cast<const char *>(szWriteBuf), 36);
}

QByteArray Words(std::initializer_list<int> words) {
    QByteArray b;
    for (int w : words) {
        b.append(char((w >> 8) & 0xFF));
        b.append(char(w & 0xFF));
    }
    return b;
}

void SetAnswer(const QByteArray &bytes) {
    std::memset(szReadBuf, 0, sizeof szReadBuf);
    std::memcpy(szReadBuf, bytes.constData(), size_t(std::min<qsizetype>(bytes.size(), 36)));
}

void FillPp() {
    for (int i = 0; i < 264; ++i)
        pp[i] = uint16_t(1000 + i);
}
} // namespace

class TstTelegram : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        telegram::sync = 85;
        anzframe = 18;
        anzVec = 31;
        std::memset(szWriteBuf, 0xEE, sizeof szWriteBuf);
        FillPp();
    }

    void requestBytes_data() {
        QTest::addColumn<int>("order");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("expected");
        auto ppPayload = [](int order) {
            QByteArray b = Words({85, order});
            for (int i = 0; i < 16; ++i)
                b += Words({1000 + i});
            return b;
        };
        for (int order : {1, 3, 5, 6, 7, 8, 31})
            QTest::addRow("order %d", order) << order << 0 << 0 << 0 << ppPayload(order);
        QByteArray row30 = Words({85, 2, 30});
        for (int i = 256; i < 264; ++i)
            row30 += Words({1000 + i});
        row30 += QByteArray(14, char(0xEE)); // words 11..17 keep the previous bytes
        QTest::newRow("order 2 row 30") << 2 << 30 << 0 << 0 << row30;
        QTest::newRow("order 4 row 7")
            << 4 << 7 << 0 << 0 << Words({85, 4, 7}) + QByteArray(30, char(0xEE));
        QTest::newRow("order 50 off")
            << 50 << 0 << 0 << 0 << Words({85, 50, 0}) + QByteArray(30, char(0xEE));
        QTest::newRow("order 50 on")
            << 50 << 1 << 0 << 0 << Words({85, 50, 1}) + QByteArray(30, char(0xEE));
        QTest::newRow("order 190")
            << 190 << 4 << 0 << 0 << Words({85, 190, 4}) + QByteArray(30, char(0xEE));
        QTest::newRow("order 30") << 30 << 0 << 0 << 0
                                  << Words({85, 30, 1100, 1200, 0xFFFF}) +
                                         QByteArray(26, char(0xEE));
        QTest::newRow("order 180")
            << 180 << 0 << 5888 << 0 << Words({85, 180, 5888}) + QByteArray(30, char(0xEE));
        QTest::newRow("order 182 piece of 4")
            << 182 << 10 << 5898 << 4
            << Words({85, 182, 5898, 4, 10, 11, 12, 13}) + QByteArray(20, char(0xEE));
    }
    void requestBytes() {
        QFETCH(int, order);
        QFETCH(int, start);
        QFETCH(int, value);
        QFETCH(int, count);
        QFETCH(QByteArray, expected);
        cfrot = 1100;
        cfgruen = 1200;
        cfblau = 0xFFFF;
        for (int i = 0; i < 256; ++i)
            data3rdRoot[i] = uint16_t(i);
        FillTxBuf(uint16_t(order), uint16_t(start), uint16_t(value), uint16_t(count));
        QCOMPARE(Request().toHex(' '), expected.toHex(' '));
    }

    void wordsAreBigEndianAndUnsigned() {
        pp[0] = 1000;
        pp[1] = 0xFFFF;
        FillTxBuf(1, 0, 0, 0);
        QCOMPARE(Request().left(8).toHex(' '), QByteArray("00 55 00 01 03 e8 ff ff"));
        SetAnswer(Words({170, 5, 0xFFFF, 4095, 1000}));
        GetRxBufData();
        QCOMPARE(databuf[0], uint16_t(170));
        QCOMPARE(databuf[2], uint16_t(65535));
        QCOMPARE(databuf[3], uint16_t(4095));
        QCOMPARE(databuf[4], uint16_t(1000));
    }

    void parameterAnswer() {
        QByteArray answer = Words({170, 3});
        for (int i = 0; i < 16; ++i)
            answer += Words({i == 6 ? 40 : 100 + i});
        SetAnswer(answer);
        GetRxBufPara();
        CopyPPtoVars();
        QCOMPARE(power, uint16_t(100));
        QCOMPARE(maxcolno, uint16_t(31)); // 40 is cut to the table size
        QCOMPARE(calcmode, uint16_t(110));
        QCOMPARE(frei16, uint16_t(115));

        // The same answer with the request's sync word is not an answer.
        power = 7;
        answer[1] = char(85);
        SetAnswer(answer);
        GetRxBufPara();
        CopyPPtoVars();
        QCOMPARE(power, uint16_t(7));
    }

    void rowAnswer() {
        std::memset(ctt, 0, sizeof ctt);
        std::memset(groupbuf, 0, sizeof groupbuf);
        SetAnswer(Words({170, 4, 30, 1, 2, 3, 4, 5, 6, 7, 9, 99, 99, 99, 99, 99, 99, 99}));
        GetRxBufPara();
        CopyPPtoVars();
        for (int c = 0; c < 7; ++c)
            QCOMPARE(ctt[30][c], uint16_t(c + 1));
        QCOMPARE(groupbuf[30], uint16_t(9));
        QCOMPARE(ctt[29][0], uint16_t(0));

        // A row the table does not have is dropped, nothing is written.
        SetAnswer(Words({170, 4, 31, 8, 8, 8, 8, 8, 8, 8, 8}));
        GetRxBufPara();
        CopyPPtoVars();
        for (int r = 0; r < 30; ++r)
            QCOMPARE(groupbuf[r], uint16_t(0));
        QCOMPARE(groupbuf[30], uint16_t(9));
    }

    void sendLayoutRoundTrip_data() {
        QTest::addColumn<int>("fill");
        QTest::newRow("zeros") << 0;
        QTest::newRow("ones") << 0xFFFF;
        QTest::newRow("pattern") << -1;
    }
    void sendLayoutRoundTrip() {
        QFETCH(int, fill);
        for (int i = 0; i < 264; ++i)
            pp[i] = uint16_t(fill < 0 ? i * 251 : fill);
        pp[6] = 31;
        CopyFileParatoVars();
        std::vector<uint16_t> before(pp, pp + 264);
        std::memset(pp, 0x55, sizeof pp);
        CopyVarsToPP();
        QCOMPARE(std::vector<uint16_t>(pp, pp + 264), before);
    }

    void fileLayoutClampsMaxcolNo() {
        pp[6] = 45;
        CopyFileParatoVars();
        QCOMPARE(maxcolno, uint16_t(31));
        pp[6] = 31;
        CopyFileParatoVars();
        QCOMPARE(maxcolno, uint16_t(31));
    }

    void spareWordsTravelBack() {
        SetAnswer(Words({170, 3, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 1234, 4321}));
        GetRxBufPara();
        CopyPPtoVars();
        CopyVarsToPP();
        QCOMPARE(pp[14], uint16_t(1234));
        QCOMPARE(pp[15], uint16_t(4321));
    }

    // The status line's words for each way a link fails: what happened, where,
    // what to check; a wrong echo is never called a missing answer.
    // A failure message must let the operator act: it names the sensor as
    // configured (address and port, host name, serial device), the exchange
    // that failed (the row, for a row's), what happened, and what to check.
    // Only the facts are checked here, not the wording around them.
    void failuresInWords_data() {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<int>("openResult"); // 0: the link is open, the answer failed
        QTest::addColumn<int>("order");
        QTest::addColumn<int>("missing"); // bytesToRead after the wait
        QTest::addColumn<bool>("closed");
        QTest::addColumn<QString>("sensor");     // empty: the message is about the answer alone
        QTest::addColumn<QString>("exchange");   // empty: no exchange had begun
        QTest::addColumn<QString>("happened");   // the fault, in the message's own word
        QTest::addColumn<QStringList>("checks"); // what it tells the operator to check
        const QString tcp = "127.0.0.1:10002", serial = "/dev/ttyS6";
        const QString frame = "data frame request";
        const QStringList serialLine = {"power", "cable", "baud rate"};
        const QStringList server = {"power", "server"};
        const QStringList otherProgram = {"no other program"};
        auto row = [](const char *name, int protocol, int openResult, int order, int missing,
                      bool closed, QString sensor, QString exchange, QString happened,
                      QStringList checks) {
            QTest::newRow(name) << protocol << openResult << order << missing << closed << sensor
                                << exchange << happened << checks;
        };
        row("refused", 1, kTcpErrRefused, 0, 0, false, tcp, "", "nothing listens",
            {"power", "address", "port"});
        row("unknown host", 1, kTcpErrHostNotFound, 0, 0, false, "sensr-3", "", "not found",
            {"HOST"});
        row("connect time-out", 1, kTcpErrTimeout, 0, 0, false, tcp, "", "within 5 s",
            {"address", "network", "power"});
        row("port in use", 0, kComErrCannotOpen, 0, 0, false, serial, "", "another program", {});
        row("no such port", 0, kComErrNoDevice, 0, 0, false, serial, "", "not there",
            {"COM-PORT", "adapter"});
        row("wrong echo", 1, 0, proto::WriteRow, 0, false, "", "row 12", "wrong echo", {});
        row("no answer, serial", 0, 0, proto::SendFrame, 36, false, serial, frame, "within 3 s",
            serialLine);
        row("short answer", 1, 0, proto::ReadRow, 4, false, tcp, "row 12", "32 of 36", server);
        row("foreign answer", 1, 0, proto::WriteCalib, -1, false, "", "calibration factors",
            "did not belong", otherProgram);
        // A negative count of missing bytes names why a whole answer was
        // refused: -1 foreign, -2 broken, -3 values out of range, -4 followed.
        row("broken answer", 0, 0, proto::SendFrame, -2, false, "", frame, "broke off", serialLine);
        row("values out of range", 1, 0, proto::SendFrame, -3, false, "", frame,
            "values no sensor sends", server);
        row("bytes after the answer", 1, 0, proto::SendFrame, -4, false, "", frame,
            "more bytes followed", otherProgram);
        row("server gone", 1, 0, proto::StoreEeprom, 36, true, tcp, "EEPROM store",
            "closed the connection", {});
    }

    void failuresInWords() {
        QFETCH(int, protocol);
        QFETCH(int, openResult);
        QFETCH(int, order);
        QFETCH(int, missing);
        QFETCH(bool, closed);
        QFETCH(QString, sensor);
        QFETCH(QString, exchange);
        QFETCH(QString, happened);
        QFETCH(QStringList, checks);
        qputenv("TOLVANE_COM7", "/dev/ttyS6");
        comprotocol = uint16_t(protocol);
        comport = 7;
        ipBuf = openResult == kTcpErrHostNotFound ? "sensr-3" : "127.0.0.1";
        portNum = 10002;
        QString text;
        if (openResult != 0) {
            ret = int16_t(openResult);
            text = ExplainOpenFailure();
        } else {
            FillTxBuf(uint16_t(order), 12, 0, 0);
            bytesToRead = missing < 0 ? -1 : missing;
            answerArrival.refusal = missing < 0 ? AnswerRefusal(-missing) : kNotRefused;
            tcpcon = closed ? 0 : 1;
            tdiff = 3.02;
            text = ExplainAnswerFailure();
            tcpcon = 0;
        }
        const QByteArray bytes = text.toUtf8();
        const char *said = bytes.constData();
        // One line, a clause the status line and the tool make a sentence of.
        QVERIFY2(!text.isEmpty() && !text.contains('\n') && !text.endsWith('.'), said);
        if (!sensor.isEmpty()) QVERIFY2(text.contains(sensor), said);
        if (!exchange.isEmpty()) QVERIFY2(text.contains(exchange), said);
        // Only a row's exchange speaks of a row.
        QCOMPARE(text.contains("row "), exchange.startsWith("row "));
        QVERIFY2(text.contains(happened), said);
        const qsizetype advice = text.indexOf("check ");
        QCOMPARE(advice >= 0, !checks.isEmpty());
        for (const QString &what : checks)
            QVERIFY2(text.indexOf(what, advice) > advice, said);
    }

    void failureTexts() {
        QCOMPARE(QString(SerialErrorText(-7)), QString("Cannot open port"));
        QCOMPARE(QString(SerialErrorText(-5)), QString("RS-232 error!"));
        QCOMPARE(QString(SerialErrorText(-4)), QString("Unknown I/0 error"));
        QCOMPARE(QString(TcpErrorText(-1)), QString("UnableToRegisterService"));
        QCOMPARE(QString(TcpErrorText(-11)), QString("TimeOutError "));
        QCOMPARE(QString(TcpErrorText(-20)), QString("InfoNotAvailable"));
        QCOMPARE(QString(TcpErrorText(-21)), QString("Connection to server failed"));
        QCOMPARE(QString(TcpErrorText(-22)), QString("Connection to server failed"));
        QCOMPARE(LeadingNumber("10002"), 10002);
        QCOMPARE(LeadingNumber("80abc"), 80);
        QCOMPARE(LeadingNumber("abc"), 0);
    }
};

QTEST_GUILESS_MAIN(TstTelegram)
#include "tst_telegram.moc"
