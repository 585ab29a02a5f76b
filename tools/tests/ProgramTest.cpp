// The map27test program against the radiosim program on a pseudo-terminal, as CI runs it: COM1
// points at radiosim through a private halberd/ports.conf.
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "soak/RadiosimChild.h"

extern char** environ;

using namespace std::chrono_literals;

namespace {

// A stopped run ends within a second, and a step within half a second of its deadline; a
// sanitizer makes every program several times slower.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kSlowdown = 3;
#else
constexpr int kSlowdown = 1;
#endif
constexpr auto kStopTime = kSlowdown * 1s;
constexpr double kLateness = kSlowdown * 0.5;

struct ProgramRun {
    int status = -1;  // exit status, -1 when it did not end in time
    std::string output;
};

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/map27test-e2e.XXXXXX";
        ASSERT_NE(::mkdtemp(folder), nullptr);
        folder_ = folder;
        std::filesystem::create_directories(folder_ / "halberd");
        ::setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    void PointCom1At(const std::string& device) {
        std::ofstream(folder_ / "halberd/ports.conf") << "[ports]\nCOM1=" << device << '\n';
    }

    // radiosim on a new pseudo-terminal, COM1 pointed at it.
    std::unique_ptr<soak::RadiosimChild> StartRadiosim(std::vector<std::string> args) {
        args.push_back("--quiet");
        auto radiosim = std::make_unique<soak::RadiosimChild>(RADIOSIM_PROGRAM, args);
        device_ = radiosim->WaitForLine(20s);
        EXPECT_TRUE(device_.starts_with("/dev/")) << device_;
        PointCom1At(device_);
        return radiosim;
    }

    std::string WriteFile(const std::string& name, const std::string& text) {
        const std::string path = folder_ / name;
        std::ofstream(path) << text;
        return path;
    }

    std::string ReadFile(const std::string& name) {
        std::ifstream file(folder_ / name);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    // Starts map27test; what it prints is read back while it runs.
    static std::unique_ptr<soak::RadiosimChild> Start(
        const std::vector<std::string>& args, const std::string& program = MAP27TEST_PROGRAM) {
        return std::make_unique<soak::RadiosimChild>(program, args);
    }

    // Reads until the program ends; generous, so a slow machine never fails it.
    static ProgramRun Finish(soak::RadiosimChild& program, std::string output = {}) {
        ProgramRun run;
        run.output = std::move(output);
        const auto deadline = std::chrono::steady_clock::now() + 90s;
        while (std::chrono::steady_clock::now() < deadline) {
            for (const std::string& line : program.ReadLines()) run.output += line + '\n';
            const int status = program.Wait(50ms);
            if (status >= 0) {
                for (const std::string& line : program.ReadLines()) run.output += line + '\n';
                run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return run;
            }
        }
        return run;
    }

    ProgramRun RunProgram(const std::vector<std::string>& args,
                          const std::string& program = MAP27TEST_PROGRAM) {
        return Finish(*Start(args, program));
    }

    std::filesystem::path folder_;
    std::string device_;
};

struct Example {
    const char* script;
    std::vector<std::string> radiosimArgs;
};

void PrintTo(const Example& example, std::ostream* out) {
    *out << example.script;
}

class ExampleTest : public ProgramTest, public ::testing::WithParamInterface<Example> {};

TEST_P(ExampleTest, PassesAgainstRadiosim) {
    auto radiosim = StartRadiosim(GetParam().radiosimArgs);
    const ProgramRun run = RunProgram({std::string(EXAMPLES_DIR) + "/" + GetParam().script});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("0 failed; PASSED"), std::string::npos) << run.output;
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleTest,
                         ::testing::Values(Example{"personality.m27", {}},
                                           Example{"status.m27", {}},
                                           Example{"data-echo.m27", {"--echo"}}),
                         [](const auto& param) {
                             std::string name = param.param.script;
                             name = name.substr(0, name.find('.'));
                             std::erase(name, '-');
                             return name;
                         });

