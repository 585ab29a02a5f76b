// map27soak: Talvane27's link host (LinkHost over THComm, on its own thread, as the program runs
// it, without the windows) against the radiosim program on a pseudo-terminal for a long run. The
// terminal sends numbered short data calls that radiosim echoes back; radiosim also sends numbered
// calls of its own; radiosim damages and drops frames at random and falls silent now and then.
// At the end every message must have arrived, or the link must have reported it by restarting
// while it was on its way. See README.md for the figures it prints.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "map27/network/SendRequest.h"
#include "serial/PortNames.h"
#include "soak/RadiosimChild.h"
#include "soak/SoakLedger.h"
#include "terminal/LinkHost.h"
#include "terminal/tests/HostSender.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct SoakOptions {
    std::uint32_t messages = 100000;
    std::uint32_t seed = 1;
    std::uint32_t n1 = 0;               // the smallest frame: the shortest T1 (76 ms at 9600 bit/s)
    std::uint32_t silenceEvery = 5000;  // one silence in about this many messages
    std::uint32_t ownEvery = 10;        // radiosim sends one call of its own per this many
    std::string faults = "1,1";         // percent of radiosim's frames corrupted, dropped
};

const char kUsage[] =
    "usage: map27soak [MESSAGES] [--seed N] [--n1 N] [--faults CORRUPT,DROP] [--silence-every N]\n"
    "Runs Talvane27's link host against radiosim with faults; MESSAGES (100000)\n"
    "short data calls go to the radio and come back as echoes, and radiosim sends one call of\n"
    "its own per ten. The exit status is 1 when a message was lost without a report.\n";

std::uint32_t Number(const char* text, std::uint32_t min, std::uint32_t max, const char* what) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (*text == '\0' || *end != '\0' || errno != 0 || *text == '-' || value < min || value > max)
        throw std::invalid_argument(std::string(what) + ": '" + text + "' is not a number from " +
                                    std::to_string(min) + " to " + std::to_string(max));
    return static_cast<std::uint32_t>(value);
}

SoakOptions ParseSoakOptions(int argc, char** argv) {
    SoakOptions o;
    bool countGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) throw std::invalid_argument(a + " needs a value");
            return argv[++i];
        };
        if (a == "--seed")
            o.seed = Number(value(), 0, 0xFFFFFFFFU, "--seed");
        else if (a == "--n1")
            o.n1 = Number(value(), 0, 255, "--n1");
        else if (a == "--faults")
            o.faults = value();
        else if (a == "--silence-every")
            o.silenceEvery = Number(value(), 0, 0xFFFFFFFFU, "--silence-every");
        else if (!a.empty() && a[0] != '-' && !countGiven) {
            o.messages = Number(a.c_str(), 1, 10'000'000, "MESSAGES");
            countGiven = true;
        } else
            throw std::invalid_argument("unknown argument " + a);
    }
    return o;
}

// The text after "RX : " that the terminal's decoder makes of radiosim's calls to 008/2001.
const std::string kCallPrefix = "Receive SST  PFIX:008  ID:2001  Data(7bit ASCII):";
const std::string kAckPrefix = "C0-00 ACK:Successful Transaction";

// The number after the letter, or -1 when the text is not exactly letter and digits.
long long NumberAfter(char letter, const std::string& text) {
    if (text.size() < 2 || text.size() > 9 || text[0] != letter) return -1;
    for (std::size_t i = 1; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return -1;
    return std::stoll(text.substr(1));
}

// Everything the terminal side counts.
struct TerminalCounts {
    std::uint64_t restartsStarted = 0;  // restarts begun by the terminal's own link
    std::uint64_t t1Repeats = 0;
    std::uint64_t refusedRepeats = 0;    // frames the radio repeated after the first had arrived
    std::uint64_t acknowledgements = 0;  // C0-00 from the radio
    std::uint64_t echoes = 0, own = 0;   // arrivals, duplicates included
    std::uint64_t unexpected = 0;        // anything else: a damaged or foreign message
    std::uint64_t errors = 0;            // failures the terminal's side met (a throw, the line)
    std::vector<std::string> notes;      // the first few surprises, to show
};

std::string RadiosimProgram() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return "radiosim";
    return (self.parent_path() / "radiosim").string();
}

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

std::string Minutes(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%d:%04.1f", static_cast<int>(seconds) / 60,
                  seconds - 60.0 * (static_cast<int>(seconds) / 60));
    return text;
}

