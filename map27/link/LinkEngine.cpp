#include "map27/link/LinkEngine.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "map27/link/FrameCodec.h"
#include "text/HexFormat.h"
#include "text/IntegerText.h"

namespace map27 {

namespace {

constexpr const char* kStatusLinking = "Status   Link.....";
constexpr const char* kStatusLinkOk = "Status   Link OK";

constexpr std::uint8_t Low8(std::uint16_t value) {
    return static_cast<std::uint8_t>(value & 0xFFU);
}

// Sequence numbers count modulo 256, as the frames carry them.
constexpr std::uint16_t NextSeq(std::uint16_t value) {
    return static_cast<std::uint16_t>((value + 1U) & 0xFFU);
}
constexpr std::uint16_t SeqDistance(std::uint16_t from, std::uint16_t to) {
    return static_cast<std::uint16_t>((to - from) & 0xFFU);
}

// The parameters read from their texts at a restart.
struct Parameters {
    std::uint16_t n1 = 127, n2 = 10, n3 = 3, t0 = 1000, t2 = 70, t3 = 10000, t4 = 35000;
};

// The longest a 16-bit link timer runs.
constexpr unsigned kLongestTimerMs = 0xFFFFU;

// What the link can run with: N1 goes into the LR as one byte, and a T0, T3 or T4 of 0 would send
// link requests or acknowledgements back to back without end.
struct ParameterRange {
    const char* name;
    std::int32_t lowest;
    std::int32_t highest;
};
constexpr ParameterRange kN1Range{"N1", 0, 0xFF}, kN2Range{"N2", 0, 0xFFFF},
    kN3Range{"N3", 0, 0xFFFF}, kT0Range{"T0", 1, 0xFFFF}, kT2Range{"T2", 0, 0xFFFF},
    kT3Range{"T3", 1, 0xFFFF}, kT4Range{"T4", 1, 0xFFFF};

std::string OutOfRangeMessage(const std::string& text, const ParameterRange& range) {
    return "'" + text + "' is not a valid value for " + range.name + " (" +
           std::to_string(range.lowest) + " to " + std::to_string(range.highest) + ")";
}

}  // namespace

struct LinkEngine::Impl {
    Impl(ILinkPort& p, const std::array<ILinkTimer*, 5>& t, ILinkEvents& e)
        : port(p), timers(t), events(e) {}

    ILinkPort& port;
    std::array<ILinkTimer*, 5> timers;
    ILinkEvents& events;

    // Settings.
    LinkParameterTexts texts;
    std::uint16_t configuredK = 1, configuredVersion = 1;
    bool arFunction = false;
    bool speed1200 = true;
    bool crcErrorMode = false;
    CrcErrorGenerator wrongFcs;

    // Parameters and negotiated working values.
    Parameters params;
    std::uint16_t workingN1 = 127, workingK = 1, workingVersion = 1;
    std::uint16_t t1 = 33120, t2max = 32944;

    // Link state and variables.
    LinkState state = LinkState::Setup;
    std::uint16_t vs = 0, vr = 0, rk = 0, c1 = 0, t3Repeats = 0, lastAckNr = 0;
    std::int16_t sk = 0;
    std::uint8_t lastRxByte4 = 0, lastRxByte5 = 0;
    std::size_t capacity = FrameBufferCapacity(127, 1);
    std::vector<std::uint8_t> retransmissionCopy;
    std::shared_ptr<const IMessageBuilder> builder;

    // A port error met by a frame the link sends on its own: the operation goes on as if the frame
    // had been lost on the line, so the timers keep the link alive, and the error is passed on when
    // the operation ends.
    std::exception_ptr deferredError;

    ILinkTimer& Timer(TimerIndex index) { return *timers[index]; }

    template <class Operation>
    void Run(Operation&& operation) {
        deferredError = nullptr;
        operation();
        if (deferredError) std::rethrow_exception(std::exchange(deferredError, nullptr));
    }

    void Defer() {
        if (!deferredError) deferredError = std::current_exception();
    }

    CrcErrorGenerator* FcsSpoiler() { return crcErrorMode ? &wrongFcs : nullptr; }

    // "wait": until the port has sent every byte.
    void Wait() {
        try {
            port.WaitUntilSent();
        } catch (...) {
            Defer();
        }
    }

