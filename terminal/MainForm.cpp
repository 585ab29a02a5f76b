#include "terminal/MainForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStringDecoder>
#include <QTime>

#include "serial/PortNames.h"
#include "terminal/DataMemoEdit.h"
#include "terminal/ErrorReporting.h"
#include "terminal/LinkHost.h"
#include "terminal/LogView.h"

namespace {

constexpr int kClientWidth = 647;
constexpr int kClientHeight = 439;
constexpr int kStatusBarHeight = 19;
constexpr std::array<int, 5> kPanelWidths{190, 120, 115, 145, 88};
constexpr qint64 kLargestDataFile = 1024 * 1024;

const QString kLinkDown = QStringLiteral("Status   Link.....");

enum CallItem { kVoiceCall = 0, kEmergencyCall, kDataCall, kStatusCall, kDisconnect };

// Port and speed items share one handler and are told apart by these tags.
enum PortTag { kTag1200 = 0, kTag9600, kTagCom1, kTagCom2 };

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, int x, int y) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->adjustSize();
    label->move(x, y);
    return label;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, const QString& text, int maxLength, QRect rect) {
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMaxLength(maxLength);
    edit->setGeometry(rect);
    return edit;
}

}  // namespace

TMainForm::TMainForm(QWidget* parent, const QString& capturePath)
    : QMainWindow(parent), link_(std::make_unique<LinkHost>()) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Talvane27 for ZR-310/410 using MAP27"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);

    BuildControls();
    BuildMenus();
    BuildStatusBar();
    setFixedSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }

    nowTime_.setObjectName(QStringLiteral("NowTime"));
    nowTime_.setInterval(1000);
    connect(&nowTime_, &QTimer::timeout, this, &TMainForm::NowTimeTimer);
    comOpenTimer_.setObjectName(QStringLiteral("ComOpenTimer"));
    comOpenTimer_.setInterval(1000);
    connect(&comOpenTimer_, &QTimer::timeout, this, &TMainForm::ComOpenTimerTimer);
    valueTimer_.setObjectName(QStringLiteral("ValueTimer"));
    valueTimer_.setInterval(100);
    connect(&valueTimer_, &QTimer::timeout, this, &TMainForm::ValueTimerTimer);

    ConnectLink();
    CreateDialogs();

    // Key strokes reach the window before the focused control.
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);

    callCBox_->setCurrentIndex(kVoiceCall);
    CallCBoxChange();
    startFailed_ = !capturePath.isEmpty() && !StartCapture(capturePath);
    if (!startFailed_) ChoosePortAtStart();
    if (startFailed_) return;

    UpdatePortPanel();
    NowTimeTimer();
    panels_[1]->setText(kLinkDown);
    nowTime_.start();
    link_->OpenPortAndStartLink(true);
}

TMainForm::~TMainForm() {
    link_->Shutdown();
    // The other windows go before the link they point at.
    dialogs_.reset();
}

