#include "tools/LineMatcher.h"

#include <utility>

namespace map27test {

// What the two threads share; the matcher's thread holds it too, so it may outlive the owner.
struct LineMatcher::Shared {
    struct Candidate {
        std::size_t index;
        std::string text;
    };

    std::mutex mutex;
    std::condition_variable wake;
    std::function<void()> onFound;
    std::shared_ptr<const ExpectRxStep> expect;  // null: no search
    std::deque<Candidate> candidates;
    std::optional<std::size_t> found;
    bool matching = false;
    bool finished = false;
};

LineMatcher::LineMatcher(std::function<void()> onFound) : shared_(std::make_shared<Shared>()) {
    shared_->onFound = std::move(onFound);
    thread_ = std::thread(Work, shared_);
}

LineMatcher::~LineMatcher() {
    bool matching = false;
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->finished = true;
        shared_->expect.reset();
        matching = shared_->matching;
    }
    shared_->wake.notify_one();
    // A match under way may take a while; the run does not wait for it.
    if (matching)
        thread_.detach();
    else
        thread_.join();
}

void LineMatcher::Search(const ExpectRxStep& expect) {
    const std::lock_guard lock(shared_->mutex);
    shared_->expect = std::make_shared<const ExpectRxStep>(expect);
    shared_->candidates.clear();
    shared_->found.reset();
}

void LineMatcher::Offer(std::size_t index, std::string text) {
    {
        const std::lock_guard lock(shared_->mutex);
        if (!shared_->expect || shared_->found) return;
        shared_->candidates.push_back({index, std::move(text)});
    }
    shared_->wake.notify_one();
}

std::optional<std::size_t> LineMatcher::Found() const {
    const std::lock_guard lock(shared_->mutex);
    return shared_->found;
}

bool LineMatcher::Stop() {
    const std::lock_guard lock(shared_->mutex);
    const bool cutShort = !shared_->found && (shared_->matching || !shared_->candidates.empty());
    shared_->expect.reset();
    shared_->candidates.clear();
    return cutShort;
}

void LineMatcher::Work(const std::shared_ptr<Shared>& shared) {
    std::unique_lock lock(shared->mutex);
    for (;;) {
        shared->wake.wait(lock, [&] { return shared->finished || !shared->candidates.empty(); });
        if (shared->finished) return;
        const std::shared_ptr<const ExpectRxStep> expect = shared->expect;
        const Shared::Candidate candidate = std::move(shared->candidates.front());
        shared->candidates.pop_front();
        shared->matching = true;
        lock.unlock();
        const bool matches = expect->Matches(candidate.text);
        lock.lock();
        shared->matching = false;
        // Still the same search: a line offered to one that has ended counts for nothing.
        if (!matches || shared->expect != expect) continue;
        shared->found = candidate.index;
        shared->candidates.clear();
        // Under the lock, so that it never runs once the owner has gone.
        if (shared->onFound) shared->onFound();
    }
}

}  // namespace map27test
