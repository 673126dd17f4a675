// The texts of the serial and TCP open-failure codes, as the status line and
// the line's owner show them.
#include "link/Link.h"

#include "platform/Platform.h"

const char *SerialErrorText(int code) {
    switch (code) {
    case kComErrSystem:
        return "Unknown system error";
    case kComErrPortNumber:
        return "Invalid port number";
    case kComErrNotOpen:
        return "Port is not open";
    case kComErrIo:
        return "Unknown I/0 error";
    case kComErrNoDevice:
        return "No serial port found";
    case kComErrCannotOpen:
        return "Cannot open port";
    case kComErrTimeout:
        return "Timeout";
    default:
        return "RS-232 error!";
    }
}

const char *TcpErrorText(int code) {
    switch (code) {
    case kTcpErrRegisterService:
        return "UnableToRegisterService";
    case kTcpErrRefused:
        return "UnableToEstablishConnection";
    case kTcpErrExistingServer:
        return "ExistingServer";
    case kTcpErrConnect:
        return "FailedToConnect";
    case kTcpErrServerNotRegistered:
        return "ServerNotRegistered";
    case kTcpErrTooManyConversations:
        return "TooManyConversations";
    case kTcpErrReadFailed:
        return "ReadFailed";
    case kTcpErrWriteFailed:
        return "WriteFailed";
    case kTcpErrParameter:
        return "InvalidParameter";
    case kTcpErrOutOfMemory:
        return "OutOfMemory";
    case kTcpErrTimeout:
        return "TimeOutError ";
    case kTcpErrNoConnection:
        return "NoConnectionEstablished ";
    case kTcpErrGeneralIo:
        return "GeneralIOErr";
    case kTcpErrClosed:
        return "ConnectionClosed";
    case kTcpErrLoadSocketLibrary:
        return "UnableToLoadWinsockDLL";
    case kTcpErrSocketLibraryVersion:
        return "IncorrectWinsockDLLVersion";
    case kTcpErrNetworkNotReady:
        return "NetworkSubsystemNotReady ";
    case kTcpErrConnectionsStillOpen:
        return "ConnectionsStillOpen";
    case kTcpErrDisconnectPending:
        return "DisconnectPending";
    case kTcpErrInfoNotAvailable:
        return "InfoNotAvailable";
    default:
        return "Connection to server failed";
    }
}
