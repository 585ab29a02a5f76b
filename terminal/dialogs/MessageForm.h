#pragma once
// Bases of the Talvane27 windows besides the main window. Each is created once at start, hidden,
// never destroyed; closing hides it. The windows hold no protocol state: a send action applies the
// link-state guard and then emits SendRequested; the main window gathers the request record from
// every window (FillRequest) and hands it to the link thread.
#include <QDialog>
#include <functional>

#include "map27/network/SendRequest.h"

// A window that opens in the centre of the screen the first time it is shown.
class TDialogForm : public QDialog {
    Q_OBJECT
public:
    explicit TDialogForm(QWidget* parent = nullptr);

protected:
    // stayOnTop: above every other window; resizable false: the frame keeps the layout's size.
    // Called once the controls exist.
    void SetWindowRules(bool stayOnTop, bool resizable);
    void showEvent(QShowEvent* event) override;
    // Runs an action started by a control's signal. An error it throws (a text that is not a
    // number) is thrown again from an event of its own, where the program's top-level handler
    // reports it, instead of unwinding through the control that emitted the signal.
    void RaiseErrorsLater(const std::function<void()>& action);

private:
    bool centred_ = false;
};

// A window whose inputs feed the request record, and that may ask for sends.
class TMessageForm : public TDialogForm {
    Q_OBJECT
public:
    explicit TMessageForm(QWidget* parent = nullptr);
    // isEstablished() false: every send action does nothing at all. Without a guard nothing is
    // sent.
    void SetLinkGuard(std::function<bool()> isEstablished);
    // Writes this window's inputs into the request record.
    virtual void FillRequest(map27::SendRequest& request) const = 0;

signals:
    // extra: InterrogationKind or VolumeCommand for the messages that take one, else -1.
    void SendRequested(int sendKind, int extra);

protected:
    bool LinkUp() const;                             // the guard
    void RequestSend(int sendKind, int extra = -1);  // guard, then emit

private:
    std::function<bool()> isEstablished_;
};
