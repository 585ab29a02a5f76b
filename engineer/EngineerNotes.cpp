// Notes in the middle of the status line: a word that needs no answer, shown for a while in place
// of the credit line.
#include <QLabel>
#include <QStringList>
#include <QTimer>

#include "engineer/EngineerForm.h"

namespace {

constexpr int kNoteShownMs = 10000;

}  // namespace

void TEngineerForm::ShowNote(const QString& text, const QString& detail) {
    if (NoteTimer_ == nullptr) {
        NoteTimer_ = new QTimer(this);
        NoteTimer_->setSingleShot(true);
        NoteTimer_->setInterval(kNoteShownMs);
        connect(NoteTimer_, &QTimer::timeout, this, [this] {
            StatusPanel[1]->setText(QString::fromLatin1(kCreditLine));
            StatusPanel[1]->setToolTip(QString());
        });
    }
    StatusPanel[1]->setText(text);
    StatusPanel[1]->setToolTip(detail);
    NoteTimer_->start();
}

void TEngineerForm::ShowSettingsNote(const std::vector<orrick::TUnknownSetting>& unknown) {
    QStringList keys;
    QStringList values;
    for (const orrick::TUnknownSetting& setting : unknown) {
        keys << QString::fromStdString(setting.key);
        values << QStringLiteral("%1=%2").arg(QString::fromStdString(setting.key),
                                              QString::fromStdString(setting.stored));
    }
    ShowNote(QStringLiteral("Not understood in orrick.conf: ") + keys.join(QStringLiteral(", ")),
             QStringLiteral("orrick.conf holds values that Orrick does not know: %1. The defaults "
                            "are used in their place, and stored when Orrick closes.")
                 .arg(values.join(QStringLiteral(", "))));
}
