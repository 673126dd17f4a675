// The clients' note of a line's owner: its one line format, written by the
// owner about once a second and read by its clients as often.
#include "link/ClientsNote.h"

#include "link/SharedLine.h"
#include "platform/Platform.h"

#include <QRegularExpression>

namespace shared {

QString ClientsNotePath(const QString &socketPath) {
    return NoteBesideSocket(socketPath, QStringLiteral(".clients"));
}

QByteArray ClientsNoteText(const std::vector<ClientCount> &clients) {
    QByteArray text;
    for (const ClientCount &c : clients)
        text += QStringLiteral("pid %1 client %2 served %3 displaced %4\n")
                    .arg(c.pid)
                    .arg(c.client)
                    .arg(c.served)
                    .arg(c.displaced)
                    .toLatin1();
    return text;
}

std::vector<ClientCount> ParseClientsNote(const QStringList &lines) {
    static const QRegularExpression line(
        QStringLiteral("^pid (\\d{1,10}) client (\\d{1,10}) served (\\d{1,18}) displaced "
                       "(\\d{1,18})$"));
    std::vector<ClientCount> clients;
    for (const QString &text : lines) {
        const QRegularExpressionMatch m = line.match(text);
        if (!m.hasMatch()) continue;
        bool pidOk = false, clientOk = false;
        ClientCount c;
        c.pid = m.captured(1).toInt(&pidOk);
        c.client = m.captured(2).toUInt(&clientOk);
        c.served = m.captured(3).toLongLong();
        c.displaced = m.captured(4).toLongLong();
        if (pidOk && clientOk && c.pid > 0) clients.push_back(c);
    }
    return clients;
}

void WaitTally::take(int ownerPid, int pid, const std::vector<ClientCount> &note) {
    for (const ClientCount &c : note) {
        if (c.pid != pid) continue;
        qint64 &seen = m_seen[{ownerPid, c.client}];
        // The owner's counts only grow for one connection.
        if (c.displaced <= seen) continue;
        m_total += c.displaced - seen;
        seen = c.displaced;
    }
}

bool TakeClientsNote(const Owner &owner, WaitTally *tally) {
    if (owner.pid == 0) return false;
    QStringList lines;
    if (!ReadTextLines(ClientsNotePath(owner.socket), &lines)) return false;
    tally->take(owner.pid, CurrentProcessId(), ParseClientsNote(lines));
    return true;
}

} // namespace shared
