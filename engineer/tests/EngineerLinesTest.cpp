#include "engineer/EngineerLines.h"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

namespace {

using namespace orrick;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int v : values) bytes += static_cast<char>(v);
    return bytes;
}

TEST(EncodeMarkedLine, MarkersBecomeStxAndEtxAndNothingIsAdded) {
    const struct {
        std::u16string line;
        std::string bytes;
    } cases[] = {
        {u"@AB#", Bytes({0x02, 0x41, 0x42, 0x03})},
        {u"@", Bytes({0x02})},
        {u"", ""},
        {u"AT\r\n", "AT\r\n"},
        {u"line 1\nline 2", "line 1\nline 2"},
        {u"Ç@ñ#█\u00A0", Bytes({0x80, 0x02, 0xA4, 0x03, 0xDB, 0xFF})},
    };
    for (const auto& c : cases) {
        const TMarkedLineBytes result = EncodeMarkedLine(c.line);
        EXPECT_FALSE(result.refused.has_value());
        EXPECT_EQ(result.bytes, c.bytes);
    }
}

TEST(EncodeMarkedLine, ACharacterWithoutAByteRefusesTheWholeLine) {
    const struct {
        std::u16string line;
        char32_t refused;
    } cases[] = {{u"@12€#", U'€'}, {u"ok \U0001F4FB", U'\U0001F4FB'}, {u"\u2403", U'\u2403'}};
    for (const auto& c : cases) {
        const TMarkedLineBytes result = EncodeMarkedLine(c.line);
        ASSERT_TRUE(result.refused.has_value());
        EXPECT_EQ(*result.refused, c.refused);
        EXPECT_TRUE(result.bytes.empty());
    }
}

TEST(DecodeHexLine, PairsBecomeBytes) {
    using S = THexLineBytes::TStatus;
    const struct {
        std::u16string line;
        S status;
        std::string bytes;
        std::u16string badPair;
    } cases[] = {
        {u"0241a3", S::Ok, Bytes({0x02, 0x41, 0xA3}), u""},
        {u"FFff", S::Ok, Bytes({0xFF, 0xFF}), u""},
        {u"", S::Ok, "", u""},
        {u"0", S::OddLength, "", u""},
        {u"02414", S::OddLength, "", u""},
        {u"0g", S::NotHex, "", u"0g"},
        {u"02 41 ", S::NotHex, "", u" 4"},
        {u"0241 a", S::NotHex, "", u" a"},
        {u"41$2", S::NotHex, "", u"$2"},
        {u"41é2", S::NotHex, "", u"é2"},
    };
    for (const auto& c : cases) {
        const THexLineBytes result = DecodeHexLine(c.line);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.bytes, c.bytes);
        EXPECT_EQ(result.badPair, c.badPair);
    }
}

TEST(DecodeHexLine, LinesBeyondOneBlockAreRefused) {
    EXPECT_EQ(DecodeHexLine(std::u16string(kMaxBinaryLineChars, u'a')).status,
              THexLineBytes::TStatus::Ok);
    EXPECT_EQ(DecodeHexLine(std::u16string(kMaxBinaryLineChars, u'a')).bytes.size(), 4095u);
    EXPECT_EQ(DecodeHexLine(std::u16string(kMaxBinaryLineChars + 2, u'a')).status,
              THexLineBytes::TStatus::TooLong);
}

TEST(NotAnIntegerMessage, NamesThePair) {
    EXPECT_EQ(NotAnIntegerMessage(u"0g"), "'0g' is not a valid integer value");
    EXPECT_EQ(NotAnIntegerMessage(u"é2"),
              "'\xC3\xA9"
              "2' is not a valid integer value");
}

TEST(ReceivedCharacter, ControlsAreVisibleAndTheUpperHalfIsCp437) {
    EXPECT_EQ(ReceivedCharacter(0x41), u'A');
    EXPECT_EQ(ReceivedCharacter(0x0D), u'\u240D');
    EXPECT_EQ(ReceivedCharacter(0x0A), u'\u240A');
    EXPECT_EQ(ReceivedCharacter(0x7F), u'\u2421');
    EXPECT_EQ(ReceivedCharacter(0x82), u'é');
}

// A port on a virtual clock: bytes arrive at given times, and waits jump the clock.
class FakePort : public TRxPort {
public:
    void Arrive(Clock::duration at, const std::string& bytes) {
        for (char b : bytes) schedule_.push_back({start_ + at, static_cast<std::uint8_t>(b)});
    }
    void CloseAt(Clock::duration at) { closeAt_ = start_ + at; }
    Clock::time_point Now() const { return now_; }
    Clock::duration Elapsed() const { return now_ - start_; }
    void Advance(Clock::duration by) { now_ += by; }
    std::size_t Left() const { return schedule_.size(); }
    std::vector<int> waits;
    // A wait that ends with an arrival returns this much after it, as a thread kept from running.
    Clock::duration lateWake{};
    std::chrono::nanoseconds waitedToRun{};

