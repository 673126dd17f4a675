// Inside the platform: a connected stream socket made into a TCP conversation,
// so that a line reached another way (a local socket) is read and written
// with the same services and callbacks as a sensor's TCP link.
#pragma once

#include "platform/Platform.h"

class QObject;
class QTcpSocket;

namespace platform {
// `context` owns the socket and goes with the conversation. Returns the handle.
unsigned AdoptConversation(QObject *context, QTcpSocket *socket, tcpFuncPtr callback,
                           void *callbackData);
} // namespace platform
