#include "terminal/LinkHost.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "desktop/DeviceWait.h"
#include "map27/capture/WireCapture.h"
#include "map27/link/LinkSession.h"
#include "serial/Hcomm.h"
#include "terminal/QtLinkTimer.h"

using namespace std::chrono_literals;

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Bytes a handler takes in one read at most; a piece of a few kilobytes covers what a port's
// driver holds at once.
constexpr std::uint32_t kMaxPiece = 64 * 1024;

}  // namespace

// Everything that lives on the link thread: the port, the session, its six timers.
class LinkHost::Worker final : public map27::ILinkPort, public map27::ILinkSessionEvents {
public:
    explicit Worker(LinkHost& host) : host_(host) {
        for (std::size_t i = 0; i < timers_.size(); ++i) {
            timers_[i] = std::make_unique<QtLinkTimer>(
                [this, i] { Run([this, i] { session_->TimerExpired(i); }); });
        }
        session_ = std::make_unique<map27::LinkSession>(
            *this,
            map27::SessionTimers{timers_[0].get(), timers_[1].get(), timers_[2].get(),
                                 timers_[3].get(), timers_[4].get(), timers_[5].get()},
            *this);
        comm_.SetRxThreshold(1);
        comm_.SetBaudRate(TBaudRate::___1200bps);
        comm_.OnCommEvent = [this](THComm& port, std::uint32_t& size) { OnCommEvent(port, size); };
        comm_.OnCommError = [this](const std::string& message) {
            host_.Post([this, generation = portGeneration_.load(), text = Q(message)] {
                OnReceiveError(generation, text);
            });
        };
        host_.Publish(session_->Snapshot());
    }

    ~Worker() override { StopEverything(); }

    // A session operation: runs to its end, reports what escapes it, then publishes the snapshot.
    // What it brings the window goes in one batch when it ends.
    template <typename Fn>
    void Run(Fn&& fn) {
        if (host_.shutDown_.load()) return;
        host_.HoldForUi(true);
        try {
            fn();
        } catch (const std::exception& error) {
            ReportOrLose(Q(error.what()));
        } catch (...) {
            ReportOrLose(QStringLiteral("Unknown error"));
        }
        host_.Publish(session_->Snapshot());
        host_.HoldForUi(false);
    }

    // An error of a port whose device has gone is the loss, told once; any other is reported.
    void ReportOrLose(const QString& text) {
        if (PortGone()) {
            session_->PortLost();
        } else {
            host_.ReportFromLinkSide(text);
        }
    }

    bool PortGone() const { return comm_.GetPortStatus() && comm_.IsPortLost(); }

    // The receive thread's reports: a port that has gone (it says so once), or a failed read.
    void OnReceiveError(unsigned generation, const QString& text) {
        if (generation != portGeneration_.load() ||
            session_->Port() == map27::LinkSession::PortState::Lost)
            return;  // about a port closed since, or a loss already told
        // The receive thread says "Comport lost: ..." once, when it sees the hang-up, and stops.
        if (PortGone() || text.startsWith(QStringLiteral("Comport lost"))) {
            Run([&] { session_->PortLost(); });
        } else {
            host_.ReportFromLinkSide(text);
        }
    }

    void StopEverything() {
        deviceWait_->Stop();
        session_->PortClosed();
        if (capture_) Captured(capture_->ReceptionAbandoned());
        ++portGeneration_;  // pieces still queued from the port closed now are not taken
        comm_.CloseCommport();
    }

    // Opens the port and starts the link on it. A port reopened after a loss puts the panels back;
    // one that cannot be opened while lost is waited for again.
    void OpenAndStart() {
        const bool wasLost = session_->Port() == map27::LinkSession::PortState::Lost;
        try {
            comm_.OpenCommport();
        } catch (...) {
            if (wasLost) WaitForTheDevice();
            throw;
        }
        ++portGeneration_;
        session_->PortOpened();
        if (wasLost) host_.ToUi([h = &host_] { emit h->PortRestored(); });
    }

    // The device came back at its path: reopened without a box; false to wait on.
    bool ReopenLostPort() {
        bool reopened = false;
        Run([&] {
            if (session_->Port() != map27::LinkSession::PortState::Lost) return;
            try {
                comm_.OpenCommport();
            } catch (const ECommError&) {
                return;  // not usable yet: the wait goes on
            }
            reopened = true;
            ++portGeneration_;
            session_->PortOpened();
            host_.ToUi([h = &host_] { emit h->PortRestored(); });
        });
        return reopened;
    }

