// The link's failures in words an operator can act on: which link, what
// happened, what to check. The STATUS displays keep their short texts; the
// status line carries these. Also what a write cut off half-way left in the
// sensor.
#include "link/Link.h"
#include "link/SharedLine.h"

#include "core/SensorData.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cmath>

SendProgress sendProgress;

namespace {
constexpr QChar kDash(0x2013);

uint16_t RequestWord(int i) {
    return uint16_t((szWriteBuf[2 * i] << 8) | szWriteBuf[2 * i + 1]);
}

QString Rows(int first, int last) {
    return first == last ? QStringLiteral("row %1").arg(first)
                         : QStringLiteral("rows %1%2%3").arg(first).arg(kDash).arg(last);
}

// The sensor's name as a command line gave it, when one did.
QString givenPlace;

QString SerialCheck() {
    return givenPlace.isEmpty() ? QStringLiteral("check COM-PORT and the adapter")
                                : QStringLiteral("check the device name and the adapter");
}

QString WhatToCheck() {
    return comprotocol == 0
               ? QStringLiteral("check the sensor's power, the cable and the baud rate")
               : QStringLiteral("check the sensor's power and its server");
}
} // namespace

void SetLinkPlace(const QString &place) {
    givenPlace = place;
}

QString LinkPlace() {
    // Through a shared line the message names the owner it went through too.
    if (const shared::Owner &owner = shared::LineOwnerInUse(); owner.pid != 0)
        return (givenPlace.isEmpty() ? owner.address : givenPlace) + QStringLiteral(" (") +
               shared::ThroughText(owner) + ')';
    if (!givenPlace.isEmpty()) return givenPlace;
    if (comprotocol == 0)
        return QStringLiteral("COM%1 (%2)").arg(comport).arg(ComPortDevice(comport));
    return QStringLiteral("%1:%2").arg(ipBuf).arg(portNum);
}

QString LastRequestName() {
    switch (RequestWord(1)) {
    case proto::WriteParams:
        return QStringLiteral("the parameters");
    case proto::WriteRow:
    case proto::ReadRow:
        return QStringLiteral("row %1").arg(RequestWord(2));
    case proto::ReadParams:
        return QStringLiteral("the parameter request");
    case proto::SendFrame:
        return QStringLiteral("the data frame request");
    case proto::StoreEeprom:
        return QStringLiteral("the EEPROM store");
    case proto::SendVersion:
        return QStringLiteral("the version request");
    case proto::LoadEeprom:
        return QStringLiteral("the EEPROM load");
    case proto::WriteCalib:
        return QStringLiteral("the calibration factors");
    case proto::ReadCalib:
        return QStringLiteral("the calibration factor request");
    case proto::AnnounceThirdRoot:
        return QStringLiteral("the third-root announcement");
    case proto::WriteThirdRoot:
        return QStringLiteral("the third-root values from %1").arg(RequestWord(2));
    case proto::ChangeBaud:
        return QStringLiteral("the baud-rate change");
    default:
        return QStringLiteral("order %1").arg(RequestWord(1));
    }
}

QString ExplainOpenFailure() {
    if (comprotocol == 0) {
        const QString port = LinkPlace();
        switch (ret) {
        case kComErrNoDevice:
        case kComErrPortNumber:
            return QStringLiteral("%1 is not there; %2").arg(port, SerialCheck());
        case kComErrCannotOpen:
            return QStringLiteral("%1 cannot be opened: another program uses it, or the user is "
                                  "not in the group dialout")
                .arg(port);
        default:
            return QStringLiteral("%1 failed (%2); %3")
                .arg(port, QString::fromLatin1(SerialErrorText(ret)), SerialCheck());
        }
    }
    switch (ret) {
    case kTcpErrRefused:
        return QStringLiteral("no answer from %1 %2 nothing listens there; check the sensor's "
                              "power, address and port")
            .arg(LinkPlace())
            .arg(QChar(0x2014));
    case kTcpErrHostNotFound:
        return QStringLiteral("host name '%1' not found; check HOST").arg(ipBuf);
    case kTcpErrTimeout:
        return QStringLiteral("%1 did not take the connection within %2 s; check the address, "
                              "the network and the sensor's power")
            .arg(LinkPlace())
            .arg(proto::kTcpConnectTimeoutMs / 1000);
    default:
        return QStringLiteral("cannot connect to %1 (%2); check the address, port and network")
            .arg(LinkPlace(), QString::fromLatin1(TcpErrorText(ret)).trimmed());
    }
}

