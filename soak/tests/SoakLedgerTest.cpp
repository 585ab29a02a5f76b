// The soak's books: which arrivals are first, expected duplicates or faults, and which missing
// messages the link reported by restarting.
#include <gtest/gtest.h>

#include "soak/SoakLedger.h"

using namespace soak;

namespace {

TEST(SoakLedger, ArrivalsAreToldApartByTheRestartsSinceTheHandOver) {
    Ledger ledger(8);
    std::uint64_t restarts = 0;
    for (std::uint32_t n = 0; n < 6; ++n) ledger.HandedOver(n, restarts);
    ledger.HandedOver(0, 5);  // a second hand-over (a resend) keeps the first one's count
    EXPECT_EQ(ledger.HandedOverCount(), 6U);

    EXPECT_EQ(ledger.Arrived(0, restarts), Arrival::First);
    EXPECT_EQ(ledger.Arrived(0, restarts), Arrival::Unexplained);  // no restart: a link fault
    EXPECT_EQ(ledger.Arrived(1, restarts), Arrival::First);
    ++restarts;  // 2 .. 5 are on their way now: reported
    EXPECT_EQ(ledger.Arrived(1, restarts), Arrival::DuplicateAfterRestart);
    EXPECT_EQ(ledger.Arrived(2, restarts), Arrival::First);
    EXPECT_EQ(ledger.Arrived(2, restarts), Arrival::DuplicateAfterRestart);
    EXPECT_EQ(ledger.Arrived(3, restarts), Arrival::First);
    EXPECT_EQ(ledger.Arrived(6, restarts), Arrival::NeverSent);   // numbered but never sent
    EXPECT_EQ(ledger.Arrived(99, restarts), Arrival::NeverSent);  // beyond every number
    ledger.HandedOver(6, restarts);                               // after the restart
    EXPECT_EQ(ledger.OnTheirWay(restarts), 1U);                   // 6; the restart reported 4 and 5

    const LedgerSummary s = ledger.Summarise(restarts);
    EXPECT_EQ(s.handedOver, 7U);
    EXPECT_EQ(s.delivered, 4U);
    EXPECT_EQ(s.duplicatesAfterRestart, 2U);
    EXPECT_EQ(s.unexplainedDuplicates, 1U);
    EXPECT_EQ(s.neverSent, 2U);
    EXPECT_EQ(s.reported, 4U);           // 2 and 3 arrived after it, 4 and 5 never did
    EXPECT_EQ(s.lostWithReport, 2U);     // 4 and 5
    EXPECT_EQ(s.lostWithoutReport, 1U);  // 6: handed over after the last restart, never arrived
}

}  // namespace
