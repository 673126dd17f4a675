// Opening and closing the serial and TCP links, the TCP receive handler and
// the connection attempt with its line check.
#include "link/Link.h"

#include "core/Protocol.h"

#include "core/LinkStatus.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "link/SharedLine.h"
#include "platform/Platform.h"
#include "uir_ids.h"

#include <algorithm>
#include <cstring>

uint16_t comprotocol = 1;
uint16_t comport = 1;
uint16_t baudrate = 4;
QString ipBuf;
QString portNumStr;
int portNum = 0;
unsigned g_hconversation = 0;
uint16_t tcpcon = 0;
int16_t ret = 0;
QString szStatus;
char version[38];
int dataSize = 0;
int bytesToRead = 0;
int bytesRead = 0;
bool answerOverrun = false;

void InitRS232() {
    session::poll = 0;
    CloseCom(comport);
    if (shared::OpenThroughOwner(true)) return;
    ret = static_cast<int16_t>(OpenComConfig(comport, QString(), proto::BaudOfIndex(baudrate),
                                             NO_PARITY, 8, 1, 1024, 1024));
    if (ret < 0) {
        szStatus = SerialErrorText(ret);
        ShowStatus(szStatus);
        return;
    }
    SetComTime(comport, 2.0);
    FlushBoth();
    SetCTSMode(comport, 0);
}

void InitTCP_IP() {
    if (tcpcon) {
        DisconnectFromTCPServer(g_hconversation);
        tcpcon = 0;
    }
    if (shared::OpenThroughOwner(false)) return;
    SetWaitCursor(1);
    const int result = ConnectToTCPServer(&g_hconversation, portNum, ipBuf, ClientTCPCB, nullptr,
                                          proto::kTcpConnectTimeoutMs);
    SetWaitCursor(0);
    ret = static_cast<int16_t>(std::max(result, -32768));
    if (ret < 0) {
        szStatus = TcpErrorText(ret);
        ShowStatus(szStatus);
        tcpcon = 0;
    } else {
        tcpcon = 1;
    }
}

namespace {
// A read inside the handler never outlasts the answer wait it serves, so a
// server that stops in the middle of an answer ends in the waiter's time-out.
int HandlerReadTimeoutMs() {
    const double left = proto::kAnswerTimeoutS - (Timer() - tstart);
    return std::clamp(int(left * 1000.0), 0, proto::kLineCheckWriteTimeoutMs);
}
} // namespace

int ClientTCPCB(unsigned handle, int xType, int /*errCode*/, void * /*callbackData*/) {
    switch (xType) {
    case TCP_DISCONNECT:
        g_hconversation = 0;
        tcpcon = 0;
        SetLinkState(kLinkClosedBySensor);
        MarkValuesStale();
        // The version text belongs to a link that is no longer there.
        ShowStatus("Server has closed connection!");
        // The box also says what a SEND it cut left in the sensor, and what
        // to do next.
        MessagePopup("TCP Client",
                     QStringLiteral("Server has closed connection!\n\n") +
                         (sendProgress.running
                              ? SendCutNote(sendProgress)
                              : QStringLiteral("The values shown are those of the last frame; "
                                               "TRY TO CONNECT opens the link again.")));
        break;
    case TCP_DATAREADY:
        if (bytesToRead < 1) {
            // Nobody waits for an answer: what the sensor sends now is dropped.
            // Right after an answer it makes that answer doubtful.
            char scratch[1024];
            const int stray = ClientTCPRead(handle, scratch, sizeof scratch, 0);
            CountStrayBytes(stray);
            if (stray > 0 && bytesToRead == 0) answerOverrun = true;
            break;
        }
        while (bytesToRead > 0) {
            const int offset = dataSize - bytesToRead;
            if (offset < 0 || offset + bytesToRead > int(sizeof szReadBuf)) break;
            bytesRead =
                ClientTCPRead(handle, szReadBuf + offset, bytesToRead, HandlerReadTimeoutMs());
            if (bytesRead <= 0) break;
            bytesToRead -= bytesRead;
            // The times the bytes came off the line, not when they were read:
            // a box open meanwhile is no pause of the sensor's.
            double times[proto::kBufferBytes];
            NoteAnswerArrival(times, TCPReadTimes(handle, times, bytesRead));
            ProcessSystemEvents();
        }
        break;
    default:
        break;
    }
    return 0;
}