QString ExplainAnswerFailure() {
    const QString at = LastRequestName();
    if (comprotocol == 1 && !tcpcon)
        return QStringLiteral("the server %1 closed the connection at %2").arg(LinkPlace(), at);
    if (bytesToRead == 0)
        return QStringLiteral("the sensor answered with a wrong echo at %1").arg(at);
    if (bytesToRead < 0) switch (answerArrival.refusal) {
        case kBrokenAnswer:
            return QStringLiteral("the answer at %1 broke off and was refused; %2")
                .arg(at, WhatToCheck());
        case kValuesOutOfRange:
            return QStringLiteral("the answer at %1 held values no sensor sends and was "
                                  "refused; %2")
                .arg(at, WhatToCheck());
        case kFollowedAnswer:
            return QStringLiteral("more bytes followed the answer at %1, so it was refused; "
                                  "check that no other program talks to the sensor")
                .arg(at);
        case kNotRefused:
        case kForeignAnswer:
            return QStringLiteral("the answer at %1 did not belong to it; check that no other "
                                  "program talks to the sensor")
                .arg(at);
        }
    const int seconds = std::max(1, int(std::lround(tdiff)));
    if (const QString held = shared::HeldLineNote();
        !held.isEmpty() && bytesToRead >= proto::kTelegramBytes)
        return QStringLiteral("no answer at %1 within %2 s: %3").arg(at).arg(seconds).arg(held);
    if (bytesToRead >= proto::kTelegramBytes)
        return QStringLiteral("no answer from %1 at %2 within %3 s; %4")
            .arg(LinkPlace(), at)
            .arg(seconds)
            .arg(WhatToCheck());
    return QStringLiteral("only %1 of %2 bytes came from %3 at %4; %5")
        .arg(proto::kTelegramBytes - bytesToRead)
        .arg(proto::kTelegramBytes)
        .arg(LinkPlace(), at, WhatToCheck());
}

QString AnswerFailureSentence() {
    QString s = ExplainAnswerFailure();
    if (!s.isEmpty()) s[0] = s[0].toUpper();
    return s + QLatin1Char('.');
}

const SendProgress &LastSendProgress() {
    return sendProgress;
}

// The telegram that failed may have reached the sensor even so (only its
// answer lost): its row is named as uncertain.
QString SendCutNote(const SendProgress &p) {
    if (p.complete) return QString();
    if (p.linkClosed)
        return QStringLiteral("SEND sent nothing: the link to %1 is closed; TRY TO CONNECT "
                              "opens it, then send again.")
            .arg(LinkPlace());
    constexpr int kLastRow = proto::kRows - 1;
    const int telegrams = 1 + proto::kRows + (p.toEeprom ? 1 : 0);
    const int reached = p.paramsAccepted ? 2 + p.rowsAccepted : 1;
    QString where;
    QString ram;
    if (!p.paramsAccepted) {
        where = QStringLiteral("the parameters");
        ram = QStringLiteral("the sensor's RAM holds its old table, and its old parameters or "
                             "perhaps the new ones");
    } else if (p.rowsAccepted <= kLastRow) {
        const int k = p.rowsAccepted;
        where = QStringLiteral("row %1").arg(k);
        QStringList held{QStringLiteral("the new parameters")};
        if (k > 0) held.last() += QStringLiteral(" and ") + Rows(0, k - 1);
        held << QStringLiteral("row %1 perhaps").arg(k);
        if (k < kLastRow) held << QStringLiteral("the old ") + Rows(k + 1, kLastRow);
        ram = QStringLiteral("the sensor's RAM holds ") + held.join(QStringLiteral(", "));
    } else {
        where = QStringLiteral("the EEPROM store");
        ram = QStringLiteral("the sensor's RAM holds the new set");
    }
    QString note = QStringLiteral("SEND stopped at %1 (telegram %2 of %3): %4")
                       .arg(where)
                       .arg(reached)
                       .arg(telegrams)
                       .arg(ram);
    if (p.toEeprom)
        note +=
            p.rowsAccepted == proto::kRows
                ? QStringLiteral("; the store was not confirmed: take the EEPROM as not written")
                : QStringLiteral("; the EEPROM was not written");
    return note + QStringLiteral("; send again.");
}
