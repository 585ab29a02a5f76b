#pragma once
// "ORRICK   Talvane for Engineer": two prepared transmit lines sent with F1 and F2 in Data, Binary
// or Ascii mode, and the lines received back. The window owns the port; the line logic lives in
// EngineerLines, the stored settings in OrrickSettings.
#include <QMainWindow>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "engineer/PortSettings.h"

class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QPushButton;
class QTextEdit;
class QTimer;
class THComm;
class TComportForm;
class TDeviceWait;
class TRadioGroup;
class TRxMemo;
class TVersionForm;
namespace orrick {
class TPortWriter;
}

class TEngineerForm : public QMainWindow {
    Q_OBJECT
public:
    // The middle panel's text whenever no note is shown.
    static constexpr const char* kCreditLine = "(C) halberd  Talvane for Engineer";

    explicit TEngineerForm(QWidget* parent = nullptr);
    ~TEngineerForm() override;

    THComm& Comm() { return *HComm1; }
    TComportForm& ComportDialog() { return *ComportForm_; }
    TVersionForm& VersionDialog() { return *VersionForm_; }
    int Mode() const { return mode_.load(); }
    const orrick::TPortSettings& Settings() const { return settings_; }
    bool PortUsable() const { return portUsable_; }
    // A line is being written to the port (EngineerWrites.cpp).
    bool Sending() const;

    // Handlers.
    void FormShow();
    void FormClose();
    void TxButton1Click(QObject* sender);
    void HComm1CommEvent(THComm& sender, std::uint32_t& size);
    void ModeRadioGroupClick();
    void Data1Click(QObject* sender);
    void AllClearButtonClick();
    void RxClearButtonClick();
    void TxClearButtonClick();
    void Open1Click();
    void Exit1Click();
    void Version1Click();
    void ComSet1Click();
    void Devices1Click();  // EngineerDevices.cpp
    void ActiveCheckBoxClick();
    void Timer1Timer();
    void Timer2Timer();

    // Loads a text file into RichEdit1, replacing its text; throws when the file cannot be read.
    void LoadDataFile(const QString& path);
    // The received lines as shown, one a line (EngineerEvidence.cpp). A file that cannot be
    // written is reported in a box; the received lines stay as they are.
    bool SaveRxLines(const QString& path);
    void SaveRx1Click();
    void TimeStamps1Click();

    // Controls.
    TRadioGroup* ModeRadioGroup;
    QPushButton* AllClearButton;
    QPushButton* RxClearButton;
    QPushButton* TxClearButton;
    QCheckBox* ActiveCheckBox;
    QLabel* EngRx;
    TRxMemo* EngRxMemo;
    QLabel* EngTx;
    QTextEdit* RichEdit1;
    QLabel* Label3;
    QTextEdit* RichEdit2;
    QPushButton* TxButton1;
    QLabel* Label1;
    QLabel* Label2;
    QPushButton* TxButton2;
    QLabel* StatusPanel[3];
    QAction* Open1;
    QAction* Exit1;
    QAction* ComSet1;
    QAction* LogClear1;
    QAction* RxDataClear1;
    QAction* TxDataClear1;
    QAction* Data1;
    QAction* Binary1;
    QAction* Ascii1;
    QAction* Version1;
    QAction* Devices1;
    QAction* SaveRx1;
    QAction* TimeStamps1;
    QTimer* Timer1;  // clock
    QTimer* Timer2;  // re-open one second after the port settings change

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildMenu();
    void AddEvidenceItems(QMenu* file, QAction* fileSeparator,
                          QMenu* config);  // EngineerEvidence.cpp
    void ApplyMode();
    void LoadSettings();
    void CheckPortsAndOpen();
    void ApplyPortSelection();  // the dialog's selections to the port, the texts and the panel
    void WritePortPanel();
    void FormKeyDown(int key);
    void RichEdit1KeyDown(QTextEdit* edit, int key, Qt::KeyboardModifiers modifiers);
    // A port whose device has gone is closed at once, reported once and reopened when the device
    // is back; meanwhile the Active box shows the wait. For the receive thread and the writer.
    void CommErrorReported(const QString& message, bool portLost);
    // Sending through the writer (EngineerWrites.cpp): the window never waits on the port.
    void StartWriter();
    void WriteToPort(const std::string& bytes);
    // Closes the port, cutting short a write in progress without a report of it.
    void ClosePort();
    // A word in the middle panel for a while (EngineerNotes.cpp); detail in its tool tip.
    void ShowNote(const QString& text, const QString& detail);
    void ShowSettingsNote(const std::vector<orrick::TUnknownSetting>& unknown);
    void PortLost();
    bool ReopenLostPort();
    void StopWaitingForDevice();

    std::unique_ptr<THComm> HComm1;
    std::unique_ptr<orrick::TPortWriter> Writer_;  // uses HComm1
    QTimer* NoteTimer_ = nullptr;
    TVersionForm* VersionForm_ = nullptr;
    TComportForm* ComportForm_ = nullptr;
    TDeviceWait* DeviceWait_ = nullptr;
    orrick::TPortSettings settings_;
    std::atomic<int> mode_{0};  // read by the receive thread
    std::atomic<bool> timeStamps_{false};  // read by the receive thread
    bool portUsable_ = false;
    bool activeBeforeLoss_ = true;
    bool shown_ = false;
    bool started_ = false;  // a port was found at start-up: the settings are stored at the close
    bool closed_ = false;
};
