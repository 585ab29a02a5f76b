#pragma once
// Finds the received line an expectation takes, on a thread of its own: however much a pattern
// costs against however long a line, the link keeps running, the step's deadline holds and a stop
// signal is acted on at once.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "tools/Script.h"

namespace map27test {

class LineMatcher {
public:
    // onFound runs on the matcher's thread once a search has found its line.
    explicit LineMatcher(std::function<void()> onFound);
    // Never waits for a match in progress: the thread finishes it and ends on its own.
    ~LineMatcher();
    LineMatcher(const LineMatcher&) = delete;
    LineMatcher& operator=(const LineMatcher&) = delete;

    // Starts looking for the earliest line that matches expect, among the lines offered from now
    // on in the order offered; ends any earlier search.
    void Search(const ExpectRxStep& expect);
    // A line to look at: index is the caller's, and comes back from Found.
    void Offer(std::size_t index, std::string text);
    // The line this search found, if it has.
    std::optional<std::size_t> Found() const;
    // Ends the search; what it found is what Found said last. True when it had not found its line
    // and lines were still to be matched: the search was cut short.
    bool Stop();

private:
    struct Shared;
    static void Work(const std::shared_ptr<Shared>& shared);

    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

}  // namespace map27test
