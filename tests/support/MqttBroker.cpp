// The broker and subscriber of the feed's suites: real processes on
// loopback, so that the feed is tested against the engine plants run.
#include "support/MqttBroker.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <csignal>
#include <unistd.h>

namespace fixture {

namespace {
constexpr int kStartWaitMs = 5000;
}

bool RunTool(const QString &program, const QStringList &args, QString *error) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = program + ": " + QString::fromLocal8Bit(p.readAll());
        return false;
    }
    return true;
}

MqttBroker::~MqttBroker() {
    Kill();
}

quint16 MqttBroker::FreePort() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

bool MqttBroker::Start(const QString &config) {
    port_ = FreePort();
    config_ = config;
    return Launch();
}

bool MqttBroker::Launch() {
    QFile f(dir_.filePath("mosquitto.conf"));
    if (!f.open(QIODevice::WriteOnly)) return false;
    QString text = QString("per_listener_settings true\npersistence false\nlog_dest file %1\n")
                       .arg(dir_.filePath("broker.log"));
    // As root the broker would become the user "mosquitto", who cannot read
    // the temporary folder.
    if (getuid() == 0) text += "user root\n";
    text += QString("listener %1 127.0.0.1\nallow_anonymous true\n").arg(port_);
    f.write((text + config_).toUtf8());
    f.close();
    // The broker's own warnings (running as root) go to its folder.
    process_.setStandardErrorFile(dir_.filePath("broker.err"));
    process_.start("mosquitto", {"-c", f.fileName()});
    if (!process_.waitForStarted()) return false;
    const QDeadlineTimer deadline(kStartWaitMs);
    while (!deadline.hasExpired()) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port_);
        if (s.waitForConnected(200)) return true;
        if (process_.state() != QProcess::Running) return false;
        QThread::msleep(20);
    }
    return false;
}

void MqttBroker::Kill() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.kill();
    process_.waitForFinished();
}

bool MqttBroker::Suspend() {
    return process_.state() == QProcess::Running && ::kill(pid_t(Pid()), SIGSTOP) == 0;
}

bool MqttBroker::Resume() {
    return process_.state() == QProcess::Running && ::kill(pid_t(Pid()), SIGCONT) == 0;
}

bool MqttBroker::Restart() {
    Kill();
    return Launch();
}

QString MqttBroker::Log() const {
    QFile f(dir_.filePath("broker.log"));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

MqttSubscriber::~MqttSubscriber() {
    process_.kill();
    process_.waitForFinished();
}

bool MqttSubscriber::Start(quint16 port, const QString &topic) {
    // -d prints the broker's acknowledgement of the subscription, so the
    // suite knows that nothing published from now on is missed.
    // mosquitto_sub buffers its output in a pipe; stdbuf makes it line by line.
    process_.start("stdbuf", {"-oL", "mosquitto_sub", "-h", "127.0.0.1", "-p",
                              QString::number(port), "-t", topic, "-v", "-d", "-q", "1"});
    const QDeadlineTimer deadline(kStartWaitMs);
    while (!deadline.hasExpired()) {
        if (!process_.waitForReadyRead(100) && process_.state() != QProcess::Running) return false;
        Messages();
        if (subscribed_) return true;
    }
    return false;
}

QList<QPair<QString, QByteArray>> MqttSubscriber::Messages() {
    process_.waitForReadyRead(0);
    pending_ += process_.readAllStandardOutput();
    qsizetype end;
    qsizetype from = 0;
    while ((end = pending_.indexOf('\n', from)) >= 0) {
        const QByteArray line = pending_.mid(from, end - from);
        from = end + 1;
        if (line.startsWith("Subscribed (")) continue;
        if (line.startsWith("Client ")) {
            subscribed_ = subscribed_ || line.contains("SUBACK");
            continue;
        }
        const qsizetype space = line.indexOf(' ');
        if (space < 0) continue;
        messages_.append({QString::fromUtf8(line.left(space)), line.mid(space + 1)});
    }
    pending_ = pending_.mid(from);
    return messages_;
}

QList<QByteArray> MqttSubscriber::On(const QString &topic) {
    QList<QByteArray> out;
    for (const auto &m : Messages())
        if (m.first == topic) out << m.second;
    return out;
}

} // namespace fixture