    std::int32_t CountInBuff() override {
        if (closeAt_ && now_ >= *closeAt_) return -1;
        std::int32_t n = 0;
        for (const auto& [at, byte] : schedule_) n += at <= now_ ? 1 : 0;
        return n;
    }
    void ReadData(void* buffer, std::uint32_t count) override {
        auto* out = static_cast<std::uint8_t*>(buffer);
        for (std::uint32_t i = 0; i < count; ++i) {
            ASSERT_FALSE(schedule_.empty());
            ASSERT_LE(schedule_.front().first, now_) << "read a byte that has not arrived";
            out[i] = schedule_.front().second;
            schedule_.pop_front();
        }
    }
    bool WaitForInput(int timeoutMs) override {
        waits.push_back(timeoutMs);
        const auto limit = now_ + std::chrono::milliseconds(timeoutMs);
        if (closeAt_ && *closeAt_ <= limit &&
            (schedule_.empty() || schedule_.front().first > *closeAt_)) {
            now_ = std::max(now_, *closeAt_);
            return false;
        }
        if (!schedule_.empty() && schedule_.front().first <= limit) {
            if (schedule_.front().first > now_) {
                now_ = schedule_.front().first + lateWake;
                waitedToRun += lateWake;
            }
            return true;
        }
        now_ = limit;
        return false;
    }

private:
    Clock::time_point start_{Clock::duration(1'000'000'000)};
    Clock::time_point now_{start_};
    std::optional<Clock::time_point> closeAt_;
    std::deque<std::pair<Clock::time_point, std::uint8_t>> schedule_;
};

constexpr std::chrono::microseconds kSilenceAt38400{1000};

std::u16string Receive(FakePort& port) {
    return ReceiveDataLine(port, [&port] { return port.Now(); });
}

std::vector<std::u16string> ReceiveAll(int mode, FakePort& port,
                                       std::chrono::microseconds silence) {
    std::vector<std::u16string> lines;
    ReceiveLines(mode, port, {.now = [&port] { return port.Now(); }, .lineSilence = silence},
                 [&](std::u16string&& line, Clock::time_point) { lines.push_back(line); });
    return lines;
}

TEST(ReceiveDataLine, FramesBecomeLines) {
    const struct {
        std::string bytes;
        std::u16string line;
    } cases[] = {
        {Bytes({0x02, 0x31, 0x32, 0x03}), u"@12#"},
        {Bytes({0x31, 0x03}), u"1#"},
        {Bytes({0x02, 0x31, 0x00, 0x32, 0x03}), u"@12#"},
        {Bytes({0x02, 0x82, 0x0D, 0x03}), u"@é\u240D#"},
    };
    for (const auto& c : cases) {
        FakePort port;
        port.Arrive(0ms, c.bytes);
        EXPECT_EQ(Receive(port), c.line);
        EXPECT_EQ(port.Elapsed(), 0ms);
    }
}

TEST(ReceiveDataLine, BytesAfterTheEtxWaitForTheNextCall) {
    FakePort port;
    port.Arrive(0ms, Bytes({0x02, 0x41, 0x03, 0x02, 0x42, 0x03}));
    EXPECT_EQ(Receive(port), u"@A#");
    EXPECT_EQ(port.Left(), 3u);
    EXPECT_EQ(Receive(port), u"@B#");
    EXPECT_EQ(port.Left(), 0u);
}

TEST(ReceiveLines, EveryFrameWaitingBehindAnEtxInOneEvent) {
    FakePort port;
    port.Arrive(0ms, Bytes({0x02, 0x41, 0x03, 0x02, 0x42, 0x03, 0x02, 0x43}));
    EXPECT_EQ(ReceiveAll(DataMode, port, kSilenceAt38400),
              (std::vector<std::u16string>{u"@A#", u"@B#", u"Incorrect Data Format : @C"}));
    EXPECT_EQ(port.Left(), 0u);
}

TEST(ReceiveLines, BinaryAndAsciiLinesAreCutAtExactlyOneBlock) {
    // The rest of the stream arrives while the first 4095 bytes are being read.
    for (int mode : {BinaryMode, AsciiMode}) {
        FakePort port;
        port.Arrive(0ms, std::string(4095, 'A'));
        port.Arrive(500us, std::string(10, 'A'));
        const std::vector<std::u16string> lines = ReceiveAll(mode, port, kSilenceAt38400);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].size(), mode == AsciiMode ? 4096u : 3 * 4096u);
        EXPECT_EQ(lines[1], mode == AsciiMode ? u"AAAAAAAAA" : u"41 41 41 41 41 41 41 41 41 ");
    }
}

