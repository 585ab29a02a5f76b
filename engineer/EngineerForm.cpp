#include "engineer/EngineerForm.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QStringDecoder>
#include <QTextEdit>
#include <QTime>
#include <QTimer>
#include <chrono>
#include <stdexcept>

#include "desktop/DeviceWait.h"
#include "engineer/ComportForm.h"
#include "engineer/Controls.h"
#include "engineer/EngineerLines.h"
#include "engineer/ErrorReport.h"
#include "engineer/OrrickSettings.h"
#include "engineer/PortWriter.h"
#include "engineer/RxMemo.h"
#include "engineer/ThreadRunDelay.h"
#include "engineer/VersionForm.h"
#include "serial/Hcomm.h"
#include "serial/PortNames.h"
#include "text/CodePage437.h"

namespace {

using orrick::TBoxIcon;

constexpr int kTimerIntervalMs = 1000;
const QString kCommunicationError = QStringLiteral("COMMUNICATION ERROR");
const QString kComportError = QStringLiteral("COMPORT ERROR");
// The serial component's report of a port whose device has gone.
constexpr std::string_view kPortLostPrefix = "Comport lost: ";

// The failed conversion of a Binary pair, shown by the top-level error reporting.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The component as the receive-line logic sees it, on the receive thread.
class TCommRxPort final : public orrick::TRxPort {
public:
    explicit TCommRxPort(THComm& comm) : comm_(comm) {}
    std::int32_t CountInBuff() override { return comm_.CountInBuff(); }
    void ReadData(void* buffer, std::uint32_t count) override { comm_.ReadData(buffer, count); }
    std::int32_t ReadWaiting(void* buffer, std::uint32_t count) override {
        // A close on another thread ends the line like a close seen before the read.
        try {
            return static_cast<std::int32_t>(comm_.ReadWaiting(buffer, count));
        } catch (const ECommError&) {
            return -1;
        }
    }
    bool WaitForInput(int timeoutMs) override { return comm_.WaitForInput(timeoutMs); }

private:
    THComm& comm_;
};

// The silence that ends a Binary or Ascii line at the port's speed and frame (1.5 stop bits are
// sent as 2 here).
std::chrono::microseconds LineSilenceOf(const THComm& comm) {
    const unsigned dataBits = 5 + static_cast<unsigned>(comm.ByteSize());
    const unsigned parityBits = comm.Parity() == TParity::None ? 0 : 1;
    const unsigned stopBits = comm.StopBits() == TStopBits::_1bit ? 1 : 2;
    return orrick::LineSilence(BaudRateBitsPerSecond(comm.BaudRate()),
                               1 + dataBits + parityBits + stopBits);
}

// Starting a running timer keeps its remaining time.
void StartTimer(QTimer* timer) {
    if (!timer->isActive()) timer->start();
}

QLabel* MakeLabel(const QString& text, const char* name, QWidget* parent, const QRect& geometry,
                  bool bold) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(TimesFont(12, bold));
    label->setGeometry(geometry);
    return label;
}

QPushButton* MakeButton(const QString& text, const char* name, QWidget* parent,
                        const QRect& geometry, bool bold) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setFont(TimesFont(12, bold));
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

QTextEdit* MakeTransmitEdit(const char* name, QWidget* parent, const QRect& geometry) {
    auto* edit = new QTextEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setAcceptRichText(false);
    edit->setFont(TimesFont(19));
    edit->setLineWrapMode(QTextEdit::NoWrap);
    edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit->setTabChangesFocus(true);
    edit->setGeometry(geometry);
    return edit;
}

// The line break a transmit edit sends: that of the file loaded into it, else LF. The edit keeps
// its lines as paragraphs and forgets how the file ended them.
constexpr const char* kLineBreakProperty = "orrickLineBreak";

QString LineBreakOf(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QChar(u'\n')) break;
        if (text[i] == QChar(u'\r')) {
            return i + 1 < text.size() && text[i + 1] == QChar(u'\n') ? QStringLiteral("\r\n")
                                                                      : QStringLiteral("\r");
        }
    }
    return QStringLiteral("\n");
}

