#pragma once
// LinkHost runs the MAP27 link session (map27/link/LinkSession.h: frame assembly, the reception
// supervision and the link engine) on a thread of its own, with its own event loop and real
// timers. The serial component's receive thread reads everything waiting in one read and queues
// the piece here; nothing waits in its handler. The windows queue their requests (restart, send,
// port changes) here; every session operation therefore runs to its end before the next without
// locks, and the waits for the port to drain never freeze a window. What the session reports comes
// back to the UI thread as queued signals. A snapshot of the engine's state, published after every
// operation, serves the guards and the test windows.
#include <QObject>
#include <QString>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "map27/link/LinkEngine.h"
#include "map27/network/Network.h"
#include "map27/network/SendRequest.h"

class QThread;
namespace map27 {
class CaptureRecorder;
}

class LinkHost : public QObject {
    Q_OBJECT
public:
    explicit LinkHost(QObject* parent = nullptr);
    ~LinkHost() override;
    LinkHost(const LinkHost&) = delete;
    LinkHost& operator=(const LinkHost&) = delete;

    // Port. CheckCommportValid waits for the answer; the others are queued in order.
    bool CheckCommportValid(const QString& comName);
    void SetCommPort(int comIndex);  // 0 = COM1 .. 3 = COM4
    void SetSpeed1200(bool is1200);  // port speed and the derived T1, T2(max)
    // Stops the link timers and closes the port; nothing is sent. Ends a wait for the port to drain.
    void ClosePort();
    // Opens the port; if that works, starts the link (first start) or restarts it. An open error is
    // reported and the link stays down.
    void OpenPortAndStartLink(bool firstStart);

    // Link. The parameter texts and AR function take effect at the next restart.
    void SetParameters(const map27::LinkParameterTexts& texts, bool arFunctionEnabled);
    void RestartLink();
    void Send(const map27::SendRequest& request);
    void SetCrcErrorMode(bool on);
    // Every frame written and every byte received from now on goes to the capture (none: no
    // capture). Fed on the link thread; a failure to write it is reported once.
    void SetCapture(std::shared_ptr<map27::CaptureRecorder> capture);

    // Stops the link timers, ends a reception in progress and closes the port, then returns. Nothing
    // is sent. Later requests are ignored.
    void Shutdown();

    // The longest a frame may take to arrive once its first byte is in (10 s); for tests. Queued,
    // like every request: it holds from the next frame on.
    void SetReceptionSupervision(std::chrono::milliseconds time);

    map27::LinkSnapshot Snapshot() const;
    bool IsEstablished() const;

signals:
    void LinkStatusChanged(const QString& panelText);
    void LinkTimesChanged(const QString& t1Panel, const QString& t2maxPanel);
    void LogLine(const QString& line);
    void ReceivedNs(int ns);
    void PersonalityReceived(const map27::PersonalityUpdate& update);
    void SettingsReceived(const map27::SettingsUpdate& update);
    // After a message was built (before it is written). isRepeat for a T1 repeat.
    void MessageBuilt(int sendKind, const std::array<std::uint8_t, 4>& header, bool isRepeat);
    void ErrorOccurred(const QString& text);
    // The port's device has gone (adapter pulled, far end closed): the link is down and the port
    // closed; its return at the same path is waited for. Once per loss.
    void PortLost(const QString& device);
    // The lost port is open again (its device came back, or the operator chose it again).
    void PortRestored();

private:
    class Worker;
    friend class Worker;

    // Runs fn on the link thread, in order with everything else queued there.
    template <typename Fn>
    void Post(Fn&& fn);
    template <typename Fn>
    void PostAndWait(Fn&& fn);
    // Queues fn to run on the UI thread (this object's thread), in order. What a frame or a burst
    // brings (its log line, N(S), panels) wakes the UI thread once, not once an item: items wait
    // while a session operation holds them (HoldForUi), and while a batch is on its way.
    template <typename Fn>
    void ToUi(Fn&& fn);
    void HoldForUi(bool hold);
    void RunQueuedForUi();
    // Under forUiMutex_: whether a batch is due to be posted now; if so it counts as on its way.
    bool ClaimForUiPost();

    void Publish(const map27::LinkSnapshot& snapshot);
    void ReportFromLinkSide(const QString& text);

    QThread* thread_ = nullptr;
    QObject* linkContext_ = nullptr;  // lives on the link thread
    std::unique_ptr<Worker> worker_;  // used on the link thread only
    mutable std::mutex snapshotMutex_;
    map27::LinkSnapshot snapshot_;
    std::atomic<bool> cancelWaits_{false};
    std::atomic<bool> shutDown_{false};
    std::mutex forUiMutex_;
    // Guarded by forUiMutex_: the items, whether a batch is on its way, and the holds.
    std::deque<std::function<void()>> forUi_;
    bool forUiPosted_ = false;
    int forUiHeld_ = 0;
};