void TryToConnect() {
    CloseCom(comport);
    ShowStatus("TRY");
    SetCtrlAttribute(interfacepanel, INTERFACEP_ButtonAccept, ATTR_DIMMED, 1);
    SetBaudrateChangeAllowed(0);
    GetCtrlVal(interfacepanel, INTERFACEP_EditCommunicationProtocol, &comprotocol);
    GetCtrlVal(interfacepanel, INTERFACEP_EditSelectComPort, &comport);
    GetCtrlVal(interfacepanel, INTERFACEP_EditSelectBaudrate, &baudrate);
    GetCtrlVal(interfacepanel, INTERFACEP_StringIpAdress, &ipBuf);
    GetCtrlVal(interfacepanel, INTERFACEP_StringPortNumber, &portNumStr);
    ProcessSystemEvents();

    SetCtrlVal(datapanel, DATAP_DispComPort, int(comport));
    SetCtrlVal(datapanel, DATAP_DispHost, ipBuf);
    portNum = LeadingNumber(portNumStr);

    const bool serial = comprotocol == 0;
    SetLinkName(serial ? QStringLiteral("RS232 COM%1 %2 %3 baud")
                             .arg(comport)
                             .arg(ComPortDevice(comport))
                             .arg(proto::BaudOfIndex(baudrate))
                       : QStringLiteral("TCP/IP %1:%2").arg(ipBuf).arg(portNum));
    SetLinkState(kLinkTrying);
    SetCtrlAttribute(datapanel, DATAP_DispComPort, ATTR_VISIBLE, serial ? 1 : 0);
    SetCtrlAttribute(datapanel, DATAP_DispHost, ATTR_VISIBLE, serial ? 0 : 1);
    if (serial)
        InitRS232();
    else
        InitTCP_IP();

    if (ret < 0) {
        SetPopupTimeout();
        // The reason the link could not be opened tells the operator more
        // than the bare time-out.
        ShowStatus(szStatus);
        SetLinkState(kLinkNotOpen, ExplainOpenFailure());
    } else {
        CheckComLine();
    }
}

int LeadingNumber(const QString &text) {
    long long value = 0;
    int i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    for (; i < text.size() && text[i].isDigit() && value < 1000000000; ++i)
        value = value * 10 + text[i].digitValue();
    return int(value);
}

void CheckComLine() {
    StopAutoSend();
    WaitProcessingEvents(proto::kAutoSendStopPauseS);

    order = proto::SendVersion;
    FillTxBuf(order, 0, 0, 0);
    if (comprotocol == 0) {
        FlushBoth();
        dataSize = 0;
        WriteTelegram();
        WaitAnswer(proto::kAnswerTimeoutS);
    } else {
        WriteTelegram(proto::kLineCheckWriteTimeoutMs);
        WaitAnswer(proto::kLineCheckAnswerTimeoutS);
    }
    if (bytesToRead != 0) {
        SetPopupTimeout();
        return;
    }
    std::memcpy(version, szReadBuf, proto::kVersionBytes);
    version[proto::kVersionBytes] = version[proto::kVersionBytes + 1] = 0;
    ShowStatus(QString::fromLatin1(version, int(strnlen(version, proto::kVersionBytes))));

    SetLinkState(kLinkConnected);
    GetPara();
    if (comecho == 1) {
        SetCtrlAttribute(interfacepanel, INTERFACEP_ButtonAccept, ATTR_DIMMED, 0);
        SetBaudrateChangeAllowed(1);
    }
}