TEST(ReceiveLines, AReplyInPiecesIsOneLineUntilASilenceOfThreeAndAHalfCharacters) {
    // 8 data bits, no parity, 1 stop bit: ten bits a character.
    const auto at1200 = LineSilence(1200, 10);    // 29.2 ms
    const auto at38400 = LineSilence(38400, 10);  // 0.9 ms, so 1 ms
    const struct {
        std::chrono::microseconds silence;
        Clock::duration gap;
        int mode;
        std::vector<std::u16string> lines;
    } cases[] = {
        {at1200, 20ms, AsciiMode, {u"OK 12\u240D\u240A"}},
        {at1200, 40ms, AsciiMode, {u"OK ", u"12", u"\u240D\u240A"}},
        {at1200, 20ms, BinaryMode, {u"4F 4B 20 31 32 0D 0A "}},
        {at1200, 40ms, BinaryMode, {u"4F 4B 20 ", u"31 32 ", u"0D 0A "}},
        {at38400, 800us, AsciiMode, {u"OK 12\u240D\u240A"}},
        {at38400, 2ms, AsciiMode, {u"OK ", u"12", u"\u240D\u240A"}},
        {at38400, 800us, BinaryMode, {u"4F 4B 20 31 32 0D 0A "}},
        {at38400, 2ms, BinaryMode, {u"4F 4B 20 ", u"31 32 ", u"0D 0A "}},
    };
    for (const auto& c : cases) {
        FakePort port;
        port.Arrive(0ms, "OK ");
        port.Arrive(c.gap, "12");
        port.Arrive(2 * c.gap, "\r\n");
        std::vector<std::u16string> lines;
        while (port.Left() > 0) {
            if (port.CountInBuff() == 0) port.WaitForInput(1000);  // the next receive event
            for (auto& line : ReceiveAll(c.mode, port, c.silence)) lines.push_back(line);
        }
        EXPECT_EQ(lines, c.lines) << c.silence.count() << " us, gap "
                                  << std::chrono::duration<double, std::milli>(c.gap).count();
    }
}

TEST(ReceiveLines, WhileTheDisplayWaitsAStreamCostsOneWaitALine) {
    FakePort port;
    const Clock::time_point start = port.Now();
    port.Arrive(0ms, "one");
    port.Arrive(5ms, "two");
    port.Arrive(10ms, "three");
    std::vector<std::pair<std::u16string, Clock::duration>> lines;
    ReceiveLines(AsciiMode, port,
                 {.now = [&port] { return port.Now(); },
                  .lineSilence = kSilenceAt38400,
                  .shownNoSoonerThan = [start] { return start + 100ms; }},
                 [&](std::u16string&& line, Clock::time_point endedAt) {
                     lines.emplace_back(line, endedAt - start);
                 });
    using Line = std::pair<std::u16string, Clock::duration>;
    EXPECT_EQ(lines, (std::vector<Line>{{u"one", 0ms}, {u"two", 5ms}, {u"three", 10ms}}));
    EXPECT_EQ(port.waits, (std::vector<int>{100, 95, 90}));
    EXPECT_EQ(port.Elapsed(), 100ms);
}

TEST(ReceiveLines, APieceFoundLateOnlyBecauseTheThreadWaitedToRunEndsNoLine) {
    const struct {
        Clock::duration gap;
        Clock::duration late;
        std::vector<std::u16string> lines;
    } cases[] = {
        {500us, 0ms, {u"ABCD"}},
        {500us, 2500us, {u"ABCD"}},
        {2ms, 0ms, {u"AB", u"CD"}},
        {2ms, 2500us, {u"AB", u"CD"}},
    };
    for (const auto& c : cases) {
        FakePort port;
        const Clock::time_point shownAt = port.Now() + 100ms;  // the pieces are judged as they come
        port.lateWake = c.late;
        port.Arrive(0ms, "AB");
        port.Arrive(c.gap, "CD");
        std::vector<std::u16string> lines;
        ReceiveLines(AsciiMode, port,
                     {.now = [&port] { return port.Now(); },
                      .lineSilence = kSilenceAt38400,
                      .waitedToRun = [&port] { return port.waitedToRun; },
                      .shownNoSoonerThan = [shownAt] { return shownAt; }},
                     [&](std::u16string&& line, Clock::time_point) { lines.push_back(line); });
        EXPECT_EQ(lines, c.lines) << "gap " << Clock::duration(c.gap).count() << " ns, late "
                                  << Clock::duration(c.late).count() << " ns";
    }
}