    void Send(const std::vector<std::uint8_t>& frame, bool wait) {
        try {
            port.Write(frame);
        } catch (...) {
            Defer();
            return;
        }
        if (wait) Wait();
    }

    void SendLinkRequest(bool wait) {
        Send(MakeLinkRequest(Low8(workingN1), Low8(workingK), Low8(workingVersion), FcsSpoiler()),
             wait);
    }

    // A stored frame sent again gets its FCS as the CRC-error option stands now, so a copy spoiled
    // before the operator switched the option off is not sent spoiled again (nor the reverse).
    void RefreshFcs(std::vector<std::uint8_t>& stuffed) {
        std::vector<std::uint8_t> frame = DestuffFrame(stuffed);
        frame.resize(frame.size() - 4);  // without DLE ETX and the FCS, which EndFrame writes
        EndFrame(frame, FcsSpoiler());
        stuffed = std::move(frame);
    }

    void SendLinkAck() { Send(MakeLinkAck(Low8(vr), Low8(rk), FcsSpoiler()), true); }

    // (N1 + 1) x 16 bytes, and no more than the port takes in one write with the frame around it,
    // so that the size a refusal states is one that goes.
    std::size_t MessageCapacity() const {
        const std::size_t largestWrite = port.LargestWrite();
        const std::size_t portRoom =
            largestWrite > kFrameOverhead ? largestWrite - kFrameOverhead : 0;
        return std::min((std::size_t{workingN1} + 1U) * 16U, portRoom);
    }

    // The data frame as it goes on the line; refused when its DLE doubling makes it longer than
    // the port takes in one write.
    std::vector<std::uint8_t> FrameThePortTakes(const BuiltMessage& built) {
        std::vector<std::uint8_t> frame = MakeDataFrame(built.header, built.message, FcsSpoiler());
        if (frame.size() > port.LargestWrite()) {
            throw BuildError("The frame is " + std::to_string(frame.size()) +
                             " bytes long with its DLE doubling, but the port takes at most " +
                             std::to_string(port.LargestWrite()) +
                             " bytes at a time. Nothing was sent.");
        }
        return frame;
    }

    // Worked out wide and held to what a 16-bit timer takes: N1 = 255 at 1200 bit/s would
    // otherwise wrap to a T1 of 352 ms.
    void ComputeTimes() {
        const unsigned frameUnits = workingN1 + 1U;
        t1 = static_cast<std::uint16_t>(std::min(
            speed1200 ? frameUnits * 256U + 352U : frameUnits * 32U + 44U, kLongestTimerMs));
        t2max = static_cast<std::uint16_t>(std::min(
            speed1200 ? frameUnits * 256U + 176U : frameUnits * 32U + 22U, kLongestTimerMs));
        Timer(kT1).SetInterval(t1);
        events.OnLinkTimes("T1 : " + std::to_string(t1) + "(ms)",
                           "T2(max) : " + std::to_string(t2max) + "(ms)");
    }

    void ReallocateBuffers() {
        capacity = FrameBufferCapacity(workingN1, workingK);
        retransmissionCopy.clear();
        retransmissionCopy.shrink_to_fit();
    }

    void StopAllTimers() {
        for (ILinkTimer* timer : timers) timer->Stop();
    }

    // Converts the texts in the order the window lists them; the first that fails, or that holds
    // a value the link cannot run with, is reported.
    std::optional<Parameters> ReadParameters() {
        Parameters read;
        const std::tuple<const std::string*, std::uint16_t*, const ParameterRange&> fields[] = {
            {&texts.n1, &read.n1, kN1Range}, {&texts.n2, &read.n2, kN2Range},
            {&texts.n3, &read.n3, kN3Range}, {&texts.t0, &read.t0, kT0Range},
            {&texts.t2, &read.t2, kT2Range}, {&texts.t3, &read.t3, kT3Range},
            {&texts.t4, &read.t4, kT4Range},
        };
        for (const auto& [fieldText, value, range] : fields) {
            const auto converted = text::ParseInteger(*fieldText);
            if (!converted) {
                events.OnParameterError(text::NotAnIntegerMessage(*fieldText));
                return std::nullopt;
            }
            if (*converted < range.lowest || *converted > range.highest) {
                events.OnParameterError(OutOfRangeMessage(*fieldText, range));
                return std::nullopt;
            }
            *value = static_cast<std::uint16_t>(*converted);
        }
        return read;
    }