TEST_F(ProgramTest, WrongExpectationFailsAndShowsWhatCameInstead) {
    auto radiosim = StartRadiosim({});
    const std::string script = WriteFile("wrong.m27",
                                         "link within 5s\n"
                                         "send status 008 2001 01\n"
                                         "expect rx \"C0-00 ACK:Successful Transaction\"\n"
                                         "send interrogate network\n"
                                         "expect rx /Network Information/\n");
    const ProgramRun run =
        RunProgram({script, "--junit", folder_ / "report.xml", "--capture", folder_ / "wire.txt"});
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("line 3: expect rx \"C0-00 ACK:Successful Transaction\": FAIL"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("received instead:\n  RX : C0-00 ACK:Successful Transaction    "
                              "PFIX:008  ID:2001\n"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("line 5: expect rx /Network Information/: PASS"), std::string::npos);
    EXPECT_NE(run.output.find("5 steps: 4 passed, 1 failed; FAILED"), std::string::npos);
    const std::string report = ReadFile("report.xml");
    EXPECT_NE(report.find("<testsuites tests=\"5\" failures=\"1\" errors=\"0\""), std::string::npos)
        << report;
    // The wire capture: the first link request as it went, and the radio's frames.
    const std::string wire = ReadFile("wire.txt");
    EXPECT_NE(wire.find(" T>R 16 10 02 01 7F 01 01 10 03 F6 02\n"), std::string::npos) << wire;
    EXPECT_NE(wire.find(" R>T 16 10 02 04 01 01 00 C0 08 07 D1 00 00 10 03 0A FF\n"),
              std::string::npos)
        << wire;
}

// Nothing may be opened or sent for a script with an error: COM1 is a pseudo-terminal whose
// other end the test holds, and the first link request would show there.
TEST_F(ProgramTest, ScriptErrorsEndWithStatus2AndNothingSent) {
    int peer = -1, port = -1;
    ASSERT_EQ(::openpty(&peer, &port, nullptr, nullptr, nullptr), 0);
    PointCom1At(::ttyname(port));
    const struct {
        const char* script;
        const char* message;
    } cases[] = {
        {"link within 5s\nsend status 8 2001 1\nexpect rx \"C0\nwait 1s\n",
         "line 3: missing closing quote"},
        {"link within 5s\n\n# comment\nsned status 8 2001 1\n", "line 4: unknown step 'sned'"},
        {"link within 5s\nsend status 8 2001 1\nwait 10q\n",
         "line 3: '10q' is not a time (500ms or 2s)"},
        {"link within 5s\nsend status 8 abc 1\n", "line 2: 'abc' is not a valid integer value"},
        {"link within 5s\n\nexpect rx /(ACK) \\1/\n",
         "line 3: bad pattern '/(ACK) \\1/': invalid escape sequence: '\\1'"},
    };
    for (const auto& c : cases) {
        const ProgramRun run = RunProgram({WriteFile("bad.m27", c.script)});
        EXPECT_EQ(run.status, 2) << c.script << run.output;
        EXPECT_NE(run.output.find(std::string("bad.m27: ") + c.message), std::string::npos)
            << run.output;
    }
    ::fcntl(peer, F_SETFL, O_NONBLOCK);
    char byte = 0;
    EXPECT_EQ(::read(peer, &byte, 1), -1) << "something was sent";
    ::close(peer);
    ::close(port);
}

// A radio that never answers: the link step fails, the steps after it are not run (no send waits
// out its time), and every step counts as a failure in the report.
TEST_F(ProgramTest, NoLinkFailsAndRunsNothingMore) {
    int peer = -1, port = -1;
    ASSERT_EQ(::openpty(&peer, &port, nullptr, nullptr, nullptr), 0);
    PointCom1At(::ttyname(port));
    const std::string script = WriteFile(
        "silent.m27", "link within 500ms\nsend status 8 2001 1\nexpect rx /C0/ within 30s\n");
    const ProgramRun run = RunProgram({script, "--junit", folder_ / "silent.xml"});
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("line 1: link within 500ms: FAIL"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("line 2: send status 8 2001 1: not run"), std::string::npos);
    EXPECT_NE(ReadFile("silent.xml").find("tests=\"3\" failures=\"3\" errors=\"0\""),
              std::string::npos);
    ::close(peer);
    ::close(port);
}

TEST_F(ProgramTest, OptionErrorsEndWithStatus2) {
    const std::string script = WriteFile("ok.m27", "wait 0ms\n");
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{}, "no script given"},
        {{script, "--port", "COM5"}, "--port takes COM1, COM2, COM3 or COM4, not 'COM5'"},
        {{script, "--speed", "4800"}, "--speed takes 1200 or 9600, not '4800'"},
        {{script, "--junit"}, "--junit needs a value"},
        {{script, "--verbose"}, "unknown option '--verbose'"},
        {{script, "--port", "COM2", "--device", "/dev/null"},
         "--port and --device exclude each other"},
        {{folder_ / "missing.m27"}, "cannot read the script"},
        {{script, "--junit", "/nonexistent/report.xml"}, "cannot write the report"},
        {{script, "--capture", "/nonexistent/wire.txt"}, "cannot write the capture"},
        {{script, "--device", folder_ / "no-such-port"}, "cannot open"},
        // An unset variable in a CI job: never COM1, never a run without its report.
        {{script, "--device", "", "--speed", "9600"}, "--device needs a value, not an empty text"},
        {{script, "--port", "COM2", "--device", ""}, "--device needs a value, not an empty text"},
        {{script, "--junit", "", "--capture", ""}, "--junit needs a value, not an empty text"},
        {{""}, "the script's name is an empty text"},
        {{script, "--junit", "a.xml", "--junit", "b.xml"}, "--junit is given twice"},
        // The same file by other names: the script is never overwritten, no file holds two outputs.
        {{script, "--junit", folder_ / "same.out", "--capture", folder_ / "./same.out"},
         "--junit and --capture name the same file"},
        {{script, "--junit", folder_ / "link.m27"}, "the script and --junit name the same file"},
        {{script, "--capture", script}, "the script and --capture name the same file"},
    };
    std::filesystem::create_symlink(script, folder_ / "link.m27");
    for (const auto& c : cases) {
        const ProgramRun run = RunProgram(c.args);
        EXPECT_EQ(run.status, 2) << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
    }
    EXPECT_EQ(ReadFile("ok.m27"), "wait 0ms\n");
    EXPECT_FALSE(std::filesystem::exists(folder_ / "same.out"));
}

