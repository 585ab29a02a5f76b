// THComm: the receive thread and the receive event it raises.
#include "serial/HcommSession.h"

using namespace hcomm;  // the component's own internals

void TReadThread::Execute(TPortSession& session) {
    const bool charMode = session.eventType == TEventType::CharEvent;
    std::uint64_t announced = 0;  // arrivals already announced to CreateCommEvent
    bool eventCharSeen = false;
    while (!session.stopping) {
        int queued = session.DriverInputQueue();
        if (charMode && queued > 0) {
            if (!session.ReadAhead(eventCharSeen)) {
                queued = -1;
            } else {
                queued = session.DriverInputQueue();
            }
        }
        if (queued < 0) {
            Report(session, kPortLost + session.device);
            return;
        }
        const std::uint64_t arrived = session.consumed + static_cast<std::uint64_t>(queued);
        const bool newArrival = charMode ? eventCharSeen : arrived > announced;
        if (newArrival && static_cast<std::size_t>(queued) + session.AheadCount() > 0) {
            eventCharSeen = false;
            announced = arrived;
            session.FetchErrorMask();  // fetched and cleared at every wake-up
            RaiseEvent(session);
            continue;
        }
        if (queued == 0) {
            announced = arrived;
        }
        pollfd fds[2] = {{session.wakeup.Get(), POLLIN, 0}, {session.Fd(), POLLIN, 0}};
        const bool watchPort = queued == 0;
        const int ready =
            session.sys.Poll(fds, watchPort ? 2 : 1, watchPort ? -1 : session.RecheckIntervalMs());
        if (ready < 0 && errno != EINTR) {
            Report(session, kPortLost + session.device);
            return;
        }
        if (ready > 0 && watchPort && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            Report(session, kPortLost + session.device);
            return;
        }
    }
}

void TReadThread::RaiseEvent(TPortSession& session) {
    try {
        owner_.CreateCommEvent();
    } catch (const std::exception& error) {
        Report(session, error.what());
    } catch (...) {
        Report(session, kUnknownHandlerError);
    }
}

// Errors that a close causes (a read cut short by it) are not worth a report.
void TReadThread::Report(TPortSession& session, const std::string& message) {
    if (session.stopping || !owner_.OnCommError) {
        return;
    }
    try {
        owner_.OnCommError(message);
    } catch (...) {
        // Nowhere left to report to; the thread must survive its reporter.
    }
}

void THComm::CreateCommEvent() {
    const auto session = impl_->Current();
    if (!session || session->stopping) {
        return;
    }
    session->FetchErrorMask();
    const int queued = session->DriverInputQueue();
    if (queued < 0) {
        return;
    }
    std::uint32_t size =
        static_cast<std::uint32_t>(static_cast<std::size_t>(queued) + session->AheadCount());
    if (session->eventType == TEventType::RxEvent && size < impl_->rxThreshold) {
        return;
    }
    if (OnCommEvent) {
        OnCommEvent(*this, size);
    }
}

bool THComm::WaitForInput(int timeoutMs) {
    const auto session = impl_->Current();
    if (!session || session->stopping) {
        return false;
    }
    TSerialSystem& sys = session->sys;
    const std::int64_t end = sys.NowMs() + timeoutMs;
    for (;;) {
        if (session->AheadCount() > 0) {
            return true;
        }
        // poll() alone tells a byte waiting (also one already there) and a port that has gone; a
        // line of a busy stream then costs one system call here, not three.
        const std::int64_t remaining = end - sys.NowMs();
        pollfd fds[2] = {{session->Fd(), POLLIN, 0}, {session->wakeup.Get(), POLLIN, 0}};
        const int ready = sys.Poll(fds, 2, timeoutMs < 0 ? -1 : PollTimeout(remaining));
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (ready > 0) {
            if (fds[1].revents != 0) {
                return false;  // closing
            }
            if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                return session->DriverInputQueue() > 0;  // what a port that has gone left behind
            }
            if ((fds[0].revents & POLLIN) != 0) {
                return true;
            }
        }
        if (timeoutMs >= 0 && end - sys.NowMs() <= 0) {
            return false;
        }
    }
}
