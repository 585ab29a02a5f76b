#include "tools/SerialLink.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "map27/network/Network.h"
#include "serial/PortNames.h"

namespace map27test {

namespace {

using namespace std::chrono_literals;

// The most one event reads; what a port's driver holds at once is far less.
constexpr std::uint32_t kMaxPiece = 64 * 1024;

std::optional<TCommPort> ComPort(const std::string& name) {
    static constexpr std::array<const char*, 4> kNames{"COM1", "COM2", "COM3", "COM4"};
    for (std::size_t i = 0; i < kNames.size(); ++i)
        if (name == kNames[i]) return static_cast<TCommPort>(i);
    return std::nullopt;
}

// The port opens COM names only. A device given by its path is reached the way the demo points
// COM1 at radiosim: through a ports.conf of this run's own, in a private configuration folder
// that is gone again once the port is open.
class PrivatePortMap {
public:
    explicit PrivatePortMap(const std::string& device) {
        std::string folder = std::filesystem::temp_directory_path() / "map27test.XXXXXX";
        if (::mkdtemp(folder.data()) == nullptr) throw ECommError("cannot map the device to COM1");
        folder_ = folder;
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) saved_ = old;
        ::setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
        if (const std::string problem = WritePortsEntry("COM1", device); !problem.empty()) {
            Restore();
            throw ECommError(problem);
        }
    }
    ~PrivatePortMap() { Restore(); }
    PrivatePortMap(const PrivatePortMap&) = delete;
    PrivatePortMap& operator=(const PrivatePortMap&) = delete;

private:
    void Restore() {
        if (saved_)
            ::setenv("XDG_CONFIG_HOME", saved_->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    std::string folder_;
    std::optional<std::string> saved_;
};

}  // namespace

SerialLink::SerialLink(const std::string& port, bool speed1200) {
    for (auto& timer : timers_)
        timer = std::make_unique<map27::DeadlineTimer>([] { return Clock::now(); });
    session_ = std::make_unique<map27::LinkSession>(
        static_cast<map27::ILinkPort&>(*this),
        map27::SessionTimers{timers_[0].get(), timers_[1].get(), timers_[2].get(), timers_[3].get(),
                             timers_[4].get(), timers_[5].get()},
        static_cast<map27::ILinkSessionEvents&>(*this));
    session_->SetParameterTexts(map27::LinkParameterTexts{});
    session_->SetArFunctionEnabled(false);
    session_->SetSpeed1200(speed1200);

    comm_.SetRxThreshold(1);
    comm_.SetBaudRate(speed1200 ? TBaudRate::___1200bps : TBaudRate::___9600bps);
    comm_.OnCommEvent = [this](THComm& sender, std::uint32_t& waiting) {
        OnCommEvent(sender, waiting);
    };
    comm_.OnCommError = [this](const std::string& message) { OnCommError(message); };
    if (const auto com = ComPort(port)) {
        comm_.SetCommPort(*com);
        device_ = ComDevicePath(port);
        comm_.OpenCommport();
    } else {
        const PrivatePortMap map(port);
        comm_.SetCommPort(TCommPort::Com1);
        device_ = port;
        comm_.OpenCommport();
    }
}

void SerialLink::Start() {
    Operate([this] { session_->PortOpened(); });
}

SerialLink::~SerialLink() {
    session_->PortClosed();
    comm_.CloseCommport();
    if (capture_) Captured(capture_->ReceptionAbandoned());
}

// --- receive thread ---

void SerialLink::OnCommEvent(THComm& port, std::uint32_t waiting) {
    if (waiting == 0) return;
    std::vector<std::uint8_t> piece(std::min<std::uint32_t>(waiting, kMaxPiece));
    piece.resize(port.ReadWaiting(piece.data(), static_cast<std::uint32_t>(piece.size())));
    if (piece.empty()) return;
    {
        const std::lock_guard lock(inboxMutex_);
        inboxBytes_.insert(inboxBytes_.end(), piece.begin(), piece.end());
    }
    inboxReady_.notify_one();
}

void SerialLink::Interrupt(const std::string& reason) {
    OnCommError(reason);
}

void SerialLink::Wake() {
    {
        const std::lock_guard lock(inboxMutex_);
        woken_ = true;
    }
    inboxReady_.notify_one();
}

void SerialLink::OnCommError(const std::string& message) {
    {
        const std::lock_guard lock(inboxMutex_);
        inboxErrors_.push_back(message);
    }
    inboxReady_.notify_one();
}

// --- this program's thread ---

void SerialLink::Operate(const std::function<void()>& operation) {
    if (portError_) return;
    try {
        operation();
    } catch (const std::exception& e) {
        LosePort(e.what());
    }
}

void SerialLink::LosePort(const std::string& message) {
    if (portError_) return;
    portError_ = message;
    // Nothing more is written once the port has failed: the link timers stop, the port closes.
    session_->PortLost();
    comm_.CloseCommport();
    if (capture_) Captured(capture_->ReceptionAbandoned());
}

void SerialLink::TakeInbox() {
    std::vector<std::uint8_t> bytes;
    std::vector<std::string> errors;
    {
        const std::lock_guard lock(inboxMutex_);
        bytes.swap(inboxBytes_);
        errors.swap(inboxErrors_);
    }
    if (!errors.empty()) LosePort(errors.front());
    if (portError_ || bytes.empty()) return;
    // Recorded apart from the link's reception, so a frame the link drops is evidence too.
    if (capture_) Captured(capture_->Received(bytes));
    Operate([&] { session_->Receive(bytes); });
}

void SerialLink::FireTimers() {
    for (std::size_t i = 0; i < timers_.size() && !portError_; ++i) {
        if (!timers_[i]->DueBy(Clock::now())) continue;
        timers_[i]->Rearm();
        Operate([this, i] { session_->TimerExpired(i); });
    }
}

Clock::time_point SerialLink::NextWake(Clock::time_point deadline) const {
    Clock::time_point wake = deadline;
    for (const auto& timer : timers_)
        if (timer->IsRunning()) wake = std::min(wake, timer->Due());
    return wake;
}

bool SerialLink::RunUntil(const std::function<bool()>& done, Clock::time_point deadline) {
    for (;;) {
        TakeInbox();
        FireTimers();
        if (done && done()) return true;
        if (portError_ || Clock::now() >= deadline) return false;
        std::unique_lock lock(inboxMutex_);
        inboxReady_.wait_until(lock, NextWake(deadline), [this] {
            return !inboxBytes_.empty() || !inboxErrors_.empty() || woken_;
        });
        woken_ = false;
    }
}

bool SerialLink::IsEstablished() const {
    return !portError_ && session_->IsEstablished();
}

bool SerialLink::CanSend() const {
    return IsEstablished() && session_->Snapshot().sk > 0;
}

bool SerialLink::Send(const map27::SendRequest& request) {
    if (portError_) return false;
    sentLogged_ = false;
    try {
        session_->Send(map27::MakeMessageBuilder(request));
    } catch (const map27::BuildError&) {
        throw;
    } catch (const std::exception& e) {
        LosePort(e.what());
    }
    return sentLogged_;
}

// --- the engine's port and events ---

void SerialLink::Write(std::span<const std::uint8_t> bytes) {
    if (comm_.IsPortLost()) throw map27::PortLostError("Comport lost: " + device_);
    comm_.WriteData(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    lastWriteSize_ = bytes.size();
    if (capture_) Captured(capture_->Sent(bytes));
}

void SerialLink::WaitUntilSent() {
    // Bounded by the time the last frame needs on the line and a margin, so a radio that stopped
    // reading cannot hold the run.
    const unsigned bps = std::max(BaudRateBitsPerSecond(comm_.BaudRate()), 1U);
    const auto lineTime = std::chrono::milliseconds(lastWriteSize_ * 10 * 1000 / bps);
    comm_.WaitUntilSent(static_cast<int>((lineTime + 2000ms).count()));
}

std::size_t SerialLink::LargestWrite() const {
    return comm_.LargestWrite();
}

void SerialLink::Purge() {
    comm_.ClearInBuff();
    comm_.ClearOutBuff();
    const std::lock_guard lock(inboxMutex_);
    inboxBytes_.clear();
}

void SerialLink::OnLogLine(const std::string& line) {
    if (line.starts_with("TX : ")) sentLogged_ = true;
    if (onLogLine) onLogLine(line);
}

void SerialLink::OnReceptionTimedOut() {
    if (capture_) Captured(capture_->ReceptionAbandoned());
}

void SerialLink::SetCapture(std::unique_ptr<map27::CaptureRecorder> capture,
                            std::function<void(const std::string&)> onCaptureError) {
    capture_ = std::move(capture);
    onCaptureError_ = std::move(onCaptureError);
}

void SerialLink::Captured(const std::optional<std::string>& failure) {
    if (failure && onCaptureError_) onCaptureError_(*failure);
}

void SerialLink::OnDataFrame(std::span<const std::uint8_t> message) {
    OnLogLine("RX : " + map27::DecodeIncomingMessage(message).body);
}

void SerialLink::OnParameterError(const std::string& message) {
    // Not with the fixed default parameters; shown, should it ever happen, and the link step fails.
    OnLogLine(message);
}

}  // namespace map27test
