// The TCP client: conversations over QTcpSocket on the event-loop thread,
// addressed by small handles, reporting to the caller's callback.
#include "platform/Conversation.h"
#include "platform/EventWait.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <map>
#include <memory>
#include <vector>

namespace {

struct Conversation {
    QPointer<QObject> context; // owns the socket and every connection to it
    QPointer<QTcpSocket> socket;
    tcpFuncPtr callback = nullptr;
    void *callbackData = nullptr;
    bool inCallback = false;
    bool arrivedMeanwhile = false; // data came while the callback ran
    qint64 consumed = 0;           // bytes the callback (or anyone) read
    // Where each piece the socket received ends in the stream, and when it
    // came: stamped as it arrives, also while a callback or a modal box
    // holds up the reader.
    struct Arrival {
        qint64 end;
        double at;
    };
    std::vector<Arrival> arrivals;
    std::vector<double> readTimes; // the stamps of the bytes the last read returned
    bool peerClosed = false;
    bool disconnectPending = false;
};

std::map<unsigned, std::shared_ptr<Conversation>> g_conversations;
unsigned g_nextHandle = 1;

std::shared_ptr<Conversation> find(unsigned handle) {
    const auto it = g_conversations.find(handle);
    return it == g_conversations.end() ? nullptr : it->second;
}

bool connected(const Conversation &c) {
    return c.socket && !c.peerClosed && c.socket->state() == QAbstractSocket::ConnectedState;
}

void release(Conversation &c) {
    if (c.context) c.context->deleteLater(); // the socket goes with it
}

void reportDisconnect(unsigned handle);

void stamp(Conversation &c) {
    if (!c.socket) return;
    const qint64 end = c.consumed + c.socket->bytesAvailable();
    if (c.arrivals.empty() ? end > c.consumed : end > c.arrivals.back().end)
        c.arrivals.push_back({end, Timer()});
}

// The callback reads in nested waits, so data can come while it runs: it is
// announced again once the callback has returned, instead of recursing. The
// announcement repeats while bytes remain and the callback keeps taking them
// or more keep coming; a callback that leaves data alone is not called in a loop.
void deliverData(unsigned handle) {
    const auto c = find(handle);
    if (!c || !c->callback) return;
    if (c->inCallback) {
        c->arrivedMeanwhile = true;
        return;
    }
    // A late announcement whose bytes were read meanwhile would leave the
    // callback waiting in its read for nothing.
    if (!c->socket || c->socket->bytesAvailable() <= 0) return;
    c->inCallback = true;
    bool again = false;
    do {
        c->arrivedMeanwhile = false;
        const qint64 before = c->consumed;
        c->callback(handle, TCP_DATAREADY, 0, c->callbackData);
        if (find(handle) != c) break; // the callback ended the conversation
        const bool progress = c->consumed != before;
        again = c->socket && c->socket->bytesAvailable() > 0 && (c->arrivedMeanwhile || progress);
    } while (again);
    c->inCallback = false;
    if (c->disconnectPending && find(handle) == c)
        QMetaObject::invokeMethod(
            c->context, [handle] { reportDisconnect(handle); }, Qt::QueuedConnection);
}

// The server closed: the conversation ends and the callback hears it once.
void reportDisconnect(unsigned handle) {
    const auto c = find(handle);
    if (!c) return;
    if (c->inCallback) {
        c->disconnectPending = true;
        return;
    }
    g_conversations.erase(handle);
    release(*c);
    if (c->callback) c->callback(handle, TCP_DISCONNECT, 0, c->callbackData);
}

void onPeerGone(unsigned handle) {
    const auto c = find(handle);
    if (!c || c->peerClosed) return;
    c->peerClosed = true;
    // Reported from the event loop rather than from inside the socket's
    // own signal, since the callback may open a modal message.
    QMetaObject::invokeMethod(
        c->context, [handle] { reportDisconnect(handle); }, Qt::QueuedConnection);
}

int connectErrorCode(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return kTcpErrRefused;
    case QAbstractSocket::HostNotFoundError:
        return kTcpErrHostNotFound;
    case QAbstractSocket::SocketTimeoutError:
        return kTcpErrTimeout;
    default:
        return kTcpErrConnect;
    }
}

unsigned newHandle() {
    while (g_nextHandle == 0 || g_conversations.count(g_nextHandle))
        ++g_nextHandle;
    return g_nextHandle++;
}

} // namespace

int ConnectToTCPServer(unsigned *conversationHandle, int portNumber, const QString &serverHost,
                       tcpFuncPtr callback, void *callbackData, int timeoutMs) {
    if (!conversationHandle) return kTcpErrParameter;
    *conversationHandle = 0;
    const QString host = serverHost.trimmed();
    if (portNumber <= 0 || portNumber > 65535 || host.isEmpty()) return kTcpErrParameter;
    QCoreApplication *app = QCoreApplication::instance();
    if (!app) return kTcpErrConnect;

    auto *context = new QObject(app);
    auto *socket = new QTcpSocket(context);

    // The attempt runs in a nested loop, so the window keeps being served.
    constexpr int kPending = 1;
    int result = kPending;
    {
        QEventLoop loop;
        QTimer deadline;
        deadline.setSingleShot(true);
        auto finish = [&](int code) {
            if (result != kPending) return;
            result = code;
            loop.quit();
        };
        QObject::connect(socket, &QTcpSocket::connected, &loop, [&] { finish(0); });
        QObject::connect(socket, &QTcpSocket::errorOccurred, &loop,
                         [&](QAbstractSocket::SocketError e) { finish(connectErrorCode(e)); });
        QObject::connect(&deadline, &QTimer::timeout, &loop, [&] { finish(kTcpErrTimeout); });
        socket->connectToHost(host, quint16(portNumber));
        if (result == kPending) { // an error may already have come synchronously
            if (timeoutMs > 0) deadline.start(timeoutMs);
            loop.exec();
        }
    }
    if (result != 0) {
        socket->abort();
        context->deleteLater();
        return result;
    }

    // Telegrams are small; Nagle would hold each one back for the peer's ack.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    *conversationHandle = platform::AdoptConversation(context, socket, callback, callbackData);
    return 0;
}

