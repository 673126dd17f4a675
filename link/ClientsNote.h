// The owner's note of what it does for each client, beside its socket: a line
// per connected client with its pid, its exchanges and those the owner ran for
// other clients while it waited. The sensor's telegrams have no room for such
// a word, so a client (the feed above all) reads its own line to tell why its
// frames slowed down.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <map>
#include <utility>
#include <vector>

namespace shared {

struct Owner;

struct ClientCount {
    int pid = 0;
    unsigned client = 0; // the owner's number for the connection
    qint64 served = 0;
    qint64 displaced = 0; // exchanges for other clients while it waited
};

// "<socket without .sock>.clients"
QString ClientsNotePath(const QString &socketPath);
// "pid 4712 client 3 served 120 displaced 33", a line each.
QByteArray ClientsNoteText(const std::vector<ClientCount> &clients);
// Whole lines only: a torn or unknown line counts for nobody.
std::vector<ClientCount> ParseClientsNote(const QStringList &lines);

// What one process waited for over its run, through any number of
// connections: a link opened again is a new client of the owner, and an
// owner started again numbers its clients afresh.
class WaitTally {
  public:
    // Takes the lines of `pid` from the note of the owner `ownerPid`.
    void take(int ownerPid, int pid, const std::vector<ClientCount> &note);
    qint64 displaced() const { return m_total; }

  private:
    std::map<std::pair<int, unsigned>, qint64> m_seen;
    qint64 m_total = 0;
};

// Reads the note of `owner` (the one this process's link goes through) into
// *tally; false when there is no owner (pid 0) or it has no note.
bool TakeClientsNote(const Owner &owner, WaitTally *tally);

} // namespace shared
