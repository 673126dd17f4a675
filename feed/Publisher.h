// Publishes a sensor's frames and link state to an MQTT broker. The polling
// loop hands over a ready payload per frame and never waits for the broker:
// the network work runs on the feed's own thread, which reconnects with a
// growing pause when the broker goes away and counts every frame it could
// not send or cannot vouch for.
#pragma once

#include "feed/FeedOptions.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

namespace feed {

// What the polling loop is doing; published on PREFIX/status.
enum class LinkState { Connecting, Connected, Polling, TimeOut, Reconnecting };

const char *LinkStateName(LinkState state);

struct FeedCounters {
    quint64 frames = 0;     // frames handed to the feed
    quint64 published = 0;  // frames the broker took: it acknowledged them (QoS 1) or
                            // answered after they were written (QoS 0)
    quint64 unsent = 0;     // frames that could not be sent (broker away or silent, queue full)
    quint64 lost = 0;       // frames written after the broker's last answer on a connection
                            // that then broke: they may or may not have arrived
    quint64 reconnects = 0; // connections to the broker after the first one
    quint64 shared = 0;     // exchanges the line's owner ran for other clients while the
                            // feed waited for its frame
};

// Why the frames slowed down: "shared: 33 exchanges for another client".
QString SharedReason(quint64 shared);

// The status object: {"state":..., "link":..., "version":..., "fps":...,
// "frames":..., "published":..., "unsent":..., "lost":..., "reconnects":...,
// "shared":..., "reason":..., "time":...}. The reason, when there is one: why
// the frames stopped (a time-out or reconnecting: `held`, who holds the shared
// line), else why they slowed down (shared > 0).
QByteArray StatusJson(LinkState state, const QString &link, const QString &version, double fps,
                      const FeedCounters &counters, qint64 msecsSinceEpoch,
                      const QString &held = QString());

inline constexpr char kOfflineText[] = "offline";

class Publisher {
  public:
    // notice receives the feed's messages (broker lost and back, frames not
    // sent); the default writes them to stderr.
    explicit Publisher(const FeedOptions &options,
                       std::function<void(const QString &)> notice = {});
    ~Publisher();
    Publisher(const Publisher &) = delete;
    Publisher &operator=(const Publisher &) = delete;

    // Connects and waits for the broker's answer. False with *error when the
    // broker refuses the login, its certificate does not verify or the TLS
    // files are unusable. A broker that is not there is no error: the feed
    // keeps trying and counts the frames meanwhile.
    bool Start(QString *error);
    // Takes one frame (every N-th is published); never blocks.
    void PublishFrame(const QByteArray &payload);
    void SetLink(LinkState state, const QString &link, const QString &version);
    // The exchanges for other clients of a shared line the feed has waited for so far.
    void SetShared(quint64 shared);
    // Who holds the shared line while the frames cannot be polled; empty when nobody.
    void SetHeld(const QString &note);
    // Set when the broker refused a later login or certificate: the feed has
    // stopped and the tool ends with the error.
    bool Failed(QString *error) const;
    FeedCounters Counters() const;
    // Publishes "offline" on the status topic and disconnects.
    void Stop();

    struct Impl;

  private:
    std::unique_ptr<Impl> d;
};

} // namespace feed
