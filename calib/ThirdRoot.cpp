// The third-root table: computed here, written into the sensor's memory after
// every accepted set of calibration factors; and the timer-only pause that the
// sensor's store times ask for.
#include "calib/Calib.h"

#include "core/LinkStatus.h"
#include "core/Protocol.h"
#include "core/SensorData.h"
#include "core/Session.h"
#include "link/Link.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cmath>

namespace {
// The double just below one third: perfect cubes come out one below their
// round root (3999 for 64), and the sensor's table has always held exactly that.
constexpr double kThirdRootExponent = 0.3333333333333333;
constexpr double kThirdRootStep = 16.0; // the table covers the 12-bit raw range
// The sensor prepares its table memory after the announcement.
constexpr double kAnnouncePauseSeconds = 0.2;
constexpr int kPieces =
    (proto::kThirdRootCount + proto::kThirdRootPiece - 1) / proto::kThirdRootPiece;

// The factors are in the sensor by now; a table cut off half-way leaves its
// first values new and the rest old.
void SayCut(int telegram, int valuesAccepted) {
    const QString held =
        valuesAccepted == 0
            ? QStringLiteral("the sensor keeps its old third-root table")
            : QStringLiteral("the sensor holds the new third-root values 0%1%2 and old ones "
                             "from %3")
                  .arg(QChar(0x2013))
                  .arg(valuesAccepted - 1)
                  .arg(valuesAccepted);
    SetLinkNote(QStringLiteral("Third-root table stopped at %1 (telegram %2 of %3): %4; send the "
                               "factors again. %5")
                    .arg(LastRequestName())
                    .arg(telegram)
                    .arg(1 + kPieces)
                    .arg(held, AnswerFailureSentence()));
}
} // namespace

void PauseOnTimer(double seconds) {
    const double end = Timer() + seconds;
    for (double left = seconds; left > 0; left = end - Timer())
        Sleep(std::max(1, int(std::ceil(left * 1000.0))));
}

int ThirdRootTelegrams() {
    return 1 + kPieces;
}

void Calc3rdRoot() {
    double x = 0.0;
    for (int i = 0; i < proto::kThirdRootCount; ++i) {
        data3rdRoot[i] = uint16_t(1000.0 * std::pow(x, kThirdRootExponent));
        x += kThirdRootStep;
    }
}

void Send3rdRoot() {
    Calc3rdRoot();
    if (comprotocol == 0) FlushBoth();

    order = proto::AnnounceThirdRoot;
    FillTxBuf(order, 0, proto::kThirdRootAddress, 0);
    WriteTelegram();
    CheckEcho(2);
    if (comecho == 0) return SayCut(1, 0);
    PauseOnTimer(kAnnouncePauseSeconds);

    order = proto::WriteThirdRoot;
    for (int k = 0; k < kPieces; ++k) {
        const int first = proto::kThirdRootPiece * k;
        const int count = std::min(proto::kThirdRootPiece, proto::kThirdRootCount - first);
        FillTxBuf(order, uint16_t(first), uint16_t(proto::kThirdRootAddress + first),
                  uint16_t(count));
        WriteTelegram();
        // Header and control words, then the values.
        CheckEcho(count + 4);
        if (comecho == 0) return SayCut(2 + k, first);
    }
    SetLinkNote(QStringLiteral("SEND CF: %1/%2/%3 and the third-root table written")
                    .arg(cfrot)
                    .arg(cfgruen)
                    .arg(cfblau));
}