// The text of a transmit edit as it is sent: every character kept, line breaks as the file had
// them.
std::u16string TransmitText(const QTextEdit* edit) {
    const QVariant lineBreak = edit->property(kLineBreakProperty);
    const QString separator = lineBreak.isValid() ? lineBreak.toString() : QStringLiteral("\n");
    QString text = edit->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, separator);
    text.replace(QChar::LineSeparator, separator);
    return text.toStdU16String();
}

void ClearTransmitEdit(QTextEdit* edit) {
    edit->clear();
    edit->setProperty(kLineBreakProperty, QVariant());
}

QString CharacterName(char32_t c) {
    return QStringLiteral("'%1' (U+%2)")
        .arg(QString::fromUcs4(&c, 1),
             QString::number(static_cast<uint>(c), 16).toUpper().rightJustified(4, u'0'));
}

}  // namespace

TEngineerForm::TEngineerForm(QWidget* parent)
    : QMainWindow(parent), HComm1(std::make_unique<THComm>()) {
    setObjectName(QStringLiteral("EngineerForm"));
    setWindowTitle(QStringLiteral("ORRICK   Talvane for Engineer"));
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(TimesFont(12));

    HComm1->SetBaudRate(TBaudRate::___1200bps);
    HComm1->SetRxThreshold(1);
    HComm1->OnCommEvent = [this](THComm& sender, std::uint32_t& size) {
        HComm1CommEvent(sender, size);
    };
    StartWriter();
    HComm1->OnCommError = [this](const std::string& message) {
        // Asked on the receive thread, while the session that failed is still the port's.
        const bool lost = message.starts_with(kPortLostPrefix) || HComm1->IsPortLost();
        QMetaObject::invokeMethod(
            this,
            [this, text = QString::fromStdString(message), lost] { CommErrorReported(text, lost); },
            Qt::QueuedConnection);
    };

    BuildControls();
    BuildMenu();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kTimerIntervalMs);
    connect(Timer1, &QTimer::timeout, this, &TEngineerForm::Timer1Timer);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(kTimerIntervalMs);
    connect(Timer2, &QTimer::timeout, this, &TEngineerForm::Timer2Timer);

    VersionForm_ = new TVersionForm(this);
    ComportForm_ = new TComportForm(this);
    DeviceWait_ = new TDeviceWait(this);

    // F1 and F2 work from every control of the window: keys are looked at before the control gets
    // them.
    qApp->installEventFilter(this);
}

TEngineerForm::~TEngineerForm() {
    qApp->removeEventFilter(this);
    ClosePort();      // ends a blocked write, so the writer's thread can end
    Writer_.reset();  // before the port it writes to
    HComm1.reset();   // the receive thread ends before the controls it reports to
}

