#include "tools/Script.h"

#include <gtest/gtest.h>

#include "map27/network/Network.h"
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
        "# a comment\n\n  link within 2s\r\nwait 500ms\nexpect rx \"C0 \\\"x\\\"\" within 1s\n"
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
        {"send raw B4 0", "line 1: odd number of hexadecimal digits"},
        {"send raw B4 GG", "line 1: 'GG' is not hexadecimal"},
        {"\nexpect rx \"C0 00", "line 2: missing closing quote"},
        {"expect rx C0 00", "line 1: the expected text must be quoted"},
        {"expect rx /C0(/", "line 1: bad pattern /C0(/"},
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

TEST(TestScriptReport, ExpectationsTakeTheEarliestUntakenLine) {
    const auto steps = ParseScript("expect rx /^C0/\nexpect rx /^C0/\nexpect rx \"80\"");
    ReceivedLines lines;
    lines.Add("80");
    lines.Add("C0 00");
    lines.Add("C0 01");
    const auto expect = [&](std::size_t i) { return std::get<ExpectRxStep>(steps[i].action); };
    ASSERT_NE(lines.Take(expect(0)), nullptr);
    EXPECT_EQ(*lines.Take(expect(1)), "C0 01");
    EXPECT_EQ(lines.Take(expect(1)), nullptr);
    EXPECT_EQ(lines.Untaken(), std::vector<std::string>{"80"});
    EXPECT_NE(lines.Take(expect(2)), nullptr);
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
    EXPECT_NE(text.find("<testsuites tests=\"3\" failures=\"1\" errors=\"1\" time=\"1.500\">"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("name=\"line 2: expect rx &quot;A&lt;B &amp; &apos;C&apos;&quot;\""),
              std::string::npos);
    EXPECT_NE(text.find("<failure message=\"received instead:&#10;  RX : \u2401\">"),
              std::string::npos);
    EXPECT_NE(text.find("<error message=\"not run: Comport lost\">"), std::string::npos);
    EXPECT_EQ(text.find("link within"), std::string::npos);  // only expectations are cases
}

}  // namespace
}  // namespace map27test
