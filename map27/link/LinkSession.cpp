#include "map27/link/LinkSession.h"

#include <exception>

namespace map27 {

// The port as the engine sees it: the owner's port, except that a purge also abandons the frame
// being received, and that once the port has gone nothing more reaches it.
class LinkSession::SessionPort final : public ILinkPort {
public:
    explicit SessionPort(LinkSession& session) : session_(session) {}

    void Write(std::span<const std::uint8_t> bytes) override {
        if (Gone()) throw PortLostError("Comport lost");
        Guard([&] { session_.ownerPort_.Write(bytes); });
    }

    void WaitUntilSent() override {
        if (Gone()) return;
        Guard([&] { session_.ownerPort_.WaitUntilSent(); });
    }

    void Purge() override {
        if (!Gone()) Guard([&] { session_.ownerPort_.Purge(); });
        session_.AbandonReception();
    }

    std::size_t LargestWrite() const override { return session_.ownerPort_.LargestWrite(); }

private:
    bool Gone() const {
        return session_.portState_ == PortState::Lost || session_.lostInOperation_;
    }

    template <class Call>
    void Guard(Call&& call) {
        try {
            call();
        } catch (const PortLostError&) {
            session_.lostInOperation_ = true;  // nothing more is written in this operation
            throw;
        }
    }

    LinkSession& session_;
};

namespace {

std::array<ILinkTimer*, 5> LinkTimers(const SessionTimers& timers) {
    return {timers[kT0], timers[kT1], timers[kT2], timers[kT3], timers[kT4]};
}

}  // namespace

LinkSession::LinkSession(ILinkPort& port, const SessionTimers& timers, ILinkSessionEvents& events)
    : ownerPort_(port),
      timers_(timers),
      events_(events),
      port_(std::make_unique<SessionPort>(*this)),
      engine_(*port_, LinkTimers(timers), events) {
    timers_[kSupervision]->SetInterval(supervisionMs_);
}

LinkSession::~LinkSession() = default;

void LinkSession::SetParameterTexts(const LinkParameterTexts& texts) {
    engine_.SetParameterTexts(texts);
}

void LinkSession::SetWindowAndVersion(std::uint16_t k, std::uint16_t version) {
    engine_.SetWindowAndVersion(k, version);
}

void LinkSession::SetArFunctionEnabled(bool enabled) {
    engine_.SetArFunctionEnabled(enabled);
}

void LinkSession::SetSpeed1200(bool is1200) {
    engine_.SetSpeed1200(is1200);
}

void LinkSession::SetCrcErrorMode(bool on) {
    engine_.SetCrcErrorMode(on);
}

void LinkSession::SetReceptionSupervision(std::uint16_t ms) {
    supervisionMs_ = ms;
}

// Runs one engine operation. A port that went away during it ends as a loss, not as an error.
template <class Operation>
void LinkSession::Operate(Operation&& operation) {
    lostInOperation_ = false;
    try {
        operation();
    } catch (...) {
        if (!lostInOperation_) throw;
    }
    if (lostInOperation_) {
        lostInOperation_ = false;
        PortLost();
    }
}

void LinkSession::StartSupervision() {
    ILinkTimer& supervision = *timers_[kSupervision];
    supervision.Stop();
    supervision.SetInterval(supervisionMs_);
    supervision.Start();
}

void LinkSession::StopSupervision() {
    timers_[kSupervision]->Stop();
}

void LinkSession::AbandonReception() {
    StopSupervision();
    assembler_.Reset();
}

void LinkSession::PortOpened() {
    portState_ = PortState::Open;
    AbandonReception();
    Operate([this] { engine_.StartLink(); });
}

void LinkSession::PortClosed() {
    if (portState_ != PortState::Lost) portState_ = PortState::Closed;
    for (ILinkTimer* timer : timers_) timer->Stop();
    AbandonReception();
}

void LinkSession::PortLost() {
    if (portState_ == PortState::Lost) return;
    portState_ = PortState::Lost;
    engine_.StopLink();
    AbandonReception();
    events_.OnPortLost();
}

void LinkSession::StartLink() {
    if (portState_ == PortState::Lost) return;
    Operate([this] { engine_.StartLink(); });
}

void LinkSession::RestartLink() {
    if (portState_ == PortState::Lost) return;
    Operate([this] { engine_.RestartLink(); });
}

void LinkSession::Send(std::shared_ptr<const IMessageBuilder> builder) {
    if (portState_ == PortState::Lost) return;
    Operate([&] { engine_.SendNetworkMessage(std::move(builder)); });
}

void LinkSession::Deliver(std::span<const std::uint8_t> frame) {
    if (!events_.OnFrameReceived(frame)) return;
    Operate([&] { engine_.AcceptFrame(frame); });
}

void LinkSession::Receive(std::span<const std::uint8_t> bytes) {
    // Every frame of the piece is handled, each as an operation of its own; the first error
    // escapes once the piece is done.
    std::exception_ptr firstError;
    for (std::size_t i = 0; i < bytes.size() && portState_ == PortState::Open; ++i) {
        if (!assembler_.InProgress()) {
            // The first byte of a frame: its reception is supervised from now on.
            assembler_.SetCapacity(engine_.ReceiveCapacity());
            StartSupervision();
        }
        switch (assembler_.Push(bytes[i])) {
            case FrameAssembler::Step::Incomplete:
                break;
            case FrameAssembler::Step::Complete: {
                StopSupervision();
                const auto completed = assembler_.Frame();
                frame_.assign(completed.begin(), completed.end());
                try {
                    Deliver(frame_);
                } catch (...) {
                    if (!firstError) firstError = std::current_exception();
                }
                break;
            }
            case FrameAssembler::Step::Dropped:
                StopSupervision();  // too long for the receive buffer: nothing to accept
                break;
        }
    }
    if (firstError) std::rethrow_exception(firstError);
}

void LinkSession::TimerExpired(std::size_t index) {
    if (portState_ != PortState::Open) return;
    switch (index) {
        case kT0:
            Operate([this] { engine_.T0Timer(); });
            break;
        case kT1:
            Operate([this] { engine_.T1Timer(); });
            break;
        case kT2:
            Operate([this] { engine_.T2Timer(); });
            break;
        case kT3:
            Operate([this] { engine_.T3Timer(); });
            break;
        case kT4:
            Operate([this] { engine_.T4Timer(); });
            break;
        case kSupervision:
            // The frame did not complete in time: what came of it is dropped and the link
            // restarts.
            AbandonReception();
            events_.OnReceptionTimedOut();
            Operate([this] { engine_.RestartLink(); });
            break;
        default:
            break;
    }
}

bool LinkSession::IsEstablished() const {
    return engine_.IsEstablished();
}

LinkSnapshot LinkSession::Snapshot() const {
    return engine_.Snapshot();
}

}  // namespace map27
