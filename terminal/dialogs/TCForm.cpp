#include "terminal/dialogs/TCForm.h"

#include <QGridLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <stdexcept>

#include "terminal/dialogs/DialogWidgets.h"

namespace {

QLineEdit* MakeDisplay(QWidget* parent, const QString& name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setReadOnly(true);
    return edit;
}

}  // namespace

TTCForm::TTCForm(QWidget* parent) : TDialogForm(parent) {
    setObjectName(QStringLiteral("TCForm"));
    setWindowTitle(QStringLiteral("Timer Check"));

    auto* grid = new QGridLayout(this);
    for (int i = 0; i < 5; ++i) {
        const auto index = static_cast<std::size_t>(i);
        grid->addWidget(new QLabel(QStringLiteral("T%1").arg(i), this), i, 0);
        runningEdits_[index] = MakeDisplay(this, QStringLiteral("Edit%1").arg(i + 1));
        intervalEdits_[index] = MakeDisplay(this, QStringLiteral("EditT%1").arg(i));
        grid->addWidget(runningEdits_[index], i, 1);
        grid->addWidget(intervalEdits_[index], i, 2);
    }
    Edit6 = new QLineEdit(QStringLiteral("100"), this);
    Edit6->setObjectName(QStringLiteral("Edit6"));
    auto* intervalLabel = new QLabel(QStringLiteral("Interval"), this);
    intervalLabel->setBuddy(Edit6);
    grid->addWidget(intervalLabel, 5, 0);
    grid->addWidget(Edit6, 5, 1);
    SetWindowRules(true, false);

    connect(Edit6, &QLineEdit::textChanged, this,
            [this](const QString& text) { RaiseErrorsLater([&] { Edit6Change(text); }); });
}

void TTCForm::ShowSnapshot(const map27::LinkSnapshot& snapshot) {
    for (std::size_t i = 0; i < 5; ++i) {
        runningEdits_[i]->setText(snapshot.timers[i].running ? QStringLiteral("True")
                                                             : QStringLiteral("false"));
        intervalEdits_[i]->setText(QString::number(snapshot.timers[i].interval));
    }
}

void TTCForm::Edit6Change(const QString& text) {
    const std::int32_t ms = DialogStrToInt(text);  // throws; the refresh keeps its interval
    if (ms < 0)
        throw std::runtime_error("'" + text.toStdString() + "' is not a valid refresh interval");
    emit RefreshIntervalChanged(ms);
}

void TTCForm::hideEvent(QHideEvent* event) {
    TDialogForm::hideEvent(event);
    if (!event->spontaneous()) emit Hidden();
}
