#include "LinkHost.h"

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

#include "FrameReception.h"  // map27/link: the frame assembler
#include "Hcomm.h"
#include "QtLinkTimer.h"
#include "WireCapture.h"

using namespace std::chrono_literals;

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The port as the frame reception reads it, on the receive thread. Every wait ends at the
// supervision deadline, when the port closes, or when the program ends.
class CommByteSource final : public map27::IByteSource {
public:
    CommByteSource(THComm& port, const std::atomic<bool>& stop,
                   std::chrono::milliseconds supervision, std::vector<std::uint8_t>* tap)
        : port_(port), stop_(stop), supervision_(supervision), tap_(tap) {}

    std::size_t CountInBuff() override {
        const std::int32_t waiting = port_.CountInBuff();
        return waiting > 0 ? static_cast<std::size_t>(waiting) : 0;
    }

    std::size_t ReadData(std::span<std::uint8_t> into) override {
        const std::size_t count = std::min(into.size(), CountInBuff());
        if (count == 0) return 0;
        port_.ReadData(into.data(), static_cast<std::uint32_t>(count));
        if (tap_ != nullptr)
            tap_->insert(tap_->end(), into.begin(),
                         into.begin() + static_cast<std::ptrdiff_t>(count));
        return count;
    }

    void StartSupervision() override { deadline_ = std::chrono::steady_clock::now() + supervision_; }

    Wait WaitForInput() override {
        for (;;) {
            // A lost port stays "open" until it is closed, and its waits return at once.
            if (stop_.load() || !port_.GetPortStatus() || port_.IsPortLost()) return Wait::Closed;
            if (CountInBuff() > 0) return Wait::Ready;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline_ - std::chrono::steady_clock::now());
            if (left.count() <= 0) return Wait::DeadlinePassed;
            // Short slices, so that a closing program never waits for the whole supervision time.
            port_.WaitForInput(static_cast<int>(std::min<std::int64_t>(left.count(), 200)));
        }
    }

private:
    THComm& port_;
    const std::atomic<bool>& stop_;
    const std::chrono::milliseconds supervision_;
    std::vector<std::uint8_t>* tap_;  // every byte read, for the capture
    std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::now();
};

}  // namespace

// Everything that lives on the link thread: the port, the engine, its timers.
class LinkHost::Worker final : public map27::ILinkPort, public map27::ILinkEvents {
public:
    explicit Worker(LinkHost& host) : host_(host) {
        for (std::size_t i = 0; i < timers_.size(); ++i) {
            timers_[i] = std::make_unique<QtLinkTimer>([this, i] { Run([this, i] { Expire(i); }); });
        }
        engine_ = std::make_unique<map27::LinkEngine>(
            *this,
            std::array<map27::ILinkTimer*, 5>{timers_[0].get(), timers_[1].get(), timers_[2].get(),
                                              timers_[3].get(), timers_[4].get()},
            *this);
        comm_.SetRxThreshold(1);
        comm_.SetBaudRate(TBaudRate::___1200bps);
        comm_.OnCommEvent = [this](THComm& port, std::uint32_t&) { OnCommEvent(port); };
        comm_.OnCommError = [this](const std::string& message) { host_.ReportFromLinkSide(Q(message)); };
        host_.Publish(engine_->Snapshot());
    }

    ~Worker() override { StopEverything(); }

    // An engine operation: runs to its end, reports what escapes it, then publishes the snapshot.
    template <typename Fn>
    void Run(Fn&& fn) {
        if (host_.shutDown_.load()) return;
        try {
            fn();
        } catch (const std::exception& error) {
            host_.ReportFromLinkSide(Q(error.what()));
        } catch (...) {
            host_.ReportFromLinkSide(QStringLiteral("Unknown error"));
        }
        host_.Publish(engine_->Snapshot());
    }

    void Expire(std::size_t index) {
        switch (index) {
            case map27::kT0: engine_->T0Timer(); break;
            case map27::kT1: engine_->T1Timer(); break;
            case map27::kT2: engine_->T2Timer(); break;
            case map27::kT3: engine_->T3Timer(); break;
            default: engine_->T4Timer(); break;
        }
    }

    void StopEverything() {
        for (auto& timer : timers_) timer->Stop();
        comm_.CloseCommport();
    }

