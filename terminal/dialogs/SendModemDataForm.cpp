#include "terminal/dialogs/SendModemDataForm.h"

namespace {
const HexTextFormLook kLook{"Send Modem Data",
                            "User Data",
                            "UDMemo",
                            "Clear User Data",
                            nullptr,
                            map27::SendKind::SendModemData,
                            false};
}

TSendModemDataForm::TSendModemDataForm(QWidget* parent) : THexTextForm(kLook, parent) {
    setObjectName(QStringLiteral("SendModemDataForm"));
}

void TSendModemDataForm::FillRequest(map27::SendRequest& request) const {
    request.modemDataText = Text().toStdString();
}