void TEngineerForm::BuildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(client);

    ModeRadioGroup = new TRadioGroup(
        QStringLiteral("Mode"),
        {QStringLiteral("Data"), QStringLiteral("Binary"), QStringLiteral("Ascii")}, 3, client);
    ModeRadioGroup->setObjectName(QStringLiteral("ModeRadioGroup"));
    ModeRadioGroup->setGeometry(8, 2, 252, 44);
    connect(ModeRadioGroup, &TRadioGroup::Click, this, &TEngineerForm::ModeRadioGroupClick);

    AllClearButton = MakeButton(QStringLiteral("All Clear(&A)"), "AllClearButton", client,
                                {272, 12, 92, 28}, false);
    RxClearButton = MakeButton(QStringLiteral("RX Clear(&R)"), "RxClearButton", client,
                               {370, 12, 92, 28}, false);
    TxClearButton = MakeButton(QStringLiteral("TX Clear(&T)"), "TxClearButton", client,
                               {468, 12, 92, 28}, false);
    connect(AllClearButton, &QPushButton::clicked, this, &TEngineerForm::AllClearButtonClick);
    connect(RxClearButton, &QPushButton::clicked, this, &TEngineerForm::RxClearButtonClick);
    connect(TxClearButton, &QPushButton::clicked, this, &TEngineerForm::TxClearButtonClick);

    ActiveCheckBox = new QCheckBox(QStringLiteral("Active"), client);
    ActiveCheckBox->setObjectName(QStringLiteral("ActiveCheckBox"));
    ActiveCheckBox->setFont(TimesFont(12, true));
    ActiveCheckBox->setGeometry(572, 15, 72, 22);
    ActiveCheckBox->setChecked(true);
    connect(ActiveCheckBox, &QCheckBox::clicked, this, &TEngineerForm::ActiveCheckBoxClick);

    EngRx = MakeLabel(QStringLiteral("RX Data"), "EngRx", client, {8, 50, 160, 20}, true);
    EngRxMemo = new TRxMemo(client);
    EngRxMemo->setObjectName(QStringLiteral("EngRxMemo"));
    QFont rxFont = TimesFont(19);
    // Every received byte its own glyph: no ligatures (a received "fi" is two bytes), and no
    // shaping pass over each line that Latin text does not need.
    rxFont.setStyleStrategy(QFont::PreferNoShaping);
    EngRxMemo->setFont(rxFont);
    EngRxMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    EngRxMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    EngRxMemo->setFocusPolicy(Qt::ClickFocus);  // not a tab stop
    EngRxMemo->setGeometry(8, 70, 634, 172);
    EngRx->setBuddy(EngRxMemo);

    EngTx = MakeLabel(QStringLiteral("TX Data 1(&X)"), "EngTx", client, {8, 246, 160, 20}, true);
    RichEdit1 = MakeTransmitEdit("RichEdit1", client, {8, 266, 532, 60});
    EngTx->setBuddy(RichEdit1);
    Label3 = MakeLabel(QStringLiteral("TX Data 2(&Y)"), "Label3", client, {8, 330, 160, 20}, true);
    RichEdit2 = MakeTransmitEdit("RichEdit2", client, {8, 350, 532, 58});
    Label3->setBuddy(RichEdit2);

    TxButton1 =
        MakeButton(QStringLiteral("TX1(F1)"), "TxButton1", client, {548, 266, 94, 60}, true);
    Label1 =
        MakeLabel(QStringLiteral("STX(0x02) = @ "), "Label1", client, {250, 330, 140, 20}, true);
    Label2 =
        MakeLabel(QStringLiteral("ETX(0x03) = # "), "Label2", client, {400, 330, 140, 20}, true);
    TxButton2 =
        MakeButton(QStringLiteral("TX2(F2)"), "TxButton2", client, {548, 350, 94, 58}, true);
    connect(TxButton1, &QPushButton::clicked, this, [this] { TxButton1Click(TxButton1); });
    connect(TxButton2, &QPushButton::clicked, this, [this] { TxButton1Click(TxButton2); });

    setTabOrder(ModeRadioGroup->Button(2), AllClearButton);
    setTabOrder(AllClearButton, RxClearButton);
    setTabOrder(RxClearButton, TxClearButton);
    setTabOrder(TxClearButton, ActiveCheckBox);
    setTabOrder(ActiveCheckBox, RichEdit1);
    setTabOrder(RichEdit1, TxButton1);
    setTabOrder(TxButton1, RichEdit2);
    setTabOrder(RichEdit2, TxButton2);

    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(false);
    bar->setFixedHeight(20);
    const int widths[3] = {260, 260, 110};
    // What the 20-pixel bar leaves its items. A panel of fixed size keeps the clock's text change
    // from asking the bar to lay out again, and the bar repaints itself and every panel when asked.
    constexpr int kPanelHeight = 15;
    for (int i = 0; i < 3; ++i) {
        StatusPanel[i] = new QLabel(bar);
        StatusPanel[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusPanel[i]->setAlignment(Qt::AlignCenter);
        StatusPanel[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        StatusPanel[i]->setFixedSize(widths[i], kPanelHeight);
        bar->addWidget(StatusPanel[i]);
    }
    StatusPanel[1]->setText(QString::fromLatin1(kCreditLine));

    client->setFixedSize(650, 430 - 20);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void TEngineerForm::BuildMenu() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    Open1 = file->addAction(QStringLiteral("TEXT File &Open"), this, &TEngineerForm::Open1Click);
    QAction* beforeExit = file->addSeparator();
    Exit1 = file->addAction(QStringLiteral("E&xit"), this, &TEngineerForm::Exit1Click);

    QMenu* config = menuBar()->addMenu(QStringLiteral("&Config"));
    ComSet1 = config->addAction(QStringLiteral("com&Port Set"), this, &TEngineerForm::ComSet1Click);
    LogClear1 =
        config->addAction(QStringLiteral("&All Clear"), this, &TEngineerForm::AllClearButtonClick);
    RxDataClear1 = config->addAction(QStringLiteral("&Rx Data Clear"), this,
                                     &TEngineerForm::RxClearButtonClick);
    TxDataClear1 = config->addAction(QStringLiteral("&Tx Data Clear"), this,
                                     &TEngineerForm::TxClearButtonClick);
    QMenu* modeSet = config->addMenu(QStringLiteral("&Mode set"));
    int tag = 0;
    for (QAction** item : {&Data1, &Binary1, &Ascii1}) {
        static const char* const kTexts[] = {"&Data", "&Binary", "&Ascii"};
        QAction* action = modeSet->addAction(QString::fromLatin1(kTexts[tag]));
        action->setCheckable(true);
        action->setProperty("tag", tag);
        connect(action, &QAction::triggered, this, [this, action] { Data1Click(action); });
        *item = action;
        ++tag;
    }
    Data1->setChecked(true);
    AddEvidenceItems(file, beforeExit, config);
    config->addSeparator();
    Devices1 =
        config->addAction(QStringLiteral("&Devices..."), this, &TEngineerForm::Devices1Click);
    Devices1->setObjectName(QStringLiteral("Devices1"));

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    Version1 = help->addAction(QStringLiteral("&Version"), this, &TEngineerForm::Version1Click);

    for (auto [action, name] : {std::pair{Open1, "Open1"},
                                {Exit1, "Exit1"},
                                {ComSet1, "ComSet1"},
                                {LogClear1, "LogClear1"},
                                {RxDataClear1, "RxDataClear1"},
                                {TxDataClear1, "TxDataClear1"},
                                {Data1, "Data1"},
                                {Binary1, "Binary1"},
                                {Ascii1, "Ascii1"},
                                {Version1, "Version1"}}) {
        action->setObjectName(QString::fromLatin1(name));
    }
}

// ---- Start-up and shut-down --------------------------------------------------------------------

void TEngineerForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        CenterOnScreen(this);
        FormShow();
    }
}

