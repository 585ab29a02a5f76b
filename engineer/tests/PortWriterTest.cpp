#include "engineer/PortWriter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// A port whose writes wait until the test lets them through.
struct HeldPort {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    std::vector<std::string> written;
    std::vector<std::string> outcomes;

    void Write(const std::string& block) {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return open; });
        if (block == "refused") throw std::runtime_error("Write data Timeout");
        written.push_back(block);
    }
    void Finished(const std::string& failure) {
        const std::lock_guard lock(mutex);
        outcomes.push_back(failure);
        changed.notify_all();
    }
    void Let(bool through) {
        const std::lock_guard lock(mutex);
        open = through;
        changed.notify_all();
    }
    bool WaitForOutcomes(std::size_t count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10),
                                [&] { return outcomes.size() == count; });
    }
};

TEST(PortWriter, OneBlockAtATimeEachOutcomeOnceAndNoneOfAForgottenOne) {
    HeldPort port;
    orrick::TPortWriter writer([&](const std::string& block) { port.Write(block); },
                               [&](const std::string& failure) { port.Finished(failure); });
    EXPECT_FALSE(writer.Busy());
    EXPECT_TRUE(writer.Offer("first"));
    EXPECT_TRUE(writer.Busy());
    EXPECT_FALSE(writer.Offer("second")) << "refused, not queued, while the first is written";
    port.Let(true);
    ASSERT_TRUE(port.WaitForOutcomes(1));
    EXPECT_TRUE(writer.Offer("refused"));
    ASSERT_TRUE(port.WaitForOutcomes(2));
    EXPECT_EQ(port.outcomes, (std::vector<std::string>{"", "Write data Timeout"}));

    port.Let(false);
    ASSERT_TRUE(writer.Offer("third"));
    writer.Forget();
    port.Let(true);
    for (int i = 0; i < 1000 && writer.Busy(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(writer.Busy());
    const std::lock_guard lock(port.mutex);
    EXPECT_EQ(port.written, (std::vector<std::string>{"first", "third"}));
    EXPECT_EQ(port.outcomes.size(), 2U) << "a forgotten block is not reported";
}

}  // namespace
