// tolvane-sim: a colour and gloss sensor that answers the telegram protocol
// over TCP and over a pseudo-terminal. Purely event-driven, so that it can
// run on the same event loop as the program that talks to it.
#pragma once

#include "sim/SensorModel.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>

class QSocketNotifier;
class QTcpServer;
class QTcpSocket;
class QTimer;

namespace tsim {

enum class Fault {
    None,
    NoAnswer,    // the telegram is lost: not executed, not answered
    ShortAnswer, // `amount` bytes (default 1) missing at the end of the answer
    ExtraBytes,  // `amount` bytes (default 2) after the answer, in the same write
    WrongEcho,   // one byte flipped: byte `amount`, default the last one the echo covers
    WrongSync,   // the answer begins 00 55
    Delay,       // the answer leaves `amount` ms (default 4000) late
    Disconnect,  // the telegram is answered, then the link drops (TCP: closed;
                 // pty: no answers any more) until clearFaults()
    Unsolicited, // `amount` bytes (default 36) follow the answer, unasked
    Stray,       // `amount` bytes (default 7) of a data frame, unasked, come just
                 // before the answer, in a write of their own
    SplitAnswer, // `amount` bytes (default 7) of another data frame, head first,
                 // come glued to the start of the answer, and the answer's last
                 // `amount` bytes follow `delayMs` (default 50) later
    // Automatic sending: `telegram` counts the frames sent by themselves.
    HalfFrame, // a frame goes out as its first `amount` bytes (default 18) only
    StrayHead, // `amount` bytes (default 7) of a frame, head first, come glued
               // to the start of a whole frame; with `delayMs`, that frame's
               // last `amount` bytes follow so much later
};

struct FaultPlan {
    Fault kind = Fault::None;
    int telegram = 1; // 1-based, counted from arming; 0 = every telegram
    int amount = 0;   // 0 = the kind's default
    int delayMs = -1; // the rest of a split frame; -1 = the kind's default
};

// "kind[:telegram[:amount[:delay]]]", kind as in the enum or hyphenated
// ("no-answer").
bool ParseFault(const QString &text, FaultPlan *out);
QString FaultName(Fault kind);

enum class LinkKind { None, Tcp, Pty };

class Simulator : public QObject {
    Q_OBJECT
  public:
    explicit Simulator(QObject *parent = nullptr);
    ~Simulator() override;

    // ---- links (one client at a time; a new TCP client replaces the old one)
    bool listenTcp(quint16 port = 0, const QHostAddress &addr = QHostAddress::LocalHost);
    quint16 tcpPort() const;
    bool openPty(const QString &linkPath = QString());
    QString ptyPath() const;
    QString ptyLinkPath() const;
    // The sensor vanishes: the pseudo-terminal's master end closes (the
    // program's side hangs up); the TCP server stops and its client is reset.
    void closePty();
    void closeTcp();
    QString errorString() const;
    bool tcpClientConnected() const;

    // A request takes the wire time of one telegram at the current rate
    // (36 bytes * 10 bits / baud) to arrive and its answer as long again to
    // leave, on either link.
    void setEmulateWireTime(bool on);
    // Pty only: requests are understood only when the line is set to the
    // sensor's rate, as on a real serial line.
    void setStrictLineRate(bool on);
    // Pty only, with the wire time: each byte of an answer leaves at its own
    // time at the line's rate, as a USB serial adapter hands them over,
    // instead of the whole answer after its wire time.
    void setPaceBytes(bool on);
    // After storing to EEPROM (order 6) and after the third-root announcement
    // (order 180) the sensor is deaf for a moment, as a real one is.
    void setStoreTimeEmulation(bool on);

    // ---- the sensor
    SensorState &state();
    int baudIndex() const;
    void restart(); // power cycle: RAM and line rate from EEPROM, automatic sending off

    // ---- what it sees
    void setScene(const QList<Target> &targets);
    QList<Target> scene() const;
    void setTarget(int index); // fixed target; -1 = the targets in turn
    int currentTarget() const;
    void setDwellMs(int ms); // time on each target when taking them in turn
    void setSeed(quint32 seed);
    void setNoiseEnabled(bool on);
    // Every n-th frame carries the trigger flag while sending automatically or
    // in a trigger mode other than CONT (0 = never).
    void setTriggerEvery(int frames);
    void setAutoSendIntervalMs(int ms);
    Frame measure(); // the next frame as the sensor would send it (without trigger flag)

