#include "terminal/dialogs/MessageForm.h"

#include <QGuiApplication>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <exception>
#include <utility>

TDialogForm::TDialogForm(QWidget* parent) : QDialog(parent) {}

void TDialogForm::SetWindowRules(bool stayOnTop, bool resizable) {
    setWindowFlag(Qt::WindowStaysOnTopHint, stayOnTop);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(resizable);
    if (!resizable && layout() != nullptr) layout()->setSizeConstraint(QLayout::SetFixedSize);
    // Enter in a field must not press a send button; only a button marked default answers it.
    for (QPushButton* button : findChildren<QPushButton*>())
        if (!button->isDefault()) button->setAutoDefault(false);
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

void TDialogForm::RaiseErrorsLater(const std::function<void()>& action) {
    try {
        action();
    } catch (...) {
        QMetaObject::invokeMethod(
            this, [error = std::current_exception()] { std::rethrow_exception(error); },
            Qt::QueuedConnection);
    }
}

TMessageForm::TMessageForm(QWidget* parent) : TDialogForm(parent) {}

void TMessageForm::SetLinkGuard(std::function<bool()> isEstablished) {
    isEstablished_ = std::move(isEstablished);
}

bool TMessageForm::LinkUp() const {
    return isEstablished_ && isEstablished_();
}

void TMessageForm::RequestSend(int sendKind, int extra) {
    if (!LinkUp()) return;
    emit SendRequested(sendKind, extra);
}