void TEngineerForm::FormShow() {
    try {
        LoadSettings();
        ApplyMode();
        CheckPortsAndOpen();
        WritePortPanel();
        Timer1Timer();
        if (portUsable_) {
            StartTimer(Timer1);
            started_ = true;
            return;
        }
        orrick::ShowMessageBox(
            TBoxIcon::Exclamation, kComportError,
            QStringLiteral("Can not use both comport1 and comport2 !!  Check port status."));
    } catch (const std::exception& error) {
        orrick::ReportError(QString::fromUtf8(error.what()));
    }
    // The program ends with its window; closed from the event loop, not from inside the showing.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void TEngineerForm::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TEngineerForm::FormClose() {
    if (closed_) return;
    closed_ = true;
    Timer2->stop();  // no re-open of the port behind a closed window
    DeviceWait_->Stop();
    ClosePort();
    Timer1->stop();
    // A start that found no port applied nothing: the stored settings stay as they were.
    if (!started_) return;
    orrick::TPortSettings stored = settings_;
    stored.mode = mode_.load();
    const QString problem = orrick::StorePortSettings(stored);
    if (!problem.isEmpty()) orrick::ReportError(problem);
}

void TEngineerForm::LoadSettings() {
    const orrick::TLoadedSettings loaded = orrick::LoadPortSettings();
    settings_ = loaded.values;
    mode_ = settings_.mode;
    if (!loaded.problem.isEmpty()) orrick::ReportError(loaded.problem);
    if (!loaded.unknown.empty()) ShowSettingsNote(loaded.unknown);

    const int port = orrick::PortIndexOfText(settings_.port);
    ComportForm_->SetPortIndex(port);
    HComm1->SetCommPort(orrick::CommPortOfIndex(port));
    const int speed = orrick::SpeedIndexOfText(settings_.speed).value_or(0);
    ComportForm_->SetSpeedIndex(speed);
    HComm1->SetBaudRate(orrick::BaudRateOfIndex(speed));
    const int stop = orrick::StopIndexOfText(settings_.stop);
    ComportForm_->SetStopIndex(stop);
    HComm1->SetStopBits(orrick::StopBitsOfIndex(stop));
}