    // ---- faults and observation
    void armFault(const FaultPlan &f);
    void clearFaults();
    QList<FaultPlan> armedFaults() const;
    // A simulator left serving for hours must not grow: only the last
    // kRequestLog requests are kept (oldest first), plus how many of each
    // order arrived since clearRequests().
    static constexpr int kRequestLog = 256;
    QList<QByteArray> requests() const;
    qint64 requestCount() const;
    qint64 requestCount(uint16_t order) const;
    void clearRequests();
    void sendUnsolicited(const QByteArray &bytes); // now, on the link in use
    // Every data frame carries `value` in word `word` (2..17); a value below 0
    // ends that.
    void setFrameWord(int word, int value);

  signals:
    void requestReceived(QByteArray telegram);
    void answerSent(QByteArray bytes);
    void clientConnected();
    void clientDisconnected();
    void faultHit(tsim::FaultPlan fault, int telegram);

  private:
    struct Armed {
        FaultPlan plan;
        int seen = 0;
    };
    struct Outgoing {
        LinkKind link;
        quint64 generation;
        QByteArray bytes;
        qint64 due; // microseconds of m_clock
        std::function<void()> after;
    };

    void onNewConnection();
    void onTcpReadyRead();
    void onPtyReadable();
    void feed(LinkKind link, const QByteArray &bytes);
    void handle(LinkKind link, const QByteArray &request);
    void logRequest(const QByteArray &request);
    QByteArray answer(const QByteArray &request, bool *silent, std::function<void()> *after);
    QByteArray dataFrame(uint16_t order);
    QByteArray autoFrame(); // the next automatic frame, with its faults
    void queue(LinkKind link, QByteArray bytes, int extraDelayMs, std::function<void()> after,
               qint64 requestWireUs = 0);
    void flushQueue();
    bool writeLink(LinkKind link, const QByteArray &bytes);
    void onPtyWritable();
    void autoSendTick();
    void updateAutoSend();
    void dropLink(LinkKind link);
    void applyLineRate();
    bool lineRateMatches() const;
    qint64 wireTimeUs() const; // one telegram at the line's rate
    qint64 nowUs() const;
    quint64 generationOf(LinkKind link) const;

    QList<Target> m_scene;
    SensorState m_state;
    int m_fixedTarget = -1;
    int m_dwellMs = 2000;
    bool m_noiseOn = true;
    Noise m_noise;
    int m_triggerEvery = 5;
    quint64 m_frameCount = 0;
    QElapsedTimer m_clock;

    QTcpServer *m_server = nullptr;
    QPointer<QTcpSocket> m_client;
    quint64 m_tcpGeneration = 0;
    int m_ptyMaster = -1;
    int m_ptyHold = -1; // our own slave descriptor: keeps the master readable-quiet
    QSocketNotifier *m_ptyReadNotifier = nullptr;
    QSocketNotifier *m_ptyWriteNotifier = nullptr;
    QByteArray m_ptyPending;
    QString m_ptyPath, m_ptyLink, m_error;
    bool m_ptyDead = false;

    QByteArray m_rx[3];
    qint64 m_lastRx[3] = {0, 0, 0};
    LinkKind m_active = LinkKind::None;

    bool m_wireTime = false;
    bool m_strictRate = false;
    bool m_paceBytes = false;
    bool m_storeTime = true;
    qint64 m_deafUntil = 0;

    QList<Outgoing> m_out;
    qint64 m_lastDue = 0; // microseconds
    qint64 m_rxAtUs = 0;  // when the last bytes came off a line
    QTimer *m_outTimer;
    QTimer *m_autoTimer;

    QList<Armed> m_faults;
    QHash<int, uint16_t> m_frameWords;
    // The armed faults that `telegram` hits, counted among requests or among
    // automatic frames.
    QList<FaultPlan> faultsHit(bool automatic);
    QList<QByteArray> m_requests; // a ring once full; m_requestNext is the oldest
    int m_requestNext = 0;
    qint64 m_requestTotal = 0;
    QHash<uint16_t, qint64> m_ordersSeen;
};

} // namespace tsim

Q_DECLARE_METATYPE(tsim::FaultPlan)
