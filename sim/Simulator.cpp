#include "sim/Simulator.h"

#include "core/Protocol.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace tsim {

namespace {

constexpr int kStaleRxMs = 200;       // a partial telegram older than this is line noise
constexpr int kStoreDeafMs = 300;     // EEPROM write after order 6
constexpr int kAnnounceDeafMs = 100;  // table preparation after order 180
constexpr int kUnsolicitedGapMs = 20; // unasked bytes follow the answer after this gap
constexpr int kPtyBacklog = 4096;     // bytes kept for a slow pty reader, then dropped
constexpr int kDefaultDelayMs = 4000; // beyond the program's 3 s answer wait
constexpr int kDefaultStray = 7;
constexpr int kStrayGapMs = 5; // stray bytes and answer arrive as two pieces

uint16_t WordAt(const QByteArray &t, int k) {
    return uint16_t(uint8_t(t[2 * k]) << 8 | uint8_t(t[2 * k + 1]));
}

void PutWord(QByteArray &t, int k, uint16_t v) {
    t[2 * k] = char(v >> 8);
    t[2 * k + 1] = char(v & 0xFF);
}

int LinkSlot(LinkKind l) {
    return static_cast<int>(l);
}

speed_t SpeedOfIndex(int index) {
    switch (proto::BaudOfIndex(index)) {
    case 9600:
        return B9600;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B19200;
    }
}

// Words (counted from word 1) that a write order's answer echoes; 0 = no echo.
int EchoWords(const QByteArray &request) {
    switch (WordAt(request, 1)) {
    case proto::WriteParams:
        return 18;
    case proto::WriteRow:
        return 11;
    case proto::StoreEeprom:
    case proto::LoadEeprom:
    case proto::AnnounceThirdRoot:
        return 2;
    case proto::WriteCalib:
        return 5;
    case proto::WriteThirdRoot:
        return std::min<int>(WordAt(request, 3), proto::kThirdRootPiece) + 4;
    case proto::ChangeBaud:
        return 3;
    case proto::ReadParams:
    case proto::ReadRow:
    case proto::SendFrame:
    case proto::SendVersion:
    case proto::ReadCalib:
        return 0;
    default:
        return proto::kWords;
    }
}

const struct {
    Fault kind;
    const char *name;
} kFaultNames[] = {
    {Fault::None, "none"},
    {Fault::NoAnswer, "no-answer"},
    {Fault::ShortAnswer, "short-answer"},
    {Fault::ExtraBytes, "extra-bytes"},
    {Fault::WrongEcho, "wrong-echo"},
    {Fault::WrongSync, "wrong-sync"},
    {Fault::Delay, "delay"},
    {Fault::Disconnect, "disconnect"},
    {Fault::Unsolicited, "unsolicited"},
    {Fault::Stray, "stray"},
};

QString Squeezed(QString s) {
    return s.remove(QLatin1Char('-')).remove(QLatin1Char('_')).toLower();
}

} // namespace

QString FaultName(Fault kind) {
    for (const auto &f : kFaultNames)
        if (f.kind == kind) return QString::fromLatin1(f.name);
    return QString();
}

bool ParseFault(const QString &text, FaultSpec *out) {
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.isEmpty() || parts.size() > 3) return false;
    FaultSpec plan;
    bool known = false;
    for (const auto &f : kFaultNames) {
        if (Squeezed(QString::fromLatin1(f.name)) == Squeezed(parts[0].trimmed())) {
            plan.kind = f.kind;
            known = true;
        }
    }
    if (!known) return false;
    int *fields[] = {&plan.telegram, &plan.amount};
    for (int i = 1; i < parts.size(); ++i) {
        bool ok = false;
        const int v = parts[i].trimmed().toInt(&ok);
        if (!ok || v < 0) return false;
        *fields[i - 1] = v;
    }
    *out = plan;
    return true;
}