// Runs the event loop until done() holds or the time is up; returns whether done() held.
bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    QElapsedTimer clock;
    clock.start();
    QTimer wake;  // the loop sleeps until an event comes: this one looks at the clock
    wake.start(20);
    while (!done()) {
        if (clock.elapsed() >= limit.count()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

int RunSoak(const SoakOptions& options) {
    const auto started = Clock::now();
    soak::RadiosimChild radio(
        RadiosimProgram(),
        {"--quiet", "--echo", "--n1", std::to_string(options.n1), "--t0", "300", "--t3", "100",
         "--faults", options.faults, "--seed", std::to_string(options.seed)});
    const std::string path = radio.WaitForLine(5s);
    if (path.rfind("/dev/", 0) != 0) {
        std::fprintf(stderr, "map27soak: radiosim did not start: %s\n", path.c_str());
        return 2;
    }
    // COM1 leads to radiosim's pseudo-terminal through a configuration folder of our own, as
    // the operator would map it.
    QTemporaryDir config;
    if (!config.isValid()) {
        std::fprintf(stderr, "map27soak: cannot make a configuration folder\n");
        return 2;
    }
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    if (const std::string problem = WritePortsEntry("COM1", path); !problem.empty()) {
        std::fprintf(stderr, "map27soak: %s\n", problem.c_str());
        return 2;
    }

    const std::uint32_t ownCount = (options.messages + options.ownEvery - 1) / options.ownEvery;
    soak::Ledger echoes(options.messages), own(ownCount);
    TerminalCounts counts;
    std::vector<std::string> radioLines;  // the errors radiosim printed
    std::string statsLine;
    bool lineLost = false;
    auto note = [&](const std::string& text) {
        if (counts.notes.size() < 10) counts.notes.push_back(text);
    };

    LinkHost host;
    talvane::HostSender sender(host, QStringLiteral("COM1"));
    const auto restarts = [&] { return sender.Restarts(); };
    // radiosim drops what it had queued for the terminal at a restart, and says so: that is its
    // report, also of a call typed just before a restart the terminal had already counted.
    std::uint64_t radioDrops = 0;
    const auto reports = [&] { return restarts() + radioDrops; };
    std::uint64_t linkingShown = 0;
    QObject::connect(&host, &LinkHost::LinkStatusChanged, [&](const QString& text) {
        if (text == QLatin1String("Status   Link.....")) ++linkingShown;
        // The first one is the start, not a restart.
        counts.restartsStarted = linkingShown > 0 ? linkingShown - 1 : 0;
    });
    QObject::connect(&host, &LinkHost::MessageBuilt,
                     [&](int, const std::array<std::uint8_t, 4>&, bool isRepeat) {
                         if (isRepeat) ++counts.t1Repeats;
                     });
    QObject::connect(&host, &LinkHost::ErrorOccurred, [&](const QString& text) {
        ++counts.errors;
        if (text.contains(QLatin1String("lost"))) lineLost = true;
        note("terminal: " + text.toStdString());
    });
    QObject::connect(&host, &LinkHost::LogLine, [&](const QString& line) {
        if (line == QLatin1String("N(S)!=V(R)")) {
            ++counts.refusedRepeats;
            return;
        }
        if (!line.startsWith(QLatin1String("RX : "))) return;
        const std::string body = line.mid(5).toStdString();
        if (body.rfind(kAckPrefix, 0) == 0) {
            ++counts.acknowledgements;
            return;
        }
        const std::string text =
            body.rfind(kCallPrefix, 0) == 0 ? body.substr(kCallPrefix.size()) : std::string();
        const long long echoNumber = NumberAfter('T', text);
        const long long ownNumber = NumberAfter('R', text);
        soak::Arrival arrival;
        if (echoNumber >= 0) {
            ++counts.echoes;
            arrival = echoes.Arrived(static_cast<std::uint32_t>(echoNumber), reports());
        } else if (ownNumber >= 0) {
            ++counts.own;
            arrival = own.Arrived(static_cast<std::uint32_t>(ownNumber), reports());
        } else {
            ++counts.unexpected;
            note("unexpected message: RX : " + body);
            return;
        }
        if (arrival == soak::Arrival::Unexplained)
            note("arrived again with no restart: " + text);
        else if (arrival == soak::Arrival::NeverSent)
            note("arrived but never sent: " + text);
    });
    QSocketNotifier radioOutput(radio.OutputFd(), QSocketNotifier::Read);
    QObject::connect(&radioOutput, &QSocketNotifier::activated, [&] {
        for (const std::string& line : radio.ReadLines()) {
            if (line.rfind("stats:", 0) == 0)
                statsLine = line;
            else if (line.find(" for the terminal dropped: ") != std::string::npos)
                ++radioDrops;
            else if (line.find("error") != std::string::npos)
                radioLines.push_back(line);
        }
        if (radio.Ended()) radioOutput.setEnabled(false);
    });

    map27::LinkParameterTexts texts;
    texts.n1 = std::to_string(options.n1);
    texts.t0 = "300";
    // A lost acknowledgement that gave credit back is repeated when the link has been idle for
    // T3: short, so such a loss costs a moment rather than ten seconds.
    texts.t3 = "100";
    host.SetCommPort(0);
    host.SetSpeed1200(false);
    host.SetParameters(texts, true);  // the radio's calls ask for an acknowledgement at once

    std::mt19937 random(options.seed);
    std::uint32_t nextEcho = 0, nextOwn = 0;
    std::uint64_t silences = 0;
    constexpr std::uint64_t kWindow = 4;  // messages on their way per direction, at most
    auto feed = [&] {
        sender.Pump();
        while (nextEcho < options.messages && sender.Waiting() == 0 &&
               echoes.OnTheirWay(reports()) < kWindow) {
            map27::SendRequest request;
            request.sendKind = map27::SendKind::DataCall;
            request.dataText = "T" + std::to_string(nextEcho);
            const std::uint32_t number = nextEcho++;
            sender.Queue(request, [&, number] {
                echoes.HandedOver(number, reports());
                if (options.silenceEvery > 0 && random() % options.silenceEvery == 0) {
                    ++silences;
                    radio.Command("silent " + std::to_string(1 + random() % 2));
                }
            });
            sender.Pump();
        }
        while (nextOwn < ownCount && own.OnTheirWay(reports()) < kWindow &&
               std::uint64_t{nextOwn} * options.ownEvery <= echoes.HandedOverCount()) {
            own.HandedOver(nextOwn, reports());
            radio.Command("sst 7bit 008 2001 R" + std::to_string(nextOwn++));
        }
    };
    // Acknowledgements change only the snapshot: look at it often.
    QTimer pump;
    pump.setTimerType(Qt::PreciseTimer);
    QObject::connect(&pump, &QTimer::timeout, feed);

    std::printf(
        "map27soak: %u messages to radiosim and back, %u of radiosim's own; seed %u; N1 %u; "
        "radiosim faults %s (%% corrupted,dropped), a silence in about every %u messages; "
        "Talvane27's LinkHost on COM1 = %s\n",
        options.messages, ownCount, options.seed, options.n1, options.faults.c_str(),
        options.silenceEvery, path.c_str());
    std::fflush(stdout);

    host.OpenPortAndStartLink(true);
    pump.start(1);
    auto finished = [&] {
        return nextEcho == options.messages && nextOwn == ownCount &&
               echoes.OnTheirWay(reports()) == 0 && own.OnTheirWay(reports()) == 0 &&
               sender.Waiting() == 0;
    };
    // Runs until everything has arrived; gives up when nothing arrives for a minute.
    bool stalled = false;
    std::uint64_t lastArrivals = 0, nextProgress = options.messages / 10;
    auto lastProgress = Clock::now();
    while (!finished() && !lineLost) {
        RunUntil([&] { return finished() || lineLost; }, 1s);
        const std::uint64_t arrivals = counts.echoes + counts.own + counts.acknowledgements;
        if (arrivals != lastArrivals) {
            lastArrivals = arrivals;
            lastProgress = Clock::now();
        } else if (Clock::now() - lastProgress > 60s) {
            stalled = true;
            break;
        }
        if (nextProgress > 0 && echoes.HandedOverCount() >= nextProgress) {
            const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
            std::printf("  %llu of %u sent, %llu restarts, %s\n",
                        static_cast<unsigned long long>(echoes.HandedOverCount()), options.messages,
                        static_cast<unsigned long long>(restarts()), Minutes(elapsed).c_str());
            std::fflush(stdout);
            while (nextProgress <= echoes.HandedOverCount()) nextProgress += options.messages / 10;
        }
    }
    // A moment more: a late duplicate would show now.
    RunUntil([&] { return lineLost; }, 500ms);
    pump.stop();

    radio.Command("stats");
    RunUntil([&] { return !statsLine.empty(); }, 3s);
    const long radioPeakKb = radio.PeakMemoryKb();
    // The terminal closes its port first, so the radio's going is no surprise to it.
    host.Shutdown();
    QCoreApplication::sendPostedEvents();
    radioOutput.setEnabled(false);
    radio.Command("quit");
    const int radioStatus = radio.Wait(5s);
    for (const std::string& line : radio.ReadLines())
        if (line.find("error") != std::string::npos) radioLines.push_back(line);
    const double wall = std::chrono::duration<double>(Clock::now() - started).count();

    const std::uint64_t restartCount = restarts();
    if (sender.Refused() > 0)
        note(std::to_string(sender.Refused()) + " messages refused by the host");

    const soak::LedgerSummary e = echoes.Summarise(reports());
    const soak::LedgerSummary o = own.Summarise(reports());
    // radiosim's figures come from its own wait: under ./run this process began as the shell that
    // ran the build, and RUSAGE_CHILDREN would count the compilers too.
    rusage self{};
    ::getrusage(RUSAGE_SELF, &self);
    const rusage& children = radio.Usage();
    auto u = [](std::uint64_t v) { return static_cast<unsigned long long>(v); };

    std::printf(
        "messages sent          terminal->radio %llu (each echoed back); radio->terminal %llu "
        "of its own, plus the echoes and an acknowledgement for every call taken\n",
        u(e.handedOver), u(o.handedOver));
    std::printf(
        "delivered              terminal->radio and back %llu of %llu; radio->terminal %llu "
        "of %llu; acknowledgements %llu\n",
        u(e.delivered), u(e.handedOver), u(o.delivered), u(o.handedOver),
        u(counts.acknowledgements));
    std::printf(
        "repeated               T1 repeats by the terminal %llu; repeats refused as already "
        "taken %llu; duplicates after a restart %llu; duplicates with no restart %llu\n",
        u(counts.t1Repeats), u(counts.refusedRepeats),
        u(e.duplicatesAfterRestart + o.duplicatesAfterRestart),
        u(e.unexplainedDuplicates + o.unexplainedDuplicates));
    std::printf("link restarts          %llu (%llu begun by the terminal); silences %llu\n",
                u(restartCount), u(counts.restartsStarted), u(silences));
    std::printf("radiosim               %s\n",
                statsLine.empty() ? "gave no stats" : statsLine.c_str() + 7);
    std::printf("reported at a restart  %llu messages were on their way when the link restarted\n",
                u(e.reported + o.reported));
    std::printf("lost with a report     %llu\n", u(e.lostWithReport + o.lostWithReport));
    std::printf("lost WITHOUT a report  %llu\n", u(e.lostWithoutReport + o.lostWithoutReport));
    std::printf(
        "peak memory            map27soak %.1f MB, radiosim %.1f MB (map27soak ru_maxrss, radiosim "
        "VmHWM)\n",
        static_cast<double>(self.ru_maxrss) / 1024.0, static_cast<double>(radioPeakKb) / 1024.0);
    std::printf(
        "CPU (user+sys)         map27soak %.1f s, radiosim %.1f s; wall %s (%.0f messages/s)\n",
        Seconds(self.ru_utime) + Seconds(self.ru_stime),
        Seconds(children.ru_utime) + Seconds(children.ru_stime), Minutes(wall).c_str(),
        static_cast<double>(e.delivered * 2 + o.delivered) / wall);

    std::vector<std::string> failures;
    if (e.lostWithoutReport + o.lostWithoutReport > 0)
        failures.push_back("messages lost without a report");
    if (e.unexplainedDuplicates + o.unexplainedDuplicates > 0)
        failures.push_back("messages arrived twice with no restart");
    if (e.neverSent + o.neverSent + counts.unexpected > 0)
        failures.push_back("damaged or unexpected messages arrived");
    if (stalled) failures.push_back("nothing arrived for a minute");
    if (counts.errors > 0) failures.push_back("the terminal's side met errors");
    if (!radioLines.empty()) failures.push_back("radiosim reported errors");
    if (lineLost) failures.push_back("the line was lost");
    if (radioStatus == -1)
        failures.push_back("radiosim did not end");
    else if (WIFSIGNALED(radioStatus))
        failures.push_back("radiosim crashed (signal " + std::to_string(WTERMSIG(radioStatus)) +
                           ")");
    else if (WEXITSTATUS(radioStatus) != 0)
        failures.push_back("radiosim ended with status " +
                           std::to_string(WEXITSTATUS(radioStatus)));
    for (const std::string& n : counts.notes) std::printf("  note: %s\n", n.c_str());
    for (std::size_t i = 0; i < radioLines.size() && i < 10; ++i)
        std::printf("  radiosim: %s\n", radioLines[i].c_str());
    if (radioLines.size() > 10)
        std::printf("  radiosim: ... %zu lines in all\n", radioLines.size());
    if (failures.empty()) {
        std::printf("result                 PASS\n");
        return 0;
    }
    std::string all;
    for (const std::string& f : failures) all += (all.empty() ? "" : "; ") + f;
    std::printf("result                 FAIL: %s\n", all.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    SoakOptions options;
    try {
        options = ParseSoakOptions(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "map27soak: %s\n%s", e.what(), kUsage);
        return 2;
    }
    try {
        return RunSoak(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "map27soak: %s\n", e.what());
        return 1;
    }
}