void TEngineerForm::CheckPortsAndOpen() {
    portUsable_ = true;
    if (HComm1->CheckCommportValid(orrick::kPortTexts[0])) {
        // A stored COM2 that has gone (an adapter unplugged) would otherwise end every start until
        // the settings were edited by hand: COM1 is there, so take it.
        if (HComm1->CommPort() == TCommPort::Com2 &&
            !HComm1->CheckCommportValid(orrick::kPortTexts[1])) {
            HComm1->SetCommPort(TCommPort::Com1);
            ComportForm_->SetPortIndex(0);
            settings_.port = orrick::kPortTexts[0];
        }
        HComm1->OpenCommport();
    } else if (HComm1->CheckCommportValid(orrick::kPortTexts[1])) {
        HComm1->SetCommPort(TCommPort::Com2);
        ComportForm_->SetPortIndex(1);
        settings_.port = orrick::kPortTexts[1];
        HComm1->OpenCommport();
    } else {
        settings_.port = orrick::kPortFailed;
        settings_.speed = orrick::kPortFailed;
        portUsable_ = false;
    }
}

void TEngineerForm::WritePortPanel() {
    StatusPanel[0]->setText(QString::fromStdString(orrick::PortPanelText(settings_)));
    // The device behind the port, for the engineer who wonders which one "COM2" is.
    const int port = HComm1->CommPort() == TCommPort::Com1 ? 0 : 1;
    StatusPanel[0]->setToolTip(
        QString::fromStdString(ComDevicePath(orrick::kPortTexts[static_cast<std::size_t>(port)])));
}

void TEngineerForm::Timer1Timer() {
    // The system's long time format without the time zone that Qt's long format adds: the zone
    // does not fit the panel, and Talvane27's clock shows none either.
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QChar(u't'));
    StatusPanel[2]->setText(QLocale::system().toString(QTime::currentTime(), format.trimmed()));
}

// ---- Mode --------------------------------------------------------------------------------------

void TEngineerForm::ApplyMode() {
    const int mode = mode_.load();
    if (mode < orrick::DataMode || mode > orrick::AsciiMode) return;
    Data1->setChecked(mode == orrick::DataMode);
    Binary1->setChecked(mode == orrick::BinaryMode);
    Ascii1->setChecked(mode == orrick::AsciiMode);
    Label1->setVisible(mode == orrick::DataMode);
    Label2->setVisible(mode == orrick::DataMode);
    ModeRadioGroup->SetItemIndex(mode);
}

void TEngineerForm::ModeRadioGroupClick() {
    const int index = ModeRadioGroup->ItemIndex();
    mode_ = index >= orrick::DataMode && index <= orrick::AsciiMode ? index : orrick::DataMode;
    ApplyMode();
}

void TEngineerForm::Data1Click(QObject* sender) {
    mode_ = sender->property("tag").toInt();
    ApplyMode();
}

// ---- Sending -----------------------------------------------------------------------------------

void TEngineerForm::TxButton1Click(QObject* sender) {
    const QTextEdit* edit = sender == TxButton1 ? RichEdit1 : RichEdit2;
    const std::u16string line = TransmitText(edit);
    if (mode_.load() == orrick::BinaryMode) {
        const orrick::THexLineBytes hex = orrick::DecodeHexLine(line);
        switch (hex.status) {
            case orrick::THexLineBytes::TStatus::OddLength:
                orrick::ShowMessageBox(TBoxIcon::Exclamation, kCommunicationError,
                                       QStringLiteral("This Data is incorrect!"));
                return;
            case orrick::THexLineBytes::TStatus::TooLong:
                orrick::ShowMessageBox(
                    TBoxIcon::Exclamation, kCommunicationError,
                    QStringLiteral("This Data is too long!  A line holds at most %1 "
                                   "characters (%2 bytes).")
                        .arg(orrick::kMaxBinaryLineChars)
                        .arg(orrick::kMaxBinaryLineChars / 2));
                return;
            case orrick::THexLineBytes::TStatus::NotHex:
                throw EConvertError(orrick::NotAnIntegerMessage(hex.badPair));
            case orrick::THexLineBytes::TStatus::Ok:
                WriteToPort(hex.bytes);
                return;
        }
        return;
    }
    const orrick::TMarkedLineBytes marked = orrick::EncodeMarkedLine(line);
    if (marked.refused) {
        orrick::ShowMessageBox(
            TBoxIcon::Exclamation, kCommunicationError,
            QStringLiteral("The character %1 has no byte in code page 437 and cannot be "
                           "sent.  Nothing was sent.")
                .arg(CharacterName(*marked.refused)));
        return;
    }
    WriteToPort(marked.bytes);
}

