#pragma once
// The soak's books for one direction: every message carries its number; the ledger knows when
// each was handed to the link and how often it arrived, and counts link restarts in between, so a
// missing or doubled message is told apart from one the link reported by restarting.
#include <cstdint>
#include <map>
#include <vector>

namespace soak {

enum class Arrival : std::uint8_t {
    First,                  // the message arrived for the first time
    DuplicateAfterRestart,  // again, after a restart left its fate open: expected
    Unexplained,            // again, with no restart since it was handed over: a link fault
    NeverSent,              // a number that was never handed over: a damaged message
};

struct LedgerSummary {
    std::uint64_t handedOver = 0;
    std::uint64_t delivered = 0;               // arrived at least once
    std::uint64_t duplicatesAfterRestart = 0;  // further arrivals explained by a restart
    std::uint64_t unexplainedDuplicates = 0;
    std::uint64_t neverSent = 0;
    std::uint64_t reported = 0;           // a restart came while it was on its way
    std::uint64_t lostWithReport = 0;     // never arrived; a restart came after its hand-over
    std::uint64_t lostWithoutReport = 0;  // never arrived; no restart since its hand-over
};

class Ledger {
public:
    explicit Ledger(std::uint32_t capacity) : records_(capacity) {}

    // restarts: the link restarts counted so far (it only grows).
    void HandedOver(std::uint32_t number, std::uint64_t restarts);
    Arrival Arrived(std::uint32_t number, std::uint64_t restarts);
    // Handed over since the last restart and not yet arrived: what the sender still waits for.
    // One on its way at a restart may have been dropped, and the restart reported it.
    std::uint64_t OnTheirWay(std::uint64_t restarts);
    std::uint64_t HandedOverCount() const { return handedOver_; }
    LedgerSummary Summarise(std::uint64_t restarts) const;

private:
    struct Record {
        bool handedOver = false;
        bool reported = false;
        std::uint32_t arrivals = 0;
        std::uint64_t restartsAtHandOver = 0;
    };
    std::vector<Record> records_;
    std::map<std::uint32_t, std::uint64_t> onTheirWay_;  // number -> restarts at its hand-over
    std::uint64_t handedOver_ = 0, delivered_ = 0;
    std::uint64_t duplicatesAfterRestart_ = 0, unexplained_ = 0, neverSent_ = 0;
};

}  // namespace soak
