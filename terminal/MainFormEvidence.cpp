// What a run leaves behind besides the log on screen: the log saved to a file, the time of each
// line, and the capture of every frame on the line. All of it is off or out of the way until asked
// for, and the log's own texts never change unless time stamps are turned on.
#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTime>
#include <chrono>
#include <memory>

#include "map27/capture/WireCapture.h"
#include "terminal/ErrorReporting.h"
#include "terminal/LinkHost.h"
#include "terminal/LogView.h"
#include "terminal/MainForm.h"

namespace {

const QString kTimeStampsKey = QStringLiteral("log/timeStamps");

// halberd/talvane27.conf in the configuration folder, beside ports.conf.
QString SettingsPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/halberd/talvane27.conf");
}

}  // namespace

void TMainForm::AddEvidenceItems(QMenu* file, QAction* fileSeparator, QMenu* option) {
    auto* saveLog = new QAction(QStringLiteral("Save Log &As..."), file);
    saveLog->setObjectName(QStringLiteral("SaveLogAsMenu"));
    file->insertAction(fileSeparator, saveLog);
    connect(saveLog, &QAction::triggered, this, &TMainForm::SaveLogAsMenuClick);

    timeStamps_ = AddItem(option, QStringLiteral("&Time stamps"), "TimeStampsMenu");
    timeStamps_->setCheckable(true);
    timeStamps_->setChecked(
        QSettings(SettingsPath(), QSettings::IniFormat).value(kTimeStampsKey, false).toBool());
    connect(timeStamps_, &QAction::triggered, this, &TMainForm::TimeStampsMenuClick);

    capture_ = AddItem(option, QStringLiteral("&Capture to File..."), "CaptureMenu");
    capture_->setCheckable(true);
    connect(capture_, &QAction::triggered, this, &TMainForm::CaptureMenuClick);
}

void TMainForm::AppendLogLine(const QString& line) {
    if (timeStamps_->isChecked()) {
        logMemo_->AppendLine(QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz ")) + line);
    } else {
        logMemo_->AppendLine(line);
    }
}

void TMainForm::SaveLogAsMenuClick() {
    const QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("Save Log As"), QString(),
                                     QStringLiteral("Text Files(*.txt);;All Files(*.*)"));
    if (!path.isEmpty()) SaveLog(path);
}

bool TMainForm::SaveLog(const QString& path) {
    // Written aside and renamed at the end: a failure leaves an existing file as it was.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        for (const QString& line : logMemo_->Lines()) {
            file.write(line.toUtf8());
            file.write("\n", 1);
        }
        if (file.commit()) return true;
    }
    talvane::ShowMessage(
        {this, QMessageBox::Critical, QStringLiteral("Save Log As"),
         QStringLiteral("The log cannot be written to %1: %2\nThe log in the window is kept.")
             .arg(path, file.errorString()),
         QMessageBox::Ok});
    return false;
}

void TMainForm::TimeStampsMenuClick() {
    QSettings store(SettingsPath(), QSettings::IniFormat);
    store.setValue(kTimeStampsKey, timeStamps_->isChecked());
    store.sync();
    if (store.status() != QSettings::NoError) {
        talvane::ReportError(
            QStringLiteral(
                "The time stamps choice cannot be kept in %1; it holds until the program ends.")
                .arg(store.fileName()));
    }
}

void TMainForm::CaptureMenuClick() {
    if (!capture_->isChecked()) {
        StopCapture();
        return;
    }
    capture_->setChecked(false);  // until a file is open
    // Appended to, so an existing file is no reason to ask.
    const QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("Capture to File"), QString(),
                                     QStringLiteral("Text Files(*.txt);;All Files(*.*)"), nullptr,
                                     QFileDialog::DontConfirmOverwrite);
    if (!path.isEmpty()) StartCapture(path);
}

bool TMainForm::StartCapture(const QString& path) {
    std::string error;
    std::unique_ptr<map27::CaptureWriter> writer =
        map27::CaptureWriter::Open(QFile::encodeName(path).toStdString(), error);
    if (!writer) {
        talvane::ShowMessage({this, QMessageBox::Critical, QStringLiteral("Capture to File"),
                              QString::fromStdString(error), QMessageBox::Ok});
        return false;
    }
    link_->SetCapture(std::make_shared<map27::CaptureRecorder>(
        std::move(writer), [] { return map27::LocalCaptureTime(std::chrono::system_clock::now()); },
        map27::WireDirection::TerminalToRadio));
    capture_->setChecked(true);
    capture_->setStatusTip(path);
    return true;
}

void TMainForm::StopCapture() {
    link_->SetCapture(nullptr);
    capture_->setChecked(false);
    capture_->setStatusTip(QString());
}
