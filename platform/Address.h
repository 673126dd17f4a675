// The words that name a sensor or a broker on a command line: HOST[:PORT]
// (an IPv6 address in brackets) and a serial device (COMn or a path). One
// parser for each, so that the window, the tool and the feed agree on what
// they take.
#pragma once

#include <QString>

// Longest host name taken: what a record of the host history holds.
inline constexpr int kHostTextMax = 99;
// Serial ports named by number: COM1..COM48 (see ComPortDevice).
inline constexpr int kSerialPortNumbers = 48;

// "HOST", "HOST:PORT", "[IPv6]", "[IPv6]:PORT" or a bare IPv6 address
// ("::1", no port). HOST is a name of letters, digits, '.', '-' and '_', or
// an address; brackets hold an IPv6 address and nothing else. The port is
// 1..65535, defaultPort when none is given. False, with the reason in *why,
// for anything else: a word that is no host is never looked up.
bool ParseHostPort(const QString &text, int defaultPort, QString *host, int *port,
                   QString *why = nullptr);
// "host:port", "[::1]:port": the form ParseHostPort reads back.
QString HostPortText(const QString &host, int port);

// A serial device as given: COMn (case-insensitive, 1..kSerialPortNumbers)
// sets *comNumber and clears *device; anything else is a device path, kept
// exactly as given (messages name it so). False, with the reason, for an
// empty word or a COM number out of range.
bool ParseSerialDevice(const QString &text, QString *device, int *comNumber,
                       QString *why = nullptr);
