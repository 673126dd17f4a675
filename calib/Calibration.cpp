// The white-light calibration: the calibration panel's callbacks, the
// measurement of the white target, the factors with their checks, and the
// transfer of the factors to and from the sensor.
#include "calib/Calib.h"

#include "core/HelpTexts.h"
#include "core/LinkStatus.h"
#include "core/Outcomes.h"
#include "core/Protocol.h"
#include "core/SensorData.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "link/Link.h"
#include "live/Live.h"
#include "platform/Platform.h"
#include "uir_ids.h"

uint16_t setvalue, maxdelta;
uint16_t meanR, meanG, meanB, meanD;

namespace {
constexpr int kCalibFrames = 100;
constexpr int kBlinkEvery = 5; // frames per half period of the busy indicator
constexpr int kBusyColour = 0xFF0000;
constexpr int kIdleColour = 0xE0E0E0;
constexpr double kCyclePauseSeconds = 0.010;
// A sensor that misses this many frames in a row has gone: the measurement
// ends instead of waiting out every remaining frame (minutes on a serial line).
constexpr int kMaxMissedInARow = 3;
constexpr uint32_t kUnity = 1024; // the factor 1.0
// Factors outside these bounds mean a target that is not white or a POWER
// that drives a channel out of its range.
constexpr uint32_t kMinFactor = 750;
constexpr uint32_t kMaxFactor = 1300;
// The sensor stores the factors, then the table, in its EEPROM.
constexpr double kFactorsStorePauseSeconds = 0.5;
constexpr double kTableStorePauseSeconds = 0.5;

constexpr char ConfirmCalculation[] =
    " Are you sure, that you have selected \n the right calibration parameters? ";
constexpr char CalculationDeclined[] =
    "Please insert the right values and press \n CALCULATE CALIBRATION FACTORS again.";
constexpr char MaximumDelta[] =
    " The maximum delta of the raw data values RED,GREEN and BLUE is to high. \n Calibration is "
    "not possible. \n Verify, that the sensor shines on a WHITE target! \n Increase MAXIMUM DELTA "
    "OF RAW DATAS! ";
constexpr char CFOutOfRange[] =
    " One of the calibration factor is out of range. \n Calibration is not possible. \n Verify, "
    "that the senor shines on a WHITE target! \n Choose a proper POWER value. ";
constexpr char CalibrationPassed[] =
    " Calibration successful! \n Calibration factors were sent to the EEPROM of the sensor. \n GO "
    "mode will be activated. ";
constexpr char NoCalibrationFrames[] =
    " No data frame arrived from the sensor. \n Calibration is not possible. \n Check the "
    "connection to the sensor! ";
constexpr char SensorStoppedAnswering[] =
    " The sensor stopped answering during the measurement. \n Calibration is not possible. \n "
    "Check the connection to the sensor! ";

// Typed factors a calibration would never have produced are sent only when
// the operator says so: a red factor of 9999 saturates the channel.
bool FactorsConfirmed() {
    const struct {
        const char *name;
        uint16_t value;
    } factors[] = {{"CF RED", cfrot}, {"CF GREEN", cfgruen}, {"CF BLUE", cfblau}};
    QStringList outside;
    for (const auto &f : factors)
        if (f.value < kMinFactor || f.value > kMaxFactor)
            outside << QStringLiteral("%1 %2").arg(QLatin1String(f.name)).arg(f.value);
    if (outside.isEmpty()) return true;
    return ConfirmPopup("ATTENTION!",
                        QStringLiteral("%1 %2 outside %3..%4, the range a calibration accepts. "
                                       "Send %5 to the sensor anyway?")
                            .arg(outside.join(QStringLiteral(" and ")))
                            .arg(outside.size() == 1 ? "lies" : "lie")
                            .arg(kMinFactor)
                            .arg(kMaxFactor)
                            .arg(outside.size() == 1 ? "it" : "them"));
}

QString FactorsText() {
    return QStringLiteral("%1/%2/%3").arg(cfrot).arg(cfgruen).arg(cfblau);
}

// A calculation that failed leaves the CF fields as they were, and the run
// sends those: the box says so and what to do, as the status line would.
QString AfterFailedRun() {
    return QStringLiteral("\n\nThe CF fields keep %1 (red/green/blue); this run sends these "
                          "to the sensor, so its calibration stays as it was. Check the white "
                          "target and the sensor's distance, then start CALIBRATE again.")
        .arg(FactorsText());
}

void ShowFactors() {
    SetCtrlVal(calibpanel, CALIBP_EditCFR, cfrot);
    SetCtrlVal(calibpanel, CALIBP_EditCFG, cfgruen);
    SetCtrlVal(calibpanel, CALIBP_EditCFB, cfblau);
}
} // namespace

void GetCalibData() {
    // Live measurement of the calibration is the GO loop itself, so that the
    // calibrated channels show on every display the operator knows.
    GetData();
}

