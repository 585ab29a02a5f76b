#pragma once
// The MAP27 link engine: link requests and acknowledgements, negotiation of N1, K and version,
// numbered data frames with credit, acknowledgement, retransmission and the timers T0..T4.
// It is symmetric: the terminal runs it, and the radio simulator runs one in the radio's place.
// Every call runs to its end before the next; the owner serialises them.
//
// Port errors: when a frame the link sends on its own (a link request, an acknowledgement, a T1
// repeat) cannot be written, the operation completes as if the frame had been lost on the line, so
// the timers keep the link going, and the port's exception is rethrown when the operation ends.
// Sequence numbers count modulo 256, as the frames carry them.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "map27/link/LinkInterfaces.h"

namespace map27 {

// The Parameters window's texts; converted at every link restart.
struct LinkParameterTexts {
    std::string n1 = "127";
    std::string n2 = "10";
    std::string n3 = "3";
    std::string t0 = "1000";
    std::string t2 = "70";
    std::string t3 = "10000";
    std::string t4 = "35000";
};

enum TimerIndex : std::size_t { kT0 = 0, kT1, kT2, kT3, kT4 };

class LinkEngine {
public:
    LinkEngine(ILinkPort& port, const std::array<ILinkTimer*, 5>& timers, ILinkEvents& events);
    ~LinkEngine();

    // Settings; the parameter texts, K and version take effect at the next restart.
    void SetParameterTexts(const LinkParameterTexts& texts);
    void SetWindowAndVersion(std::uint16_t k, std::uint16_t version);
    void SetArFunctionEnabled(bool enabled);  // "AR function": "Enable" = true
    void SetSpeed1200(bool is1200);           // the derived T1 and T2(max)
    void SetCrcErrorMode(bool on);            // random bytes in place of every FCS

    void StartLink();
    void RestartLink();
    // Takes the link down without a frame: T0..T4 stop, state Setup, "Status   Link.....". For a
    // port that has gone; the next StartLink or RestartLink brings it up again.
    void StopLink();
    // A frame as it came off the line, DLE doubling included: de-stuffs, checks the FCS and hands a
    // good frame to OnFrame; a damaged one is dropped without a trace.
    void AcceptFrame(std::span<const std::uint8_t> received);
    // A de-stuffed frame with a correct FCS.
    void OnFrame(std::span<const std::uint8_t> frame);
    void T0Timer();
    void T1Timer();
    void T2Timer();
    void T3Timer();
    void T4Timer();
    // Sends the message the builder makes, if the send credit allows; keeps the builder for repeats.
    // A BuildError or a port error escapes to the caller; nothing is then sent or logged.
    void SendNetworkMessage(std::shared_ptr<const IMessageBuilder> builder);

    bool IsEstablished() const;
    LinkSnapshot Snapshot() const;
    // The longest frame the receive buffer takes after de-stuffing, 16 x K x (N1 + 1) + 11.
    std::size_t ReceiveCapacity() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace map27
