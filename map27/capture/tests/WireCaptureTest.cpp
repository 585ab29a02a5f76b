#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "map27/capture/WireCapture.h"
#include "map27/link/FrameCodec.h"

namespace map27 {
namespace {

const CaptureTime kEvening{2026, 12, 8, 20, 39, 59, 137};

TEST(WireCapture, FormatsAndParsesBackEveryField) {
    const CaptureRecord received{
        kEvening,
        WireDirection::RadioToTerminal,
        {0x16, 0x10, 0x02, 0x04, 0x01, 0x01, 0x00, 0xB0, 0x00, 0x10, 0x03, 0xC4, 0x17},
        false};
    const CaptureRecord cut{
        {2027, 1, 2, 3, 4, 5, 6}, WireDirection::TerminalToRadio, {0x16, 0x10, 0x02, 0x04}, true};
    EXPECT_EQ(FormatCaptureLine(received),
              "2026-12-08T20:39:59.137 R>T 16 10 02 04 01 01 00 B0 00 10 03 C4 17");
    EXPECT_EQ(FormatCaptureLine(cut), "2027-01-02T03:04:05.006 T>R 16 10 02 04 !bad");
    for (const CaptureRecord& record : {received, cut}) {
        std::string error;
        const auto parsed = ParseCaptureLine(FormatCaptureLine(record), error);
        ASSERT_TRUE(parsed) << error;
        EXPECT_EQ(*parsed, record);
    }
}

TEST(WireCapture, NamesWhatIsWrongWithALine) {
    struct Case {
        const char* line;
        const char* error;  // empty: the line is good
    };
    const Case cases[] = {
        {"2026-12-08T20:39:59.137 T>R 16 10 02\r", ""},
        {"2026-12-08T20:39:59.137  R>T  16\t10 ", ""},
        {"2026-12-08T20:39:59.137 R>T 16 ab !bad", ""},
        {"20:39:59.137 R>T 16", "no time (YYYY-MM-DDTHH:MM:SS.mmm) at the start"},
        {"2026-13-08T20:39:59.137 R>T 16", "no time (YYYY-MM-DDTHH:MM:SS.mmm) at the start"},
        {"2026-12-08T20:39:59 R>T 16", "no time (YYYY-MM-DDTHH:MM:SS.mmm) at the start"},
        {"2026-12-08T20:39:59.137 RT 16", "the direction is 'RT', not T>R or R>T"},
        {"2026-12-08T20:39:59.137 R>T 16 1002", "'1002' is not a hexadecimal byte"},
        {"2026-12-08T20:39:59.137 R>T 16 GZ", "'GZ' is not a hexadecimal byte"},
        {"2026-12-08T20:39:59.137 R>T 16 !bad 02", "'!bad' is not at the end"},
        {"2026-12-08T20:39:59.137 R>T !bad", "no frame bytes"},
        {"2026-12-08T20:39:59.137 T>R", "no frame bytes"},
    };
    for (const Case& c : cases) {
        std::string error;
        const bool parsed = ParseCaptureLine(c.line, error).has_value();
        EXPECT_EQ(parsed, std::string(c.error).empty()) << c.line;
        EXPECT_EQ(error, c.error) << c.line;
    }
    EXPECT_TRUE(IsCaptureComment(""));
    EXPECT_TRUE(IsCaptureComment("  # the radio was switched off here"));
    EXPECT_FALSE(IsCaptureComment("2026-12-08T20:39:59.137 T>R 16"));
}

TEST(WireCapture, TheWriterAppendsWholeLinesAndReportsAFailureOnce) {
    const std::string path = ::testing::TempDir() + "wire-capture-test.txt";
    { std::ofstream(path) << "# earlier run\n"; }
    std::string error;
    auto writer = CaptureWriter::Open(path, error);
    ASSERT_TRUE(writer) << error;
    const CaptureRecord record{kEvening, WireDirection::TerminalToRadio, {0x16, 0x10}, false};
    EXPECT_FALSE(writer->Write(record));
    // Read while the writer is still open: every line is in the file as soon as it is written.
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    EXPECT_EQ(text.str(), "# earlier run\n2026-12-08T20:39:59.137 T>R 16 10\n");

    EXPECT_FALSE(CaptureWriter::Open(::testing::TempDir() + "no-such-folder/capture.txt", error));
    EXPECT_NE(error.find("Cannot open the capture file"), std::string::npos) << error;

    auto full = CaptureWriter::Open("/dev/full", error);
    ASSERT_TRUE(full) << error;
    const auto first = full->Write(record);
    ASSERT_TRUE(first);
    EXPECT_NE(first->find("/dev/full"), std::string::npos) << *first;
    EXPECT_FALSE(full->Write(record)) << "the same failure is reported once";
}

TEST(WireCapture, TheRecorderKeepsWhatTheReceptionDropsMarkedBad) {
    const std::string path = ::testing::TempDir() + "capture-recorder-test.txt";
    std::remove(path.c_str());
    std::string error;
    CaptureRecorder recorder(
        CaptureWriter::Open(path, error), [] { return kEvening; }, WireDirection::TerminalToRadio);
    const std::vector<std::uint8_t> request = MakeLinkRequest(127, 1, 1);
    std::vector<std::uint8_t> spoiled = MakeLinkAck(1, 1);
    spoiled.back() ^= 0xFF;
    std::vector<std::uint8_t> stream = {0x55};  // noise before a frame is not part of it
    stream.insert(stream.end(), request.begin(), request.end());
    stream.insert(stream.end(), spoiled.begin(), spoiled.end());
    stream.insert(stream.end(), {0x16, 0x10, 0x02, 0x04});
    // In pieces that do not follow the frames.
    EXPECT_FALSE(recorder.Received(std::span(stream).first(5)));
    EXPECT_FALSE(recorder.Received(std::span(stream).subspan(5)));
    EXPECT_FALSE(recorder.ReceptionAbandoned());
    EXPECT_FALSE(recorder.ReceptionAbandoned()) << "nothing is left to record";
    EXPECT_FALSE(recorder.Sent(request));

    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    EXPECT_EQ(text.str(),
              "2026-12-08T20:39:59.137 R>T 16 10 02 01 7F 01 01 10 03 F6 02\n"
              "2026-12-08T20:39:59.137 R>T 16 10 02 02 01 01 00 10 03 8F 04 !bad\n"
              "2026-12-08T20:39:59.137 R>T 16 10 02 04 !bad\n"
              "2026-12-08T20:39:59.137 T>R 16 10 02 01 7F 01 01 10 03 F6 02\n");
    std::remove(path.c_str());
}

}  // namespace
}  // namespace map27
