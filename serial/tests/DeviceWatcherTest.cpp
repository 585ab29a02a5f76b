#include <gtest/gtest.h>
#include <poll.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "serial/DeviceWatcher.h"

namespace {

namespace fs = std::filesystem;

class TempFolder {
public:
    TempFolder() {
        char name[] = "/tmp/device-watcher-XXXXXX";
        path_ = ::mkdtemp(name);
    }
    ~TempFolder() { fs::remove_all(path_); }
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

void Touch(const fs::path& path) {
    std::ofstream(path.string()).put('x');
}

// Like a udev rule or a test re-pointing its port: the new link replaces the old one at once.
void RepointLink(const fs::path& link, const fs::path& target) {
    const fs::path fresh = link.string() + ".new";
    fs::create_symlink(target, fresh);
    fs::rename(fresh, link);
}

// The owner's wait: the descriptor wakes it within 5 s, or, polling, it asks once.
bool WakesUp(TDeviceWatcher& watcher) {
    if (watcher.NeedsPolling()) return true;
    pollfd ready{watcher.Descriptor(), POLLIN, 0};
    return ::poll(&ready, 1, 5000) == 1;
}

TEST(DeviceWatcher, SeesTheDeviceComeAndGo) {
    using Step = std::function<void(const fs::path& folder)>;
    const struct {
        const char* name;
        const char* device;  // relative to the folder
        Step before;         // before the watcher starts
        Step change;
        bool presentBefore;
        bool presentAfter;
        bool askBack = false;  // IsBack instead of IsPresent
        TDeviceWatcher::TMode mode = TDeviceWatcher::TMode::Inotify;
    } cases[] = {
        {"node created", "ttyUSB0", [](auto&) {}, [](auto& f) { Touch(f / "ttyUSB0"); }, false,
         true},
        {"node created in a folder made later", "serial/ttyUSB0", [](auto&) {},
         [](auto& f) {
             fs::create_directories(f / "serial");
             Touch(f / "serial/ttyUSB0");
         },
         false, true},
        {"node removed", "ttyUSB0", [](auto& f) { Touch(f / "ttyUSB0"); },
         [](auto& f) { fs::remove(f / "ttyUSB0"); }, true, false},
        {"target of a link created in another folder", "by-id/radio",
         [](auto& f) {
             fs::create_directories(f / "by-id");
             fs::create_directories(f / "pts");
             fs::create_symlink("../pts/3", f / "by-id/radio");
         },
         [](auto& f) { Touch(f / "pts/3"); }, false, true},
        {"link re-pointed at a new node", "radio",
         [](auto& f) {
             fs::create_directories(f / "pts");
             Touch(f / "pts/4");
             fs::create_symlink(f / "pts/3", f / "radio");
         },
         [](auto& f) { RepointLink(f / "radio", f / "pts/4"); }, false, true},
        {"link re-pointed, watched by asking", "radio",
         [](auto& f) {
             Touch(f / "4");
             fs::create_symlink(f / "3", f / "radio");
         },
         [](auto& f) { RepointLink(f / "radio", f / "4"); }, false, true, false,
         TDeviceWatcher::TMode::Polling},
        {"the lost node left behind is not back", "ttyUSB0", [](auto& f) { Touch(f / "ttyUSB0"); },
         [](auto& f) {
             fs::permissions(f / "ttyUSB0", fs::perms::owner_read, fs::perm_options::add);
         },
         false, false, true},
        {"a new node in place of the lost one is back", "ttyUSB0",
         [](auto& f) { Touch(f / "ttyUSB0"); },
         [](auto& f) {
             fs::remove(f / "ttyUSB0");
             Touch(f / "ttyUSB0");
         },
         false, true, true},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.name);
        TempFolder folder;
        item.before(folder.Path());
        TDeviceWatcher watcher((folder.Path() / item.device).string(), item.mode);
        EXPECT_EQ(watcher.NeedsPolling(), item.mode == TDeviceWatcher::TMode::Polling);
        const auto ask = [&] { return item.askBack ? watcher.IsBack() : watcher.IsPresent(); };
        EXPECT_EQ(ask(), item.presentBefore);
        item.change(folder.Path());
        if (item.presentAfter) {
            EXPECT_TRUE(WakesUp(watcher));
        }
        EXPECT_EQ(ask(), item.presentAfter);
        if (watcher.NeedsPolling()) continue;
        // Settled: nothing wakes its owner while nothing changes.
        watcher.IsPresent();
        pollfd ready{watcher.Descriptor(), POLLIN, 0};
        EXPECT_EQ(::poll(&ready, 1, 0), 0);
    }
}

}  // namespace
