#pragma once
// Writes the engineer window's lines to the port on a thread of its own, one block at a time, so
// that the window never waits on a port that does not take its bytes (a peer that stopped reading,
// flow control held off). A block offered while one is still being written is refused, not
// queued: the engineer sends again once the first has gone or failed.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace orrick {

class TPortWriter {
public:
    // Writes one whole block, throwing on failure (THComm::WriteData).
    using TWriteBlock = std::function<void(const std::string& block)>;
    // Called on the writer's thread when a block has been written (failure empty) or has failed
    // (the exception's text). It must not call the writer back.
    using TFinished = std::function<void(const std::string& failure)>;

    TPortWriter(TWriteBlock write, TFinished finished);
    // Waits for the block being written: close the port first, which cuts a blocked write short.
    ~TPortWriter();
    TPortWriter(const TPortWriter&) = delete;
    TPortWriter& operator=(const TPortWriter&) = delete;

    // Hands the block over and returns at once; false while another is still being written.
    bool Offer(std::string block);
    bool Busy() const;
    // The block being written is no longer wanted (the port is about to close): however it ends,
    // finished is not called for it.
    void Forget();

private:
    void Run();

    TWriteBlock write_;
    TFinished finished_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<std::string> offered_;   // taken by the thread
    bool busy_ = false;                    // from Offer until finished
    std::uint64_t generation_ = 0;         // Forget moves it on
    std::uint64_t offeredGeneration_ = 0;  // generation_ when the block was offered
    bool stopping_ = false;
    std::thread thread_;  // last: starts once everything above is set
};

}  // namespace orrick