void CalcCF() {
    session::poll = 0;
    if (comprotocol == 0) FlushBoth();
    if (!ConfirmPopup("CONFIRM CALCULATION!", ConfirmCalculation)) {
        MessagePopup("INFO!", CalculationDeclined);
        return;
    }

    uint32_t sumR = 0, sumG = 0, sumB = 0, sumD = 0;
    uint32_t frames = 0;
    int missedInARow = 0;
    int blink = 0;
    BeginProgress(QStringLiteral("CALIBRATE"), kCalibFrames, kProgressFrames);
    for (int i = 0; i < kCalibFrames; ++i) {
        SetProgress(i + 1);
        if (i % kBlinkEvery == 0) {
            SetCtrlAttribute(calibpanel, CALIBP_ButtonCalcCF, ATTR_CMD_BUTTON_COLOR,
                             blink % 2 == 0 ? kBusyColour : kIdleColour);
            ++blink;
        }
        if (ReceiveFrame()) {
            SetPanelCalibData();
            sumR += dataRawR;
            sumG += dataRawG;
            sumB += dataRawB;
            sumD += deltaraw;
            ++frames;
            missedInARow = 0;
        } else {
            SetPopupTimeout();
            if (++missedInARow == kMaxMissedInARow) {
                EndProgress();
                MessagePopup("ATTENTION!",
                             QString(frames == 0 ? NoCalibrationFrames : SensorStoppedAnswering) +
                                 AfterFailedRun());
                return;
            }
        }
        WaitProcessingEvents(kCyclePauseSeconds);
    }
    EndProgress();

    // A missing frame is no measurement of zero: the means are taken over
    // the frames that arrived (at least one: three missing in a row end the
    // measurement above).
    meanR = uint16_t(sumR / frames);
    meanG = uint16_t(sumG / frames);
    meanB = uint16_t(sumB / frames);
    meanD = uint16_t(sumD / frames);
    SetCF();
}

void SetCF() {
    GetCtrlVal(calibpanel, CALIBP_EditSetValue, &setvalue);
    GetCtrlVal(calibpanel, CALIBP_EditMaxDelta, &maxdelta);
    if (meanD > maxdelta) {
        MessagePopup("ATTENTION!", MaximumDelta + AfterFailedRun());
        return;
    }
    for (uint16_t *mean : {&meanR, &meanG, &meanB})
        if (*mean == 0) *mean = 1;
    const uint32_t factors[3] = {setvalue * kUnity / meanR, setvalue * kUnity / meanG,
                                 setvalue * kUnity / meanB};
    for (uint32_t f : factors) {
        if (f < kMinFactor || f > kMaxFactor) {
            MessagePopup("ATTENTION!", CFOutOfRange + AfterFailedRun());
            return;
        }
    }
    cfrot = uint16_t(factors[0]);
    cfgruen = uint16_t(factors[1]);
    cfblau = uint16_t(factors[2]);
    ShowFactors();
    MessagePopup("CALIBRATION PASSED!", CalibrationPassed);
}

void SendCF() {
    // Typed factors go as they stand: the range check belongs to the calculation.
    GetCtrlVal(calibpanel, CALIBP_EditCFR, &cfrot);
    GetCtrlVal(calibpanel, CALIBP_EditCFG, &cfgruen);
    GetCtrlVal(calibpanel, CALIBP_EditCFB, &cfblau);
    if (!FactorsConfirmed()) {
        // Nothing goes out, the third-root table neither.
        comecho = 0;
        SetLinkNote(QStringLiteral("SEND CF cancelled: nothing was sent"));
        return;
    }
    // The factors, then the third-root table that follows every accepted set.
    BeginProgress(QStringLiteral("SEND CF"), 1 + ThirdRootTelegrams());
    if (comprotocol == 0) FlushBoth();
    order = proto::WriteCalib;
    FillTxBuf(order, 0, 0, 0);
    WriteTelegram();
    CheckEcho(5);
    if (comecho == 0)
        SetLinkNote(QStringLiteral("The calibration factors were not confirmed: the sensor may "
                                   "still use its old ones; send them again. ") +
                    AnswerFailureSentence());
    else
        SetLinkNote(QStringLiteral("SEND CF: %1 written").arg(FactorsText()));
}

void GetCF() {
    session::poll = 0;
    BeginProgress(QStringLiteral("GET CF"), 1);
    order = proto::ReadCalib;
    FillTxBuf(order, 0, 0, 0);
    GetDataFrame();
    if (bytesToRead != 0) {
        SetPopupTimeout();
        return;
    }
    GetRxBufPara();
    cfrot = pp[2];
    cfgruen = pp[3];
    cfblau = pp[4];
    ShowFactors();
    SetLinkNote(QStringLiteral("GET CF: %1 read from the sensor").arg(FactorsText()));
}

// ---- callbacks of the calibration panel

int CBF_ButtonCalcCF(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonCalcCF) || event != EVENT_COMMIT) return 0;
    // Not even the question while another transfer waits for the sensor.
    if (TransferRunning()) return 0;
    if (!ConfirmPopup("SEND POWER", InfoWhiteTarget)) return 0;
    TransferScope transfer;
    if (transfer.refused()) return 0;
    SetLinkNote(QString());
    CalcCF();
    // Declined or refused, the run still sends what stands in the CF fields.
    SendCF();
    PauseOnTimer(kFactorsStorePauseSeconds);
    if (comecho == 1) Send3rdRoot();
    PauseOnTimer(kTableStorePauseSeconds);
    GetCalibData();
    return 0;
}

int CBF_ButtonSendCF(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonSendCF) || event != EVENT_COMMIT) return 0;
    TransferScope transfer;
    if (transfer.refused()) return 0;
    SetLinkNote(QString());
    SendCF();
    if (comecho == 1) Send3rdRoot();
    return 0;
}

int CBF_ButtonGetCF(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonGetCF) || event != EVENT_COMMIT) return 0;
    TransferScope transfer;
    if (transfer.refused()) return 0;
    SetLinkNote(QString());
    GetCF();
    return 0;
}

int CBF_DispBarsRAW(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoDispBarsRAW);
}
int CBF_DispBars(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoDispRAW);
}
int CBF_DispRawDelta(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoDispRawDelta);
}
int CBF_EditCFR(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoEditCF);
}
int CBF_EditCFG(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoEditCF);
}
int CBF_EditCFB(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoEditCF);
}
int CBF_EditSetValue(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoEditSetValue);
}
int CBF_EditMaxDelta(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoEditMaxDelta);
}
int CBF_CALIBP(int, int, int, void *, int, int) {
    return 0;
}