TEST(LineSilence, ThreeAndAHalfCharacterTimesAndNeverUnderOneMillisecond) {
    EXPECT_EQ(LineSilence(1200, 10), 29167us);
    EXPECT_EQ(LineSilence(1200, 12), 35000us);  // 8 data bits, parity, 2 stop bits
    EXPECT_EQ(LineSilence(9600, 11), 4011us);
    EXPECT_EQ(LineSilence(19200, 10), 1823us);
    EXPECT_EQ(LineSilence(38400, 10), 1000us);
    EXPECT_EQ(LineSilence(0, 10), 1000us);
}

TEST(ReceiveDataLine, AFrameInPiecesWaitsForItsEnd) {
    FakePort port;
    port.Arrive(0ms, Bytes({0x02, 0x31}));
    port.Arrive(400ms, Bytes({0x32}));
    port.Arrive(1300ms, Bytes({0x33, 0x03}));  // 900 ms after the last byte: still in time
    EXPECT_EQ(Receive(port), u"@123#");
    EXPECT_EQ(port.waits, (std::vector<int>{1000, 1000}));
}

TEST(ReceiveDataLine, OneSecondOfSilenceEndsTheLine) {
    FakePort port;
    port.Arrive(0ms, Bytes({0x02, 0x31}));
    port.Arrive(1500ms, Bytes({0x03}));
    EXPECT_EQ(Receive(port), u"Incorrect Data Format : @1");
    EXPECT_EQ(port.Elapsed(), 1000ms);
    EXPECT_EQ(port.Left(), 1u);
}

TEST(ReceiveDataLine, TheSilenceCountsFromTheEmptyQueueNotFromEachWakeUp) {
    // A wake-up that finds no byte (the queue purged meanwhile) keeps the first deadline.
    class PurgedPort : public FakePort {
    public:
        bool WaitForInput(int timeoutMs) override {
            if (waits.empty()) {
                waits.push_back(timeoutMs);
                Advance(300ms);
                return true;
            }
            return FakePort::WaitForInput(timeoutMs);
        }
    } port;
    port.Arrive(0ms, Bytes({0x02}));
    EXPECT_EQ(Receive(port), u"Incorrect Data Format : @");
    EXPECT_EQ(port.waits, (std::vector<int>{1000, 700}));
    EXPECT_EQ(port.Elapsed(), 1000ms);
}

TEST(ReceiveDataLine, AClosedPortEndsTheWaitAtOnce) {
    FakePort port;
    port.Arrive(0ms, Bytes({0x02, 0x31}));
    port.CloseAt(200ms);
    EXPECT_EQ(Receive(port), u"Incorrect Data Format : @1");
    EXPECT_EQ(port.Elapsed(), 200ms);
}

TEST(ReceiveDataLine, AWaitThatSawNoByteAddsNoLine) {
    for (bool closes : {true, false}) {
        FakePort port;  // the event came, but its bytes were purged before they were read
        if (closes) port.CloseAt(200ms);
        EXPECT_EQ(Receive(port), u"");
        EXPECT_EQ(port.Elapsed(), closes ? 200ms : 1000ms);
    }
}

TEST(ReceiveBinaryAndAscii, EveryByteBeforeTheSilenceInOneLine) {
    const struct {
        int mode;
        std::string bytes;
        std::u16string line;
    } cases[] = {
        {BinaryMode, Bytes({0x0A}), u"0A "},
        {BinaryMode, Bytes({0x02, 0x41, 0xA3, 0x00}), u"02 41 A3 00 "},
        {AsciiMode, "Hello", u"Hello"},
        {AsciiMode, Bytes({0x41, 0x00, 0x42, 0x02, 0x0D, 0x0A, 0xE1}), u"AB\u2402\u240D\u240Aß"},
    };
    for (const auto& c : cases) {
        FakePort port;
        port.Arrive(0ms, c.bytes);
        port.Arrive(5ms, "late");
        EXPECT_EQ(ReceiveAll(c.mode, port, kSilenceAt38400), std::vector<std::u16string>{c.line});
        EXPECT_EQ(port.Left(), 4u) << "bytes after the silence belong to the next event";
        EXPECT_EQ(port.waits, std::vector<int>{1});
    }
}

TEST(SilenceTimer, AStartWhileRunningKeepsTheDeadline) {
    TSilenceTimer timer(1000ms);
    const Clock::time_point t0{};
    EXPECT_EQ(timer.RemainingMs(t0), 0);
    timer.Start(t0);
    timer.Start(t0 + 400ms);
    EXPECT_EQ(timer.RemainingMs(t0 + 400ms), 600);
    EXPECT_EQ(timer.RemainingMs(t0 + 999'500us), 1);
    EXPECT_EQ(timer.RemainingMs(t0 + 1000ms), 0);
    timer.Stop();
    timer.Start(t0 + 2000ms);
    EXPECT_EQ(timer.RemainingMs(t0 + 2000ms), 1000);
}

}  // namespace