    void RestartLink() {
        events.OnLinkStatus(kStatusLinking);
        state = LinkState::Setup;
        try {
            port.Purge();
        } catch (...) {
            Defer();
        }
        const auto read = ReadParameters();
        if (!read) {
            // The restart stops here: nothing goes out until the next one, not even from a timer.
            StopAllTimers();
            return;
        }
        params = *read;
        workingN1 = params.n1;
        workingK = configuredK;
        workingVersion = configuredVersion;

        StopAllTimers();
        Timer(kT0).SetInterval(params.t0);
        ComputeTimes();
        Timer(kT2).SetInterval(params.t2);
        Timer(kT3).SetInterval(params.t3);
        Timer(kT4).SetInterval(params.t4);
        ReallocateBuffers();
        SendLinkRequest(true);
        Timer(kT0).Start();
    }

    void Negotiate(std::span<const std::uint8_t> frame) {
        workingN1 = std::min<std::uint16_t>(workingN1, frame[4]);
        workingK = std::min<std::uint16_t>(frame[5], configuredK);
        workingVersion = std::min<std::uint16_t>(frame[6], configuredVersion);
    }

    void PrepareLinkUp() {
        vs = 1;
        vr = 1;
        rk = workingK;
        sk = 0;
        lastAckNr = 1;
        c1 = params.n2;
        t3Repeats = params.n3;
        ReallocateBuffers();
        ComputeTimes();
    }

    void CompleteLinkUp() {
        events.OnLinkStatus(kStatusLinkOk);
        Timer(kT3).Start();
        Timer(kT4).Start();
        state = LinkState::Established;
        t3Repeats = params.n3;
    }

    void OnFrame(std::span<const std::uint8_t> frame) {
        // A frame too short for its four header bytes carries nothing the link can read.
        if (frame.size() < kFrameOverhead) return;
        lastRxByte4 = frame[4];
        lastRxByte5 = frame[5];
        const std::uint8_t type = frame[3];
        if (type != kLinkRequest && type != kLinkAck && type != kLinkTransfer) return;
        switch (state) {
            case LinkState::Setup:
                OnFrameInSetup(type, frame);
                break;
            case LinkState::Confirm:
                OnFrameInConfirm(type, frame);
                break;
            case LinkState::Established:
                OnFrameInEstablished(type, frame);
                break;
        }
    }

    void OnFrameInSetup(std::uint8_t type, std::span<const std::uint8_t> frame) {
        if (type == kLinkRequest) {
            Timer(kT0).Stop();
            Negotiate(frame);
            SendLinkRequest(true);
            Timer(kT0).Start();
            state = LinkState::Confirm;
        } else {
            SendLinkRequest(false);
        }
    }

    void OnFrameInConfirm(std::uint8_t type, std::span<const std::uint8_t> frame) {
        Timer(kT0).Stop();
        if (type == kLinkRequest) {
            Negotiate(frame);
            PrepareLinkUp();  // S(k) stays 0 until the peer's first LA
            SendLinkAck();
            CompleteLinkUp();
        } else if (type == kLinkAck) {
            PrepareLinkUp();
            const auto behind =
                static_cast<std::int8_t>(static_cast<std::uint8_t>(frame[4] - Low8(vs)));
            sk = static_cast<std::int16_t>(frame[5] + behind);
            SendLinkAck();
            CompleteLinkUp();
        } else {
            SendLinkRequest(true);
            state = LinkState::Setup;
            Timer(kT0).Start();
        }
    }

    void OnFrameInEstablished(std::uint8_t type, std::span<const std::uint8_t> frame) {
        if (type == kLinkRequest) {
            Negotiate(frame);
            for (TimerIndex index : {kT1, kT2, kT3, kT4}) Timer(index).Stop();
            SendLinkRequest(true);
            Timer(kT0).Start();
            state = LinkState::Confirm;
        } else if (type == kLinkAck) {
            OnLinkAck(frame[4], frame[5]);
        } else {
            OnLinkTransfer(frame[4], frame[5], FrameMessage(frame));
        }
    }

