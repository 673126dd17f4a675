// The shared line's services: the server that offers one sensor's line on a
// local socket (and optionally a TCP port), the client end of such a socket,
// and the file locks and private directory by which an owner is found.
#include "platform/Conversation.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QHostAddress>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <map>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A client that stops reading must not make the server grow without end.
constexpr qint64 kClientBacklogMax = 1 << 20;

struct LineClient {
    QPointer<QIODevice> device;
    int pid = 0;
};

struct LineServer {
    QPointer<QObject> context; // owns the servers and every client socket
    QPointer<QLocalServer> local;
    QPointer<QTcpServer> tcp;
    QString socketPath;
    lineFuncPtr callback = nullptr;
    void *callbackData = nullptr;
    std::map<unsigned, LineClient> clients;
    unsigned nextClient = 1;
};

LineServer g_server;

void report(unsigned client, int xType) {
    if (g_server.callback) g_server.callback(client, xType, g_server.callbackData);
}

int peerPid(int fd) {
    ucred cred{};
    socklen_t size = sizeof cred;
    if (fd < 0 || getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) != 0) return 0;
    return int(cred.pid);
}

// Told from the event loop, never from inside the socket's own signal, so
// that the server may close or write to the client at once.
void gone(unsigned client) {
    const auto it = g_server.clients.find(client);
    if (it == g_server.clients.end()) return;
    QIODevice *device = it->second.device;
    g_server.clients.erase(it);
    if (device) {
        device->disconnect(g_server.context);
        device->deleteLater();
    }
    report(client, LINE_CLIENT_GONE);
}

void adopt(QIODevice *device, int pid) {
    unsigned client = g_server.nextClient++;
    while (client == 0 || g_server.clients.count(client))
        client = g_server.nextClient++;
    g_server.clients[client] = LineClient{device, pid};
    QObject *context = g_server.context;
    QObject::connect(device, &QIODevice::readyRead, context,
                     [client] { report(client, LINE_CLIENT_DATAREADY); });
    auto lost = [client] {
        QMetaObject::invokeMethod(
            g_server.context, [client] { gone(client); }, Qt::QueuedConnection);
    };
    if (auto *s = qobject_cast<QLocalSocket *>(device)) {
        QObject::connect(s, &QLocalSocket::disconnected, context, lost);
        QObject::connect(s, &QLocalSocket::errorOccurred, context, lost);
    } else if (auto *t = qobject_cast<QTcpSocket *>(device)) {
        t->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        QObject::connect(t, &QTcpSocket::disconnected, context, lost);
        QObject::connect(t, &QTcpSocket::errorOccurred, context, lost);
    }
    report(client, LINE_CLIENT_CONNECT);
    if (device->bytesAvailable() > 0) report(client, LINE_CLIENT_DATAREADY);
}

bool groupId(const QString &name, gid_t *gid) {
    const group *g = getgrnam(name.toLocal8Bit().constData());
    if (!g) return false;
    *gid = g->gr_gid;
    return true;
}

} // namespace

int OpenLineServer(const LineServerSetup &setup, lineFuncPtr callback, void *callbackData,
                   QString *problem) {
    auto fail = [&](const QString &why) {
        if (problem) *problem = why;
        CloseLineServer();
        return -1;
    };
    QCoreApplication *app = QCoreApplication::instance();
    if (!app) return fail(QStringLiteral("no application object"));
    CloseLineServer();
    gid_t gid = 0;
    if (!setup.group.isEmpty() && !groupId(setup.group, &gid))
        return fail(QStringLiteral("there is no group \"%1\"").arg(setup.group));

    g_server.context = new QObject(app);
    g_server.callback = callback;
    g_server.callbackData = callbackData;
    g_server.socketPath = setup.socketPath;

    auto *local = new QLocalServer(g_server.context);
    local->setSocketOptions(setup.group.isEmpty()
                                ? QLocalServer::UserAccessOption
                                : QLocalServer::UserAccessOption | QLocalServer::GroupAccessOption);
    // Whoever holds the line's lock owns the socket's name: one left behind
    // by an owner that died is removed.
    QLocalServer::removeServer(setup.socketPath);
    if (!local->listen(setup.socketPath))
        return fail(
            QStringLiteral("cannot listen on %1: %2").arg(setup.socketPath, local->errorString()));
    g_server.local = local;
    const QByteArray path = setup.socketPath.toLocal8Bit();
    if (::chmod(path.constData(), setup.group.isEmpty() ? 0600 : 0660) != 0 ||
        (!setup.group.isEmpty() && ::chown(path.constData(), uid_t(-1), gid) != 0))
        return fail(QStringLiteral("cannot set the permissions of %1: %2")
                        .arg(setup.socketPath, QString::fromLocal8Bit(std::strerror(errno))));
    QObject::connect(local, &QLocalServer::newConnection, g_server.context, [] {
        while (g_server.local && g_server.local->hasPendingConnections()) {
            QLocalSocket *s = g_server.local->nextPendingConnection();
            s->setParent(g_server.context);
            adopt(s, peerPid(int(s->socketDescriptor())));
        }
    });

    if (setup.tcpPort > 0) {
        const QString host = setup.tcpHost.isEmpty() ? QStringLiteral("127.0.0.1") : setup.tcpHost;
        QHostAddress address;
        if (!address.setAddress(host))
            return fail(QStringLiteral("%1 is no address to listen on").arg(host));
        auto *tcp = new QTcpServer(g_server.context);
        if (!tcp->listen(address, quint16(setup.tcpPort)))
            return fail(QStringLiteral("cannot listen on %1:%2: %3")
                            .arg(host)
                            .arg(setup.tcpPort)
                            .arg(tcp->errorString()));
        g_server.tcp = tcp;
        QObject::connect(tcp, &QTcpServer::newConnection, g_server.context, [] {
            while (g_server.tcp && g_server.tcp->hasPendingConnections()) {
                QTcpSocket *s = g_server.tcp->nextPendingConnection();
                s->setParent(g_server.context);
                adopt(s, 0);
            }
        });
    }
    return 0;
}