// The radio goes away in the middle of an expectation: that step fails, the run ends with status
// 2 and says why, and it never waits out the rest of the script.
TEST_F(ProgramTest, LostPortFailsTheRunningStepWithStatus2) {
    for (const bool killed : {true, false}) {
        auto radiosim = StartRadiosim({});
        const std::string script = WriteFile("lost.m27",
                                             "link within 5s\n"
                                             "expect rx \"never comes\" within 60s\n"
                                             "expect rx \"nor this\" within 60s\n");
        auto program = Start({script, "--device", device_, "--junit", folder_ / "lost.xml"});
        std::string output;
        for (std::string line; line.find("line 1: link") == std::string::npos;
             output += line + '\n') {
            line = program->WaitForLine(20s);
            ASSERT_FALSE(line.empty()) << output;
        }
        if (killed)
            radiosim.reset();  // SIGKILL: the pseudo-terminal's other end closes with it
        else
            radiosim->Command("quit");
        const ProgramRun run = Finish(*program, output);
        EXPECT_EQ(run.status, 2) << run.output;
        EXPECT_NE(run.output.find("line 2: expect rx \"never comes\" within 60s: ERROR"),
                  std::string::npos)
            << run.output;
        EXPECT_NE(run.output.find("map27test: Comport lost: " + device_), std::string::npos)
            << run.output;
        const std::string report = ReadFile("lost.xml");
        EXPECT_NE(report.find("tests=\"3\" failures=\"0\" errors=\"2\""), std::string::npos)
            << report;
    }
}

