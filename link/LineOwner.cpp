// The owner of a sensor's line: the clients' requests go to the sensor one
// exchange at a time, whole, and each answer goes back to the client that
// asked, in order. The owner knows of each command code how much answer
// follows, so it knows when an exchange is over; everything else it leaves
// to the clients, which judge their answers as they would on their own line.
#include "link/SharedLine.h"

#include "core/Protocol.h"
#include "link/ClientsNote.h"
#include "link/Link.h"
#include "platform/Platform.h"

#include <QFile>
#include <algorithm>

namespace shared {
namespace {
// The owner's own serial port number, apart from the one a link may use.
constexpr int kOwnerComPort = kComPortCount - 1;
// A request is given up a little before its client stops waiting, so that no
// answer reaches a client that no longer expects one.
constexpr double kGiveUpMarginS = 0.05;
// The sensor's pause after an answer, before the next request.
constexpr double kSensorPauseS = 0.010;
// A client that waits this long for a held line is told so in the log, and
// again at this interval.
constexpr double kTellWaitingS = 1.0;
constexpr double kTellAgainS = 10.0;
// A lost TCP line is opened again at most this often.
constexpr double kReopenEveryS = 1.0;
constexpr double kIdleWakeS = 1.0;
// The clients' note is brought up to date this often at most: a client reads
// it as often, never per exchange.
constexpr double kClientsNoteEveryS = 1.0;
constexpr double kClientsNoteServedEveryS = 10.0;
// A client waits for each answer before its next request; one that piles up
// more than this is no client of the sensor's protocol, and is let go before
// it makes the owner grow.
constexpr size_t kClientRequestsMax = 64;

uint16_t Word(const QByteArray &bytes, int k) {
    return uint16_t(uint8_t(bytes[2 * k]) * 256 + uint8_t(bytes[2 * k + 1]));
}

int SensorCallback(unsigned /*handle*/, int xType, int /*errCode*/, void *data) {
    auto *owner = static_cast<LineOwner *>(data);
    if (xType == TCP_DATAREADY) owner->sensorData();
    if (xType == TCP_DISCONNECT) owner->sensorClosed();
    return 0;
}

void ClientCallback(unsigned client, int xType, void *data) {
    auto *owner = static_cast<LineOwner *>(data);
    switch (xType) {
    case LINE_CLIENT_CONNECT:
        owner->clientConnected(client);
        break;
    case LINE_CLIENT_DATAREADY:
        owner->clientData(client);
        break;
    case LINE_CLIENT_GONE:
        owner->clientGone(client);
        break;
    default:
        break;
    }
}

QByteArray AutoSendOff() {
    QByteArray t(proto::kTelegramBytes, '\0');
    t[1] = char(proto::kRequestSync);
    t[3] = char(proto::AutoSend);
    return t;
}
} // namespace

int AnswerBytes(const unsigned char *request) {
    const uint16_t order = uint16_t(request[2] * 256 + request[3]);
    return order == proto::AutoSend ? 0 : proto::kTelegramBytes;
}

double AnswerWaitS(uint16_t order, bool tcp) {
    if (order == proto::SendVersion && tcp) return proto::kLineCheckAnswerTimeoutS;
    return proto::kAnswerTimeoutS;
}

double PauseAfterS(uint16_t order) {
    switch (order) {
    case proto::StoreEeprom:
        return proto::kEepromStoreS;
    case proto::AutoSend:
        return proto::kAutoSendStopPauseS;
    default:
        return kSensorPauseS;
    }
}

LineOwner::LineOwner(const SensorLine &line) : m_line(line) {}

LineOwner::~LineOwner() {
    close();
}

void LineOwner::say(const QString &text) const {
    if (m_log) m_log(text);
}

QString LineOwner::who(unsigned client) const {
    const auto it = m_clients.find(client);
    const int pid = it == m_clients.end() ? 0 : it->second.pid;
    return pid > 0 ? QStringLiteral("client %1 (pid %2)").arg(client).arg(pid)
                   : QStringLiteral("client %1").arg(client);
}

bool LineOwner::openSensor(QString *problem) {
    closeSensor();
    int code = 0;
    if (m_line.serial) {
        code = OpenComConfig(kOwnerComPort, m_line.device, proto::BaudOfIndex(m_line.baudIndex),
                             NO_PARITY, 8, 1, proto::kBufferBytes * 4, proto::kBufferBytes);
        if (code == 0) SetComTime(kOwnerComPort, 2.0);
    } else {
        code = ConnectToTCPServer(&m_conversation, m_line.port, m_line.host, SensorCallback, this,
                                  proto::kTcpConnectTimeoutMs);
    }
    if (code < 0) {
        if (problem) {
            *problem =
                QString::fromLatin1(m_line.serial ? SerialErrorText(code) : TcpErrorText(code))
                    .trimmed();
        }
        return false;
    }
    m_sensorOpen = true;
    m_in.clear();
    return true;
}

void LineOwner::closeSensor() {
    if (!m_sensorOpen) return;
    m_sensorOpen = false;
    if (m_line.serial) {
        CloseCom(kOwnerComPort);
    } else {
        DisconnectFromTCPServer(m_conversation);
        m_conversation = 0;
    }
}

bool LineOwner::open(QString *problem) {
    if (!openSensor(problem)) return false;
    // A sensor left sending by itself stops, and what it sent is dropped.
    writeSensor(AutoSendOff());
    m_state = Releasing;
    m_current = 0;
    m_until = Timer() + proto::kAutoSendStopPauseS;
    return true;
}

bool LineOwner::listen(const LineServerSetup &setup, QString *problem) {
    return OpenLineServer(setup, ClientCallback, this, problem) == 0;
}

void LineOwner::close() {
    CloseLineServer();
    m_clients.clear();
    if (m_sensorOpen && m_state == Holding) writeSensor(AutoSendOff());
    noteHolder(false);
    if (!m_clientsNote.isEmpty()) DeleteFile(m_clientsNote);
    m_clientsNoteWritten = false;
    closeSensor();
    m_state = Idle;
}

void LineOwner::setClientsNote(const QString &socketPath) {
    m_socket = socketPath;
    m_clientsNote = ClientsNotePath(socketPath);
    // Counts of a killed owner's clients would be taken for this one's.
    DeleteFile(m_clientsNote);
    m_clientsNoteWritten = false;
}

void LineOwner::noteClients(double now) {
    if (m_clientsNote.isEmpty() || now < m_clientsNoteDue) return;
    m_clientsNoteDue = now + kClientsNoteEveryS;
    std::vector<ClientCount> counts;
    for (const auto &[client, c] : m_clients)
        counts.push_back(ClientCount{c.pid, client, c.served, c.displaced});
    // Clients read it for who waited. A feed alone on the line changes its
    // exchanges all the time; that alone rewrites the note every 10 s only.
    std::vector<ClientCount> waits = counts;
    for (ClientCount &c : waits)
        c.served = 0;
    const QByteArray key = ClientsNoteText(waits);
    if (m_clientsNoteWritten && key == m_clientsNoteWaits &&
        now < m_clientsNoteAt + kClientsNoteServedEveryS)
        return;
    const QByteArray text = ClientsNoteText(counts);
    if (m_clientsNoteWritten && text == m_clientsNoteText) return;
    if (!WriteFileAtomic(m_clientsNote, text)) return;
    // Who may open the socket may read the note; the next writes keep its mode.
    if (!m_clientsNoteWritten && QFile::exists(m_socket))
        QFile::setPermissions(m_clientsNote,
                              QFile::permissions(m_socket) & ~(QFile::ExeOwner | QFile::ExeUser |
                                                               QFile::ExeGroup | QFile::ExeOther));
    m_clientsNoteText = text;
    m_clientsNoteWaits = key;
    m_clientsNoteAt = now;
    m_clientsNoteWritten = true;
}

void LineOwner::clientConnected(unsigned client) {
    Client c;
    c.pid = LineClientPid(client);
    m_clients[client] = c;
    say(who(client) + " connected");
}

void LineOwner::clientData(unsigned client) {
    const auto it = m_clients.find(client);
    if (it == m_clients.end()) return;
    Client &c = it->second;
    char buffer[proto::kBufferBytes];
    int n;
    while ((n = LineClientRead(client, buffer, int(sizeof buffer))) > 0)
        c.inbox.append(buffer, n);
    // Whole requests only: a client that sends half of one holds nobody up.
    const double now = Timer();
    // A request that comes while another client's exchange runs waits for it:
    // clients keep the sensor's pause too, so most of their requests come so.
    if (c.requests.empty() && c.inbox.size() >= proto::kTelegramBytes && m_current != client &&
        (m_state == Awaiting || m_state == Pausing))
        ++c.displaced;
    while (c.inbox.size() >= proto::kTelegramBytes) {
        c.requests.push_back(Request{c.inbox.left(proto::kTelegramBytes), now});
        c.inbox.remove(0, proto::kTelegramBytes);
    }
    if (c.requests.size() > kClientRequestsMax) {
        say(who(client) + " sends requests without waiting for their answers: let go");
        c.requests.clear();
        LineClientClose(client);
    }
}

void LineOwner::clientGone(unsigned client) {
    if (!m_clients.count(client)) return;
    const Client &c = m_clients[client];
    say(who(client) + QStringLiteral(" went away after %1 exchanges").arg(c.served) +
        (c.displaced > 0
             ? QStringLiteral("; it waited for %1 exchanges of other clients").arg(c.displaced)
             : QString()));
    m_clients.erase(client);
    if (client != m_current) return;
    // Its exchange runs on to its end, so that the line stays in step; the
    // answer has nobody to go to.
    if (m_state == Holding) {
        say(QStringLiteral("automatic sending stopped for the client that went away"));
        noteHolder(false);
        writeSensor(AutoSendOff());
        m_state = Releasing;
        m_until = Timer() + proto::kAutoSendStopPauseS;
    }
}

void LineOwner::sensorData() {
    char buffer[proto::kBufferBytes];
    int n;
    while ((n = ClientTCPRead(m_conversation, buffer, int(sizeof buffer), 0)) > 0)
        m_in.append(buffer, n);
}

void LineOwner::sensorClosed() {
    m_sensorOpen = false;
    m_conversation = 0;
    say(QStringLiteral(
        "the sensor closed the connection; it is opened again for the next request"));
}

void LineOwner::pullSensor() {
    if (!m_line.serial || !m_sensorOpen) return;
    const int queued = GetInQLen(kOwnerComPort);
    if (queued < 0) {
        m_sensorOpen = false;
        say(QStringLiteral("the serial device went away; it is opened again for the next request"));
        return;
    }
    if (queued == 0) return;
    const int at = int(m_in.size());
    m_in.resize(at + queued);
    const int n = ComRd(kOwnerComPort, m_in.data() + at, queued);
    m_in.resize(at + std::max(0, n));
}

void LineOwner::forward(const QByteArray &bytes) {
    const bool toClient = m_state == Awaiting || m_state == Pausing || m_state == Holding;
    if (toClient && m_clients.count(m_current))
        LineClientWrite(m_current, bytes.constData(), int(bytes.size()));
    else
        m_counts.dropped += bytes.size();
    if (m_state == Awaiting) {
        m_answerHead += bytes.left(6 - m_answerHead.size());
        m_answered += int(bytes.size());
    }
}

bool LineOwner::writeSensor(const QByteArray &bytes) {
    if (!m_sensorOpen) return false;
    const int n = m_line.serial ? ComWrt(kOwnerComPort, bytes.constData(), int(bytes.size()))
                                : ClientTCPWrite(m_conversation, bytes.constData(),
                                                 int(bytes.size()), proto::kTcpWriteTimeoutMs);
    return n == bytes.size();
}

void LineOwner::flushSensor() {
    pullSensor();
    m_counts.dropped += m_in.size();
    m_in.clear();
    if (m_line.serial && m_sensorOpen) FlushInQ(kOwnerComPort);
}

void LineOwner::startNext(double now) {
    if (m_clients.empty()) return;
    // Clients take turns, starting after the one served last.
    auto it = m_clients.upper_bound(m_lastServed);
    for (size_t tried = 0; tried < m_clients.size(); ++tried, ++it) {
        if (it == m_clients.end()) it = m_clients.begin();
        Client &c = it->second;
        while (!c.requests.empty()) {
            const Request &r = c.requests.front();
            const double wait = AnswerWaitS(Word(r.bytes, 1), !m_line.serial);
            if (now - r.arrived < wait - kGiveUpMarginS) break;
            ++m_counts.expired;
            c.requests.pop_front();
        }
        if (c.requests.empty()) continue;

        if (!m_sensorOpen) {
            if (now < m_nextOpen) return;
            m_nextOpen = now + kReopenEveryS;
            QString problem;
            if (!openSensor(&problem)) {
                say(QStringLiteral("the sensor's line cannot be opened: ") + problem);
                return;
            }
            say(QStringLiteral("the sensor's line is open again"));
        }
        const unsigned client = it->first;
        const Request r = c.requests.front();
        c.requests.pop_front();
        ++c.served;
        for (auto &[other, o] : m_clients)
            if (other != client && !o.requests.empty()) ++o.displaced;
        m_lastServed = client;
        m_current = client;
        m_request = r.bytes;
        flushSensor();
        writeSensor(r.bytes);
        const uint16_t order = Word(r.bytes, 1);
        const auto *raw = reinterpret_cast<const unsigned char *>(r.bytes.constData());
        if (AnswerBytes(raw) > 0) {
            m_state = Awaiting;
            m_answered = 0;
            m_answerHead.clear();
            m_deadline = r.arrived + AnswerWaitS(order, !m_line.serial) - kGiveUpMarginS;
        } else if (Word(r.bytes, 2) != 0) {
            say(who(client) + " holds the line: automatic sending on");
            m_state = Holding;
            noteHolder(true);
        } else {
            m_state = Releasing;
            m_until = now + PauseAfterS(order);
        }
        return;
    }
}

void LineOwner::serveHolder(double now) {
    const auto it = m_clients.find(m_current);
    if (it == m_clients.end()) return;
    Client &c = it->second;
    while (!c.requests.empty() && m_state == Holding) {
        const QByteArray r = c.requests.front().bytes;
        c.requests.pop_front();
        writeSensor(r);
        if (Word(r, 1) == proto::AutoSend && Word(r, 2) == 0) {
            say(who(m_current) + " gives the line back: automatic sending off");
            noteHolder(false);
            m_state = Releasing;
            m_until = now + proto::kAutoSendStopPauseS;
        }
    }
}

void LineOwner::noteHolder(bool held) {
    if (m_heldNote.isEmpty()) return;
    if (!held) {
        DeleteFile(m_heldNote);
        return;
    }
    const auto it = m_clients.find(m_current);
    const int pid = it == m_clients.end() ? 0 : it->second.pid;
    WriteFileAtomic(m_heldNote, (pid > 0 ? QStringLiteral("pid %1").arg(pid)
                                         : QStringLiteral("client %1").arg(m_current))
                                        .toUtf8() +
                                    '\n');
}

void LineOwner::tellWaiting(double now) {
    if (m_state != Holding) return;
    for (auto &[client, c] : m_clients) {
        if (client == m_current || c.requests.empty()) continue;
        if (now - c.requests.front().arrived < kTellWaitingS) continue;
        if (c.toldWaiting > 0 && now - c.toldWaiting < kTellAgainS) continue;
        c.toldWaiting = now;
        say(QStringLiteral("%1 waits: the line is held by %2 for automatic sending")
                .arg(who(client), who(m_current)));
    }
}

double LineOwner::step(double now) {
    pullSensor();
    if (!m_in.isEmpty()) {
        if (m_state == Releasing) {
            m_counts.dropped += m_in.size();
        } else {
            forward(m_in);
        }
        m_in.clear();
    }
    switch (m_state) {
    case Awaiting:
        if (m_answered >= proto::kTelegramBytes) {
            ++m_counts.exchanges;
            m_state = Pausing;
            m_until = now + PauseAfterS(Word(m_request, 1));
        } else if (now >= m_deadline || !m_sensorOpen) {
            ++m_counts.timeouts;
            say(QStringLiteral("the sensor did not answer %1's order %2")
                    .arg(who(m_current))
                    .arg(Word(m_request, 1)));
            // An answer that comes late is nobody's: the client gave up.
            m_state = Releasing;
            m_until = now + kSensorPauseS;
        }
        break;
    case Pausing:
    case Releasing:
        if (now >= m_until) {
            if (m_state == Releasing) flushSensor();
            afterExchange();
            m_state = Idle;
        }
        break;
    case Holding:
        if (!m_clients.count(m_current))
            m_state = Idle;
        else
            serveHolder(now);
        break;
    case Idle:
        break;
    }
    if (m_state == Idle) startNext(now);
    tellWaiting(now);
    noteClients(now);
    switch (m_state) {
    case Awaiting:
        return std::max(0.0, std::min(m_deadline - now, kIdleWakeS));
    case Pausing:
        // Nobody waits: the pause needs no wake-up of its own, the next
        // request finds it over (or waits out its rest).
        if (!anyWaiting()) return kIdleWakeS;
        return std::max(0.0, m_until - now);
    case Releasing:
        return std::max(0.0, m_until - now);
    default:
        return kIdleWakeS;
    }
}

bool LineOwner::anyWaiting() const {
    for (const auto &[client, c] : m_clients)
        if (!c.requests.empty()) return true;
    return false;
}

void LineOwner::afterExchange() {
    // A baud-rate change the sensor echoed: the line follows it, as the
    // client's own port would.
    if (!m_line.serial || m_request.size() < proto::kTelegramBytes ||
        Word(m_request, 1) != proto::ChangeBaud || m_answered < proto::kTelegramBytes)
        return;
    QByteArray echo = m_request.left(6);
    echo[1] = char(proto::kAnswerSync);
    if (m_answerHead != echo) return;
    const int index = Word(m_request, 2);
    m_request.clear();
    m_line.baudIndex = index;
    QString problem;
    if (openSensor(&problem))
        say(QStringLiteral("the line now runs at %1 baud").arg(proto::BaudOfIndex(index)));
    else
        say(QStringLiteral("the line cannot be opened at the new rate: ") + problem);
}

} // namespace shared
