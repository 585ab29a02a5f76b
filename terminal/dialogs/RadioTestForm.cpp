#include "terminal/dialogs/RadioTestForm.h"

namespace {
const HexTextFormLook kLook{"Radio Test",
                            "Test Controls",
                            "RadioTestMemo",
                            "Clear Test Controls",
                            "All Characters exept for 0-9, a-f and A-F are ignored",
                            map27::SendKind::RadioTest,
                            true};
}

TRadioTestForm::TRadioTestForm(QWidget* parent) : THexTextForm(kLook, parent) {
    setObjectName(QStringLiteral("RadioTestForm"));
}

void TRadioTestForm::FillRequest(map27::SendRequest& request) const {
    request.radioTestText = Text().toStdString();
}