// A cancelled CI job: the run ends in order, with its report, and gives the port's exclusive use
// back, so the radio can be used again at once (not only by root).
TEST_F(ProgramTest, StopSignalEndsTheRunAndGivesThePortBack) {
    auto radiosim = StartRadiosim({});
    const std::string output = folder_ / "output.txt";
    std::vector<std::string> args = {MAP27TEST_PROGRAM, WriteFile("long.m27", "link\nwait 60s\n"),
                                     "--junit", folder_ / "stopped.xml"};
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);

    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (ReadFile("output.txt").find("line 1: link: ok") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        ::usleep(20'000);
    ::kill(pid, SIGTERM);
    int status = -1;
    while (::waitpid(pid, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline)
        ::usleep(20'000);
    ASSERT_TRUE(WIFEXITED(status)) << "did not end: " << ReadFile("output.txt");
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(ReadFile("output.txt").find("line 2: wait 60s: ERROR"), std::string::npos);
    EXPECT_NE(ReadFile("output.txt").find("map27test: interrupted by SIGTERM"), std::string::npos);
    EXPECT_NE(ReadFile("stopped.xml").find("</testsuites>"), std::string::npos);

    const int port = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(port, 0);
    int exclusive = -1;
    EXPECT_EQ(::ioctl(port, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(port);
}

// What a run's report and its summary line count, and its exit status: they always agree.
void ExpectCountsAgree(const std::string& report, const ProgramRun& run) {
    unsigned tests = 0, failures = 0, errors = 0;
    const auto suites = report.find("<testsuites ");
    ASSERT_NE(suites, std::string::npos) << report;
    ASSERT_EQ(std::sscanf(report.c_str() + suites,
                          "<testsuites tests=\"%u\" failures=\"%u\" errors=\"%u\"", &tests,
                          &failures, &errors),
              3);
    const std::string summary = "map27test: " + std::to_string(tests) +
                                " steps: " + std::to_string(tests - failures - errors) +
                                " passed, " + std::to_string(failures) + " failed";
    EXPECT_NE(run.output.find(summary), std::string::npos) << summary << "\n" << run.output;
    EXPECT_EQ(failures + errors == 0, run.status == 0) << report << run.output;
    EXPECT_EQ(run.output.find("; PASSED") != std::string::npos, run.status == 0);
}

// Every step that can fail is a test case of its own, so a send that never left shows as red.
TEST_F(ProgramTest, ReportCountsEveryStepAndAgreesWithTheExitStatus) {
    {
        int peer = -1, port = -1;  // a line with no radio on it
        ASSERT_EQ(::openpty(&peer, &port, nullptr, nullptr, nullptr), 0);
        PointCom1At(::ttyname(port));
        const ProgramRun run = RunProgram(
            {WriteFile("noradio.m27", "send status 008 2001 01\nexpect no rx within 1s\n"),
             "--junit", folder_ / "noradio.xml"});
        EXPECT_EQ(run.status, 1) << run.output;
        const std::string report = ReadFile("noradio.xml");
        EXPECT_NE(report.find("tests=\"2\" failures=\"1\" errors=\"0\""), std::string::npos)
            << report;
        EXPECT_NE(report.find("<failure message=\"not sent: the link was not established"),
                  std::string::npos);
        ExpectCountsAgree(report, run);
        ::close(peer);
        ::close(port);
    }
    auto radiosim = StartRadiosim({"--faults", "15,15", "--seed", "3"});
    const ProgramRun run =
        RunProgram({std::string(EXAMPLES_DIR) + "/status.m27", "--junit", folder_ / "faults.xml"});
    ExpectCountsAgree(ReadFile("faults.xml"), run);
}

// Whatever the script holds, the report is XML: a Latin-1 byte, U+FFFF, control characters.
TEST_F(ProgramTest, ReportIsWellFormedWhateverTheScriptHolds) {
    auto radiosim = StartRadiosim({});
    const std::string script =
        WriteFile("caf\xE9.m27",
                  "link within 5s\nexpect rx \"caf\xE9 \xEF\xBF\xBF \x01\x1B<&\" within 100ms\n");
    const ProgramRun run = RunProgram({script, "--junit", folder_ / "latin1.xml"});
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_EQ(run.output.find('\x1B'), std::string::npos) << "a raw escape reached the terminal";
    const std::string command = "xmllint --noout '" + (folder_ / "latin1.xml").string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << ReadFile("latin1.xml");
}

// A send raw and map27dump --message read the same text as the same bytes.
TEST_F(ProgramTest, OneHexReaderForBothTools) {
    auto radiosim = StartRadiosim({});
    const ProgramRun run =
        RunProgram({WriteFile("raw.m27", "link within 5s\nsend raw 80 08 7 D1 0 01\n"), "--capture",
                    folder_ / "raw.txt"});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(ReadFile("raw.txt").find(" T>R 16 10 02 04 01 01 00 80 08 07 D1 00 01 10 03 "),
              std::string::npos)
        << ReadFile("raw.txt");
    const ProgramRun typedShort = RunProgram({"--message", "80 08 7 D1 0 01"}, MAP27DUMP_PROGRAM);
    const ProgramRun typedLong = RunProgram({"--message", "80 08 07 D1 00 01"}, MAP27DUMP_PROGRAM);
    EXPECT_EQ(typedShort.status, 0) << typedShort.output;
    EXPECT_EQ(typedShort.output, typedLong.output);
}

// Blocked outside the link: on a report FIFO that nobody reads, on a script from a pipe whose
// writer stays open, on a standard output that nobody reads. A stop ends each within a second.
TEST_F(ProgramTest, StopSignalEndsARunBlockedOnAFileWithinASecond) {
    int peer = -1, port = -1;
    ASSERT_EQ(::openpty(&peer, &port, nullptr, nullptr, nullptr), 0);
    const std::string device = ::ttyname(port);
    ASSERT_EQ(::mkfifo((folder_ / "fifo.xml").c_str(), 0600), 0);
    std::string chatty;
    for (int i = 0; i < 5000; ++i) chatty += "wait 0ms\n";
    const struct {
        const char* what;
        std::vector<std::string> args;
    } cases[] = {
        {"report FIFO",
         {WriteFile("a.m27", "wait 0ms\n"), "--device", device, "--junit", folder_ / "fifo.xml"}},
        {"script pipe", {"/dev/stdin", "--device", device}},
        {"full output",
         {WriteFile("chatty.m27", chatty), "--device", device, "--junit", folder_ / "chatty.xml"}},
    };
    for (const auto& c : cases) {
        auto program = Start(c.args);  // its output is not read, its input stays open
        EXPECT_LT(program->Wait(2s), 0) << c.what << ": not blocked";
        program->Signal(SIGTERM);
        const auto stopped = std::chrono::steady_clock::now();
        const int status = program->Wait(10s);
        EXPECT_LT(std::chrono::steady_clock::now() - stopped, kStopTime) << c.what;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << c.what << ": " << status;
    }
    const std::string report = ReadFile("chatty.xml");
    EXPECT_NE(report.find("tests=\"5000\""), std::string::npos) << report.substr(0, 300);
    EXPECT_NE(report.find("</testsuites>"), std::string::npos);
    ::close(peer);
    ::close(port);
}

// Patterns that a backtracking engine takes minutes over, against the echo of a long data call:
// each fails by its own deadline, and the run goes on.
TEST_F(ProgramTest, CostlyPatternsEndByTheirDeadline) {
    auto radiosim = StartRadiosim({"--echo"});
    const std::string text(1900, 'A');
    const char* patterns[] = {"(A|AA)*B", "(A+)+B", "X.*.*.*Y"};
    std::string script =
        "link within 5s\nsend data 008 2001 " + text +
        "\nexpect rx /Data\\(7bit ASCII\\):A{1000}/ within 10s\nsend data 008 2001 " + text +
        "\nwait 2s\n";
    for (const char* pattern : patterns)
        script += "expect rx /" + std::string(pattern) + "/ within 2s\n";
    script += "send status 008 2001 01\nexpect rx /^C0-00 ACK/ within 5s\n";
    const ProgramRun run =
        RunProgram({WriteFile("costly.m27", script), "--device", device_, "--speed", "9600"});
    EXPECT_EQ(run.status, 1) << run.output;
    for (const char* pattern : patterns) {
        const std::string step = "expect rx /" + std::string(pattern) + "/ within 2s: FAIL (";
        const auto at = run.output.find(step);
        ASSERT_NE(at, std::string::npos) << step << "\n" << run.output;
        const double took = std::stod(run.output.substr(at + step.size()));
        EXPECT_GE(took, 2.0) << pattern;
        EXPECT_LE(took, 2.0 + kLateness) << pattern;
        // What it was matched against, and did not match: the echo of the long data call.
        EXPECT_NE(run.output.find(
                      "  RX : Receive MST  PFIX:008  ID:2001  Data(7bit ASCII):" + text + "\n", at),
                  std::string::npos);
    }
    EXPECT_NE(run.output.find("expect rx /^C0-00 ACK/ within 5s: PASS"), std::string::npos)
        << run.output;
}

// A stop while a pattern is being matched: the run ends in order at once, report and capture
// written.
TEST_F(ProgramTest, StopSignalDuringAnExpectationWritesTheReportAndCapture) {
    auto radiosim = StartRadiosim({"--echo"});
    const std::string script = "link within 5s\nsend data 008 2001 " + std::string(1900, 'A') +
                               "\nexpect rx /(A+)+B/ within 60s\n";
    auto program = Start({WriteFile("stop.m27", script), "--device", device_, "--speed", "9600",
                          "--junit", folder_ / "stop.xml", "--capture", folder_ / "stop.txt"});
    std::string output;
    for (std::string line; line.find("line 2: send data") == std::string::npos;
         output += line + '\n') {
        line = program->WaitForLine(20s);
        ASSERT_FALSE(line.empty()) << output;
    }
    program->Signal(SIGTERM);
    const auto stopped = std::chrono::steady_clock::now();
    const ProgramRun run = Finish(*program, output);
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, kStopTime);
    EXPECT_EQ(run.status, 2) << run.output;
    EXPECT_NE(run.output.find("line 3: expect rx /(A+)+B/ within 60s: ERROR"), std::string::npos)
        << run.output;
    const std::string report = ReadFile("stop.xml");
    EXPECT_NE(report.find("tests=\"3\" failures=\"0\" errors=\"1\""), std::string::npos) << report;
    EXPECT_NE(report.find("interrupted by SIGTERM"), std::string::npos);
    EXPECT_NE(ReadFile("stop.txt").find(" T>R 16 10 02 04 "), std::string::npos);
}

}  // namespace
