// What a feed publishes to, and how: the broker's address and topic prefix from
// an mqtt:// or mqtts:// address, quality of service, thinning, login and TLS
// files. Filled from the command line in one place, handed to the Publisher.
#pragma once

#include "platform/CommandLine.h"

#include <QString>
#include <QStringList>

namespace feed {

inline constexpr quint16 kMqttPort = 1883;
inline constexpr quint16 kMqttsPort = 8883;
// The environment variable that carries the broker password: a password on
// the command line is visible to every user of the machine (ps).
inline constexpr char kPasswordVariable[] = "TOLVANE_MQTT_PASSWORD";

struct FeedOptions {
    QString host;
    quint16 port = kMqttPort;
    QString prefix; // topics are PREFIX/frame and PREFIX/status
    bool tls = false;
    int qos = 0;   // of the frames; the status is always sent with 1
    int every = 1; // publish every N-th frame
    QString user;
    QString password;
    QString cafile;
    QString certfile;
    QString keyfile;

    QString FrameTopic() const { return prefix + "/frame"; }
    QString StatusTopic() const { return prefix + "/status"; }
    // "mqtt://127.0.0.1:1883/line1/s3", for messages
    QString Address() const;
};

// mqtt://HOST[:PORT]/PREFIX or mqtts://HOST[:PORT]/PREFIX; HOST may be an
// IPv6 address in brackets. The prefix must be a plain topic path: no
// wildcards, no empty levels.
bool ParseBrokerUrl(const QString &url, FeedOptions *options, QString *error);

// Takes the feed's options out of args (--publish URL, --qos, --every,
// --mqtt-user, --mqtt-password-file, --mqtt-cafile, --mqtt-cert, --mqtt-key),
// leaving the others in place. *wanted is set when --publish was given.
// The password comes from the environment variable or the password file.
bool TakeFeedOptions(QStringList *args, FeedOptions *options, bool *wanted, QString *error);

// The feed's options as the command line declares them: the frames command
// takes them, the help and the completion describe them.
QList<cmdline::Option> FeedOptionDefs();
// The lines of --help that describe the feed's options.
QString FeedUsage();

} // namespace feed
