// The main window's menu bar: every item with its access key, wired to its handler.
#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "terminal/MainForm.h"

QAction* TMainForm::AddItem(QMenu* menu, const QString& caption, const char* name) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

void TMainForm::BuildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));

    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("FileMenu"));
    connect(AddItem(file, QStringLiteral(" &Open"), "OpenMenu"), &QAction::triggered, this,
            &TMainForm::OpenMenuClick);
    QAction* beforeExit = file->addSeparator();
    connect(AddItem(file, QStringLiteral("e&Xit"), "ExitMenu"), &QAction::triggered, this,
            &TMainForm::ExitMenuClick);

    QMenu* config = bar->addMenu(QStringLiteral("&Config"));
    config->setObjectName(QStringLiteral("ConfigMenu"));
    QMenu* port = config->addMenu(QStringLiteral("&Port"));
    port->setObjectName(QStringLiteral("PortMenu"));
    n1200_ = AddItem(port, QStringLiteral("1200bps(&L)"), "N1200Menu");
    n9600_ = AddItem(port, QStringLiteral("9600bps(&H)"), "N9600Menu");
    port->addSeparator();
    com1_ = AddItem(port, QStringLiteral("Com1(&F)"), "Com1Menu");
    com2_ = AddItem(port, QStringLiteral("Com2(&S)"), "Com2Menu");
    const std::array<QAction*, 4> portItems{n1200_, n9600_, com1_, com2_};
    for (int tag = 0; tag < 4; ++tag) {
        QAction* item = portItems[static_cast<std::size_t>(tag)];
        item->setCheckable(true);
        item->setData(tag);
        connect(item, &QAction::triggered, this, [this, tag] { N1200MenuClick(tag); });
    }
    n1200_->setChecked(true);
    com1_->setChecked(true);
    connect(AddItem(config, QStringLiteral("para&Meters"), "Parameters1"), &QAction::triggered, this,
            &TMainForm::Parameters1Click);
    connect(AddItem(config, QStringLiteral("&Log Clear"), "LogClearMenu"), &QAction::triggered, this,
            &TMainForm::LogClearMenuClick);
    QMenu* coding = config->addMenu(QStringLiteral("CODING"));
    coding->setObjectName(QStringLiteral("CodingMenu"));
    n7bit_ = AddItem(coding, QStringLiteral("7 bit ASCII"), "N7bitASCII");
    n8bit_ = AddItem(coding, QStringLiteral("8 bit PC character"), "N8bitPCChr");
    n7bit_->setCheckable(true);
    n8bit_->setCheckable(true);
    n7bit_->setChecked(true);
    connect(n7bit_, &QAction::triggered, this, &TMainForm::N7bitASCIIClick);
    connect(n8bit_, &QAction::triggered, this, &TMainForm::N8bitPCChrClick);
    config->addSeparator();
    connect(AddItem(config, QStringLiteral("&Devices..."), "DevicesMenu"), &QAction::triggered,
            this, &TMainForm::DevicesMenuClick);

    QMenu* option = bar->addMenu(QStringLiteral("&Option"));
    option->setObjectName(QStringLiteral("OptionMenu"));
    connect(AddItem(option, QStringLiteral("call &Details"), "CallDetails1"), &QAction::triggered, this,
            &TMainForm::CallDetails1Click);
    AddEvidenceItems(file, beforeExit, option);

    QMenu* operate = bar->addMenu(QStringLiteral("ope&Rate"));
    operate->setObjectName(QStringLiteral("OperateMenu"));
    connect(AddItem(operate, QStringLiteral("&Reset"), "ResetMenu"), &QAction::triggered, this,
            &TMainForm::ResetMenuClick);
    QMenu* interrogation = operate->addMenu(QStringLiteral("radio interro&Gation"));
    interrogation->setObjectName(QStringLiteral("RadioInterrogation1"));
    connect(AddItem(interrogation, QStringLiteral("Personality request"), "Personalityrequest1"),
            &QAction::triggered, this, &TMainForm::Personalityrequest1Click);
    connect(AddItem(interrogation, QStringLiteral("Numbering information"), "Numberinginformation1"),
            &QAction::triggered, this, &TMainForm::Numberinginformation1Click);
    connect(AddItem(interrogation, QStringLiteral("Status of radio settings"), "Statusofradiosettings1"),
            &QAction::triggered, this, &TMainForm::Statusofradiosettings1Click);
    connect(AddItem(interrogation, QStringLiteral("Operating condition"), "Operatingcondition1"),
            &QAction::triggered, this, &TMainForm::Operatingcondition1Click);
    connect(AddItem(interrogation, QStringLiteral("Network information"), "Networkinformation1"),
            &QAction::triggered, this, &TMainForm::Networkinformation1Click);
    connect(AddItem(operate, QStringLiteral("radio &Management"), "radioManagementMenu"),
            &QAction::triggered, this, &TMainForm::radioManagementMenuClick);
    connect(AddItem(operate, QStringLiteral("radio &Control"), "RadioControl1"), &QAction::triggered, this,
            &TMainForm::RadioControl1Click);
    connect(AddItem(operate, QStringLiteral("&Volume control"), "VolumeControl1"), &QAction::triggered,
            this, &TMainForm::VolumeControl1Click);
    connect(AddItem(operate, QStringLiteral("&Protcol info"), "ProtcolInfo1"), &QAction::triggered, this,
            &TMainForm::ProtcolInfo1Click);
    connect(AddItem(operate, QStringLiteral("send modem &Data"), "SendModemData1"), &QAction::triggered,
            this, &TMainForm::SendModemData1Click);
    connect(AddItem(operate, QStringLiteral("dialled &String"), "DialledString1"), &QAction::triggered,
            this, &TMainForm::DialledString1Click);
    connect(AddItem(operate, QStringLiteral("Disconnect RQ&X"), "DisconnectRQX1"), &QAction::triggered,
            this, &TMainForm::DisconnectRQX1Click);
    connect(AddItem(operate, QStringLiteral("diversio&N"), "Diversion1"), &QAction::triggered, this,
            &TMainForm::Diversion1Click);
    connect(AddItem(operate, QStringLiteral("radio t&Est"), "RadioTest1"), &QAction::triggered, this,
            &TMainForm::RadioTest1Click);
    QMenu* testMode = operate->addMenu(QStringLiteral("&Test Mode"));
    testMode->setObjectName(QStringLiteral("TestMode1"));
    connect(AddItem(testMode, QStringLiteral("&Send test packet"), "Sendtestpacket1"), &QAction::triggered,
            this, &TMainForm::Sendtestpacket1Click);
    connect(AddItem(testMode, QStringLiteral("&Timer check"), "TimerCheck2"), &QAction::triggered,
            this, &TMainForm::TimerCheck2Click);
    connect(AddItem(testMode, QStringLiteral("&Variables"), "Variables1"), &QAction::triggered,
            this, &TMainForm::Variables1Click);

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("HelpMenu"));
    connect(AddItem(help, QStringLiteral("&Version"), "VersionMenu"), &QAction::triggered, this,
            &TMainForm::VersionMenuClick);
}
