#pragma once
// What the window tests share: a link guard the test controls, a record of the sends asked for,
// and a picture of every control's state to prove that a refused action changed nothing.
#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <string>
#include <utility>
#include <vector>

#include "terminal/dialogs/MessageForm.h"

// The errors that reached the application's top-level handler, oldest first.
std::vector<std::string>& RaisedErrors();

struct SendRecord {
    bool linkUp = true;
    std::vector<std::pair<int, int>> sends;  // (sendKind, extra)

    void Attach(TMessageForm& form) {
        form.SetLinkGuard([this] { return linkUp; });
        QObject::connect(&form, &TMessageForm::SendRequested,
                         [this](int kind, int extra) { sends.emplace_back(kind, extra); });
    }
};

template <typename T>
T* Child(const QWidget& form, const char* name) {
    return form.findChild<T*>(QString::fromLatin1(name));
}

// Text, check mark and enabled state of every control of the window.
inline QStringList ControlStates(const QWidget& form) {
    QStringList states;
    for (const QWidget* w : form.findChildren<QWidget*>()) {
        QString state = w->objectName() + QLatin1Char(':') +
                        (w->isEnabled() ? QLatin1Char('E') : QLatin1Char('d'));
        if (const auto* b = qobject_cast<const QAbstractButton*>(w))
            state += b->text() + (b->isChecked() ? QStringLiteral("[x]") : QStringLiteral("[ ]"));
        else if (const auto* e = qobject_cast<const QLineEdit*>(w))
            state += e->text();
        else if (const auto* c = qobject_cast<const QComboBox*>(w))
            state += c->currentText() + QString::number(c->currentIndex());
        else if (const auto* m = qobject_cast<const QPlainTextEdit*>(w))
            state += m->toPlainText();
        else if (const auto* l = qobject_cast<const QLabel*>(w))
            state += l->text();
        states << state;
    }
    return states;
}
