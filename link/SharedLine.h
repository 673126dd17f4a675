// One owner of a sensor's line, shared by the window, the tool and the feed:
// where an owner is registered and found (a lock and a note per sensor in the
// user's runtime directory), the client's way in, and the owner that
// interleaves the clients' exchanges whole on the one line.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <deque>
#include <map>

struct LineServerSetup;

namespace shared {

// A sensor's line as the registry knows it: "tcp-127.0.0.1-10002",
// "serial-dev-ttyUSB0" (the device's canonical path).
QString TcpLineKey(const QString &host, int port);
QString SerialLineKey(const QString &device);
// Where the registry lives: $TOLVANE_RUNTIME_DIR, else <user runtime dir>/tolvane.
QString RegistryDir();
QString SocketPathFor(const QString &key);

struct Owner {
    int pid = 0;
    QString socket;
    QString address; // "127.0.0.1:10002", "/dev/ttyUSB0 115200 baud"
};
// The owner of the line when one runs: its lock held, its process alive.
bool FindOwner(const QString &key, Owner *owner);
// "through the shared line of tolvane-cli serve, pid 4711"
QString ThroughText(const Owner &owner);

// Takes the line for this process: false, with the running owner in *other
// (pid -1 while it starts; 0 when the registry cannot be used, the reason in
// *problem).
bool ClaimLine(const QString &key, Owner *other, QString *problem);
// Once the owner listens: the note by which clients find it.
bool AnnounceLine(const Owner &self, QString *problem);
void ReleaseLine();

// ---- the client's way in (the link's hook where a line is opened)

// When a serve owns the sensor at ipBuf:portNum (TCP) or the device of
// `comport` (serial), opens a conversation with it instead of the sensor and
// says so: true, with the conversation in g_hconversation and tcpcon 1; a
// serial link then runs as a TCP link. False when no owner runs: the caller
// opens the line itself.
bool OpenThroughOwner(bool serial);
// The owner the open link goes through; pid 0 when it goes to the sensor.
const Owner &LineOwnerInUse();
// Why a request through the owner may have waited in vain: "the shared line is
// held by pid 4712 for automatic sending"; empty when nobody holds it.
QString HeldLineNote();
// A note beside an owner's socket: its path without ".sock", then suffix.
QString NoteBesideSocket(const QString &socketPath, const QString &suffix);
// The note beside an owner's socket that names who holds the line.
QString HeldNotePath(const QString &socketPath);
// Where the note on stderr / in the status line goes; the default writes to stderr.
void SetThroughNoteSink(void (*sink)(const QString &note));

// ---- the owner

// Answer bytes and the longest wait for an answer, by the request's command
// code: every order is answered by one telegram but 50 (automatic sending),
// which is not answered; the version request of a line check over TCP may take
// longer than any other answer.
int AnswerBytes(const unsigned char *request);
double AnswerWaitS(uint16_t order, bool tcp);
// The line rests after an answer before the next request: the sensor's
// pause, longer after storing its EEPROM and after automatic sending stopped.
double PauseAfterS(uint16_t order);

struct SensorLine {
    bool serial = false;
    QString host;
    int port = 0;
    QString device;
    int baudIndex = 4;
};

// Counts for the owner's log and the benchmark.
struct OwnerCounts {
    qint64 exchanges = 0;
    qint64 timeouts = 0; // the sensor did not answer in time
    qint64 expired = 0;  // requests whose client gave up before their turn
    qint64 dropped = 0;  // bytes the sensor sent that no client awaited
};

// Interleaves the exchanges of any number of clients on one sensor line:
// one request, its answer, the sensor's pause, then the next client's
// request (clients take turns). A client that switches automatic sending on
// holds the line until it switches it off or goes away.
class LineOwner {
  public:
    explicit LineOwner(const SensorLine &line);
    ~LineOwner();
    // Opens the sensor's line and stops automatic sending; false with the reason.
    bool open(QString *problem);
    // Offers the line to clients (one owner per process).
    bool listen(const LineServerSetup &setup, QString *problem);
    void close();
    // Where the owner says what happens (clients coming and going, the line
    // held, a silent sensor); the default says nothing.
    void setLog(void (*log)(const QString &text)) { m_log = log; }
    // Where the owner notes who holds the line, for the clients that wait.
    void setHeldNotePath(const QString &path) { m_heldNote = path; }
    // Where the owner notes each client's exchanges, beside its socket and
    // readable as the socket is, for the clients that want to know why they waited.
    void setClientsNote(const QString &socketPath);
    // Runs the line; returns the seconds until it needs to run again.
    double step(double now);

    void clientConnected(unsigned client);
    void clientData(unsigned client);
    void clientGone(unsigned client);
    void sensorData();
    void sensorClosed();

    const OwnerCounts &counts() const { return m_counts; }
    int clientCount() const { return int(m_clients.size()); }

  private:
    struct Request {
        QByteArray bytes;
        double arrived = 0;
    };
    struct Client {
        QByteArray inbox;
        std::deque<Request> requests;
        int pid = 0;
        double toldWaiting = 0; // when the log last said that it waits
        qint64 served = 0;      // its exchanges
        qint64 displaced = 0;   // exchanges for other clients while it waited
    };
    enum State { Idle, Awaiting, Pausing, Holding, Releasing };

    bool openSensor(QString *problem);
    void closeSensor();
    void pullSensor();
    void forward(const QByteArray &bytes);
    bool writeSensor(const QByteArray &bytes);
    void flushSensor();
    void startNext(double now);
    void serveHolder(double now);
    void tellWaiting(double now);
    void afterExchange();
    bool anyWaiting() const;
    void say(const QString &text) const;
    QString who(unsigned client) const;

    SensorLine m_line;
    std::map<unsigned, Client> m_clients;
    State m_state = Idle;
    unsigned m_current = 0; // whose exchange runs, or who holds the line
    unsigned m_lastServed = 0;
    QByteArray m_request; // the request in flight
    int m_answered = 0;
    QByteArray m_answerHead; // the answer's first words, for the baud-rate echo
    double m_deadline = 0, m_until = 0;
    bool m_sensorOpen = false;
    unsigned m_conversation = 0;
    QByteArray m_in; // what the sensor sent, not yet routed
    OwnerCounts m_counts;
    double m_nextOpen = 0; // no new attempt to open a lost line before then
    void (*m_log)(const QString &text) = nullptr;
    QString m_heldNote;
    void noteHolder(bool held);
    QString m_socket, m_clientsNote;
    QByteArray m_clientsNoteText, m_clientsNoteWaits;
    bool m_clientsNoteWritten = false;
    double m_clientsNoteDue = 0, m_clientsNoteAt = 0;
    void noteClients(double now);
};

} // namespace shared
