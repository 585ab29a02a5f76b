#pragma once
// The main window of Talvane27: the everyday messages (CALL, PREFIX, IDENT, STATUS, DATA), the log,
// the status bar, the menus that open the other windows, and start-up. It holds no protocol state:
// a send reads the controls (and the other windows) into a request record and hands it to the link
// thread; what the link reports comes back as queued signals.
#include <QMainWindow>
#include <QString>
#include <QTimer>
#include <array>
#include <memory>

#include "map27/link/LinkEngine.h"
#include "map27/network/Network.h"
#include "map27/network/SendRequest.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class DataMemoEdit;
class LinkHost;
class LogView;

// The windows besides the main one that the menus open.
enum class DialogWindow {
    Management,
    RadioControl,
    Volume,
    ProtocolInfo,
    SendModemData,
    DialledString,
    DisconnectRqx,
    Diversion,
    RadioTest,
    Test,
    TimerCheck,
    Variables,
    CallOption,
};

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // capturePath: a file that every frame on the line is appended to from the start (--capture);
    // one that cannot be opened is reported and the program does not start.
    explicit TMainForm(QWidget* parent = nullptr, const QString& capturePath = {});
    ~TMainForm() override;

    // True when neither COM1 nor COM2 could be used, or the capture asked for could not be opened:
    // the program ends without starting the link.
    bool StartFailed() const { return startFailed_; }
    LinkHost& Link() { return *link_; }
    QStringList LogLines();
    // The lines of a text file replace the DATA text (the " &Open" item after its file dialog).
    void LoadDataFile(const QString& path);
    // Ends the program as a confirmed close does, without asking (SIGTERM, SIGINT).
    void CloseWithoutConfirmation();

    // Evidence of a run beyond the log on screen (MainFormEvidence.cpp). Each shows a box and
    // returns false when the file cannot be written.
    bool SaveLog(const QString& path);
    bool StartCapture(const QString& path);
    void StopCapture();

signals:
    // The window closed after the operator's confirmation: the program may end.
    void Finished();

public slots:
    void TxButtonClick();
    void DcButtonClick();
    void CallCBoxChange();
    void DataMemoChange();
    void N1200MenuClick(int tag);
    void N7bitASCIIClick();
    void N8bitPCChrClick();
    void OpenMenuClick();
    void ExitMenuClick();
    void LogClearMenuClick();
    void Button1Click();
    void ResetMenuClick();
    void Parameters1Click();
    void VersionMenuClick();
    void CallDetails1Click();
    void radioManagementMenuClick();
    void RadioControl1Click();
    void VolumeControl1Click();
    void ProtcolInfo1Click();
    void SendModemData1Click();
    void DialledString1Click();
    void DisconnectRQX1Click();
    void Diversion1Click();
    void RadioTest1Click();
    void Sendtestpacket1Click();
    void TimerCheck2Click();
    void Variables1Click();
    void Personalityrequest1Click();
    void Numberinginformation1Click();
    void Statusofradiosettings1Click();
    void Operatingcondition1Click();
    void Networkinformation1Click();
    void DevicesMenuClick();  // MainFormDevices.cpp
    void NowTimeTimer();
    void ComOpenTimerTimer();
    void ValueTimerTimer();
    void SaveLogAsMenuClick();
    void TimeStampsMenuClick();
    void CaptureMenuClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    struct Dialogs;
    struct DialogsDeleter {
        void operator()(Dialogs* dialogs) const;  // MainFormDialogs.cpp
    };

    void BuildControls();
    void BuildMenus();
    void BuildStatusBar();
    void ConnectLink();
    void ChoosePortAtStart();
    void UpdatePortPanel();
    void ReopenPort();  // closes the port; ComOpenTimer opens it again and restarts the link
    bool FormKeyDown(QKeyEvent* event);  // true when the key was used
    void SendMessage(int sendKind, int extra = -1);
    void FillRequest(map27::SendRequest& request) const;
    void Interrogate(std::uint16_t kind);
    bool FormCloseQuery();
    void FormClose();
    QAction* AddItem(QMenu* menu, const QString& caption, const char* name);
    void AddEvidenceItems(QMenu* file, QAction* fileSeparator,
                          QMenu* option);  // MainFormEvidence.cpp
    void AppendLogLine(const QString& line);

    // The other windows (MainFormDialogs.cpp).
    void CreateDialogs();
    void FillDialogsRequest(map27::SendRequest& request) const;
    void ShowDialog(DialogWindow which);
    void ShowParametersModal();
    void ShowVersionModal();
    void PushParameters();
    void SetCallOptionGroupsEnabled(bool enabled);
    void ApplyPersonality(const map27::PersonalityUpdate& update);
    void ApplySettings(const map27::SettingsUpdate& update);
    void ShowSentHeader(const std::array<std::uint8_t, 4>& header);
    void ShowReceivedNs(int ns);
    void RefreshTestWindows(const map27::LinkSnapshot& snapshot);
    bool TestWindowsVisible() const;
    void HideDialogs();

    std::unique_ptr<LinkHost> link_;
    std::unique_ptr<Dialogs, DialogsDeleter> dialogs_;

    // Controls.
    QLabel* call_ = nullptr;
    QComboBox* callCBox_ = nullptr;
    QLabel* prefix_ = nullptr;
    QLineEdit* pfixEdit_ = nullptr;
    QLabel* ident_ = nullptr;
    QLineEdit* idEdit_ = nullptr;
    QLabel* status_ = nullptr;
    QLineEdit* stEdit_ = nullptr;
    QPushButton* txButton_ = nullptr;
    QPushButton* dcButton_ = nullptr;
    QLabel* data_ = nullptr;
    DataMemoEdit* dataMemo_ = nullptr;
    QLabel* tx_ = nullptr;
    QPushButton* button1_ = nullptr;
    LogView* logMemo_ = nullptr;
    std::array<QLabel*, 5> panels_{};

    // Menu items that carry a tick.
    QAction* n1200_ = nullptr;
    QAction* n9600_ = nullptr;
    QAction* com1_ = nullptr;
    QAction* com2_ = nullptr;
    QAction* n7bit_ = nullptr;
    QAction* n8bit_ = nullptr;
    QAction* timeStamps_ = nullptr;
    QAction* capture_ = nullptr;

    QTimer nowTime_{this};
    QTimer comOpenTimer_{this};
    QTimer valueTimer_{this};

    QString portText_ = QStringLiteral("COM1");
    QString speedText_ = QStringLiteral("1200bps");
    int shortMessageLimit_ = 25;
    int refreshMs_ = 100;  // ValueTimer; 0 stops the refresh
    bool startFailed_ = false;
    bool closing_ = false;
    bool closed_ = false;
};