void TMainForm::BuildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("Client"));
    client->setFixedSize(kClientWidth, kClientHeight - kStatusBarHeight);
    setCentralWidget(client);

    call_ = MakeLabel(client, "Call", QStringLiteral("CALL(&A)"), 112, 8);
    callCBox_ = new QComboBox(client);
    callCBox_->setObjectName(QStringLiteral("CallCBox"));
    callCBox_->addItems({QStringLiteral("Voice/Modem Call"), QStringLiteral("Emergency Voice/Modem Call"),
                         QStringLiteral("Data Call  (SST or NPD)"), QStringLiteral("Status Call"),
                         QStringLiteral("Disconnect (Ctr+Z)")});
    callCBox_->setEditable(false);
    callCBox_->setMaxVisibleItems(11);
    callCBox_->setGeometry(16, 32, 249, 30);
    call_->setBuddy(callCBox_);

    prefix_ = MakeLabel(client, "Prefix", QStringLiteral("PREFIX(&P)"), 284, 8);
    pfixEdit_ = MakeEdit(client, "PfixEdit", QStringLiteral("008"), 3, {296, 32, 45, 30});
    prefix_->setBuddy(pfixEdit_);
    ident_ = MakeLabel(client, "Ident", QStringLiteral("IDENT(&I)"), 384, 8);
    idEdit_ = MakeEdit(client, "IDEdit", QStringLiteral("2001"), 4, {388, 32, 53, 30});
    ident_->setBuddy(idEdit_);
    status_ = MakeLabel(client, "Status", QStringLiteral("STATUS(&U)"), 464, 8);
    stEdit_ = MakeEdit(client, "StEdit", QStringLiteral("01"), 2, {488, 32, 33, 30});
    status_->setBuddy(stEdit_);

    txButton_ = new QPushButton(QStringLiteral("TX(&T)"), client);
    txButton_->setObjectName(QStringLiteral("TxButton"));
    txButton_->setGeometry(560, 8, 73, 33);
    txButton_->setDefault(true);
    txButton_->setToolTip(QStringLiteral("Send Message"));
    dcButton_ = new QPushButton(QStringLiteral("DC(&X)"), client);
    dcButton_->setObjectName(QStringLiteral("DcButton"));
    dcButton_->setGeometry(560, 56, 73, 33);
    dcButton_->setToolTip(QStringLiteral("Send Disconnect Message"));

    data_ = MakeLabel(client, "Data", QStringLiteral("Data(&D)"), 295, 80);
    dataMemo_ = new DataMemoEdit(client);
    dataMemo_->setObjectName(QStringLiteral("DataMemo"));
    dataMemo_->setGeometry(16, 112, 617, 57);
    dataMemo_->SetMaxLength(100);
    data_->setBuddy(dataMemo_);

    tx_ = MakeLabel(client, "Tx", QStringLiteral("Log"), 307, 176);
    button1_ = new QPushButton(QStringLiteral("Log Clear"), client);
    button1_->setObjectName(QStringLiteral("Button1"));
    button1_->setGeometry(560, 176, 75, 17);
    QFont small = button1_->font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    button1_->setFont(small);

    logMemo_ = new LogView(client);
    logMemo_->setObjectName(QStringLiteral("LogMemo"));
    logMemo_->setGeometry(16, 200, 617, 209);

    // Tab order: CALL, PREFIX, IDENT, STATUS, TX, DATA, then DC and Log Clear.
    setTabOrder(callCBox_, pfixEdit_);
    setTabOrder(pfixEdit_, idEdit_);
    setTabOrder(idEdit_, stEdit_);
    setTabOrder(stEdit_, txButton_);
    setTabOrder(txButton_, dataMemo_);
    setTabOrder(dataMemo_, dcButton_);
    setTabOrder(dcButton_, button1_);

    connect(callCBox_, &QComboBox::currentIndexChanged, this, &TMainForm::CallCBoxChange);
    connect(txButton_, &QPushButton::clicked, this, &TMainForm::TxButtonClick);
    connect(dcButton_, &QPushButton::clicked, this, &TMainForm::DcButtonClick);
    connect(button1_, &QPushButton::clicked, this, &TMainForm::Button1Click);
    connect(dataMemo_, &QPlainTextEdit::textChanged, this, &TMainForm::DataMemoChange);
    connect(dataMemo_, &DataMemoEdit::EnterPressed, this, &TMainForm::TxButtonClick);
}