    void OnLinkAck(std::uint8_t nr, std::uint8_t nk) {
        // Valid acknowledgements lie between the last acknowledged N(R) and V(S), modulo 256.
        const std::uint16_t sentSinceAck = SeqDistance(lastAckNr, vs);
        if (SeqDistance(lastAckNr, nr) > sentSinceAck) {
            RestartLink();
            return;
        }
        Timer(kT4).Restart();
        const int unacknowledged = SeqDistance(nr, vs);
        sk = static_cast<std::int16_t>(nk - unacknowledged);
        if (nr == vs) {
            Timer(kT1).Stop();
            c1 = params.n2;
            t3Repeats = params.n3;
            lastAckNr = nr;
            return;
        }
        if (nr != lastAckNr) return;  // some acknowledged, not all: wait for more
        // Nothing new acknowledged: one attempt used up. A C1 already used up by T1 repeats ends
        // the link as well, rather than wrapping round to 65535 attempts.
        if (c1 <= 1) {
            c1 = 0;
            RestartLink();
            return;
        }
        --c1;
        if (sk != 0) {
            vs = lastAckNr;
            if (!retransmissionCopy.empty()) {
                RefreshFcs(retransmissionCopy);
                Send(retransmissionCopy, true);
            }
            vs = NextSeq(vs);
            --sk;
            Timer(kT1).Start();
        }
        Wait();
        Timer(kT1).SetInterval(t1);
        Timer(kT1).Start();
    }

    // Stopping a pending T2 would lose the credit its acknowledgement was to give back.
    void ReturnPendingCredit() {
        if (Timer(kT2).IsRunning()) ++rk;
    }

    void RefuseTransfer() {
        ReturnPendingCredit();
        SendLinkAck();
        Timer(kT2).Stop();
        Timer(kT3).Restart();
        t3Repeats = params.n3;
    }

    void OnLinkTransfer(std::uint8_t ns, std::uint8_t ar, std::span<const std::uint8_t> message) {
        events.OnReceivedNs(ns);
        Timer(kT4).Restart();
        if (ns != vr) {
            events.OnLogLine("N(S)!=V(R)");
            RefuseTransfer();
            return;
        }
        if (rk == 0) {
            RefuseTransfer();
            return;
        }
        vr = NextSeq(vr);
        --rk;
        if (rk == 0) {
            SendLinkAck();  // tells the peer N(k) = 0
            Timer(kT3).Restart();
            Timer(kT4).Start();
            t3Repeats = params.n3;
        }
        events.OnDataFrame(message);
        if (ar == 1 && arFunction) {
            ++rk;
            SendLinkAck();
            Timer(kT3).Restart();
            Timer(kT4).Start();
            t3Repeats = params.n3;
        } else {
            Timer(kT2).Start();
        }
    }

    void T0Expired() {
        Timer(kT0).Stop();
        state = LinkState::Setup;
        SendLinkRequest(true);
        Timer(kT0).Start();
    }

    std::string SentLogText(const BuiltMessage& built) const {
        if (!built.logIsFrameDump) return built.logText;
        return text::HexBytesBlank(retransmissionCopy);
    }

    void T1Expired() {
        Timer(kT1).Stop();
        if (c1 == 0) {
            RestartLink();
            return;
        }
        if (!builder) return;
        vs = lastAckNr;
        // The same message again; one that cannot be built or written counts as lost on the line.
        try {
            const BuiltMessage built = builder->Build(Low8(vs), MessageCapacity());
            std::vector<std::uint8_t> frame = FrameThePortTakes(built);
            events.OnMessageBuilt(built, true);
            retransmissionCopy = std::move(frame);
            port.Write(retransmissionCopy);
            events.OnLogLine("TX : " + SentLogText(built));
        } catch (...) {
            Defer();
        }
        Wait();
        vs = NextSeq(vs);
        Timer(kT1).Start();
        --c1;
    }

    void T2Expired() {
        for (TimerIndex index : {kT2, kT3, kT4}) Timer(index).Stop();
        ++rk;
        SendLinkAck();
        Timer(kT3).Start();
        Timer(kT4).Start();
        t3Repeats = params.n3;
    }

    void T3Expired() {
        Timer(kT3).Stop();
        if (Timer(kT2).IsRunning()) ++rk;
        Timer(kT2).Stop();
        if (t3Repeats == 0) return;
        SendLinkAck();
        Timer(kT3).Start();
        --t3Repeats;
    }

    void T4Expired() {
        Timer(kT4).Stop();
        RestartLink();
    }

