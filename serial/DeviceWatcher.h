#pragma once
// Tells when the device node at a path is there again after it has gone (a USB adapter plugged
// back in, a pseudo-terminal link pointed at a new peer), without polling: inotify watches the
// folder of the path and, for a symbolic link such as /dev/serial/by-id/..., the folders along
// the link's chain too. Folders that do not exist yet are covered by watching their nearest
// existing ancestor. Every event is only a hint: the answer always comes from stat() and access().
//
// Where inotify cannot be had (no instance left, a folder that cannot be watched), NeedsPolling()
// is true: the owner then also asks IsPresent() on a timer of its own, about once a second.
//
// Threads: one owner at a time; the class holds no thread and never blocks.
#include <sys/types.h>

#include <optional>
#include <set>
#include <string>

class TDeviceWatcher {
public:
    enum class TMode { Inotify, Polling };

    // mode Polling leaves inotify aside (tests of the fallback).
    explicit TDeviceWatcher(std::string path, TMode mode = TMode::Inotify);
    ~TDeviceWatcher();
    TDeviceWatcher(const TDeviceWatcher&) = delete;
    TDeviceWatcher& operator=(const TDeviceWatcher&) = delete;

    const std::string& Path() const { return path_; }
    // Readable when something changed in a watched folder; -1 without inotify.
    int Descriptor() const { return inotifyFd_; }
    bool NeedsPolling() const { return inotifyFd_ < 0 || !allWatched_; }

    // Reads the events waiting on the descriptor, moves the watches to where the path now leads
    // and tells whether the device is present now. Never blocks.
    bool IsPresent();
    // IsPresent, but not for the very node that was at the path when the watcher began unless it
    // has been away since: a port that has just been lost may leave its node behind for a moment,
    // and opening that again would only lose it again. A pseudo-terminal is never plugged back in:
    // a new one that takes a lost one's number belongs to another program (a login session, a
    // test), so one counts as back only behind a link at the path that was made anew since the
    // watcher began (a socat or simulator link pointed at its new peer).
    bool IsBack();

    // A node (not a folder) is at path, after every link, and may be opened for reading and
    // writing.
    static bool NodePresent(const std::string& path);

private:
    void DrainEvents();
    void Rearm();

    std::string path_;
    int inotifyFd_ = -1;
    std::set<int> watches_;
    std::set<std::string> namesOnTheWay_;
    bool allWatched_ = false;
    std::optional<std::pair<dev_t, ino_t>> lostNode_;  // the node the watcher began with
    std::optional<std::pair<dev_t, ino_t>> firstLink_;  // the link at the path when it began
};
