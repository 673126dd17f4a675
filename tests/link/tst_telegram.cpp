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
    void failuresInWords_data() {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<int>("openResult"); // 0: the link is open, the answer failed
        QTest::addColumn<int>("order");
        QTest::addColumn<int>("missing"); // bytesToRead after the wait
        QTest::addColumn<bool>("closed");
        QTest::addColumn<QString>("words");
        QTest::newRow("refused") << 1 << int(kTcpErrRefused) << 0 << 0 << false
                                 << "no answer from 127.0.0.1:10002 \u2014 nothing listens there; "
                                    "check the sensor's power, address and port";
        QTest::newRow("unknown host") << 1 << int(kTcpErrHostNotFound) << 0 << 0 << false
                                      << "host name 'sensr-3' not found; check HOST";
        QTest::newRow("connect time-out")
            << 1 << int(kTcpErrTimeout) << 0 << 0 << false
            << "127.0.0.1:10002 did not take the connection within 5 s; check the address, the "
               "network and the sensor's power";
        QTest::newRow("port in use") << 0 << int(kComErrCannotOpen) << 0 << 0 << false
                                     << "COM7 (/dev/ttyS6) cannot be opened: another program uses "
                                        "it, or the user is not in the group dialout";
        QTest::newRow("no such port") << 0 << int(kComErrNoDevice) << 0 << 0 << false
                                      << "COM7 (/dev/ttyS6) is not there; check COM-PORT and the "
                                         "adapter";
        QTest::newRow("wrong echo") << 1 << 0 << int(proto::WriteRow) << 0 << false
                                    << "the sensor answered with a wrong echo at row 12";
        QTest::newRow("no answer, serial")
            << 0 << 0 << int(proto::SendFrame) << 36 << false
            << "no answer from COM7 (/dev/ttyS6) at the data frame request within 3 s; check the "
               "sensor's power, the cable and the baud rate";
        QTest::newRow("short answer") << 1 << 0 << int(proto::ReadRow) << 4 << false
                                      << "only 32 of 36 bytes came from 127.0.0.1:10002 at row 12; "
                                         "check the sensor's power and its server";
        QTest::newRow("foreign answer")
            << 1 << 0 << int(proto::WriteCalib) << -1 << false
            << "the answer at the calibration factors did not belong to it; check that no other "
               "program talks to the sensor";
        // A negative count of missing bytes names why a whole answer was
        // refused: -1 foreign, -2 broken, -3 values out of range, -4 followed.
        QTest::newRow("broken answer")
            << 0 << 0 << int(proto::SendFrame) << -2 << false
            << "the answer at the data frame request broke off and was refused; check the "
               "sensor's power, the cable and the baud rate";
        QTest::newRow("values out of range")
            << 1 << 0 << int(proto::SendFrame) << -3 << false
            << "the answer at the data frame request held values no sensor sends and was "
               "refused; check the sensor's power and its server";
        QTest::newRow("bytes after the answer")
            << 1 << 0 << int(proto::SendFrame) << -4 << false
            << "more bytes followed the answer at the data frame request, so it was refused; "
               "check that no other program talks to the sensor";
        QTest::newRow("server gone") << 1 << 0 << int(proto::StoreEeprom) << 36 << true
                                     << "the server 127.0.0.1:10002 closed the connection at the "
                                        "EEPROM store";
    }

    void failuresInWords() {
        QFETCH(int, protocol);
        QFETCH(int, openResult);
        QFETCH(int, order);
        QFETCH(int, missing);
        QFETCH(bool, closed);
        QFETCH(QString, words);
        qputenv("TOLVANE_COM7", "/dev/ttyS6");
        comprotocol = uint16_t(protocol);
        comport = 7;
        ipBuf = openResult == kTcpErrHostNotFound ? "sensr-3" : "127.0.0.1";
        portNum = 10002;
        if (openResult != 0) {
            ret = int16_t(openResult);
            QCOMPARE(ExplainOpenFailure(), words);
            return;
        }
        FillTxBuf(uint16_t(order), 12, 0, 0);
        bytesToRead = missing < 0 ? -1 : missing;
        answerArrival.refusal = missing < 0 ? AnswerRefusal(-missing) : kNotRefused;
        tcpcon = closed ? 0 : 1;
        tdiff = 3.02;
        QCOMPARE(ExplainAnswerFailure(), words);
        tcpcon = 0;
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
