// The registry of shared lines. An owner holds a lock file per sensor for as
// long as it runs (the lock goes when the process does, however it ends) and
// leaves a note beside it: its pid, its socket and the sensor's address. A
// program that opens a link to the same sensor finds the note, sees the lock
// held and the process alive, and talks to the owner's socket as it would to
// the sensor (LineClient.cpp).
#include "link/SharedLine.h"

#include "platform/Platform.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QRegularExpression>

namespace shared {
namespace {
// A socket's path must fit sockaddr_un; longer keys are shortened to a hash.
constexpr int kKeyMax = 64;
int g_lock = -1;
QString g_lockKey;

QString Sanitized(const QString &text) {
    static const QRegularExpression other(QStringLiteral("[^A-Za-z0-9._-]+"));
    QString key = text;
    key.replace(other, QStringLiteral("-"));
    if (key.size() <= kKeyMax) return key;
    const QByteArray hash = QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1);
    return key.left(kKeyMax - 17) + '-' + QString::fromLatin1(hash.toHex().left(16));
}

// Where a service's owner registers (its RuntimeDirectory), found by every
// user of its group without naming it.
constexpr const char *kServiceRegistry = "/run/tolvane";

QString LockPath(const QString &key, const QString &dir = RegistryDir()) {
    return JoinPath(dir, key + ".lock");
}

QString NotePath(const QString &key, const QString &dir = RegistryDir()) {
    return JoinPath(dir, key + ".line");
}

bool ReadNote(const QString &key, Owner *owner, const QString &dir = RegistryDir()) {
    QStringList lines;
    if (!ReadTextLines(NotePath(key, dir), &lines, 3) || lines.size() < 2) return false;
    owner->pid = lines[0].toInt();
    owner->socket = lines[1];
    owner->address = lines.value(2);
    return owner->pid > 0 && !owner->socket.isEmpty();
}
} // namespace

QString TcpLineKey(const QString &host, int port) {
    QString h = host.trimmed().toLower();
    if (h.startsWith('[') && h.endsWith(']')) h = h.mid(1, h.size() - 2);
    // The names of this machine's own loopback address mean one sensor.
    if (h == QLatin1String("localhost") || h == QLatin1String("localhost.localdomain"))
        h = QStringLiteral("127.0.0.1");
    return Sanitized(QStringLiteral("tcp-%1-%2").arg(h).arg(port));
}

QString SerialLineKey(const QString &device) {
    // One device under several names (a by-id link, a COM number) is one line.
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return Sanitized(QStringLiteral("serial-") + (canonical.isEmpty() ? device : canonical));
}

QString RegistryDir() {
    const QString dir = qEnvironmentVariable("TOLVANE_RUNTIME_DIR");
    if (!dir.isEmpty()) return dir;
    const QString base = UserRuntimeDir();
    return base.isEmpty() ? QString() : JoinPath(base, "tolvane");
}

QString SocketPathFor(const QString &key) {
    return JoinPath(RegistryDir(), key + ".sock");
}

bool FindOwner(const QString &key, Owner *owner) {
    QStringList dirs{RegistryDir()};
    if (dirs[0] != QLatin1String(kServiceRegistry)) dirs << kServiceRegistry;
    for (const QString &dir : dirs) {
        // A registry is the user's own or the services' (only root makes
        // directories in /run): a note elsewhere may name anybody's socket.
        if (dir.isEmpty() || (dir != QLatin1String(kServiceRegistry) && !OwnedByUser(dir)))
            continue;
        Owner found;
        if (!ReadNote(key, &found, dir)) continue;
        if (!FileLockHeld(LockPath(key, dir)) || !ProcessAlive(found.pid)) continue;
        *owner = found;
        return true;
    }
    return false;
}

QString ThroughText(const Owner &owner) {
    return QStringLiteral("through the shared line of tolvane-cli serve, pid %1").arg(owner.pid);
}

bool ClaimLine(const QString &key, Owner *other, QString *problem) {
    *other = Owner{};
    const QString dir = RegistryDir();
    if (dir.isEmpty() || (!PathExists(dir) && !MakePrivateDir(dir, 0700))) {
        *problem = QStringLiteral("cannot create %1").arg(dir);
        return false;
    }
    const int lock = HoldFileLock(LockPath(key));
    if (lock < 0) {
        if (!ReadNote(key, other)) other->pid = -1; // still starting: its note not yet written
        *problem = QStringLiteral("the line is owned by another process");
        return false;
    }
    // A note left by an owner that died names nobody now.
    DeleteFile(NotePath(key));
    g_lock = lock;
    g_lockKey = key;
    return true;
}

bool AnnounceLine(const Owner &self, QString *problem) {
    const QByteArray note =
        QStringLiteral("%1\n%2\n%3\n").arg(self.pid).arg(self.socket, self.address).toUtf8();
    if (g_lock >= 0 && WriteFileAtomic(NotePath(g_lockKey), note)) return true;
    *problem = QStringLiteral("cannot write %1").arg(NotePath(g_lockKey));
    return false;
}

void ReleaseLine() {
    if (g_lock < 0) return;
    DeleteFile(NotePath(g_lockKey));
    ReleaseFileLock(g_lock);
    g_lock = -1;
}

QString NoteBesideSocket(const QString &socketPath, const QString &suffix) {
    QString path = socketPath;
    if (path.endsWith(QLatin1String(".sock"))) path.chop(5);
    return path + suffix;
}

QString HeldNotePath(const QString &socketPath) {
    return NoteBesideSocket(socketPath, QStringLiteral(".held"));
}

} // namespace shared