Simulator::Simulator(QObject *parent)
    : QObject(parent), m_scene(DefaultScene()), m_state(DefaultState(m_scene)),
      m_outTimer(new QTimer(this)), m_autoTimer(new QTimer(this)) {
    qRegisterMetaType<tsim::FaultSpec>();
    m_clock.start();
    m_outTimer->setSingleShot(true);
    m_outTimer->setTimerType(Qt::PreciseTimer);
    connect(m_outTimer, &QTimer::timeout, this, &Simulator::flushQueue);
    m_autoTimer->setInterval(100);
    connect(m_autoTimer, &QTimer::timeout, this, &Simulator::autoSendTick);
}

Simulator::~Simulator() {
    if (m_client) m_client->abort();
    if (!m_ptyLink.isEmpty() && QFileInfo(m_ptyLink).symLinkTarget() == m_ptyPath)
        QFile::remove(m_ptyLink);
    if (m_ptyHold >= 0) ::close(m_ptyHold);
    if (m_ptyMaster >= 0) ::close(m_ptyMaster);
}

// ---------------------------------------------------------------- links

bool Simulator::listenTcp(quint16 port, const QHostAddress &addr) {
    if (!m_server) {
        m_server = new QTcpServer(this);
        connect(m_server, &QTcpServer::newConnection, this, &Simulator::onNewConnection);
    }
    if (m_server->isListening()) m_server->close();
    if (!m_server->listen(addr, port)) {
        m_error = m_server->errorString();
        return false;
    }
    return true;
}

quint16 Simulator::tcpPort() const {
    return m_server && m_server->isListening() ? m_server->serverPort() : 0;
}

bool Simulator::tcpClientConnected() const {
    return m_client && m_client->state() == QAbstractSocket::ConnectedState;
}

void Simulator::onNewConnection() {
    while (QTcpSocket *sock = m_server->nextPendingConnection()) {
        // One sensor, one line: the newest client takes it over.
        if (m_client) {
            QTcpSocket *old = m_client;
            m_client = nullptr;
            old->abort();
            old->deleteLater();
            emit clientDisconnected();
        }
        m_client = sock;
        ++m_tcpGeneration;
        m_rx[LinkSlot(LinkKind::Tcp)].clear();
        sock->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(sock, &QTcpSocket::readyRead, this, &Simulator::onTcpReadyRead);
        connect(sock, &QTcpSocket::disconnected, this, [this, sock] {
            sock->deleteLater();
            if (m_client == sock) {
                m_client = nullptr;
                ++m_tcpGeneration;
                emit clientDisconnected();
            }
        });
        emit clientConnected();
    }
}

void Simulator::onTcpReadyRead() {
    auto *sock = qobject_cast<QTcpSocket *>(sender());
    if (!sock) return;
    const QByteArray bytes = sock->readAll();
    if (sock == m_client) feed(LinkKind::Tcp, bytes);
}