void TMainForm::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setFixedHeight(kStatusBarHeight);
    bar->setSizeGripEnabled(false);
    // The panels sit side by side in a row of their own: the status bar's own gaps between its
    // widgets would squeeze the clock until its text touched its frame.
    auto* row = new QWidget(bar);
    auto* rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->setSpacing(0);
    bar->addWidget(row, 1);
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        auto* panel = new QLabel(row);
        panel->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        panel->setAlignment(Qt::AlignCenter);
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        // The five widths add up to more than the window is wide: the clock takes what is left.
        if (i + 1 < panels_.size()) {
            // A label of fixed size does not ask the bar to lay out again when its text changes;
            // the bar answers that by repainting itself and every panel.
            panel->setFixedSize(kPanelWidths[i], kStatusBarHeight - 5);
            rowLayout->addWidget(panel);
        } else {
            panel->setMinimumWidth(0);
            panel->setMaximumWidth(kPanelWidths[i]);
            rowLayout->addWidget(panel, 1);
        }
        panels_[i] = panel;
    }
}

void TMainForm::ConnectLink() {
    connect(link_.get(), &LinkHost::LinkStatusChanged, this,
            [this](const QString& text) { panels_[1]->setText(text); });
    connect(link_.get(), &LinkHost::LinkTimesChanged, this, [this](const QString& t1, const QString& t2) {
        panels_[2]->setText(t1);
        panels_[3]->setText(t2);
    });
    connect(link_.get(), &LinkHost::LogLine, this, &TMainForm::AppendLogLine);
    connect(link_.get(), &LinkHost::ReceivedNs, this, &TMainForm::ShowReceivedNs);
    connect(link_.get(), &LinkHost::PersonalityReceived, this, &TMainForm::ApplyPersonality);
    connect(link_.get(), &LinkHost::SettingsReceived, this, &TMainForm::ApplySettings);
    connect(link_.get(), &LinkHost::MessageBuilt, this,
            [this](int kind, const std::array<std::uint8_t, 4>& header, bool isRepeat) {
                // The first sending of a Data Call takes the text; a repeat sends what was taken.
                if (kind == map27::SendKind::DataCall && !isRepeat) dataMemo_->clear();
                if (kind == map27::SendKind::TestFrame) ShowSentHeader(header);
            });
    connect(link_.get(), &LinkHost::PortLost, this, [this] {
        portLost_ = true;
        UpdatePortPanel();
    });
    connect(link_.get(), &LinkHost::PortRestored, this, [this] {
        portLost_ = false;
        UpdatePortPanel();
    });
    connect(link_.get(), &LinkHost::ErrorOccurred, this, [](const QString& text) { talvane::ReportError(text); });
}

void TMainForm::ChoosePortAtStart() {
    portText_ = QStringLiteral("COM1");
    speedText_ = QStringLiteral("1200bps");
    if (link_->CheckCommportValid(QStringLiteral("COM1"))) {
        link_->SetCommPort(0);
        return;
    }
    if (link_->CheckCommportValid(QStringLiteral("COM2"))) {
        link_->SetCommPort(1);
        com2_->setChecked(true);
        com1_->setChecked(false);
        portText_ = QStringLiteral("COM2");
        return;
    }
    startFailed_ = true;
    talvane::ShowMessage({this, QMessageBox::Critical, QStringLiteral("Comport error"),
                          QStringLiteral("Both COM1 & COM2 are invalid.\nPlease check comport status"),
                          QMessageBox::Ok});
}

void TMainForm::UpdatePortPanel() {
    panels_[0]->setText(QStringLiteral("COMPORT  ") + portText_ + QStringLiteral("  ") +
                        (portLost_ ? QStringLiteral("lost") : speedText_));
    panels_[0]->setToolTip(QString::fromStdString(ComDevicePath(portText_.toStdString())));
}

QStringList TMainForm::LogLines() { return logMemo_->Lines(); }

void TMainForm::FillRequest(map27::SendRequest& request) const {
    FillDialogsRequest(request);
    request.prefixText = pfixEdit_->text().toStdString();
    request.identText = idEdit_->text().toStdString();
    request.statusText = stEdit_->text().toStdString();
    request.dataText = dataMemo_->toPlainText().toStdString();
    request.eightBitCoding = n8bit_->isChecked();
}