    void SendNetworkMessage(std::shared_ptr<const IMessageBuilder> next) {
        if (sk == 0 || !next) return;
        c1 = params.n2;
        const BuiltMessage built = next->Build(Low8(vs), MessageCapacity());
        std::vector<std::uint8_t> frame = FrameThePortTakes(built);
        events.OnMessageBuilt(built, false);
        retransmissionCopy = std::move(frame);
        builder = std::move(next);
        // A write error ends the send here: nothing logged, V(S), S(k) and T1 untouched.
        port.Write(retransmissionCopy);
        events.OnLogLine("TX : " + SentLogText(built));
        Wait();
        vs = NextSeq(vs);
        sk = static_cast<std::int16_t>(sk - 1);
        Timer(kT1).Start();
    }

    LinkSnapshot Snapshot() const {
        LinkSnapshot s;
        s.state = state;
        s.vs = vs;
        s.vr = vr;
        s.rk = rk;
        s.c1 = c1;
        s.sk = sk;
        s.lastRxByte4 = lastRxByte4;
        s.lastRxByte5 = lastRxByte5;
        s.workingN1 = workingN1;
        s.workingK = workingK;
        s.workingVersion = workingVersion;
        s.bufferCapacity = capacity;
        for (std::size_t i = 0; i < timers.size(); ++i)
            s.timers[i] = {timers[i]->IsRunning(), timers[i]->Interval()};
        s.t3Repeats = t3Repeats;
        s.lastAckNr = lastAckNr;
        s.t1 = t1;
        s.t2max = t2max;
        return s;
    }
};

LinkEngine::LinkEngine(ILinkPort& port, const std::array<ILinkTimer*, 5>& timers,
                       ILinkEvents& events)
    : impl_(std::make_unique<Impl>(port, timers, events)) {}

LinkEngine::~LinkEngine() = default;

void LinkEngine::SetParameterTexts(const LinkParameterTexts& texts) {
    impl_->texts = texts;
}

void LinkEngine::SetWindowAndVersion(std::uint16_t k, std::uint16_t version) {
    impl_->configuredK = k;
    impl_->configuredVersion = version;
}

void LinkEngine::SetArFunctionEnabled(bool enabled) {
    impl_->arFunction = enabled;
}

void LinkEngine::SetSpeed1200(bool is1200) {
    impl_->speed1200 = is1200;
}

void LinkEngine::SetCrcErrorMode(bool on) {
    impl_->crcErrorMode = on;
}

void LinkEngine::StartLink() {
    impl_->Run([this] { impl_->RestartLink(); });
}

void LinkEngine::RestartLink() {
    impl_->Run([this] { impl_->RestartLink(); });
}

void LinkEngine::StopLink() {
    impl_->StopAllTimers();
    impl_->state = LinkState::Setup;
    impl_->events.OnLinkStatus(kStatusLinking);
}

void LinkEngine::AcceptFrame(std::span<const std::uint8_t> received) {
    const std::vector<std::uint8_t> frame = DestuffFrame(received);
    // Damaged frames go without a trace: too short to check, longer than the receive buffer,
    // without the start marker, or with a wrong FCS.
    if (frame.size() > impl_->capacity || !IsGoodFrame(frame)) return;
    OnFrame(frame);
}

void LinkEngine::OnFrame(std::span<const std::uint8_t> frame) {
    impl_->Run([&] { impl_->OnFrame(frame); });
}

void LinkEngine::T0Timer() {
    impl_->Run([this] { impl_->T0Expired(); });
}

void LinkEngine::T1Timer() {
    impl_->Run([this] { impl_->T1Expired(); });
}

void LinkEngine::T2Timer() {
    impl_->Run([this] { impl_->T2Expired(); });
}

void LinkEngine::T3Timer() {
    impl_->Run([this] { impl_->T3Expired(); });
}

void LinkEngine::T4Timer() {
    impl_->Run([this] { impl_->T4Expired(); });
}

void LinkEngine::SendNetworkMessage(std::shared_ptr<const IMessageBuilder> builder) {
    impl_->Run([&] { impl_->SendNetworkMessage(std::move(builder)); });
}

bool LinkEngine::IsEstablished() const {
    return impl_->state == LinkState::Established;
}

LinkSnapshot LinkEngine::Snapshot() const {
    return impl_->Snapshot();
}

std::size_t LinkEngine::ReceiveCapacity() const {
    return impl_->capacity;
}

}  // namespace map27
