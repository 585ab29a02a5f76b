#pragma once
// The windows of Talvane27 besides the main window. Each is created once at start, hidden, never
// destroyed; closing hides it. They hold no protocol state: a send action applies the link-state
// guard and then emits SendRequested; the main window gathers the request record from every window
// (FillRequest) and hands it to the link thread.
//
//   TRadioControlForm      "Radio Control"                      SendKind 178
//   TVCForm                "VOLUME CONTROL"                     182 (extra = VolumeCommand)
//   TProtocolInfoForm      "Protocol Info"                      180
//   TSendModemDataForm     "Send Modem Data"                    163
//   TDialledStringForm     "Dialled String"                     183
//   TDisconnectForm        "Disconnect RQX"                     166
//   TDiversionRequestForm  "Diversion Request/Cancel"           135 / 167
//   TRadioTestForm         "Radio Test"                         1
//   TManagementForm        "Radio Personality and Management "  176 (extra 0 or 2), 179
//   TSSPForm               "Test"                               999
//   TCallOptionForm        "Voice/Modem Call Option"   feeds Setup Voice and Emergency Speech Call
//   TParameterForm         "Parameters"                link parameter texts, AR, SST/MST
//   TTCForm                "Timer Check"               link timers, refresh interval
//   TVariablesForm         "Variables"                 link variables
//   TVersionForm           "VersionForm"               modal
#include "terminal/dialogs/MessageForm.h"

#include "terminal/dialogs/CallOptionForm.h"
#include "terminal/dialogs/DialledStringForm.h"
#include "terminal/dialogs/DisconnectForm.h"
#include "terminal/dialogs/DiversionRequestForm.h"
#include "terminal/dialogs/ManagementForm.h"
#include "terminal/dialogs/ParameterForm.h"
#include "terminal/dialogs/ProtocolInfoForm.h"
#include "terminal/dialogs/RadioControlForm.h"
#include "terminal/dialogs/RadioTestForm.h"
#include "terminal/dialogs/SSPForm.h"
#include "terminal/dialogs/SendModemDataForm.h"
#include "terminal/dialogs/TCForm.h"
#include "terminal/dialogs/VCForm.h"
#include "terminal/dialogs/VariablesForm.h"
#include "terminal/dialogs/VersionForm.h"