void TMainForm::SendMessage(int sendKind, int extra) {
    map27::SendRequest request;
    FillRequest(request);
    request.sendKind = sendKind;
    if (sendKind == map27::SendKind::RadioInterrogation && extra >= 0) {
        request.interrogationKind = static_cast<std::uint16_t>(extra);
    }
    if (sendKind == map27::SendKind::VolumeControl && extra >= 0) {
        request.volumeCommand = static_cast<std::uint8_t>(extra);
    }
    link_->Send(request);
}

void TMainForm::TxButtonClick() {
    if (!link_->IsEstablished()) return;
    static constexpr std::array<int, 5> kKinds{map27::SendKind::SetupVoice, map27::SendKind::EmergencySpeechCall,
                                               map27::SendKind::DataCall, map27::SendKind::StatusCall,
                                               map27::SendKind::Disconnect};
    const int item = callCBox_->currentIndex();
    if (item < 0 || item >= static_cast<int>(kKinds.size())) return;
    SendMessage(kKinds[static_cast<std::size_t>(item)]);
}

void TMainForm::DcButtonClick() { SendMessage(map27::SendKind::Disconnect); }

void TMainForm::CallCBoxChange() {
    for (QWidget* w : std::initializer_list<QWidget*>{prefix_, pfixEdit_, ident_, idEdit_, status_, stEdit_,
                                                      data_, dataMemo_}) {
        w->setEnabled(true);
    }
    auto disable = [](std::initializer_list<QWidget*> widgets) {
        for (QWidget* w : widgets) w->setEnabled(false);
    };
    switch (callCBox_->currentIndex()) {
        case kVoiceCall:
            disable({status_, stEdit_, data_, dataMemo_});
            SetCallOptionGroupsEnabled(true);
            break;
        case kEmergencyCall:
            disable({status_, stEdit_, data_, dataMemo_});
            SetCallOptionGroupsEnabled(false);
            break;
        case kDataCall:
            disable({status_, stEdit_});
            break;
        case kStatusCall:
            disable({data_, dataMemo_});
            break;
        default:
            disable({status_, stEdit_, data_, dataMemo_});
            break;
    }
}

void TMainForm::DataMemoChange() {
    const int n = WireLength(dataMemo_->toPlainText());
    const int capacity = (static_cast<int>(link_->Snapshot().workingN1) + 1) * 16;
    QPalette palette = dataMemo_->palette();
    QColor colour = Qt::black;
    if (n > capacity) {
        colour = Qt::red;
    } else if (n > shortMessageLimit_) {
        colour = Qt::blue;
    }
    palette.setColor(QPalette::Text, colour);
    dataMemo_->setPalette(palette);
    if (n > capacity) {
        talvane::ShowMessage({this, QMessageBox::Warning, QStringLiteral("DATA ERROR"),
                              QStringLiteral("Too Much Data!!"), QMessageBox::Ok});
    }
}

