#pragma once
// Sends network messages through Talvane27's LinkHost one after the other as the link allows,
// with nothing but what the host offers its windows: its requests, its signals and its snapshot.
// A message waits until the link is up with send credit and the previous message is acknowledged;
// one that a link restart left unacknowledged is sent again once the link is back, so delivery is
// at least once across restarts.
//
// It relies on two promises of the host: a snapshot is published after the signals of the
// operation that made it have been queued, and CheckCommportValid returns only once every request
// queued before it has run.
#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

#include "map27/network/SendRequest.h"

class LinkHost;

namespace talvane {

class HostSender : public QObject {
    Q_OBJECT
public:
    // portName: the name of the host's open port ("COM1").
    HostSender(LinkHost& host, QString portName, QObject* parent = nullptr);

    // onHandedOver runs when the link builds the message for the first time.
    void Queue(const map27::SendRequest& request, std::function<void()> onHandedOver = {});
    std::size_t Waiting() const { return queue_.size() + (inFlight_ ? 1 : 0); }

    // Takes the host's queued signals, then sends the next message if it may go. Call it on the
    // host's thread, from the event loop (not from a slot of the host's signals).
    void Pump();

    // Times the link left its established state, as the host's status reports show it. A restart
    // begun by the radio shows only when the link comes up again.
    std::uint64_t Restarts() const { return restarts_; }
    // Messages the host refused to build (ErrorOccurred after their send): never sent again.
    std::uint64_t Refused() const { return refused_; }

private:
    struct Pending {
        map27::SendRequest request;
        std::function<void()> onHandedOver;
        std::uint8_t ns = 0;
    };

    void OnLinkStatus(const QString& panelText);
    void OnMessageBuilt(int sendKind, const std::array<std::uint8_t, 4>& header, bool isRepeat);
    void SendAgainLater();

    LinkHost& host_;
    QString portName_;
    std::deque<Pending> queue_;
    std::optional<Pending> posted_;    // handed to the host; not yet known whether it was built
    std::optional<Pending> inFlight_;  // built; waits for its acknowledgement
    bool up_ = false;                  // the link as the status reports show it
    std::uint64_t restarts_ = 0;
    std::uint64_t errors_ = 0;
    std::uint64_t refused_ = 0;
};

}  // namespace talvane