namespace platform {
unsigned AdoptConversation(QObject *context, QTcpSocket *socket, tcpFuncPtr callback,
                           void *callbackData) {
    const unsigned handle = newHandle();
    auto c = std::make_shared<Conversation>();
    c->context = context;
    c->socket = socket;
    c->callback = callback;
    c->callbackData = callbackData;
    g_conversations[handle] = c;

    QObject::connect(socket, &QTcpSocket::channelReadyRead, context, [handle](int channel) {
        if (channel != 0) return;
        if (const auto c = find(handle)) stamp(*c);
        deliverData(handle);
    });
    QObject::connect(socket, &QTcpSocket::disconnected, context, [handle] { onPeerGone(handle); });
    QObject::connect(socket, &QTcpSocket::errorOccurred, context, [handle, socket] {
        if (socket->state() == QAbstractSocket::UnconnectedState) onPeerGone(handle);
    });
    // Data that came with the connection, before anyone listened.
    if (socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(
            context, [handle] { deliverData(handle); }, Qt::QueuedConnection);
    return handle;
}
} // namespace platform

int DisconnectFromTCPServer(unsigned conversationHandle) {
    const auto c = find(conversationHandle);
    if (!c) return kTcpErrNoConnection;
    // Our own close is not announced: the conversation is gone before the
    // socket says so.
    g_conversations.erase(conversationHandle);
    if (c->socket) {
        c->socket->disconnect(c->context);
        c->socket->disconnectFromHost();
    }
    release(*c);
    return 0;
}

int ClientTCPWrite(unsigned conversationHandle, const void *data, int size, int timeoutMs) {
    const auto c = find(conversationHandle);
    if (!c) return kTcpErrNoConnection;
    if (!data || size < 0) return kTcpErrParameter;
    if (!connected(*c)) return kTcpErrClosed;
    if (size == 0) return 0;

    // One write: the telegram leaves as one segment.
    QTcpSocket *socket = c->socket;
    if (socket->write(static_cast<const char *>(data), size) != size) return kTcpErrWriteFailed;
    socket->flush();
    auto settled = [&] {
        return find(conversationHandle) != c || !connected(*c) || c->socket->bytesToWrite() == 0;
    };
    const bool done = platform::WaitUntil(settled, timeoutMs);
    if (find(conversationHandle) != c || !c->socket) return kTcpErrClosed;
    if (c->socket->bytesToWrite() == 0) return size;
    if (!connected(*c)) return kTcpErrClosed;
    return done ? kTcpErrWriteFailed : kTcpErrTimeout;
}

int ClientTCPRead(unsigned conversationHandle, void *buffer, int size, int timeoutMs) {
    const auto c = find(conversationHandle);
    if (!c) return kTcpErrNoConnection;
    if (!buffer || size < 0) return kTcpErrParameter;
    if (size == 0 || !c->socket) return 0;

    c->readTimes.clear();
    auto take = [&]() -> int {
        stamp(*c);
        const qint64 n = c->socket->read(static_cast<char *>(buffer), size);
        if (n < 0) return kTcpErrReadFailed;
        size_t piece = 0;
        for (qint64 i = c->consumed; i < c->consumed + n; ++i) {
            while (piece + 1 < c->arrivals.size() && c->arrivals[piece].end <= i)
                ++piece;
            c->readTimes.push_back(piece < c->arrivals.size() ? c->arrivals[piece].at : Timer());
        }
        c->consumed += n;
        size_t gone = 0;
        while (gone < c->arrivals.size() && c->arrivals[gone].end <= c->consumed)
            ++gone;
        c->arrivals.erase(c->arrivals.begin(), c->arrivals.begin() + std::ptrdiff_t(gone));
        return int(n);
    };
    // What the server sent before it closed can still be read.
    if (c->socket->bytesAvailable() > 0) return take();
    if (!connected(*c)) return kTcpErrClosed;

    auto arrived = [&] {
        return find(conversationHandle) != c || !connected(*c) || c->socket->bytesAvailable() > 0;
    };
    platform::WaitUntil(arrived, timeoutMs);
    if (find(conversationHandle) != c || !c->socket) return kTcpErrClosed;
    if (c->socket->bytesAvailable() > 0) return take();
    if (!connected(*c)) return kTcpErrClosed;
    return 0;
}

int TCPWaitInput(unsigned conversationHandle, double seconds) {
    const auto c = find(conversationHandle);
    if (!c) return kTcpErrNoConnection;
    if (!c->socket || c->socket->socketDescriptor() < 0) return kTcpErrClosed;
    if (c->socket->bytesAvailable() > 0) return 1;
    return platform::WaitReadable(int(c->socket->socketDescriptor()), seconds);
}

int TCPReadTimes(unsigned conversationHandle, double *times, int max) {
    const auto c = find(conversationHandle);
    if (!c) return kTcpErrNoConnection;
    const int n = std::min(max, int(c->readTimes.size()));
    std::copy(c->readTimes.begin(), c->readTimes.begin() + n, times);
    return n;
}

int InstallTCPCallback(unsigned conversationHandle, tcpFuncPtr callback, void *callbackData) {
    const auto c = find(conversationHandle);
    if (!c) return kTcpErrNoConnection;
    c->callback = callback;
    c->callbackData = callbackData;
    return 0;
}
