#pragma once
// How long the calling thread has waited to run so far, in total: the second figure Linux keeps in
// /proc/thread-self/schedstat. Zero where the system does not tell.
#include <chrono>

namespace orrick {

class TThreadRunDelay {
public:
    TThreadRunDelay();  // for the thread that makes it
    ~TThreadRunDelay();
    TThreadRunDelay(const TThreadRunDelay&) = delete;
    TThreadRunDelay& operator=(const TThreadRunDelay&) = delete;

    std::chrono::nanoseconds operator()() const;

private:
    int fd_ = -1;
};

}  // namespace orrick
