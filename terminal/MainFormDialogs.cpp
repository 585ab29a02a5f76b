// The main window's side of the other windows: creating them, opening them from the menus,
// gathering their inputs into the request record, and showing what the link reports in them.
#include <QTimer>

#include "terminal/LinkHost.h"
#include "terminal/MainForm.h"
#include "terminal/dialogs/TerminalDialogs.h"

struct TMainForm::Dialogs {
    // Created in this order at start; hidden, never destroyed while the program runs.
    std::unique_ptr<TVersionForm> version = std::make_unique<TVersionForm>();
    std::unique_ptr<TParameterForm> parameter = std::make_unique<TParameterForm>();
    std::unique_ptr<TManagementForm> management = std::make_unique<TManagementForm>();
    std::unique_ptr<TVCForm> volume = std::make_unique<TVCForm>();
    std::unique_ptr<TSSPForm> ssp = std::make_unique<TSSPForm>();
    std::unique_ptr<TTCForm> timerCheck = std::make_unique<TTCForm>();
    std::unique_ptr<TVariablesForm> variables = std::make_unique<TVariablesForm>();
    std::unique_ptr<TRadioControlForm> radioControl = std::make_unique<TRadioControlForm>();
    std::unique_ptr<TProtocolInfoForm> protocolInfo = std::make_unique<TProtocolInfoForm>();
    std::unique_ptr<TRadioTestForm> radioTest = std::make_unique<TRadioTestForm>();
    std::unique_ptr<TDialledStringForm> dialledString = std::make_unique<TDialledStringForm>();
    std::unique_ptr<TSendModemDataForm> sendModemData = std::make_unique<TSendModemDataForm>();
    std::unique_ptr<TDisconnectForm> disconnect = std::make_unique<TDisconnectForm>();
    std::unique_ptr<TDiversionRequestForm> diversion = std::make_unique<TDiversionRequestForm>();
    std::unique_ptr<TCallOptionForm> callOption = std::make_unique<TCallOptionForm>();

    // Every window whose inputs go into the request record.
    std::vector<TMessageForm*> MessageForms() const {
        return {parameter.get(),     management.get(),    volume.get(),        ssp.get(),
                radioControl.get(),  protocolInfo.get(),  radioTest.get(),     dialledString.get(),
                sendModemData.get(), disconnect.get(),    diversion.get(),     callOption.get()};
    }

    QWidget* Window(DialogWindow which) const {
        switch (which) {
            case DialogWindow::Management: return management.get();
            case DialogWindow::RadioControl: return radioControl.get();
            case DialogWindow::Volume: return volume.get();
            case DialogWindow::ProtocolInfo: return protocolInfo.get();
            case DialogWindow::SendModemData: return sendModemData.get();
            case DialogWindow::DialledString: return dialledString.get();
            case DialogWindow::DisconnectRqx: return disconnect.get();
            case DialogWindow::Diversion: return diversion.get();
            case DialogWindow::RadioTest: return radioTest.get();
            case DialogWindow::Test: return ssp.get();
            case DialogWindow::TimerCheck: return timerCheck.get();
            case DialogWindow::Variables: return variables.get();
            case DialogWindow::CallOption: return callOption.get();
        }
        return nullptr;
    }
};

void TMainForm::DialogsDeleter::operator()(Dialogs* dialogs) const { delete dialogs; }

void TMainForm::CreateDialogs() {
    dialogs_.reset(new Dialogs);
    for (TMessageForm* form : dialogs_->MessageForms()) {
        form->SetLinkGuard([this] { return link_->IsEstablished(); });
        connect(form, &TMessageForm::SendRequested, this,
                [this](int sendKind, int extra) { SendMessage(sendKind, extra); });
    }
    connect(dialogs_->ssp.get(), &TSSPForm::CrcErrorChanged, this,
            [this](bool checked) { link_->SetCrcErrorMode(checked); });
    connect(dialogs_->timerCheck.get(), &TTCForm::RefreshIntervalChanged, this, [this](int ms) {
        refreshMs_ = ms;
        if (ms <= 0) {
            valueTimer_.stop();
            return;
        }
        valueTimer_.setInterval(ms);
        // A refresh stopped by 0 starts again with the next interval.
        if (TestWindowsVisible() && !valueTimer_.isActive()) valueTimer_.start();
    });
    auto stopWhenBothHidden = [this] {
        if (!TestWindowsVisible()) valueTimer_.stop();
    };
    connect(dialogs_->timerCheck.get(), &TTCForm::Hidden, this, stopWhenBothHidden);
    connect(dialogs_->variables.get(), &TVariablesForm::Hidden, this, stopWhenBothHidden);
}

void TMainForm::FillDialogsRequest(map27::SendRequest& request) const {
    for (const TMessageForm* form : dialogs_->MessageForms()) form->FillRequest(request);
}

void TMainForm::ShowDialog(DialogWindow which) {
    QWidget* window = dialogs_->Window(which);
    if (window == nullptr) return;
    window->show();
    window->raise();
    window->activateWindow();
}

void TMainForm::ShowParametersModal() { dialogs_->parameter->exec(); }

void TMainForm::ShowVersionModal() { dialogs_->version->exec(); }

void TMainForm::PushParameters() {
    link_->SetParameters(dialogs_->parameter->ParameterTexts(), dialogs_->parameter->ArFunctionEnabled());
}

void TMainForm::SetCallOptionGroupsEnabled(bool enabled) {
    dialogs_->callOption->SetIncludePriorityEnabled(enabled);
}

void TMainForm::ApplyPersonality(const map27::PersonalityUpdate& update) {
    dialogs_->management->ApplyPersonality(update);
}

void TMainForm::ApplySettings(const map27::SettingsUpdate& update) {
    dialogs_->management->ApplyRadioSettings(update);
}

void TMainForm::ShowSentHeader(const std::array<std::uint8_t, 4>& header) {
    dialogs_->ssp->ShowSentHeader(header);
}

void TMainForm::ShowReceivedNs(int ns) { dialogs_->variables->ShowReceivedNs(static_cast<std::uint8_t>(ns)); }

void TMainForm::RefreshTestWindows(const map27::LinkSnapshot& snapshot) {
    if (dialogs_->timerCheck->isVisible()) dialogs_->timerCheck->ShowSnapshot(snapshot);
    if (dialogs_->variables->isVisible()) dialogs_->variables->ShowSnapshot(snapshot);
}

bool TMainForm::TestWindowsVisible() const {
    return dialogs_->timerCheck->isVisible() || dialogs_->variables->isVisible();
}

void TMainForm::HideDialogs() {
    for (DialogWindow which : {DialogWindow::Management, DialogWindow::RadioControl, DialogWindow::Volume,
                               DialogWindow::ProtocolInfo, DialogWindow::SendModemData,
                               DialogWindow::DialledString, DialogWindow::DisconnectRqx,
                               DialogWindow::Diversion, DialogWindow::RadioTest, DialogWindow::Test,
                               DialogWindow::TimerCheck, DialogWindow::Variables, DialogWindow::CallOption}) {
        dialogs_->Window(which)->hide();
    }
}
