#include "engineer/PortWriter.h"

#include <exception>
#include <utility>

namespace orrick {

TPortWriter::TPortWriter(TWriteBlock write, TFinished finished)
    : write_(std::move(write)), finished_(std::move(finished)), thread_([this] { Run(); }) {}

TPortWriter::~TPortWriter() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        offered_.reset();
    }
    wake_.notify_one();
    thread_.join();
}

bool TPortWriter::Offer(std::string block) {
    {
        const std::lock_guard lock(mutex_);
        if (busy_ || stopping_) return false;
        busy_ = true;
        offered_ = std::move(block);
        offeredGeneration_ = generation_;
    }
    wake_.notify_one();
    return true;
}

bool TPortWriter::Busy() const {
    const std::lock_guard lock(mutex_);
    return busy_;
}

void TPortWriter::Forget() {
    const std::lock_guard lock(mutex_);
    ++generation_;
}

void TPortWriter::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || offered_.has_value(); });
        if (stopping_) return;
        const std::string block = std::move(*offered_);
        offered_.reset();
        const std::uint64_t generation = offeredGeneration_;
        lock.unlock();
        std::string failure;
        try {
            write_(block);
        } catch (const std::exception& error) {
            failure = *error.what() != '\0' ? error.what() : "Unknown error";
        } catch (...) {
            failure = "Unknown error";
        }
        lock.lock();
        busy_ = false;
        // Under the lock, so that once Forget has returned nothing more is said of the block.
        if (generation == generation_) finished_(failure);
    }
}

}  // namespace orrick
