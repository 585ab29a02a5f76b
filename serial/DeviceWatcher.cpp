#include "serial/DeviceWatcher.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <utility>

namespace {

namespace fs = std::filesystem;

// A node appears by creation (udev, devpts), by a rename over the old name (a symbolic link
// pointed elsewhere at one stroke) or by a change of its owner or mode (udev finishing its rules:
// the node exists a moment before it may be opened). Its removal matters only for IsBack. A
// watched folder that goes away is watched again where the path now leads.
constexpr std::uint32_t kFolderEvents = IN_CREATE | IN_MOVED_TO | IN_ATTRIB | IN_DELETE |
                                        IN_MOVED_FROM | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// Links followed at most, as the kernel does before it gives ELOOP.
constexpr int kMaxLinks = 40;

bool IsFolder(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The folder itself, or its nearest ancestor that exists: the one whose change comes first.
fs::path ExistingFolder(fs::path folder) {
    if (folder.empty()) folder = ".";
    while (!IsFolder(folder) && folder.has_relative_path()) folder = folder.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

struct TWay {
    std::set<fs::path> folders;   // whose changes may make the path lead to a device
    std::set<std::string> names;  // of the path and of every link target along its chain
};

TWay WayOf(const std::string& path) {
    TWay way;
    fs::path current(path);
    for (int link = 0; link < kMaxLinks; ++link) {
        way.folders.insert(ExistingFolder(current.parent_path()));
        way.names.insert(current.filename().string());
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(current, error))) break;
        const fs::path target = fs::read_symlink(current, error);
        if (error) break;
        current =
            (target.is_absolute() ? target : current.parent_path() / target).lexically_normal();
    }
    return way;
}

}  // namespace

TDeviceWatcher::TDeviceWatcher(std::string path, TMode mode) : path_(std::move(path)) {
    if (mode == TMode::Inotify) {
        inotifyFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (inotifyFd_ >= 0) Rearm();
    }
    // After the watches are set, so that a removal from here on is seen.
    struct stat info {};
    if (::stat(path_.c_str(), &info) == 0) lostNode_.emplace(info.st_dev, info.st_ino);
}

TDeviceWatcher::~TDeviceWatcher() {
    if (inotifyFd_ >= 0) ::close(inotifyFd_);
}

bool TDeviceWatcher::IsPresent() {
    if (inotifyFd_ >= 0) {
        DrainEvents();
        Rearm();  // after the drain, so that a change made from here on raises a new event
    }
    return NodePresent(path_);
}

bool TDeviceWatcher::IsBack() {
    const bool present = IsPresent();
    struct stat info {};
    if (::stat(path_.c_str(), &info) != 0) {
        lostNode_.reset();
        return false;
    }
    return present && lostNode_ != std::pair{info.st_dev, info.st_ino};
}

bool TDeviceWatcher::NodePresent(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode) &&
           ::access(path.c_str(), R_OK | W_OK) == 0;
}

// Any event is a reason to look again; a removal of a name on the way also means that the node
// the watcher began with has been away, even if a new one with the same number took its place.
void TDeviceWatcher::DrainEvents() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(inotifyFd_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return;
        for (ssize_t offset = 0; offset < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            if ((event->mask & (IN_DELETE | IN_MOVED_FROM)) != 0 && event->len > 0 &&
                namesOnTheWay_.count(event->name) != 0) {
                lostNode_.reset();
            }
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

void TDeviceWatcher::Rearm() {
    std::set<int> wanted;
    allWatched_ = true;
    TWay way = WayOf(path_);
    namesOnTheWay_ = std::move(way.names);
    for (const fs::path& folder : way.folders) {
        // The same folder reached twice gives the same watch descriptor back.
        const int watch = ::inotify_add_watch(inotifyFd_, folder.c_str(), kFolderEvents);
        if (watch >= 0) {
            wanted.insert(watch);
        } else {
            allWatched_ = false;  // the owner covers what cannot be watched by asking
        }
    }
    for (const int watch : watches_) {
        if (wanted.count(watch) == 0) ::inotify_rm_watch(inotifyFd_, watch);
    }
    watches_ = std::move(wanted);
}
