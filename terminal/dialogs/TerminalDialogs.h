#pragma once
// The windows of Talvane27 besides the main window. Each is created once at start, hidden, never
// destroyed; closing hides it. They hold no protocol state: a send action applies the link-state
// guard and then emits SendRequested; the main window gathers the request record from every window
// (FillRequest) and hands it to the link thread.
#include <QDialog>
#include <array>
#include <cstdint>
#include <functional>

#include "LinkEngine.h"
#include "Network.h"
#include "SendRequest.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

// Base of every window that asks for sends.
class TMessageForm : public QDialog {
    Q_OBJECT
public:
    explicit TMessageForm(QWidget* parent = nullptr);
    // isEstablished() false: every send action does nothing at all.
    void SetLinkGuard(std::function<bool()> isEstablished);
    // Writes this window's inputs into the request record.
    virtual void FillRequest(map27::SendRequest& request) const = 0;

signals:
    // extra: InterrogationKind or VolumeCommand for the messages that take one, else -1.
    void SendRequested(int sendKind, int extra);

protected:
    bool LinkUp() const;  // the guard
    void RequestSend(int sendKind, int extra = -1);  // guard, then emit

private:
    std::function<bool()> isEstablished_;
};

class TRadioControlForm;      // "Radio Control"            SendKind 178
class TVCForm;                // "VOLUME CONTROL"           182 (extra = VolumeCommand)
class TProtocolInfoForm;      // "Protocol Info"            180
class TSendModemDataForm;     // "Send Modem Data"          163
class TDialledStringForm;     // "Dialled String"           183
class TDisconnectForm;        // "Disconnect RQX"           166
class TDiversionRequestForm;  // "Diversion Request/Cancel" 135 / 167
class TRadioTestForm;         // "Radio Test"               1
class TManagementForm;        // "Radio Personality and Management " 176 (extra 0 or 2), 179
class TSSPForm;               // "Test"                     999

// The Voice/Modem Call Option window feeds Setup Voice and Emergency Speech Call.
class TCallOptionForm;
// Parameters, Timer Check, Variables, Version: see their own headers.
class TParameterForm;
class TTCForm;
class TVariablesForm;
class TVersionForm;

// Interface each of these offers to the main window (declared in their own headers):
//   TCallOptionForm:  void FillRequest(map27::SendRequest&) const;
//                     void SetIncludePriorityEnabled(bool);   // Emergency call disables the two groups
//   TParameterForm:   map27::LinkParameterTexts ParameterTexts() const;
//                     bool ArFunctionEnabled() const;         // "AR function" = "Enable"
//                     void FillRequest(map27::SendRequest&) const;  // arText, sstMstItem
//   TManagementForm:  void ApplyPersonality(const map27::PersonalityUpdate&);
//                     void ApplyRadioSettings(const map27::SettingsUpdate&);
//   TSSPForm:         bool CrcErrorChecked() const;  signal CrcErrorChanged(bool) (also cleared on hide)
//                     void ShowSentHeader(const std::array<std::uint8_t, 4>& header);  // Data2..4Edit
//   TTCForm:          void ShowSnapshot(const map27::LinkSnapshot&);
//                     signal RefreshIntervalChanged(int ms);   // Edit6; 0 stops the refresh
//                     signal Hidden();
//   TVariablesForm:   void ShowSnapshot(const map27::LinkSnapshot&);
//                     void ShowReceivedNs(std::uint8_t ns);    // NSEdit, "0A "
//                     signal Hidden();
//   TVersionForm:     a modal QDialog.
