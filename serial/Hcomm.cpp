// THComm: the timed reads and writes, purges, queue counts and the wait until sent.
#include "serial/HcommSession.h"

using namespace hcomm;  // the component's own internals

std::uint32_t THComm::ReadDataCounted(void* buffer, std::uint32_t count) {
    const auto session = impl_->Current();
    if (!session || session->stopping) {
        throw ECommError(kNotStarted);
    }
    TSerialSystem& sys = session->sys;
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    const std::int64_t start = sys.NowMs();
    const std::int64_t deadline = start + kDeadlinePerByteMs * count;
    const std::int64_t totalEnd = start + kReadTotalMs + kReadTotalPerByteMs * count;
    std::int64_t lastByte = -1;
    std::uint32_t done = 0;
    while (done < count) {
        const long got = session->TakeOrRead(bytes + done, count - done);
        if (got > 0) {
            done += static_cast<std::uint32_t>(got);
            lastByte = sys.NowMs();
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        // Nothing waits: with VMIN and VTIME 0 a terminal says so with 0 as well as with EAGAIN.
        if (got == 0 || errno == EAGAIN) {
            const std::int64_t end =
                lastByte < 0 ? totalEnd : std::min(totalEnd, lastByte + kReadIntervalMs);
            const std::int64_t now = sys.NowMs();
            if (now >= end) {
                break;  // the port time-out: deliver what has arrived
            }
            pollfd fds[2] = {{session->Fd(), POLLIN, 0}, {session->wakeup.Get(), POLLIN, 0}};
            const int ready = sys.Poll(fds, 2, PollTimeout(end - now));
            if (ready == 0) {
                break;
            }
            if (ready > 0 && fds[1].revents != 0) {
                throw ECommError(kNotStarted);  // closed meanwhile
            }
            const bool gone = ready > 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
            if ((ready > 0 && !gone) || (ready < 0 && errno == EINTR)) {
                continue;
            }
        }
        // The port has gone, or the driver failed.
        const int mask = session->FetchErrorMask();
        if (sys.NowMs() > deadline) {
            throw ECommError(kReadTimeout);
        }
        throw ECommError(kReadError, mask);
    }
    return done;
}

std::uint32_t THComm::ReadWaiting(void* buffer, std::uint32_t count) {
    const auto session = impl_->Current();
    if (!session || session->stopping) {
        throw ECommError(kNotStarted);
    }
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    std::uint32_t done = 0;
    while (done < count) {
        const bool fromDriver = session->AheadCount() == 0;
        const long got = session->TakeOrRead(bytes + done, count - done);
        if (got > 0) {
            done += static_cast<std::uint32_t>(got);
            // The driver gave less than asked: that was all it held, and asking again would only
            // hear "nothing" (a system call a piece on a busy line).
            if (fromDriver && done < count) break;
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        // Nothing more waits: with VMIN and VTIME 0 a terminal says so with 0 as well as EAGAIN.
        if (got == 0 || errno == EAGAIN) {
            break;
        }
        throw ECommError(kReadError, session->FetchErrorMask());
    }
    return done;
}

void THComm::ReadData(void* buffer, std::uint32_t count) {
    ReadDataCounted(buffer, count);
}

std::string THComm::ReadStringData(std::uint32_t count) {
    std::uint8_t buffer[kStringReadLimit];
    const std::uint32_t got = ReadDataCounted(buffer, std::min(count, kStringReadLimit));
    std::string text;
    for (std::uint32_t index = 0; index < got; ++index) {
        if (buffer[index] != 0) {
            text.push_back(static_cast<char>(buffer[index]));
        }
    }
    return text;
}

void THComm::WriteData(const void* buffer, std::uint32_t count) {
    const auto session = impl_->Current();
    if (!session || session->stopping) {
        throw ECommError(kNotStarted);
    }
    TSerialSystem& sys = session->sys;
    session->FetchErrorMask();
    int queued = 0;
    if (sys.Ioctl(session->Fd(), TIOCOUTQ, &queued) < 0 || queued < 0) {
        queued = 0;
    }
    const std::uint32_t outSize = impl_->outBuffSize;
    const auto queuedBytes = static_cast<std::uint32_t>(queued);
    const std::uint32_t room = outSize > queuedBytes ? outSize - queuedBytes : 0;
    if (count >= room) {
        throw ECommError(kTooMuchData);
    }
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    const std::int64_t start = sys.NowMs();
    const std::int64_t timeout = start + kWriteTotalMs + kWriteTotalPerByteMs * count;
    const std::int64_t deadline = start + kDeadlinePerByteMs * count;
    std::uint32_t done = 0;
    while (done < count) {
        const long sent = sys.Write(session->Fd(), bytes + done, count - done);
        if (sent > 0) {
            done += static_cast<std::uint32_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent == 0 || errno == EAGAIN) {
            const std::int64_t now = sys.NowMs();
            if (now >= timeout) {
                throw ECommError(kWriteTimeout);
            }
            pollfd fds[2] = {{session->Fd(), POLLOUT, 0}, {session->wakeup.Get(), POLLIN, 0}};
            const int ready = sys.Poll(fds, 2, PollTimeout(timeout - now));
            if (ready == 0) {
                throw ECommError(kWriteTimeout);
            }
            if (ready > 0 && fds[1].revents != 0) {
                throw ECommError(kNotStarted);  // closed meanwhile
            }
            if ((ready > 0 && (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) == 0) ||
                (ready < 0 && errno == EINTR)) {
                continue;
            }
        }
        const int mask = session->FetchErrorMask();
        if (sys.NowMs() > deadline) {
            throw ECommError(kWriteTimeout);
        }
        throw ECommError(kWriteError, mask);
    }
}

std::uint32_t THComm::LargestWrite() const {
    return impl_->outBuffSize > 0 ? impl_->outBuffSize - 1 : 0;
}

void THComm::WriteStringData(const std::string& text) {
    WriteData(text.data(), static_cast<std::uint32_t>(text.size()));
}

void THComm::WriteStop() {
    if (const auto session = impl_->Current()) {
        session->sys.Ioctl(session->Fd(), TIOCSBRK, nullptr);
    }
}

void THComm::WriteRestart() {
    if (const auto session = impl_->Current()) {
        session->sys.Ioctl(session->Fd(), TIOCCBRK, nullptr);
    }
}

void THComm::ClearInBuff() {
    const auto session = impl_->Current();
    if (!session) {
        return;
    }
    std::lock_guard lock(session->aheadMutex);
    session->ahead.clear();
    const int queued = session->DriverInputQueue();
    session->sys.Flush(session->Fd(), TCIFLUSH);
    if (queued > 0) {
        session->consumed += static_cast<std::uint64_t>(queued);
    }
}

void THComm::ClearOutBuff() {
    if (const auto session = impl_->Current()) {
        session->sys.Flush(session->Fd(), TCOFLUSH);
    }
}

std::int32_t THComm::CountInBuff() {
    const auto session = impl_->Current();
    if (!session) {
        return -1;
    }
    const int queued = std::max(session->DriverInputQueue(), 0);
    return static_cast<std::int32_t>(static_cast<std::size_t>(queued) + session->AheadCount());
}

std::int32_t THComm::CountOutBuff() {
    const auto session = impl_->Current();
    if (!session) {
        return -1;
    }
    int queued = 0;
    return session->sys.Ioctl(session->Fd(), TIOCOUTQ, &queued) < 0 ? 0 : queued;
}

bool THComm::WaitUntilSent(int timeoutMs) {
    const auto session = impl_->Current();
    if (!session || session->stopping) {
        return false;
    }
    TSerialSystem& sys = session->sys;
    const std::int64_t end = sys.NowMs() + timeoutMs;
    // The driver's queue is what is not yet sent; tcdrain would also wait for the UART's FIFO but
    // cannot be cut short by a close, so the queue is watched with sleeps sized to what remains
    // (at most 100 ms, so a purge meanwhile is noticed soon).
    for (;;) {
        int queued = 0;
        if (sys.Ioctl(session->Fd(), TIOCOUTQ, &queued) < 0) {
            return IsUnsupported(errno);
        }
        if (queued <= 0) {
            return true;
        }
        std::int64_t wait = std::clamp<std::int64_t>(session->SendTimeMs(queued), 1, 100);
        if (timeoutMs >= 0) {
            const std::int64_t remaining = end - sys.NowMs();
            if (remaining <= 0) {
                return false;
            }
            wait = std::min(wait, remaining);
        }
        pollfd wake{session->wakeup.Get(), POLLIN, 0};
        if (sys.Poll(&wake, 1, PollTimeout(wait)) > 0) {
            return false;
        }
    }
}