    // --- ILinkPort (link thread) ---
    void Write(std::span<const std::uint8_t> bytes) override {
        comm_.WriteData(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        lastWriteSize_ = bytes.size();
        if (capture_) Captured(capture_->Sent(bytes));
    }

    // --- capture (link thread) ---
    void SetCapture(std::shared_ptr<map27::CaptureRecorder> capture) {
        capture_ = std::move(capture);
    }
    void CaptureReceived(std::span<const std::uint8_t> bytes, bool abandoned) {
        if (!capture_) return;
        Captured(capture_->Received(bytes));
        if (abandoned) Captured(capture_->ReceptionAbandoned());
    }
    void Captured(const std::optional<std::string>& failure) {
        if (failure) host_.ReportFromLinkSide(Q(*failure));
    }

    void WaitUntilSent() override {
        // Bounded by the time the last frame needs on the line (10 bits a byte) and a margin, so a
        // peer that never reads cannot hold the link thread; ended at once by a close.
        const unsigned bps = BaudRateBitsPerSecond(comm_.BaudRate());
        const auto lineTime = std::chrono::milliseconds(
            (lastWriteSize_ * 10 * 1000) / (bps == 0 ? 1200 : bps));
        const auto deadline = std::chrono::steady_clock::now() + lineTime + 2000ms;
        while (!host_.cancelWaits_.load() && comm_.GetPortStatus() && !comm_.IsPortLost()) {
            if (comm_.WaitUntilSent(100)) return;
            if (std::chrono::steady_clock::now() >= deadline) return;
        }
    }

    void Purge() override {
        comm_.ClearInBuff();
        comm_.ClearOutBuff();
    }

    // --- ILinkEvents (link thread, inside an engine operation) ---
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
    void OnParameterError(const std::string& message) override {
        host_.ReportFromLinkSide(Q(message));
    }
    void OnMessageBuilt(const map27::BuiltMessage& built, bool isRepeat) override {
        if (!isRepeat) lastBuiltKind_ = sendingKind_;
        host_.ToUi([h = &host_, kind = lastBuiltKind_, header = built.header, isRepeat] {
            emit h->MessageBuilt(kind, header, isRepeat);
        });
    }

    // --- receive thread ---
    // The component raises its event when new bytes arrive, not for bytes left waiting: two frames
    // that arrive together must both be taken in this one event.
    void OnCommEvent(THComm& port) {
        CommByteSource source(port, host_.shutDown_,
                              std::chrono::milliseconds(host_.supervisionMs_.load()), &tapped_);
        do {
            if (!ReceiveOneFrame(source)) return;
        } while (source.CountInBuff() > 0 && !host_.shutDown_.load());
    }

    // False when the reception ended without a frame to wait for (time-out, close).
    bool ReceiveOneFrame(CommByteSource& source) {
        std::vector<std::uint8_t> frame;
        assembler_.Reset();
        assembler_.SetCapacity(host_.Snapshot().bufferCapacity);
        tapped_.clear();
        const map27::Reception reception = map27::ReceiveFrame(source, assembler_, frame);
        if (host_.capturing_.load()) {
            const bool abandoned =
                reception == map27::Reception::TimedOut || reception == map27::Reception::Closed;
            host_.Post([h = &host_, bytes = std::move(tapped_), abandoned] {
                h->worker_->CaptureReceived(bytes, abandoned);
            });
        }
        switch (reception) {
            case map27::Reception::Frame:
                host_.Post([h = &host_, frame = std::move(frame)] {
                    h->worker_->Run([&] {
                        // Frames still queued from before a port change are not answered.
                        if (h->worker_->Comm().GetPortStatus()) h->worker_->Engine().AcceptFrame(frame);
                    });
                });
                return true;
            case map27::Reception::Dropped:
                return true;
            case map27::Reception::TimedOut:
                host_.Post([h = &host_] { h->worker_->Run([h] { h->worker_->Engine().RestartLink(); }); });
                return false;
            case map27::Reception::Closed:
                return false;
        }
        return false;
    }

    map27::LinkEngine& Engine() { return *engine_; }
    THComm& Comm() { return comm_; }
    void SetSendingKind(int kind) { sendingKind_ = kind; }

private:
    LinkHost& host_;
    THComm comm_;
    std::array<std::unique_ptr<QtLinkTimer>, 5> timers_;
    std::unique_ptr<map27::LinkEngine> engine_;
    map27::FrameAssembler assembler_;   // receive thread only
    std::vector<std::uint8_t> tapped_;  // receive thread only: the bytes of one reception
    std::shared_ptr<map27::CaptureRecorder> capture_;  // link thread only
    std::size_t lastWriteSize_ = 0;
    int sendingKind_ = 0;
    int lastBuiltKind_ = 0;
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
    QMetaObject::invokeMethod(this, std::forward<Fn>(fn), Qt::QueuedConnection);
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
            worker_->Engine().SetSpeed1200(is1200);
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
        worker_->Run([&] {
            worker_->Comm().OpenCommport();
            if (firstStart) {
                worker_->Engine().StartLink();
            } else {
                worker_->Engine().RestartLink();
            }
        });
    });
}

void LinkHost::SetParameters(const map27::LinkParameterTexts& texts, bool arFunctionEnabled) {
    Post([this, texts, arFunctionEnabled] {
        worker_->Run([&] {
            worker_->Engine().SetParameterTexts(texts);
            worker_->Engine().SetArFunctionEnabled(arFunctionEnabled);
        });
    });
}

void LinkHost::RestartLink() {
    Post([this] { worker_->Run([&] { worker_->Engine().RestartLink(); }); });
}

void LinkHost::Send(const map27::SendRequest& request) {
    Post([this, request] {
        worker_->Run([&] {
            worker_->SetSendingKind(request.sendKind);
            worker_->Engine().SendNetworkMessage(map27::MakeMessageBuilder(request));
        });
    });
}

void LinkHost::SetCrcErrorMode(bool on) {
    Post([this, on] { worker_->Run([&] { worker_->Engine().SetCrcErrorMode(on); }); });
}

void LinkHost::SetCapture(std::shared_ptr<map27::CaptureRecorder> capture) {
    capturing_ = capture != nullptr;
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
    supervisionMs_ = static_cast<int>(time.count());
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