// ---- Receiving (receive thread) ----------------------------------------------------------------

void TEngineerForm::HComm1CommEvent(THComm& sender, std::uint32_t& /*size*/) {
    TCommRxPort port(sender);
    static thread_local const orrick::TThreadRunDelay waitedToRun;
    const orrick::TReceiveTiming timing{
        .now = [] { return std::chrono::steady_clock::now(); },
        .lineSilence = LineSilenceOf(sender),
        .waitedToRun = [] { return waitedToRun(); },
        .shownNoSoonerThan = [this] { return EngRxMemo->ShownNoSoonerThan(); }};
    orrick::ReceiveLines(
        mode_.load(), port, timing,
        [this](std::u16string&& line, std::chrono::steady_clock::time_point endedAt) {
            // Stamped with when the line ended, not when it was handed over.
            if (timeStamps_.load()) {
                const auto ago = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - endedAt);
                line.insert(0, QTime::currentTime()
                                   .addMSecs(-static_cast<int>(ago.count()))
                                   .toString(QStringLiteral("HH:mm:ss.zzz "))
                                   .toStdU16String());
            }
            EngRxMemo->Post(line);
        });
}

// ---- Clearing, files, dialogs ------------------------------------------------------------------

void TEngineerForm::AllClearButtonClick() {
    TxClearButtonClick();
    RxClearButtonClick();
}

void TEngineerForm::RxClearButtonClick() {
    EngRxMemo->ClearLines();
    HComm1->ClearInBuff();
}

void TEngineerForm::TxClearButtonClick() {
    ClearTransmitEdit(RichEdit1);
    ClearTransmitEdit(RichEdit2);
}

void TEngineerForm::Open1Click() {
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Data File Open"), QString(),
                                     QStringLiteral("TEXT Files(*.txt);;All Files(*)"));
    if (!path.isEmpty()) LoadDataFile(path);
}

void TEngineerForm::LoadDataFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error(QStringLiteral("Cannot open file \"%1\". %2")
                                     .arg(path, file.errorString())
                                     .toStdString());
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw std::runtime_error(QStringLiteral("Cannot read file \"%1\". %2")
                                     .arg(path, file.errorString())
                                     .toStdString());
    }
    // UTF-8 when the file is valid UTF-8, else the radios' code page, so that every byte loads.
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        text.clear();
        text.reserve(bytes.size());
        for (const char byte : bytes)
            text += QChar(text::Cp437ToUnicode(static_cast<std::uint8_t>(byte)));
    }
    RichEdit1->setPlainText(text);
    RichEdit1->setProperty(kLineBreakProperty, LineBreakOf(text));
}

void TEngineerForm::Exit1Click() {
    close();
}

void TEngineerForm::Version1Click() {
    VersionForm_->exec();
}

// ---- Port settings -----------------------------------------------------------------------------

void TEngineerForm::ComSet1Click() {
    StopWaitingForDevice();  // the engineer chooses the port now
    ClosePort();
    ComportForm_->exec();  // however it is closed, its selections count
    ApplyPortSelection();
}

void TEngineerForm::ActiveCheckBoxClick() {
    if (DeviceWait_->Waiting()) {
        // A click on the waiting box switches the port off: the re-open is no longer wanted.
        StopWaitingForDevice();
        ActiveCheckBox->setChecked(false);
        return;
    }
    if (ActiveCheckBox->isChecked()) {
        ApplyPortSelection();
    } else {
        Timer2->stop();  // a re-open still pending would undo the switching off
        ClosePort();
    }
}

