// The feed's address and command-line options, checked before anything is
// sent: a mistake here ends the tool with a message instead of a feed that
// publishes nowhere.
#include "feed/FeedOptions.h"

#include "platform/Address.h"

#include <QFile>
#include <QFileInfo>

namespace feed {

namespace {

constexpr int kMaxEvery = 1000000;

bool Fail(QString *error, const QString &text) {
    *error = text;
    return false;
}

bool ParseAuthority(const QString &authority, FeedOptions *o, QString *error) {
    QString host, why;
    int port = 0;
    if (!ParseHostPort(authority, o->port, &host, &port, &why)) {
        if (why.startsWith("port")) return Fail(error, "bad broker " + why);
        return Fail(error, "the broker address: " + why);
    }
    o->host = host;
    o->port = quint16(port);
    return true;
}

bool ReadPasswordFile(const QString &path, QString *password, QString *error) {
    // A pipe or a device may never deliver a line: the tool would wait for ever.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return Fail(error, QString("the MQTT password file %1 is not a file").arg(path));
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return Fail(
            error, QString("cannot read the MQTT password file %1: %2").arg(path, f.errorString()));
    QByteArray line = f.readLine(4096);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty()) return Fail(error, "the MQTT password file " + path + " is empty");
    *password = QString::fromUtf8(line);
    return true;
}

bool CheckReadable(const QString &option, const QString &path, QString *error) {
    if (path.isEmpty()) return true;
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return Fail(error, QString("%1: %2 is not a file").arg(option, path));
    if (info.isReadable()) return true;
    return Fail(error, QString("%1: cannot read %2").arg(option, path));
}

} // namespace

QString FeedOptions::Address() const {
    return QString("%1://%2/%3").arg(tls ? "mqtts" : "mqtt", HostPortText(host, port), prefix);
}

bool ParseBrokerUrl(const QString &url, FeedOptions *o, QString *error) {
    const int sep = url.indexOf("://");
    if (sep < 0) return Fail(error, "the broker address must begin with mqtt:// or mqtts://");
    const QString scheme = url.left(sep).toLower();
    if (scheme != "mqtt" && scheme != "mqtts")
        return Fail(error, QString("unknown scheme \"%1\": use mqtt:// or mqtts://").arg(scheme));
    o->tls = scheme == "mqtts";
    o->port = o->tls ? kMqttsPort : kMqttPort;

    const QString rest = url.mid(sep + 3);
    const int slash = rest.indexOf('/');
    const QString authority = slash < 0 ? rest : rest.left(slash);
    if (authority.contains('@'))
        return Fail(error, "no user in the broker address: give it with --mqtt-user, the "
                           "password with " +
                               QString(kPasswordVariable) + " or --mqtt-password-file");
    if (!ParseAuthority(authority, o, error)) return false;

    QString prefix = slash < 0 ? QString() : rest.mid(slash + 1);
    if (prefix.endsWith('/')) prefix.chop(1);
    if (prefix.isEmpty())
        return Fail(error, "the broker address needs a topic prefix: mqtt://HOST[:PORT]/PREFIX");
    if (prefix.contains('+') || prefix.contains('#') || prefix.contains(QChar(0)))
        return Fail(error, "the topic prefix may not hold + or #");
    if (prefix.split('/').contains(QString()))
        return Fail(error, "the topic prefix has an empty level (//)");
    o->prefix = prefix;
    return true;
}