    void WaitForTheDevice() {
        // Queued: a wait started from inside the wait's own reopen would be stopped as it returns.
        QMetaObject::invokeMethod(
            deviceWait_.get(),
            [this, device = Q(comm_.DevicePath())] {
                if (session_->Port() != map27::LinkSession::PortState::Lost) return;
                deviceWait_->Start(device, [this] { return ReopenLostPort(); });
            },
            Qt::QueuedConnection);
    }

    // --- ILinkPort (link thread) ---
    void Write(std::span<const std::uint8_t> bytes) override {
        try {
            comm_.WriteData(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        } catch (const ECommError& error) {
            if (PortGone()) throw map27::PortLostError(error.what());
            throw;
        }
        lastWriteSize_ = bytes.size();
        if (capture_) Captured(capture_->Sent(bytes));
    }

    void WaitUntilSent() override {
        // Bounded by the time the last frame needs on the line (10 bits a byte) and a margin, so a
        // peer that never reads cannot hold the link thread; ended at once by a close.
        const unsigned bps = BaudRateBitsPerSecond(comm_.BaudRate());
        const auto lineTime = std::chrono::milliseconds(
            (lastWriteSize_ * 10 * 1000) / (bps == 0 ? 1200 : bps));
        const auto deadline = std::chrono::steady_clock::now() + lineTime + 2000ms;
        while (!host_.cancelWaits_.load() && comm_.GetPortStatus()) {
            if (comm_.WaitUntilSent(100)) return;
            if (comm_.IsPortLost()) throw map27::PortLostError("Comport lost");
            if (std::chrono::steady_clock::now() >= deadline) return;
        }
    }

    void Purge() override {
        comm_.ClearInBuff();
        comm_.ClearOutBuff();
    }

    std::size_t LargestWrite() const override { return comm_.LargestWrite(); }

    // --- ILinkSessionEvents (link thread, inside a session operation) ---
    void OnLinkStatus(const std::string& panelText) override {
        host_.ToUi([h = &host_, text = Q(panelText)] { emit h->LinkStatusChanged(text); });
    }
    void OnLinkTimes(const std::string& t1Panel, const std::string& t2maxPanel) override {
        host_.ToUi([h = &host_, t1 = Q(t1Panel), t2 = Q(t2maxPanel)] { emit h->LinkTimesChanged(t1, t2); });
    }
    void OnLogLine(const std::string& line) override {
        host_.ToUi([h = &host_, text = Q(line)] { emit h->LogLine(text); });
    }
    void OnReceivedNs(std::uint8_t ns) override {
        host_.ToUi([h = &host_, ns] { emit h->ReceivedNs(ns); });
    }
    void OnDataFrame(std::span<const std::uint8_t> message) override {
        map27::DecodedMessage decoded = map27::DecodeIncomingMessage(message);
        host_.ToUi([h = &host_, decoded = std::move(decoded)] {
            emit h->LogLine(QStringLiteral("RX : ") + Q(decoded.body));
            if (decoded.personality) emit h->PersonalityReceived(*decoded.personality);
            if (decoded.settings) emit h->SettingsReceived(*decoded.settings);
        });
    }
    // The session gave up a frame: it is evidence all the same.
    void OnReceptionTimedOut() override {
        if (capture_) Captured(capture_->ReceptionAbandoned());
    }
    void OnParameterError(const std::string& message) override {
        host_.ReportFromLinkSide(Q(message));
    }
    // The port has gone: it closes at once, so nothing more is written and nothing more is read;
    // one box names the device, the panels say so, and the device is waited for at its path.
    void OnPortLost() override {
        if (capture_) Captured(capture_->ReceptionAbandoned());
        const QString device = Q(comm_.DevicePath());
        ++portGeneration_;
        comm_.CloseCommport();
        host_.ReportFromLinkSide(QStringLiteral("Comport lost: ") + device);
        host_.ToUi([h = &host_, device] { emit h->PortLost(device); });
        WaitForTheDevice();
    }
    void OnMessageBuilt(const map27::BuiltMessage& built, bool isRepeat) override {
        if (!isRepeat) lastBuiltKind_ = sendingKind_;
        host_.ToUi([h = &host_, kind = lastBuiltKind_, header = built.header, isRepeat] {
            emit h->MessageBuilt(kind, header, isRepeat);
        });
    }

    // --- receive thread ---
    // Reads everything waiting in one read and queues the piece to the link thread; the session
    // cuts it into frames there. Nothing waits here: a frame that arrives in pieces is put together
    // by the session, and its supervision is a timer on the link thread.
    void OnCommEvent(THComm& port, std::uint32_t waiting) {
        if (waiting == 0 || host_.shutDown_.load()) return;
        std::vector<std::uint8_t> piece(std::min(waiting, kMaxPiece));
        piece.resize(port.ReadWaiting(piece.data(), static_cast<std::uint32_t>(piece.size())));
        if (piece.empty()) return;
        host_.Post([this, generation = portGeneration_.load(), piece = std::move(piece)] {
            // Bytes read from a port closed since (a port change) are not taken.
            if (generation != portGeneration_.load()) return;
            // Into the capture first, so a frame's line comes before the line of the answer to it.
            if (capture_) Captured(capture_->Received(piece));
            Run([&] { session_->Receive(piece); });
        });
    }

    map27::LinkSession& Session() { return *session_; }

    // --- capture (link thread) ---
    void SetCapture(std::shared_ptr<map27::CaptureRecorder> capture) { capture_ = std::move(capture); }
    void Captured(const std::optional<std::string>& failure) {
        if (failure) host_.ReportFromLinkSide(Q(*failure));
    }
    THComm& Comm() { return comm_; }
    void SetSendingKind(int kind) { sendingKind_ = kind; }

private:
    LinkHost& host_;
    THComm comm_;
    std::array<std::unique_ptr<QtLinkTimer>, map27::kSessionTimerCount> timers_;
    std::unique_ptr<map27::LinkSession> session_;
    std::unique_ptr<TDeviceWait> deviceWait_ = std::make_unique<TDeviceWait>();  // link thread
    std::size_t lastWriteSize_ = 0;
    int sendingKind_ = 0;
    int lastBuiltKind_ = 0;
    std::shared_ptr<map27::CaptureRecorder> capture_;
    // Counts the opens and closes of the port; a piece carries the count of its read.
    std::atomic<unsigned> portGeneration_{0};
};

template <typename Fn>
void LinkHost::Post(Fn&& fn) {
    // Requests that arrive after the shutdown find no worker and do nothing.
    QMetaObject::invokeMethod(
        linkContext_,
        [this, fn = std::forward<Fn>(fn)]() mutable {
            if (worker_ && !shutDown_.load()) fn();
        },
        Qt::QueuedConnection);
}

template <typename Fn>
void LinkHost::PostAndWait(Fn&& fn) {
    if (QThread::currentThread() == thread_) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(linkContext_, std::forward<Fn>(fn), Qt::BlockingQueuedConnection);
}

template <typename Fn>
void LinkHost::ToUi(Fn&& fn) {
    bool post = false;
    {
        const std::lock_guard lock(forUiMutex_);
        forUi_.emplace_back(std::forward<Fn>(fn));
        post = ClaimForUiPost();
    }
    if (post) QMetaObject::invokeMethod(this, &LinkHost::RunQueuedForUi, Qt::QueuedConnection);
}

bool LinkHost::ClaimForUiPost() {
    const bool post = !forUiPosted_ && forUiHeld_ == 0 && !forUi_.empty();
    forUiPosted_ = forUiPosted_ || post;
    return post;
}

void LinkHost::HoldForUi(bool hold) {
    bool post = false;
    {
        const std::lock_guard lock(forUiMutex_);
        forUiHeld_ += hold ? 1 : -1;
        post = ClaimForUiPost();
    }
    if (post) QMetaObject::invokeMethod(this, &LinkHost::RunQueuedForUi, Qt::QueuedConnection);
}

void LinkHost::RunQueuedForUi() {
    std::deque<std::function<void()>> batch;
    {
        const std::lock_guard lock(forUiMutex_);
        batch.swap(forUi_);
        forUiPosted_ = false;
    }
    while (!batch.empty()) {
        const std::function<void()> next = std::move(batch.front());
        batch.pop_front();
        try {
            next();
        } catch (...) {
            // What the failing item leaves behind runs in a turn of its own, after the report.
            bool post = false;
            {
                const std::lock_guard lock(forUiMutex_);
                forUi_.insert(forUi_.begin(), std::make_move_iterator(batch.begin()),
                              std::make_move_iterator(batch.end()));
                post = ClaimForUiPost();
            }
            if (post)
                QMetaObject::invokeMethod(this, &LinkHost::RunQueuedForUi, Qt::QueuedConnection);
            throw;
        }
    }
}

void LinkHost::ReportFromLinkSide(const QString& text) {
    ToUi([this, text] { emit ErrorOccurred(text); });
}

LinkHost::LinkHost(QObject* parent) : QObject(parent) {
    thread_ = new QThread(this);
    thread_->setObjectName(QStringLiteral("link"));
    linkContext_ = new QObject;
    linkContext_->moveToThread(thread_);
    thread_->start();
    PostAndWait([this] { worker_ = std::make_unique<Worker>(*this); });
}

LinkHost::~LinkHost() {
    Shutdown();
    PostAndWait([this] { worker_.reset(); });
    thread_->quit();
    thread_->wait();
    delete linkContext_;
}

bool LinkHost::CheckCommportValid(const QString& comName) {
    bool valid = false;
    PostAndWait([&] { valid = worker_->Comm().CheckCommportValid(comName.toStdString()); });
    return valid;
}

void LinkHost::SetCommPort(int comIndex) {
    Post([this, comIndex] {
        worker_->Comm().SetCommPort(static_cast<TCommPort>(std::clamp(comIndex, 0, 3)));
    });
}

void LinkHost::SetSpeed1200(bool is1200) {
    Post([this, is1200] {
        worker_->Run([&] {
            worker_->Comm().SetBaudRate(is1200 ? TBaudRate::___1200bps : TBaudRate::___9600bps);
            worker_->Session().SetSpeed1200(is1200);
        });
    });
}

void LinkHost::ClosePort() {
    cancelWaits_ = true;
    Post([this] { worker_->Run([&] { worker_->StopEverything(); }); });
}

void LinkHost::OpenPortAndStartLink(bool firstStart) {
    Post([this, firstStart] {
        cancelWaits_ = false;
        // The first start and a restart after a port change are the same link restart.
        (void)firstStart;
        worker_->Run([&] { worker_->OpenAndStart(); });
    });
}

void LinkHost::SetParameters(const map27::LinkParameterTexts& texts, bool arFunctionEnabled) {
    Post([this, texts, arFunctionEnabled] {
        worker_->Run([&] {
            worker_->Session().SetParameterTexts(texts);
            worker_->Session().SetArFunctionEnabled(arFunctionEnabled);
        });
    });
}

void LinkHost::RestartLink() {
    Post([this] { worker_->Run([&] { worker_->Session().RestartLink(); }); });
}

void LinkHost::Send(const map27::SendRequest& request) {
    Post([this, request] {
        worker_->Run([&] {
            worker_->SetSendingKind(request.sendKind);
            worker_->Session().Send(map27::MakeMessageBuilder(request));
        });
    });
}

void LinkHost::SetCrcErrorMode(bool on) {
    Post([this, on] { worker_->Run([&] { worker_->Session().SetCrcErrorMode(on); }); });
}

void LinkHost::SetCapture(std::shared_ptr<map27::CaptureRecorder> capture) {
    Post([this, capture = std::move(capture)] { worker_->SetCapture(capture); });
}

void LinkHost::Shutdown() {
    if (shutDown_.exchange(true)) return;
    cancelWaits_ = true;
    PostAndWait([this] {
        if (worker_) worker_->StopEverything();
    });
}

void LinkHost::SetReceptionSupervision(std::chrono::milliseconds time) {
    const auto ms = static_cast<std::uint16_t>(std::clamp<std::int64_t>(time.count(), 1, 65535));
    Post([this, ms] { worker_->Session().SetReceptionSupervision(ms); });
}

void LinkHost::Publish(const map27::LinkSnapshot& snapshot) {
    std::lock_guard lock(snapshotMutex_);
    snapshot_ = snapshot;
}

map27::LinkSnapshot LinkHost::Snapshot() const {
    std::lock_guard lock(snapshotMutex_);
    return snapshot_;
}

bool LinkHost::IsEstablished() const {
    return Snapshot().state == map27::LinkState::Established;
}