void TEngineerForm::ApplyPortSelection() {
    const orrick::TPortSelection selection = ComportForm_->Selection();
    HComm1->SetCommPort(orrick::CommPortOfIndex(selection.port));
    settings_.port = orrick::PortTextOfIndex(selection.port);
    portUsable_ = HComm1->CheckCommportValid(settings_.port);
    if (!portUsable_) settings_.port += orrick::kPortFailed;
    HComm1->SetBaudRate(orrick::BaudRateOfIndex(selection.speed));
    settings_.speed = orrick::SpeedTextOfIndex(selection.speed);
    HComm1->SetStopBits(orrick::StopBitsOfIndex(selection.stop));
    settings_.stop = orrick::StopTextOfIndex(selection.stop);
    WritePortPanel();
    StartTimer(Timer2);
}

void TEngineerForm::Timer2Timer() {
    Timer2->stop();
    if (portUsable_) {
        HComm1->OpenCommport();
    } else {
        orrick::ShowMessageBox(TBoxIcon::Exclamation, kComportError,
                               QStringLiteral("Comport Error!!  Check port status."));
    }
}

// ---- A lost port --------------------------------------------------------------------------------

void TEngineerForm::CommErrorReported(const QString& message, bool portLost) {
    if (closed_) return;  // a write or a read that the close cut short
    if (portLost) {
        PortLost();
    } else {
        orrick::ReportError(message);
    }
}

void TEngineerForm::PortLost() {
    // Reports of the same loss keep coming (a failed read, the receive thread, a failed write):
    // the first one has closed the port.
    if (!HComm1->GetPortStatus()) return;
    const QString device = QString::fromStdString(HComm1->DevicePath());
    ClosePort();  // nothing more is written to a device that has gone
    activeBeforeLoss_ = ActiveCheckBox->isChecked();  // clear when "com&Port Set" had opened it
    ActiveCheckBox->setCheckState(Qt::PartiallyChecked);
    StatusPanel[0]->setText(QString::fromStdString(orrick::PortPanelText(settings_)) +
                            QStringLiteral("  lost"));
    // Before the box, which waits for the engineer while the device may already come back.
    DeviceWait_->Start(device, [this] { return ReopenLostPort(); });
    orrick::ReportError(QString::fromLatin1(kPortLostPrefix.data(), kPortLostPrefix.size()) +
                        device);
}

bool TEngineerForm::ReopenLostPort() {
    try {
        HComm1->OpenCommport();
    } catch (const ECommError&) {
        return false;  // not yet: the wait goes on, without a box
    }
    ActiveCheckBox->setTristate(false);
    ActiveCheckBox->setChecked(activeBeforeLoss_);
    WritePortPanel();
    return true;
}

void TEngineerForm::StopWaitingForDevice() {
    if (!DeviceWait_->Waiting()) return;
    DeviceWait_->Stop();
    // As before the loss; a click that switches the port off clears it afterwards.
    ActiveCheckBox->setTristate(false);
    ActiveCheckBox->setChecked(activeBeforeLoss_);
    WritePortPanel();
}

// ---- Keys --------------------------------------------------------------------------------------

bool TEngineerForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType() ||
        static_cast<QWidget*>(watched)->window() != this) {
        return QMainWindow::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_F1 || key->key() == Qt::Key_F2) {
        FormKeyDown(key->key());
        return true;
    }
    if (watched == RichEdit1 || watched == RichEdit2) {
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            return true;  // one-line habit
        RichEdit1KeyDown(static_cast<QTextEdit*>(watched), key->key(), key->modifiers());
    }
    return QMainWindow::eventFilter(watched, event);
}

void TEngineerForm::FormKeyDown(int key) {
    if (key == Qt::Key_F1) TxButton1Click(TxButton1);
    if (key == Qt::Key_F2) TxButton1Click(TxButton2);
}

void TEngineerForm::RichEdit1KeyDown(QTextEdit* edit, int key, Qt::KeyboardModifiers modifiers) {
    if (mode_.load() != orrick::AsciiMode || !(modifiers & Qt::ControlModifier)) return;
    QString marker;
    if (key == Qt::Key_B) marker = QStringLiteral("@");
    if (key == Qt::Key_C) marker = QStringLiteral("#");
    if (marker.isEmpty()) return;
    QTextCursor caret = edit->textCursor();
    caret.setPosition(caret.position());  // at the caret, leaving any selection as text
    caret.insertText(marker);
    edit->setTextCursor(caret);
}