bool TakeFeedOptions(QStringList *args, FeedOptions *o, bool *wanted, QString *error) {
    *wanted = false;
    QString url, passwordFile;
    QStringList given; // feed options other than --publish, for the check below
    QStringList kept;
    for (int i = 0; i < args->size(); ++i) {
        QString name = args->at(i);
        QString value;
        const int eq = name.indexOf('=');
        const bool inlineValue = name.startsWith("--") && eq > 0;
        if (inlineValue) {
            value = name.mid(eq + 1);
            name = name.left(eq);
        }
        static const QStringList withValue = {
            "--publish",     "--qos",       "--every",    "--mqtt-user",
            "--mqtt-cafile", "--mqtt-cert", "--mqtt-key", "--mqtt-password-file"};
        if (name == "--mqtt-password")
            return Fail(error, QString("--mqtt-password is not accepted: every user of the "
                                       "machine sees the command line; use %1 or "
                                       "--mqtt-password-file")
                                   .arg(kPasswordVariable));
        if (!withValue.contains(name)) {
            kept << args->at(i);
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= args->size()) return Fail(error, name + " needs a value");
            value = args->at(++i);
        }
        if (name == "--publish") {
            if (!url.isEmpty()) return Fail(error, "--publish is given twice");
            url = value;
            continue;
        }
        given << name;
        bool ok = false;
        if (name == "--qos") {
            o->qos = value.toInt(&ok);
            if (!ok || o->qos < 0 || o->qos > 1) return Fail(error, "--qos is 0 or 1");
        } else if (name == "--every") {
            o->every = value.toInt(&ok);
            if (!ok || o->every < 1 || o->every > kMaxEvery)
                return Fail(error, QString("--every is 1 to %1").arg(kMaxEvery));
        } else if (name == "--mqtt-user") {
            o->user = value;
        } else if (name == "--mqtt-cafile") {
            o->cafile = value;
        } else if (name == "--mqtt-cert") {
            o->certfile = value;
        } else if (name == "--mqtt-key") {
            o->keyfile = value;
        } else {
            passwordFile = value;
        }
    }
    if (url.isEmpty()) {
        if (!given.isEmpty()) return Fail(error, given.first() + " needs --publish");
        return true;
    }
    if (!ParseBrokerUrl(url, o, error)) return false;
    if (!o->tls && (!o->cafile.isEmpty() || !o->certfile.isEmpty() || !o->keyfile.isEmpty()))
        return Fail(error, "the TLS options need an mqtts:// address");
    if (o->certfile.isEmpty() != o->keyfile.isEmpty())
        return Fail(error, "--mqtt-cert and --mqtt-key go together");
    if (!CheckReadable("--mqtt-cafile", o->cafile, error) ||
        !CheckReadable("--mqtt-cert", o->certfile, error) ||
        !CheckReadable("--mqtt-key", o->keyfile, error))
        return false;
    if (!passwordFile.isEmpty()) {
        if (!ReadPasswordFile(passwordFile, &o->password, error)) return false;
    } else {
        o->password = qEnvironmentVariable(kPasswordVariable);
    }
    if (!o->password.isEmpty() && o->user.isEmpty())
        return Fail(error, "a broker password needs --mqtt-user");
    *args = kept;
    *wanted = true;
    return true;
}

QList<cmdline::Option> FeedOptionDefs() {
    return {
        {{"publish"},
         "URL",
         "mqtt://HOST[:PORT]/PREFIX: publish every frame to PREFIX/frame (instead of printing "
         "it) and the link state to PREFIX/status (retained; \"offline\" when the feed ends or "
         "is cut off); mqtts:// for TLS (default ports 1883, 8883)"},
        {{"qos"}, "0|1", "the frames' quality of service (default 0)"},
        {{"every"}, "N", "publish every N-th frame only"},
        {{"mqtt-user"},
         "NAME",
         QString("broker login; the password is taken from %1").arg(kPasswordVariable)},
        {{"mqtt-password-file"}, "FILE", "or from the first line of FILE"},
        {{"mqtt-cafile"},
         "FILE",
         "certificates that sign the broker's (mqtts://; default: the system's)"},
        {{"mqtt-cert"}, "FILE", "client certificate (with --mqtt-key)"},
        {{"mqtt-key"}, "FILE", "the client certificate's key"},
        {{"mqtt-password"}, "PASSWORD", "refused: every user of the machine sees it", false, true},
    };
}

QString FeedUsage() {
    return cmdline::OptionLines(FeedOptionDefs());
}

} // namespace feed
