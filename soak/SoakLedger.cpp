#include "soak/SoakLedger.h"

namespace soak {

void Ledger::HandedOver(std::uint32_t number, std::uint64_t restarts) {
    if (number >= records_.size() || records_[number].handedOver) return;
    Record& r = records_[number];
    r.handedOver = true;
    r.restartsAtHandOver = restarts;
    ++handedOver_;
    onTheirWay_[number] = restarts;
}

std::uint64_t Ledger::OnTheirWay(std::uint64_t restarts) {
    std::erase_if(onTheirWay_, [restarts](const auto& entry) { return entry.second < restarts; });
    return onTheirWay_.size();
}

Arrival Ledger::Arrived(std::uint32_t number, std::uint64_t restarts) {
    if (number >= records_.size() || !records_[number].handedOver) {
        ++neverSent_;
        return Arrival::NeverSent;
    }
    Record& r = records_[number];
    onTheirWay_.erase(number);
    const bool restartedSince = restarts > r.restartsAtHandOver;
    if (++r.arrivals == 1) {
        ++delivered_;
        r.reported = restartedSince;
        return Arrival::First;
    }
    // A restart after the hand-over may have lost the acknowledgement of the first arrival;
    // the sender then sent it again.
    if (restartedSince) {
        ++duplicatesAfterRestart_;
        return Arrival::DuplicateAfterRestart;
    }
    ++unexplained_;
    return Arrival::Unexplained;
}

LedgerSummary Ledger::Summarise(std::uint64_t restarts) const {
    LedgerSummary s;
    s.handedOver = handedOver_;
    s.delivered = delivered_;
    s.duplicatesAfterRestart = duplicatesAfterRestart_;
    s.unexplainedDuplicates = unexplained_;
    s.neverSent = neverSent_;
    for (const Record& r : records_) {
        if (!r.handedOver) continue;
        if (r.arrivals > 0) {
            if (r.reported) ++s.reported;
        } else if (restarts > r.restartsAtHandOver) {
            ++s.reported;
            ++s.lostWithReport;
        } else {
            ++s.lostWithoutReport;
        }
    }
    return s;
}

}  // namespace soak
