// A real MQTT broker (mosquitto) for the feed's suites and benchmarks,
// started on a free loopback port in a temporary folder, and a subscriber
// (mosquitto_sub) that collects what arrives.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace fixture {

class MqttBroker {
  public:
    ~MqttBroker();
    // config: listener options after the plain listener (which is always there)
    bool Start(const QString &config = {});
    void Kill();
    bool Restart();
    // Stops the broker's process (SIGSTOP) and lets it go on (SIGCONT): a
    // broker that stops answering while its connections stay open.
    bool Suspend();
    bool Resume();
    quint16 Port() const { return port_; }
    qint64 Pid() const { return process_.processId(); }
    // A second, free port for a TLS listener named in config.
    static quint16 FreePort();
    QString Dir() const { return dir_.path(); }
    QString Log() const;

  private:
    bool Launch();
    QTemporaryDir dir_;
    QProcess process_;
    QString config_;
    quint16 port_ = 0;
};

class MqttSubscriber {
  public:
    ~MqttSubscriber();
    // Subscribes to TOPIC on the broker's plain port; true once subscribed.
    bool Start(quint16 port, const QString &topic);
    // (topic, payload) of every message that arrived so far.
    QList<QPair<QString, QByteArray>> Messages();
    QList<QByteArray> On(const QString &topic);

  private:
    QProcess process_;
    QByteArray pending_;
    bool subscribed_ = false;
    QList<QPair<QString, QByteArray>> messages_;
};

// Runs a program to its end; false (with its output in *error) when it fails.
bool RunTool(const QString &program, const QStringList &args, QString *error);

} // namespace fixture
