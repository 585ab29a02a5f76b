#include "MessageForm.h"

#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QShowEvent>
#include <utility>

TDialogForm::TDialogForm(QWidget* parent) : QDialog(parent) {}

void TDialogForm::SetWindowRules(bool stayOnTop, bool resizable) {
    setWindowFlag(Qt::WindowStaysOnTopHint, stayOnTop);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(resizable);
    if (!resizable && layout() != nullptr) layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void TDialogForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (centred_) return;  // later showings keep where the operator put it
    centred_ = true;
    QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

TMessageForm::TMessageForm(QWidget* parent) : TDialogForm(parent) {}

void TMessageForm::SetLinkGuard(std::function<bool()> isEstablished) {
    isEstablished_ = std::move(isEstablished);
}

bool TMessageForm::LinkUp() const { return isEstablished_ && isEstablished_(); }

void TMessageForm::RequestSend(int sendKind, int extra) {
    if (!LinkUp()) return;
    emit SendRequested(sendKind, extra);
}
