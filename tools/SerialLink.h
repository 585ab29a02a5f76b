#pragma once
// The MAP27 link to a radio on a serial port, opened and run as Talvane27 runs it: THComm opens
// the port (COM names through ports.conf, exclusive, 1200 bit/s by default) and its receive
// thread hands the bytes over; this program's thread runs the link session with Talvane27's
// default parameters and real timers, and decodes what the radio sends.
#include <array>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "map27/capture/WireCapture.h"
#include "map27/link/DeadlineTimer.h"
#include "map27/link/LinkSession.h"
#include "serial/Hcomm.h"
#include "tools/ScriptRunner.h"

namespace map27test {

class SerialLink final : public RadioLink,
                         private map27::ILinkPort,
                         private map27::ILinkSessionEvents {
public:
    // port: "COM1".."COM4", or a device path. Opens the port; throws the port's error when it
    // cannot be opened.
    SerialLink(const std::string& port, bool speed1200);
    // Stops the link timers and closes the port; nothing is sent.
    ~SerialLink() override;

    // Records the line in a wire capture from Start on: every frame written, every byte received,
    // a frame given up. onCaptureError hears each failure to write it.
    void SetCapture(std::unique_ptr<map27::CaptureRecorder> capture,
                    std::function<void(const std::string&)> onCaptureError);
    // Sends the first link request.
    void Start();
    // Ends the run from any thread as a lost port would (a stop signal); reason becomes PortError.
    void Interrupt(const std::string& reason);

    bool RunUntil(const std::function<bool()>& done, Clock::time_point deadline) override;
    bool IsEstablished() const override;
    bool CanSend() const override;
    bool Send(const map27::SendRequest& request) override;
    std::optional<std::string> PortError() const override { return portError_; }
    void Wake() override;

private:
    // ILinkPort
    void Write(std::span<const std::uint8_t> bytes) override;
    void WaitUntilSent() override;
    void Purge() override;
    std::size_t LargestWrite() const override;
    // ILinkSessionEvents
    void OnLinkStatus(const std::string&) override {}
    void OnLinkTimes(const std::string&, const std::string&) override {}
    void OnLogLine(const std::string& line) override;
    void OnReceivedNs(std::uint8_t) override {}
    void OnDataFrame(std::span<const std::uint8_t> message) override;
    void OnParameterError(const std::string& message) override;
    void OnMessageBuilt(const map27::BuiltMessage&, bool) override {}
    void OnReceptionTimedOut() override;

    // Receive thread.
    void OnCommEvent(THComm& port, std::uint32_t waiting);
    void OnCommError(const std::string& message);

    // This program's thread.
    void Operate(const std::function<void()>& operation);
    void TakeInbox();
    void FireTimers();
    void LosePort(const std::string& message);
    void Captured(const std::optional<std::string>& failure);
    Clock::time_point NextWake(Clock::time_point deadline) const;

    THComm comm_;
    std::string device_;  // what the port name stood for when it was opened
    std::array<std::unique_ptr<map27::DeadlineTimer>, map27::kSessionTimerCount>
        timers_;  // T0..T4, supervision
    std::unique_ptr<map27::LinkSession> session_;
    std::optional<std::string> portError_;
    std::unique_ptr<map27::CaptureRecorder> capture_;
    std::function<void(const std::string&)> onCaptureError_;
    std::size_t lastWriteSize_ = 0;
    bool sentLogged_ = false;

    // Handed over by the receive thread.
    std::mutex inboxMutex_;
    std::condition_variable inboxReady_;
    std::vector<std::uint8_t> inboxBytes_;
    std::vector<std::string> inboxErrors_;
    bool woken_ = false;
};

}  // namespace map27test