bool TMainForm::FormKeyDown(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (event->key() == Qt::Key_Z && (mods & Qt::ControlModifier) && !(mods & Qt::AltModifier)) {
        SendMessage(map27::SendKind::Disconnect);
        return true;
    }
    if (!(mods & Qt::AltModifier) || !link_->IsEstablished()) return false;
    QString ident;
    const int key = event->key();
    if (key >= Qt::Key_1 && key <= Qt::Key_9) {
        ident = QStringLiteral("200%1").arg(key - Qt::Key_0);
    } else if (key == Qt::Key_0) {
        ident = QStringLiteral("2010");
    } else if (key == Qt::Key_Q) {
        ident = QStringLiteral("2011");
    } else if (key == Qt::Key_W) {
        ident = QStringLiteral("2012");
    } else {
        return false;
    }
    idEdit_->setText(ident);
    SendMessage(map27::SendKind::SetupVoice);
    return true;
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && widget->window() == this) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (FormKeyDown(key)) return true;
            const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
            if (enter && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
                // TX is the default button: Enter anywhere presses it, unless a button has the focus.
                if (auto* button = qobject_cast<QPushButton*>(widget)) {
                    button->click();
                } else {
                    TxButtonClick();
                }
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::N1200MenuClick(int tag) {
    link_->ClosePort();
    auto tick = [](QAction* on, QAction* off) {
        on->setChecked(true);
        off->setChecked(false);
    };
    switch (tag) {
        case kTag1200:
        case kTag9600: {
            QAction* item = tag == kTag1200 ? n1200_ : n9600_;
            QAction* other = tag == kTag1200 ? n9600_ : n1200_;
            const QString speed = tag == kTag1200 ? QStringLiteral("1200bps") : QStringLiteral("9600bps");
            // The tick follows the window's own state: the menu has already toggled the item.
            if (speedText_ != speed) {
                link_->SetSpeed1200(tag == kTag1200);
                speedText_ = speed;
            }
            tick(item, other);
            break;
        }
        default: {
            QAction* item = tag == kTagCom1 ? com1_ : com2_;
            QAction* other = tag == kTagCom1 ? com2_ : com1_;
            const QString name = tag == kTagCom1 ? QStringLiteral("COM1") : QStringLiteral("COM2");
            if (portText_ == name) {
                tick(item, other);
            } else if (link_->CheckCommportValid(name)) {
                link_->SetCommPort(tag == kTagCom1 ? 0 : 1);
                tick(item, other);
                portText_ = name;
            } else {
                tick(other, item);
                talvane::ShowMessage({this, QMessageBox::Warning, QStringLiteral("COMPORT ERROR"),
                                      QStringLiteral("Can not use comport%1!!  Check port status.")
                                          .arg(tag == kTagCom1 ? 1 : 2),
                                      QMessageBox::Ok});
            }
            break;
        }
    }
    UpdatePortPanel();
    if (!comOpenTimer_.isActive()) comOpenTimer_.start();
}

void TMainForm::ComOpenTimerTimer() {
    comOpenTimer_.stop();
    PushParameters();
    link_->OpenPortAndStartLink(false);
}

void TMainForm::N7bitASCIIClick() {
    n7bit_->setChecked(true);
    n8bit_->setChecked(false);
    shortMessageLimit_ = 25;
    dataMemo_->SetMaxLength(100);
}

void TMainForm::N8bitPCChrClick() {
    n8bit_->setChecked(true);
    n7bit_->setChecked(false);
    shortMessageLimit_ = 22;
    dataMemo_->SetMaxLength(88);
}

void TMainForm::OpenMenuClick() {
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Data File Open"), QString(),
                                     QStringLiteral("Text Files(*.txt);;All Files(*)"));
    if (!path.isEmpty()) LoadDataFile(path);
}

void TMainForm::LoadDataFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        talvane::ShowMessage({this, QMessageBox::Critical, QStringLiteral("Data File Open"),
                              QStringLiteral("Cannot open %1: %2").arg(path, file.errorString()),
                              QMessageBox::Ok});
        return;
    }
    // No length limit applies to loading, but a file far beyond any frame would only freeze the box.
    if (file.size() > kLargestDataFile) {
        talvane::ShowMessage({this, QMessageBox::Warning, QStringLiteral("Data File Open"),
                              QStringLiteral("The file is too large to send."), QMessageBox::Ok});
        return;
    }
    const QByteArray bytes = file.readAll();
    auto toUtf16 = QStringDecoder(QStringDecoder::Utf8);
    QString text = toUtf16(bytes);
    if (toUtf16.hasError()) text = QString::fromLatin1(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (text.endsWith(QChar('\n'))) text.chop(1);
    dataMemo_->setPlainText(text);
}

void TMainForm::ExitMenuClick() { close(); }

void TMainForm::LogClearMenuClick() { logMemo_->ClearLog(); }

void TMainForm::Button1Click() { logMemo_->ClearLog(); }

