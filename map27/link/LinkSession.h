#pragma once
// The link session: the one path from the wire to the link engine, for every program that runs a
// MAP27 link (Talvane27's LinkHost, radiosim, the soak).
//
// It owns the frame assembly (FrameAssembler), the link engine and the 10 s reception supervision,
// a sixth timer beside T0..T4. Its owner gives it a port, six timers and an event sink, and drives
// it with calls: received bytes in whatever pieces they arrive, timer expiries, sends, restarts and
// port events. Like the engine it has no I/O, thread or clock of its own, and every call runs to
// its end before the next; the owner serialises them.
//
// Reception: a frame is whatever arrives from the first byte after the previous frame up to
// DLE ETX and two FCS bytes. The supervision starts with the first byte of a frame and
// stops when the frame is complete; a frame not complete when it expires is abandoned and the link
// restarts. The frames, the link's actions and the restarts do not depend on how the bytes were
// cut into pieces.
//
// Errors: an operation that meets a port error completes as the engine does, and the error escapes
// the call (for Receive, the first error after every frame of the piece was handled). A port that
// throws PortLostError has gone: the session takes the link down (no timer runs, nothing more is
// written), tells its sink once, and ignores bytes, expiries, sends and restarts until the port is
// opened again. The owner may also report the loss itself (PortLost), e.g. from its receive side.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "map27/link/FrameReception.h"
#include "map27/link/LinkEngine.h"
#include "map27/link/LinkInterfaces.h"

namespace map27 {

// The sixth timer: T0..T4 are kT0..kT4 (LinkEngine.h).
inline constexpr std::size_t kSupervision = 5;
inline constexpr std::size_t kSessionTimerCount = 6;
inline constexpr std::uint16_t kReceptionSupervisionMs = 10000;
using SessionTimers = std::array<ILinkTimer*, kSessionTimerCount>;

// What the session tells its owner beyond the engine's events. Called inside session calls.
class ILinkSessionEvents : public ILinkEvents {
public:
    // Every frame cut from the received bytes, as it came (stuffed), good or damaged, before the
    // engine checks it. Return false to keep it from the engine (a radio that is not listening).
    virtual bool OnFrameReceived(std::span<const std::uint8_t> frame) {
        (void)frame;
        return true;
    }
    // A frame begun but not complete within the supervision time was abandoned; the link restarts.
    virtual void OnReceptionTimedOut() {}
    // The port has gone: the link is down and nothing more is written. Once per loss.
    virtual void OnPortLost() {}
};

class LinkSession {
public:
    enum class PortState : std::uint8_t {
        Open,    // bytes, expiries and requests flow (the state a session begins in)
        Closed,  // closed by the owner: timers stopped, bytes and expiries ignored until opened
        Lost,    // gone: as Closed, the link is down, and sends and restarts are ignored too
    };

    // port, timers (T0..T4, then the supervision) and events must outlive the session.
    LinkSession(ILinkPort& port, const SessionTimers& timers, ILinkSessionEvents& events);
    ~LinkSession();
    LinkSession(const LinkSession&) = delete;
    LinkSession& operator=(const LinkSession&) = delete;

    // Settings, as the engine's; the parameter texts, K and version take effect at the next
    // restart.
    void SetParameterTexts(const LinkParameterTexts& texts);
    void SetWindowAndVersion(std::uint16_t k, std::uint16_t version);
    void SetArFunctionEnabled(bool enabled);
    void SetSpeed1200(bool is1200);
    void SetCrcErrorMode(bool on);
    // The longest a frame may take once its first byte is in (10000 ms); from the next frame on.
    void SetReceptionSupervision(std::uint16_t ms);

    // Port events. PortOpened: bytes are taken again and the link starts (its first start, or a
    // restart after a close or a loss). PortClosed: the owner closed the port: the six timers
    // stop and a frame in progress is dropped; the link state stays as it was. PortLost: as
    // PortClosed, and the link goes down ("Status   Link.....") and the sink hears OnPortLost,
    // once per loss.
    void PortOpened();
    void PortClosed();
    void PortLost();
    PortState Port() const { return portState_; }

    // Link operations.
    void StartLink();
    void RestartLink();
    // Bytes as they came off the line, in any pieces.
    void Receive(std::span<const std::uint8_t> bytes);
    // Timer index kT0..kT4 or kSupervision expired.
    void TimerExpired(std::size_t index);
    // Sends the message the builder makes, if the send credit allows
    // (LinkEngine::SendNetworkMessage).
    void Send(std::shared_ptr<const IMessageBuilder> builder);

    bool IsEstablished() const;
    LinkSnapshot Snapshot() const;
    // True while bytes of an unfinished frame are held.
    bool ReceptionInProgress() const { return assembler_.InProgress(); }
    // The engine, for what the session does not pass on (e.g. a sender that pumps it directly).
    LinkEngine& Engine() { return engine_; }
    const LinkEngine& Engine() const { return engine_; }

private:
    class SessionPort;
    template <class Operation>
    void Operate(Operation&& operation);
    void StartSupervision();
    void StopSupervision();
    void AbandonReception();
    void Deliver(std::span<const std::uint8_t> frame);

    ILinkPort& ownerPort_;
    SessionTimers timers_;
    ILinkSessionEvents& events_;
    std::unique_ptr<SessionPort> port_;
    FrameAssembler assembler_;
    LinkEngine engine_;
    PortState portState_ = PortState::Open;
    bool lostInOperation_ = false;  // the port threw PortLostError during the current operation
    std::uint16_t supervisionMs_ = kReceptionSupervisionMs;
    std::vector<std::uint8_t> frame_;  // the frame being handed to the engine
};

}  // namespace map27
