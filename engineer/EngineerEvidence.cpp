// What a session leaves behind besides the window: the received lines saved to a file, and the
// time of each line. Both are out of the way until asked for.
#include <QAction>
#include <QFileDialog>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSaveFile>

#include "engineer/EngineerForm.h"
#include "engineer/ErrorReport.h"
#include "engineer/OrrickSettings.h"
#include "engineer/RxMemo.h"

void TEngineerForm::AddEvidenceItems(QMenu* file, QAction* fileSeparator, QMenu* config) {
    SaveRx1 = new QAction(QStringLiteral("Save &RX As..."), file);
    SaveRx1->setObjectName(QStringLiteral("SaveRx1"));
    file->insertAction(fileSeparator, SaveRx1);
    connect(SaveRx1, &QAction::triggered, this, &TEngineerForm::SaveRx1Click);

    // "&Tx Data Clear" already answers to T in this menu.
    TimeStamps1 = config->addAction(QStringLiteral("Time &stamps"));
    TimeStamps1->setObjectName(QStringLiteral("TimeStamps1"));
    TimeStamps1->setCheckable(true);
    TimeStamps1->setChecked(orrick::LoadTimeStamps());
    timeStamps_ = TimeStamps1->isChecked();
    connect(TimeStamps1, &QAction::triggered, this, &TEngineerForm::TimeStamps1Click);
}

void TEngineerForm::SaveRx1Click() {
    const QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("Save RX As"), QString(),
                                     QStringLiteral("TEXT Files(*.txt);;All Files(*)"));
    if (!path.isEmpty()) SaveRxLines(path);
}

bool TEngineerForm::SaveRxLines(const QString& path) {
    // Written aside and renamed at the end: a failure leaves an existing file as it was.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        const QString text = EngRxMemo->toPlainText();
        if (!text.isEmpty()) {
            file.write(text.toUtf8());
            file.write("\n", 1);
        }
        if (file.commit()) return true;
    }
    orrick::ShowMessageBox(orrick::TBoxIcon::Stop, QStringLiteral("Save RX As"),
                           QStringLiteral("The received lines cannot be written to %1: %2\n"
                                          "The lines in the window are kept.")
                               .arg(path, file.errorString()));
    return false;
}

void TEngineerForm::TimeStamps1Click() {
    timeStamps_ = TimeStamps1->isChecked();
    const QString problem = orrick::StoreTimeStamps(TimeStamps1->isChecked());
    if (!problem.isEmpty()) orrick::ReportError(problem);
}