void TMainForm::ResetMenuClick() {
    PushParameters();
    link_->RestartLink();
}

void TMainForm::Parameters1Click() {
    ShowParametersModal();
    PushParameters();
    link_->RestartLink();
}

void TMainForm::VersionMenuClick() { ShowVersionModal(); }
void TMainForm::CallDetails1Click() { ShowDialog(DialogWindow::CallOption); }
void TMainForm::radioManagementMenuClick() { ShowDialog(DialogWindow::Management); }
void TMainForm::RadioControl1Click() { ShowDialog(DialogWindow::RadioControl); }
void TMainForm::VolumeControl1Click() { ShowDialog(DialogWindow::Volume); }
void TMainForm::ProtcolInfo1Click() { ShowDialog(DialogWindow::ProtocolInfo); }
void TMainForm::SendModemData1Click() { ShowDialog(DialogWindow::SendModemData); }
void TMainForm::DialledString1Click() { ShowDialog(DialogWindow::DialledString); }
void TMainForm::DisconnectRQX1Click() { ShowDialog(DialogWindow::DisconnectRqx); }
void TMainForm::Diversion1Click() { ShowDialog(DialogWindow::Diversion); }
void TMainForm::RadioTest1Click() { ShowDialog(DialogWindow::RadioTest); }
void TMainForm::Sendtestpacket1Click() { ShowDialog(DialogWindow::Test); }

void TMainForm::TimerCheck2Click() {
    ShowDialog(DialogWindow::TimerCheck);
    if (refreshMs_ > 0 && !valueTimer_.isActive()) valueTimer_.start();
}

void TMainForm::Variables1Click() {
    ShowDialog(DialogWindow::Variables);
    if (refreshMs_ > 0 && !valueTimer_.isActive()) valueTimer_.start();
}

void TMainForm::Interrogate(std::uint16_t kind) {
    if (!link_->IsEstablished()) return;
    if (kind == 0) ShowDialog(DialogWindow::Management);
    SendMessage(map27::SendKind::RadioInterrogation, kind);
}

void TMainForm::Personalityrequest1Click() { Interrogate(0); }
void TMainForm::Numberinginformation1Click() { Interrogate(1); }
void TMainForm::Statusofradiosettings1Click() { Interrogate(2); }
void TMainForm::Operatingcondition1Click() { Interrogate(3); }
void TMainForm::Networkinformation1Click() { Interrogate(4); }

void TMainForm::NowTimeTimer() {
    // The system's long time format, without the time zone that Qt's long format adds.
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QChar('t'));
    // The clock takes what the other panels leave; once the window is laid out that is fixed too,
    // so each tick repaints the clock alone instead of the whole status bar.
    QLabel* clock = panels_[4];
    if (clock->isVisible() && clock->minimumSize() != clock->maximumSize())
        clock->setFixedSize(clock->size());
    clock->setText(QLocale::system().toString(QTime::currentTime(), format.trimmed()));
}

void TMainForm::ValueTimerTimer() {
    if (!TestWindowsVisible()) {
        valueTimer_.stop();
        return;
    }
    RefreshTestWindows(link_->Snapshot());
}

bool TMainForm::FormCloseQuery() {
    const auto answer = talvane::ShowMessage({this, QMessageBox::Question, QStringLiteral("Confirmation"),
                                              QStringLiteral("Are you finished this program?"),
                                              QMessageBox::Yes | QMessageBox::No});
    return answer == QMessageBox::Yes;
}

void TMainForm::FormClose() {
    closed_ = true;
    nowTime_.stop();
    comOpenTimer_.stop();
    valueTimer_.stop();
    link_->Shutdown();
    HideDialogs();
    emit Finished();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (closed_) {
        event->accept();
        return;
    }
    if (!closing_ && !FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TMainForm::CloseWithoutConfirmation() {
    closing_ = true;
    if (!closed_) close();
    if (!closed_) FormClose();  // a hidden window receives no close event
}
