#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "text/Pattern.h"

namespace {

using text::Pattern;
using text::PatternMatch;
using text::PatternOptions;
using Matches = std::vector<PatternMatch>;

TEST(Pattern, FindsEveryMatchWithItsByteOffsets) {
    struct Case {
        const char* source;
        PatternOptions options;
        std::string line;
        Matches expected;
    };
    const Case cases[] = {
        {"^RX : ", {}, "RX : RX : ", {{0, 5}}},
        {"ID:20[0-9]{2}$", {}, "PFIX:008  ID:2001", {{10, 7}}},
        {"ACK|NAK", {}, "NAK, then ACK", {{0, 3}, {10, 3}}},
        {"[[:digit:]]+", {}, "a12b345", {{1, 2}, {4, 3}}},
        {"\\bID\\b", {}, "IDS ID", {{4, 2}}},
        {"a*", {}, "baab", {{1, 2}}},      // empty matches are passed over
        {"é+", {}, "xééy", {{1, 4}}},      // two bytes a character
        {"x", {}, "\xFFx\xC3", {{1, 1}}},  // bytes that are not UTF-8 match nothing
        {"pfix", {.ignoreCase = true}, "PFIX pfix", {{0, 4}, {5, 4}}},
        {"a.c(", {.literal = true}, "abc( a.c(", {{5, 4}}},
        {"A.C", {.ignoreCase = true, .literal = true}, "a.c", {{0, 3}}},
        {"Z", {}, "ABC", {}},
    };
    for (const Case& c : cases) {
        const Pattern pattern(c.source, c.options);
        ASSERT_TRUE(pattern.IsValid()) << c.source << ": " << pattern.Error();
        EXPECT_EQ(pattern.FindAll(c.line), c.expected) << c.source << " in " << c.line;
        EXPECT_EQ(pattern.Matches(c.line), !c.expected.empty() || std::string(c.source) == "a*")
            << c.source;
    }
}

TEST(Pattern, RefusesWhatALinearTimeEngineCannotDoWithAReason) {
    for (const char* source : {"(a)\\1", "a(?=b)", "(?<!a)b", "(unclosed", "a{2,1}", "\xFF"}) {
        const Pattern pattern(source);
        EXPECT_FALSE(pattern.IsValid()) << source;
        EXPECT_FALSE(pattern.Error().empty()) << source;
        EXPECT_FALSE(pattern.Matches("a")) << source;
        EXPECT_TRUE(pattern.FindAll("a").empty()) << source;
    }
    EXPECT_EQ(Pattern("(a)\\1").Error(), "invalid escape sequence: '\\1'");
    EXPECT_EQ(Pattern(std::string(100, '(')).Error(), "missing ): '" + std::string(80, '(') + "...'");
}

TEST(Pattern, PatternsThatBacktrackingEnginesChokeOnFinishAndHugeOnesDoNotCrash) {
    const std::string line(100'000, 'A');
    for (const char* source : {"(A|AA)*B", "(A+)+B", "X.*.*.*Y", "((((A*)*)*)*)*B"})
        EXPECT_FALSE(Pattern(source).Matches(line)) << source;
    auto repeated = [](std::string_view piece, int times) {
        std::string text;
        for (int i = 0; i < times; ++i) text += piece;
        return text;
    };
    // Valid or refused, never a crash (a recursive parser would overflow its stack here).
    const std::string huge[] = {
        std::string(90'000, 'x'), repeated("(", 90'000) + "a" + repeated(")*", 90'000),
        repeated("(?:", 90'000) + "a" + repeated("){2}", 90'000), repeated("a|", 90'000) + "b"};
    for (const std::string& source : huge) {
        const Pattern pattern(source);
        EXPECT_EQ(pattern.IsValid(), pattern.Cost() > 0);
    }
    EXPECT_GT(Pattern(huge[0]).Cost(), 90'000u);
}

TEST(Pattern, CopiesMatchOnSeveralThreadsAtOnce) {
    const Pattern pattern("ID:[0-9]+");
    auto findMany = [copy = pattern] {
        for (int i = 0; i < 2000; ++i)
            EXPECT_EQ(copy.FindAll("PFIX:008  ID:" + std::to_string(i)).size(), 1u);
    };
    std::thread other(findMany);
    findMany();
    other.join();
}

}  // namespace
