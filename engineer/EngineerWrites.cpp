// Sending: the window hands each line to a writer on a thread of its own and goes on answering,
// however long the port takes; a failure comes back to the window when it happens.
#include <QMetaObject>

#include "engineer/EngineerForm.h"
#include "engineer/ErrorReport.h"
#include "engineer/PortWriter.h"
#include "serial/Hcomm.h"

void TEngineerForm::StartWriter() {
    Writer_ = std::make_unique<orrick::TPortWriter>(
        [this](const std::string& block) { HComm1->WriteStringData(block); },
        [this](const std::string& failure) {
            if (failure.empty()) return;
            // Asked on the writer's thread, while the session that failed is still the port's.
            const bool lost = HComm1->IsPortLost();
            QMetaObject::invokeMethod(
                this,
                [this, text = QString::fromStdString(failure), lost] {
                    CommErrorReported(text, lost);  // a device that has gone is the loss, once
                },
                Qt::QueuedConnection);
        });
}

bool TEngineerForm::Sending() const {
    return Writer_->Busy();
}

void TEngineerForm::WriteToPort(const std::string& bytes) {
    if (!Writer_->Offer(bytes)) {
        ShowNote(QStringLiteral("Not sent: the last line is still going"),
                 QStringLiteral("The line sent before is still being written to the port; this "
                                "one was not sent. Send it again once that one has gone."));
    }
}

void TEngineerForm::ClosePort() {
    Writer_->Forget();  // a write that the close cuts short is no failure to report
    HComm1->CloseCommport();
}
