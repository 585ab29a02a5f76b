#include "tools/Script.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <sstream>
#include <utility>

#include "map27/network/Network.h"
#include "tools/ScriptRunner.h"
#include "tools/TestReport.h"

namespace map27test {
namespace {

// The TX line each send step makes, through the same builder as the windows.
std::string SentText(const std::string& line) {
    const std::vector<Step> steps = ParseScript(line);
    EXPECT_EQ(steps.size(), 1U);
    return map27::BuildMessage(std::get<SendStep>(steps.at(0).action).request, 1, 2048).logText;
}

TEST(TestScript, SendsBuildTheWindowsMessages) {
    const struct {
        const char* line;
        const char* logText;
    } cases[] = {
        {"send status 008 2001 01",
         "80    Status Call                   PFIX:008  ID:2001  STATUS:01"},
        {"send voice 008 2001", "A4-08 Setup Voice                   PFIX:008  ID:2001"},
        {"send emergency 8 17", "A5-00 Emergency Speech Call         PFIX:8  ID:17"},
        {"send disconnect 008 2001", "86-07 DISCONNECT                    PFIX:008  ID:2001"},
        {"send data 008 2001 Hello  radio  ", "Data Call  PFIX:008  ID:2001  DATA:Hello  radio"},
        {"send interrogate personality", "      Radio Interrogation           Personality request"},
        {"send interrogate network", "      Radio Interrogation           Network information"},
        {"send raw B4 00", "16 10 02 04 01 01 00 B4 00 10 03 C5 27 "},
    };
    for (const auto& c : cases) EXPECT_EQ(SentText(c.line), c.logText) << c.line;
    const auto data8 = ParseScript("send data8 8 2001 x");
    EXPECT_TRUE(std::get<SendStep>(data8[0].action).request.eightBitCoding);
}

TEST(TestScript, StepsTimesAndComments) {
    const auto steps = ParseScript(
        "\xEF\xBB\xBF# a comment\n\n  link within 2s\r\nwait 500ms\nexpect rx \"C0 \\\"x\\\"\" "
        "within 1s\n"
        "expect rx /^C0 .*$/\nexpect no rx\n");
    ASSERT_EQ(steps.size(), 5U);
    EXPECT_EQ(steps[0].line, 3);
    EXPECT_EQ(steps[0].text, "link within 2s");
    EXPECT_EQ(std::get<LinkStep>(steps[0].action).within, Duration(2000));
    EXPECT_EQ(std::get<WaitStep>(steps[1].action).time, Duration(500));
    const auto& exact = std::get<ExpectRxStep>(steps[2].action);
    EXPECT_EQ(exact.text, "C0 \"x\"");
    EXPECT_EQ(exact.within, Duration(1000));
    const auto& pattern = std::get<ExpectRxStep>(steps[3].action);
    EXPECT_TRUE(pattern.Matches("C0 00"));
    EXPECT_FALSE(pattern.Matches("80 00"));
    EXPECT_EQ(pattern.within, kDefaultRxTime);
    EXPECT_EQ(std::get<ExpectNoRxStep>(steps[4].action).within, kDefaultNoRxTime);
}

TEST(TestScript, ErrorsNameTheirLine) {
    const struct {
        const char* script;
        const char* error;
    } cases[] = {
        {"link within 1s\nsned status 8 2001 1", "line 2: unknown step 'sned'"},
        {"wait 5x", "line 1: '5x' is not a time (500ms or 2s)"},
        {"wait 2h", "line 1: '2h' is not a time (500ms or 2s)"},
        {"wait 3601s", "line 1: '3601s' is longer than an hour"},
        {"link within", "line 1: missing time after 'within'"},
        {"link after 2s", "line 1: unexpected 'after'; expected 'within TIME'"},
        {"send status 8 2001 x1", "line 1: 'x1' is not a valid integer value"},
        {"send status 8 2001", "line 1: missing STATUS"},
        {"send status 8 70000 1", "line 1: IDENT 70000 is out of range (0 to 65535)"},
        {"send voice 256 1", "line 1: PFIX 256 is out of range (0 to 255)"},
        {"send voice 8 1 extra", "line 1: unexpected 'extra' at the end of the step"},
        {"send data 8 2001", "line 1: missing the text of the data call"},
        {"send fax 8 2001", "line 1: unknown message 'fax'"},
        {"send interrogate weather", "line 1: unknown interrogation 'weather'"},
        {"send raw B40", "line 1: 'B40' is not a hexadecimal byte"},
        {"send raw B4 GG", "line 1: 'GG' is not a hexadecimal byte"},
        {"send raw", "line 1: missing the message bytes"},
        {"\nexpect rx \"C0 00", "line 2: missing closing quote"},
        {"expect rx C0 00", "line 1: the expected text must be quoted"},
        {"expect rx /C0(/", "line 1: bad pattern '/C0(/': missing ): 'C0('"},
        {"\n\nexpect rx /(C0) \\1/", "line 3: bad pattern '/(C0) \\1/': invalid escape sequence"},
        {"expect rx /C0(?=00)/", "line 1: bad pattern '/C0(?=00)/': invalid perl operator: '(?='"},
        {"expect rx /x{1000}y{1000}/", "line 1: bad pattern '/x{1000}y{1000}/': too large (costs"},
        {"wait \x1b]0;x\x07", "line 1: '\u241b]0;x\u2407' is not a time"},
        {"", "the script has no steps, only blank lines and comments"},
        {"\xEF\xBB\xBF# only a comment\n\n", "the script has no steps"},
        {"expect rx /C0", "line 1: missing closing '/' of the pattern"},
        {"expect rx \"C0\" within", "line 1: missing time after 'within'"},
        {"expect tx \"C0\"", "line 1: expected 'expect rx' or 'expect no rx'"},
    };
    for (const auto& c : cases) {
        try {
            ParseScript(c.script);
            ADD_FAILURE() << "accepted: " << c.script;
        } catch (const ScriptError& e) {
            EXPECT_TRUE(std::string(e.what()).starts_with(c.error))
                << c.script << "\n  gave: " << e.what();
        }
    }
}

// The link as the runner sees it, with the radio's lines all there at the first step.
class ArrivedLines final : public RadioLink {
public:
    explicit ArrivedLines(std::vector<std::string> lines) : lines_(std::move(lines)) {}
    bool RunUntil(const std::function<bool()>& done, Clock::time_point deadline) override {
        for (const std::string& line : std::exchange(lines_, {})) onLogLine("RX : " + line);
        for (;;) {
            if (done && done()) return true;
            std::unique_lock lock(mutex_);
            if (!woken_.wait_until(lock, deadline, [this] { return std::exchange(woke_, false); }))
                return false;
        }
    }
    void Wake() override {
        const std::lock_guard lock(mutex_);
        woke_ = true;
        woken_.notify_one();
    }
    bool IsEstablished() const override { return true; }
    bool CanSend() const override { return true; }
    bool Send(const map27::SendRequest&) override { return true; }
    std::optional<std::string> PortError() const override { return std::nullopt; }

private:
    std::vector<std::string> lines_;
    std::mutex mutex_;
    std::condition_variable woken_;
    bool woke_ = false;
};

TEST(TestScriptRunner, ExpectationsTakeTheEarliestUntakenLine) {
    ArrivedLines link({"80", "C0 00", "C0 01"});
    std::ostringstream out;
    ScriptRunner runner(link, out);
    const auto results = runner.Run(ParseScript(
        "expect rx /^C0/ within 5s\nexpect rx /^C0/ within 5s\nexpect rx /^C0/ within 200ms\n"
        "expect rx \"80\" within 5s\n"));
    ASSERT_EQ(results.size(), 4U);
    const Verdict verdicts[] = {Verdict::Passed, Verdict::Passed, Verdict::Failed, Verdict::Passed};
    for (std::size_t i = 0; i < results.size(); ++i)
        EXPECT_EQ(results[i].verdict, verdicts[i]) << i;
    EXPECT_EQ(results[2].detail,
              "no line matching /^C0/ within 0.200 s; received instead:\n  RX : 80");
    EXPECT_GE(results[2].took, Duration(200));
    EXPECT_LT(results[2].took, Duration(2000));
}

TEST(TestScriptReport, JUnitCountsAndEscapes) {
    const std::vector<StepResult> results = {
        {1, "link within 5s", false, Verdict::Passed, {}, {}, {}},
        {2, "expect rx \"A<B & 'C'\"", true, Verdict::Passed, {}, {}, {}},
        {3, "expect rx /x/", true, Verdict::Failed, {}, {}, "received instead:\n  RX : \x01"},
        {4, "expect no rx", true, Verdict::Error, {}, {}, "not run: Comport lost"},
    };
    std::ostringstream xml;
    WriteJUnit(xml, "a&b.m27", results, Duration(1500));
    const std::string text = xml.str();
    EXPECT_NE(text.find("<testsuites tests=\"4\" failures=\"1\" errors=\"1\" time=\"1.500\">"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("name=\"line 2: expect rx &quot;A&lt;B &amp; &apos;C&apos;&quot;\""),
              std::string::npos);
    EXPECT_NE(text.find("<failure message=\"received instead:&#10;  RX : \u2401\">"),
              std::string::npos);
    EXPECT_NE(text.find("<error message=\"not run: Comport lost\">"), std::string::npos);
    EXPECT_NE(text.find("<testcase classname=\"a&amp;b.m27\" name=\"line 1: link within 5s\""),
              std::string::npos);
    // What XML cannot carry: a byte that is not UTF-8 (Latin-1 here) and U+FFFF.
    EXPECT_EQ(XmlEscape("caf\xE9 \xEF\xBF\xBF \xEF\xBF\xBD"), "caf\uFFFD \uFFFD \uFFFD");
}

}  // namespace
}  // namespace map27test
