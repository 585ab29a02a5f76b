#include "terminal/tests/HostSender.h"

#include <QCoreApplication>
#include <utility>

#include "terminal/LinkHost.h"

namespace talvane {

namespace {

std::uint8_t Low8(unsigned value) {
    return static_cast<std::uint8_t>(value & 0xFFU);
}

}  // namespace

HostSender::HostSender(LinkHost& host, QString portName, QObject* parent)
    : QObject(parent), host_(host), portName_(std::move(portName)) {
    connect(&host_, &LinkHost::LinkStatusChanged, this, &HostSender::OnLinkStatus);
    connect(&host_, &LinkHost::MessageBuilt, this, &HostSender::OnMessageBuilt);
    connect(&host_, &LinkHost::ErrorOccurred, this, [this] { ++errors_; });
}

void HostSender::Queue(const map27::SendRequest& request, std::function<void()> onHandedOver) {
    queue_.push_back({request, std::move(onHandedOver)});
}

void HostSender::Pump() {
    // The snapshot first, then the signals: every signal of the operations that the snapshot has
    // seen is then taken, so a restart it shows has already put its message back in the queue.
    const map27::LinkSnapshot snapshot = host_.Snapshot();
    QCoreApplication::sendPostedEvents();
    const bool established = up_ && snapshot.state == map27::LinkState::Established;
    // One message at a time: V(S) is one past its N(S), and every frame sent is acknowledged.
    if (inFlight_ && established && Low8(snapshot.lastAckNr) == Low8(inFlight_->ns + 1U))
        inFlight_.reset();
    if (inFlight_ || queue_.empty() || !established || snapshot.sk <= 0) return;

    posted_ = std::move(queue_.front());
    queue_.pop_front();
    const std::uint64_t errorsBefore = errors_;
    host_.Send(posted_->request);
    // The link may have used up its credit since the snapshot, and then sends nothing: wait for
    // the send to have run and take what it reported, to know.
    host_.CheckCommportValid(portName_);
    QCoreApplication::sendPostedEvents();
    if (!posted_) return;  // built
    if (errors_ != errorsBefore) {
        ++refused_;  // its builder refused it: it can never be sent
    } else {
        queue_.push_front(std::move(*posted_));
    }
    posted_.reset();
}

void HostSender::OnLinkStatus(const QString& panelText) {
    const bool linking = panelText == QLatin1String("Status   Link.....");
    const bool linkOk = panelText == QLatin1String("Status   Link OK");
    if (!linking && !linkOk) return;
    // The link comes up again only after it went down: a restart that the radio began reports
    // nothing until then.
    if (up_) ++restarts_;
    up_ = linkOk;
    SendAgainLater();
}

void HostSender::OnMessageBuilt(int, const std::array<std::uint8_t, 4>& header, bool isRepeat) {
    if (isRepeat || !posted_) return;
    Pending built = std::move(*posted_);
    posted_.reset();
    built.ns = header[1];
    if (built.onHandedOver) std::exchange(built.onHandedOver, nullptr)();
    inFlight_ = std::move(built);
    // Built while the link was setting up: the radio will not take it.
    if (!up_) SendAgainLater();
}

void HostSender::SendAgainLater() {
    if (!inFlight_) return;
    queue_.push_front(std::move(*inFlight_));
    inFlight_.reset();
}

}  // namespace talvane
