// The simulated sensor's lines: the TCP server, the pseudo-terminal, the
// emulated line rate and wire time, the queue of outgoing bytes and the
// automatic sending.
#include "sim/Simulator.h"

#include "sim/Words.h"

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

constexpr int kStaleRxMs = 200;   // a partial telegram older than this is line noise
constexpr int kPtyBacklog = 4096; // bytes kept for a slow pty reader, then dropped

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
} // namespace

Simulator::Simulator(QObject *parent)
    : QObject(parent), m_scene(DefaultScene()), m_state(DefaultState(m_scene)),
      m_outTimer(new QTimer(this)), m_autoTimer(new QTimer(this)) {
    qRegisterMetaType<tsim::FaultPlan>();
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
void Simulator::setPaceBytes(bool on) {
    m_paceBytes = on;
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
    // The line's time runs from when the request came off it, not from
    // when it was answered.
    m_rxAtUs = nowUs();
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

void Simulator::queue(LinkKind link, QByteArray bytes, int extraDelayMs,
                      std::function<void()> after, qint64 requestWireUs) {
    const qint64 now = nowUs();
    const qint64 wire = bytes.isEmpty() ? 0 : wireTimeUs();
    // An answer's wire time runs from the request's arrival.
    const qint64 from = requestWireUs > 0 ? m_rxAtUs : now;
    // One line: an answer never overtakes the one before it.
    const qint64 due =
        std::max(from + requestWireUs + wire + extraDelayMs * 1000LL, m_lastDue + wire);
    m_lastDue = due;
    if (m_paceBytes && m_wireTime && link == LinkKind::Pty && bytes.size() > 1) {
        // Byte by byte, the last one when the whole would have come.
        const double byteUs = 10e6 / proto::BaudOfIndex(m_state.baudIndex);
        const qsizetype n = bytes.size();
        for (qsizetype i = 0; i < n; ++i)
            m_out.append({link, generationOf(link), bytes.mid(i, 1),
                          due - qint64(double(n - 1 - i) * byteUs),
                          i == n - 1 ? std::move(after) : std::function<void()>()});
    } else {
        m_out.append({link, generationOf(link), std::move(bytes), due, std::move(after)});
    }
    flushQueue();
}

void Simulator::flushQueue() {
    // The timer counts whole milliseconds and wakes late from a long sleep:
    // it fires a millisecond or more early, and the rest of a wire time is
    // waited out here, slept and then its last microseconds awake, so that
    // the emulated line is neither faster nor slower than a real one.
    constexpr qint64 kTailUs = 2000, kAwakeUs = 80;
    qint64 now = nowUs();
    if (!m_out.isEmpty() && m_out.first().due > now && m_out.first().due - now < kTailUs) {
        const qint64 due = m_out.first().due;
        if (due - now > kAwakeUs) QThread::usleep(static_cast<unsigned long>(due - now - kAwakeUs));
        while ((now = nowUs()) < due) {
        }
    }
    while (!m_out.isEmpty() && m_out.first().due <= now) {
        const Outgoing o = m_out.takeFirst();
        if (o.generation != generationOf(o.link)) continue;
        if (!o.bytes.isEmpty() && writeLink(o.link, o.bytes)) emit answerSent(o.bytes);
        if (o.after) o.after();
    }
    if (!m_out.isEmpty())
        m_outTimer->start(int(std::max<qint64>(0, (m_out.first().due - now) / 1000 - 1)));
}

bool Simulator::writeLink(LinkKind link, const QByteArray &bytes) {
    if (link == LinkKind::Tcp) {
        if (!tcpClientConnected()) return false;
        // One write per telegram: with LowDelayOption it leaves as one segment.
        // It leaves now, not on the event loop's next round.
        const bool whole = m_client->write(bytes) == bytes.size();
        m_client->flush();
        return whole;
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
    queue(m_active, autoFrame(), 0, {});
}

void Simulator::setAutoSendIntervalMs(int ms) {
    m_autoTimer->setInterval(std::max(1, ms));
}

// ---------------------------------------------------------------- sensor and scene

} // namespace tsim
