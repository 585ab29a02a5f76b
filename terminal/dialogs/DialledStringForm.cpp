#include "terminal/dialogs/DialledStringForm.h"

namespace {
const HexTextFormLook kLook{"Dialled String",
                            "Dialled Digits",
                            "DDMemo",
                            "Clear Dialled Digits",
                            nullptr,
                            map27::SendKind::DialledString,
                            true};
}

TDialledStringForm::TDialledStringForm(QWidget* parent) : THexTextForm(kLook, parent) {
    setObjectName(QStringLiteral("DialledStringForm"));
}

void TDialledStringForm::FillRequest(map27::SendRequest& request) const {
    request.dialledText = Text().toStdString();
}