bool Simulator::openPty(const QString &linkPath) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    char name[128];
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname_r(master, name, sizeof name) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(master);
        return false;
    }
    termios t{};
    ::tcgetattr(master, &t);
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    ::tcsetattr(master, TCSANOW, &t);
    // Holding the slave open ourselves keeps the master from reporting a hang-up
    // whenever the program closes its port.
    const int hold = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (hold < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(master);
        return false;
    }
    if (m_ptyMaster >= 0) {
        delete m_ptyReadNotifier;
        delete m_ptyWriteNotifier;
        ::close(m_ptyHold);
        ::close(m_ptyMaster);
    }
    m_ptyMaster = master;
    m_ptyHold = hold;
    m_ptyPath = QString::fromLocal8Bit(name);
    m_ptyPending.clear();
    m_rx[LinkSlot(LinkKind::Pty)].clear();
    applyLineRate();

    m_ptyReadNotifier = new QSocketNotifier(master, QSocketNotifier::Read, this);
    connect(m_ptyReadNotifier, &QSocketNotifier::activated, this, &Simulator::onPtyReadable);
    m_ptyWriteNotifier = new QSocketNotifier(master, QSocketNotifier::Write, this);
    m_ptyWriteNotifier->setEnabled(false);
    connect(m_ptyWriteNotifier, &QSocketNotifier::activated, this, &Simulator::onPtyWritable);

    if (!linkPath.isEmpty()) {
        const QFileInfo existing(linkPath);
        if (existing.isSymLink()) QFile::remove(linkPath);
        if (::symlink(name, QFile::encodeName(linkPath).constData()) != 0) {
            m_error = QStringLiteral("cannot create %1: %2")
                          .arg(linkPath, QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        m_ptyLink = linkPath;
    }
    return true;
}

void Simulator::closePty() {
    if (m_ptyMaster < 0) return;
    delete m_ptyReadNotifier;
    delete m_ptyWriteNotifier;
    m_ptyReadNotifier = m_ptyWriteNotifier = nullptr;
    ::close(m_ptyHold);
    ::close(m_ptyMaster);
    m_ptyHold = m_ptyMaster = -1;
    m_ptyPath.clear();
    m_ptyPending.clear();
    m_rx[LinkSlot(LinkKind::Pty)].clear();
}

void Simulator::closeTcp() {
    if (m_server) m_server->close();
    if (m_client) m_client->abort();
}

QString Simulator::ptyPath() const {
    return m_ptyPath;
}
QString Simulator::ptyLinkPath() const {
    return m_ptyLink;
}
QString Simulator::errorString() const {
    return m_error;
}

void Simulator::onPtyReadable() {
    QByteArray bytes;
    char buf[512];
    for (;;) {
        const ssize_t n = ::read(m_ptyMaster, buf, sizeof buf);
        if (n > 0) {
            bytes.append(buf, n);
            continue;
        }
        break;
    }
    if (bytes.isEmpty() || m_ptyDead) return;
    // At a foreign rate a UART sees only framing errors.
    if (m_strictRate && !lineRateMatches()) return;
    feed(LinkKind::Pty, bytes);
}

void Simulator::onPtyWritable() {
    while (!m_ptyPending.isEmpty()) {
        const ssize_t n = ::write(m_ptyMaster, m_ptyPending.constData(), m_ptyPending.size());
        if (n <= 0) return;
        m_ptyPending.remove(0, n);
    }
    m_ptyWriteNotifier->setEnabled(false);
}

void Simulator::applyLineRate() {
    if (m_ptyMaster < 0) return;
    termios t{};
    if (::tcgetattr(m_ptyMaster, &t) != 0) return;
    ::cfsetispeed(&t, SpeedOfIndex(m_state.baudIndex));
    ::cfsetospeed(&t, SpeedOfIndex(m_state.baudIndex));
    ::tcsetattr(m_ptyMaster, TCSANOW, &t);
}

bool Simulator::lineRateMatches() const {
    termios t{};
    if (::tcgetattr(m_ptyMaster, &t) != 0) return true;
    return ::cfgetispeed(&t) == SpeedOfIndex(m_state.baudIndex);
}

void Simulator::setEmulateWireTime(bool on) {
    m_wireTime = on;
}
void Simulator::setStrictLineRate(bool on) {
    m_strictRate = on;
}
void Simulator::setStoreTimeEmulation(bool on) {
    m_storeTime = on;
}

qint64 Simulator::wireTimeUs() const {
    if (!m_wireTime) return 0;
    const double bits = proto::kTelegramBytes * 10.0;
    return static_cast<qint64>(std::ceil(bits * 1e6 / proto::BaudOfIndex(m_state.baudIndex)));
}

qint64 Simulator::nowUs() const {
    return m_clock.nsecsElapsed() / 1000;
}

quint64 Simulator::generationOf(LinkKind link) const {
    return link == LinkKind::Tcp ? m_tcpGeneration : 0;
}

// ---------------------------------------------------------------- telegrams

void Simulator::feed(LinkKind link, const QByteArray &bytes) {
    QByteArray &rx = m_rx[LinkSlot(link)];
    const qint64 now = m_clock.elapsed();
    if (!rx.isEmpty() && now - m_lastRx[LinkSlot(link)] > kStaleRxMs) rx.clear();
    m_lastRx[LinkSlot(link)] = now;
    rx.append(bytes);

    static const QByteArray sync("\x00\x55", 2);
    for (;;) {
        const qsizetype at = rx.indexOf(sync);
        if (at < 0) {
            // Keep a trailing 00: it may be the first half of the next sync.
            rx = rx.endsWith('\0') ? QByteArray(1, '\0') : QByteArray();
            return;
        }
        rx.remove(0, at);
        if (rx.size() < proto::kTelegramBytes) return;
        // A copy of its own: a slice of rx may share the whole socket read
        // buffer, which would then live as long as the telegram is logged.
        const QByteArray telegram(rx.constData(), proto::kTelegramBytes);
        rx.remove(0, proto::kTelegramBytes);
        handle(link, telegram);
    }
}

void Simulator::handle(LinkKind link, const QByteArray &request) {
    if (link == LinkKind::Pty && m_ptyDead)
        return; // the cable is out: later telegrams of the same read never arrive
    m_active = link;
    logRequest(request);
    emit requestReceived(request);

    QList<FaultSpec> hits;
    QList<int> hitAt;
    for (int i = 0; i < m_faults.size();) {
        Armed &a = m_faults[i];
        ++a.seen;
        const bool hit = a.plan.telegram == 0 || a.seen == a.plan.telegram;
        if (hit) {
            hits.append(a.plan);
            hitAt.append(a.seen);
        }
        if (hit && a.plan.telegram != 0)
            m_faults.removeAt(i);
        else
            ++i;
    }
    for (int i = 0; i < hits.size(); ++i)
        emit faultHit(hits[i], hitAt[i]);
    auto hitOf = [&hits](Fault k) -> const FaultSpec * {
        for (const auto &h : hits)
            if (h.kind == k) return &h;
        return nullptr;
    };

    if (m_clock.elapsed() < m_deafUntil || hitOf(Fault::NoAnswer)) return;

    bool silent = false;
    std::function<void()> after;
    QByteArray reply = answer(request, &silent, &after);
    int extraDelay = 0;
    if (!silent) {
        if (hitOf(Fault::WrongSync)) PutWord(reply, 0, proto::kRequestSync);
        if (const FaultSpec *f = hitOf(Fault::WrongEcho)) {
            const int echo = EchoWords(request);
            int index = f->amount > 0 ? f->amount : (echo > 0 ? 2 * echo - 1 : 3);
            index = std::clamp(index, 0, proto::kTelegramBytes - 1);
            reply[index] = char(reply[index] ^ 0x01);
        }
        if (const FaultSpec *f = hitOf(Fault::ShortAnswer))
            reply.chop(std::clamp(f->amount > 0 ? f->amount : 1, 0, int(reply.size())));
        if (const FaultSpec *f = hitOf(Fault::ExtraBytes))
            reply.append(QByteArray(f->amount > 0 ? f->amount : 2, char(0xEE)));
        if (const FaultSpec *f = hitOf(Fault::Delay))
            extraDelay = f->amount > 0 ? f->amount : kDefaultDelayMs;
        if (const FaultSpec *f = hitOf(Fault::Stray)) {
            queue(link, dataFrame(proto::SendFrame).left(f->amount > 0 ? f->amount : kDefaultStray),
                  extraDelay, {});
            extraDelay += kStrayGapMs;
        }
        // The request, too, took its wire time to arrive.
        queue(link, reply, extraDelay, after, wireTimeUs());
    }
    if (const FaultSpec *f = hitOf(Fault::Unsolicited)) {
        const int n = f->amount > 0 ? f->amount : proto::kTelegramBytes;
        const QByteArray frame = dataFrame(proto::SendFrame);
        QByteArray junk;
        while (junk.size() < n)
            junk.append(frame);
        junk.truncate(n);
        queue(link, junk, extraDelay + kUnsolicitedGapMs, {});
    }
    if (hitOf(Fault::Disconnect)) queue(link, QByteArray(), 0, [this, link] { dropLink(link); });
}

QByteArray Simulator::answer(const QByteArray &request, bool *silent,
                             std::function<void()> *after) {
    const uint16_t order = WordAt(request, 1);
    QByteArray a(proto::kTelegramBytes, '\0');
    PutWord(a, 0, proto::kAnswerSync);
    PutWord(a, 1, order);
    auto echo = [&](int words) { a.replace(4, 2 * words - 4, request.mid(4, 2 * words - 4)); };
    SensorState &s = m_state;

    switch (order) {
    case proto::WriteParams:
        for (int i = 0; i < proto::kParamWords; ++i)
            s.ramParams[i] = WordAt(request, 2 + i);
        echo(18);
        break;
    case proto::WriteRow: {
        const uint16_t row = WordAt(request, 2);
        if (row < proto::kRows)
            for (int k = 0; k < proto::kRowWords; ++k)
                s.ramRows[row][k] = WordAt(request, 3 + k);
        echo(11);
        break;
    }
    case proto::ReadParams:
        for (int i = 0; i < proto::kParamWords; ++i)
            PutWord(a, 2 + i, s.ramParams[i]);
        break;
    case proto::ReadRow: {
        const uint16_t row = WordAt(request, 2);
        PutWord(a, 2, row);
        if (row < proto::kRows)
            for (int k = 0; k < proto::kRowWords; ++k)
                PutWord(a, 3 + k, s.ramRows[row][k]);
        break;
    }
    case proto::SendFrame:
        return dataFrame(order);
    case proto::StoreEeprom:
        std::copy(&s.ramParams[0], &s.ramParams[0] + 16, s.eepromParams);
        std::copy(&s.ramRows[0][0], &s.ramRows[0][0] + 31 * 8, &s.eepromRows[0][0]);
        s.eepromBaudIndex = s.baudIndex;
        if (m_storeTime) m_deafUntil = m_clock.elapsed() + kStoreDeafMs;
        echo(2);
        break;
    case proto::SendVersion:
        return s.version.leftJustified(proto::kVersionBytes, ' ', true);
    case proto::LoadEeprom:
        std::copy(&s.eepromParams[0], &s.eepromParams[0] + 16, s.ramParams);
        std::copy(&s.eepromRows[0][0], &s.eepromRows[0][0] + 31 * 8, &s.ramRows[0][0]);
        echo(2);
        break;
    case proto::WriteCalib:
        for (int i = 0; i < 3; ++i)
            s.cf[i] = WordAt(request, 2 + i);
        echo(5);
        break;
    case proto::ReadCalib:
        for (int i = 0; i < 3; ++i)
            PutWord(a, 2 + i, s.cf[i]);
        break;
    case proto::AutoSend:
        s.autoSend = WordAt(request, 2) != 0;
        updateAutoSend();
        *silent = true;
        break;
    case proto::AnnounceThirdRoot:
        if (m_storeTime) m_deafUntil = m_clock.elapsed() + kAnnounceDeafMs;
        echo(2);
        break;
    case proto::WriteThirdRoot: {
        const int address = WordAt(request, 2);
        const int count = std::min<int>(WordAt(request, 3), proto::kThirdRootPiece);
        for (int i = 0; i < count; ++i) {
            const int index = address + i - proto::kThirdRootAddress;
            if (index >= 0 && index < proto::kThirdRootCount)
                s.thirdRoot[index] = WordAt(request, 4 + i);
        }
        echo(count + 4);
        break;
    }
    case proto::ChangeBaud: {
        const int index = WordAt(request, 2);
        echo(3);
        // The answer still goes out at the old rate; the line switches after it.
        *after = [this, index] {
            m_state.baudIndex = index;
            applyLineRate();
        };
        break;
    }
    default:
        a = request;
        PutWord(a, 0, proto::kAnswerSync);
        break;
    }
    return a;
}

QByteArray Simulator::dataFrame(uint16_t order) {
    const Frame f = measure();
    ++m_frameCount;
    const bool triggering = m_state.autoSend || m_state.ramParams[PTrigger] != 0;
    const bool trigger =
        m_triggerEvery > 0 && triggering && m_frameCount % quint64(m_triggerEvery) == 0;
    const uint16_t words[16] = {
        f.r,    f.g,         f.b,     f.x,
        f.y,    f.intensity, f.color, f.rawR,
        f.rawG, f.rawB,      f.temp,  uint16_t(f.group + (trigger ? proto::kGroupTriggerFlag : 0)),
        f.ref,  f.dir,       f.dif,   f.gn};
    QByteArray a(proto::kTelegramBytes, '\0');
    PutWord(a, 0, proto::kAnswerSync);
    PutWord(a, 1, order);
    for (int i = 0; i < 16; ++i)
        PutWord(a, 2 + i, words[i]);
    return a;
}

void Simulator::queue(LinkKind link, QByteArray bytes, int extraDelayMs,
                      std::function<void()> after, qint64 requestWireUs) {
    const qint64 now = nowUs();
    const qint64 wire = bytes.isEmpty() ? 0 : wireTimeUs();
    // One line: an answer never overtakes the one before it.
    const qint64 due =
        std::max(now + requestWireUs + wire + extraDelayMs * 1000LL, m_lastDue + wire);
    m_lastDue = due;
    m_out.append({link, generationOf(link), std::move(bytes), due, std::move(after)});
    flushQueue();
}

void Simulator::flushQueue() {
    qint64 now = nowUs();
    // The timer has whole milliseconds; the rest of a wire time is waited
    // out here, so that the emulated line is never faster than a real one.
    if (!m_out.isEmpty() && m_out.first().due > now && m_out.first().due - now < 1000) {
        QThread::usleep(static_cast<unsigned long>(m_out.first().due - now));
        now = nowUs();
    }
    while (!m_out.isEmpty() && m_out.first().due <= now) {
        const Outgoing o = m_out.takeFirst();
        if (o.generation != generationOf(o.link)) continue;
        if (!o.bytes.isEmpty() && writeLink(o.link, o.bytes)) emit answerSent(o.bytes);
        if (o.after) o.after();
    }
    if (!m_out.isEmpty()) m_outTimer->start(int((m_out.first().due - now) / 1000));
}

bool Simulator::writeLink(LinkKind link, const QByteArray &bytes) {
    if (link == LinkKind::Tcp) {
        if (!tcpClientConnected()) return false;
        // One write per telegram: with LowDelayOption it leaves as one segment.
        return m_client->write(bytes) == bytes.size();
    }
    if (link != LinkKind::Pty || m_ptyMaster < 0 || m_ptyDead) return false;
    QByteArray rest = bytes;
    if (m_ptyPending.isEmpty()) {
        const ssize_t n = ::write(m_ptyMaster, bytes.constData(), bytes.size());
        if (n > 0) rest.remove(0, n);
    }
    if (!rest.isEmpty()) {
        // Nobody reads the line: like a UART, drop what the buffer cannot hold.
        m_ptyPending.append(rest.left(kPtyBacklog - m_ptyPending.size()));
        m_ptyWriteNotifier->setEnabled(!m_ptyPending.isEmpty());
    }
    return true;
}

void Simulator::dropLink(LinkKind link) {
    m_rx[LinkSlot(link)].clear();
    if (link == LinkKind::Tcp) {
        if (m_client) m_client->disconnectFromHost();
    } else if (link == LinkKind::Pty) {
        m_ptyDead = true;
        m_ptyPending.clear();
    }
}

void Simulator::sendUnsolicited(const QByteArray &bytes) {
    queue(m_active, bytes, 0, {});
}

// ---------------------------------------------------------------- automatic sending

void Simulator::updateAutoSend() {
    if (m_state.autoSend && !m_autoTimer->isActive())
        m_autoTimer->start();
    else if (!m_state.autoSend)
        m_autoTimer->stop();
}

void Simulator::autoSendTick() {
    if (!m_state.autoSend) {
        m_autoTimer->stop();
        return;
    }
    if (m_active == LinkKind::None) return;
    queue(m_active, dataFrame(proto::SendFrame), 0, {});
}

void Simulator::setAutoSendIntervalMs(int ms) {
    m_autoTimer->setInterval(std::max(1, ms));
}

// ---------------------------------------------------------------- sensor and scene

SensorState &Simulator::state() {
    return m_state;
}
int Simulator::baudIndex() const {
    return m_state.baudIndex;
}

void Simulator::restart() {
    std::copy(&m_state.eepromParams[0], &m_state.eepromParams[0] + 16, m_state.ramParams);
    std::copy(&m_state.eepromRows[0][0], &m_state.eepromRows[0][0] + 31 * 8,
              &m_state.ramRows[0][0]);
    m_state.baudIndex = m_state.eepromBaudIndex;
    m_state.autoSend = false;
    updateAutoSend();
    applyLineRate();
    for (auto &rx : m_rx)
        rx.clear();
    m_deafUntil = 0;
}

void Simulator::setScene(const QList<Target> &targets) {
    m_scene = targets;
}
QList<Target> Simulator::scene() const {
    return m_scene;
}
void Simulator::setTarget(int index) {
    m_fixedTarget = index;
}
void Simulator::setDwellMs(int ms) {
    m_dwellMs = std::max(1, ms);
}
void Simulator::setSeed(quint32 seed) {
    m_noise.reseed(seed);
}
void Simulator::setNoiseEnabled(bool on) {
    m_noiseOn = on;
}
void Simulator::setTriggerEvery(int frames) {
    m_triggerEvery = std::max(0, frames);
}

int Simulator::currentTarget() const {
    if (m_scene.isEmpty()) return -1;
    if (m_fixedTarget >= 0) return m_fixedTarget % m_scene.size();
    return int((m_clock.elapsed() / m_dwellMs) % m_scene.size());
}

Frame Simulator::measure() {
    const int index = currentTarget();
    const Target nothing{QString(), 0, 0, 0, 0};
    const Target &t = index >= 0 ? m_scene[index] : nothing;
    return Measure(m_state, t, m_clock.elapsed() / 1000.0, m_noiseOn ? &m_noise : nullptr);
}

// ---------------------------------------------------------------- faults

void Simulator::armFault(const FaultSpec &f) {
    if (f.kind != Fault::None) m_faults.append({f, 0});
}

void Simulator::clearFaults() {
    m_faults.clear();
    m_ptyDead = false;
}

QList<FaultSpec> Simulator::armedFaults() const {
    QList<FaultSpec> out;
    for (const auto &a : m_faults)
        out.append(a.plan);
    return out;
}

void Simulator::logRequest(const QByteArray &request) {
    ++m_requestTotal;
    ++m_ordersSeen[WordAt(request, 1)];
    if (m_requests.size() < kRequestLog) {
        m_requests.append(request);
        return;
    }
    m_requests[m_requestNext] = request;
    m_requestNext = (m_requestNext + 1) % kRequestLog;
}

QList<QByteArray> Simulator::requests() const {
    return m_requests.mid(m_requestNext) + m_requests.first(m_requestNext);
}
qint64 Simulator::requestCount() const {
    return m_requestTotal;
}
qint64 Simulator::requestCount(uint16_t order) const {
    return m_ordersSeen.value(order);
}
void Simulator::clearRequests() {
    m_requests.clear();
    m_requestNext = 0;
    m_requestTotal = 0;
    m_ordersSeen.clear();
}

} // namespace tsim