void CloseLineServer() {
    for (auto &[handle, client] : g_server.clients)
        if (client.device) client.device->disconnect(g_server.context);
    g_server.clients.clear();
    if (g_server.local) g_server.local->close(); // removes the socket file
    delete g_server.context;                     // the servers and clients go with it
    g_server.callback = nullptr;
    g_server.callbackData = nullptr;
}

int LineServerTcpPort() {
    return g_server.tcp ? int(g_server.tcp->serverPort()) : 0;
}

int LineClientRead(unsigned client, void *buffer, int size) {
    const auto it = g_server.clients.find(client);
    if (it == g_server.clients.end() || !it->second.device) return kTcpErrNoConnection;
    if (!buffer || size <= 0) return 0;
    const qint64 n = it->second.device->read(static_cast<char *>(buffer), size);
    return n < 0 ? kTcpErrReadFailed : int(n);
}

int LineClientWrite(unsigned client, const void *data, int size) {
    const auto it = g_server.clients.find(client);
    if (it == g_server.clients.end() || !it->second.device) return kTcpErrNoConnection;
    if (!data || size <= 0) return 0;
    QIODevice *device = it->second.device;
    if (device->bytesToWrite() > kClientBacklogMax) {
        LineClientClose(client);
        return kTcpErrWriteFailed;
    }
    const qint64 n = device->write(static_cast<const char *>(data), size);
    if (auto *s = qobject_cast<QLocalSocket *>(device)) s->flush();
    if (auto *t = qobject_cast<QTcpSocket *>(device)) t->flush();
    return n == size ? size : kTcpErrWriteFailed;
}

int LineClientClose(unsigned client) {
    const auto it = g_server.clients.find(client);
    if (it == g_server.clients.end()) return kTcpErrNoConnection;
    QIODevice *device = it->second.device;
    if (device) {
        if (auto *s = qobject_cast<QLocalSocket *>(device)) s->abort();
        if (auto *t = qobject_cast<QTcpSocket *>(device)) t->abort();
    }
    QMetaObject::invokeMethod(
        g_server.context, [client] { gone(client); }, Qt::QueuedConnection);
    return 0;
}

int LineClientPid(unsigned client) {
    const auto it = g_server.clients.find(client);
    return it == g_server.clients.end() ? 0 : it->second.pid;
}

int ConnectToLocalServer(unsigned *conversationHandle, const QString &path, tcpFuncPtr callback,
                         void *callbackData) {
    if (!conversationHandle) return kTcpErrParameter;
    *conversationHandle = 0;
    QCoreApplication *app = QCoreApplication::instance();
    if (!app) return kTcpErrConnect;
    const QByteArray name = path.toLocal8Bit();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.isEmpty() || name.size() >= qsizetype(sizeof address.sun_path))
        return kTcpErrParameter;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return kTcpErrConnect;
    // A local connect is taken or refused at once.
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return kTcpErrRefused;
    }
    auto *context = new QObject(app);
    auto *socket = new QTcpSocket(context);
    if (!socket->setSocketDescriptor(fd, QAbstractSocket::ConnectedState)) {
        ::close(fd);
        delete context;
        return kTcpErrConnect;
    }
    *conversationHandle = platform::AdoptConversation(context, socket, callback, callbackData);
    return 0;
}

int HoldFileLock(const QString &path) {
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void ReleaseFileLock(int lock) {
    if (lock >= 0) ::close(lock);
}

bool FileLockHeld(const QString &path) {
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

bool ProcessAlive(int pid) {
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

int CurrentProcessId() {
    return int(::getpid());
}

QString UserRuntimeDir() {
    const QString xdg = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty() && OwnedByUser(xdg)) return xdg;
    // A program started by cron or a service has no XDG_RUNTIME_DIR, yet the
    // user's runtime directory is there while the user has a session.
    const QString run = QStringLiteral("/run/user/%1").arg(::getuid());
    if (OwnedByUser(run)) return run;
    const QString dir = QStringLiteral("/tmp/tolvane-%1").arg(::getuid());
    // One that another user made in our name is nobody's to trust.
    return MakePrivateDir(dir, 0700) ? dir : QString();
}

bool OwnedByUser(const QString &path) {
    struct stat st {};
    return ::lstat(path.toLocal8Bit().constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::getuid();
}

bool MakePrivateDir(const QString &path, int mode, const QString &group) {
    const QByteArray name = path.toLocal8Bit();
    if (::mkdir(name.constData(), mode_t(mode)) != 0 && errno != EEXIST) return false;
    struct stat st {};
    // A link or another user's directory in its place is nobody's to use.
    if (::lstat(name.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return false;
    if (!group.isEmpty()) {
        gid_t gid = 0;
        if (!groupId(group, &gid) || ::chown(name.constData(), uid_t(-1), gid) != 0) return false;
    }
    return ::chmod(name.constData(), mode_t(mode)) == 0;
}

bool FileModeAndGroup(const QString &path, int *mode, QString *group) {
    struct stat st {};
    if (::stat(path.toLocal8Bit().constData(), &st) != 0) return false;
    if (mode) *mode = int(st.st_mode & 07777);
    if (group) {
        const struct group *g = getgrgid(st.st_gid);
        *group = g ? QString::fromLocal8Bit(g->gr_name) : QString::number(st.st_gid);
    }
    return true;
}
