#include "desktop/DevicesForm.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "serial/PortNames.h"

namespace {

const QString kCaption = QStringLiteral("Devices");
constexpr const char* kComNames[] = {"COM1", "COM2", "COM3", "COM4"};

QTreeWidget* MakeTable(const char* name, const QStringList& headers, QWidget* parent) {
    auto* table = new QTreeWidget(parent);
    table->setObjectName(QString::fromLatin1(name));
    table->setHeaderLabels(headers);
    table->setRootIsDecorated(false);
    table->setAllColumnsShowFocus(true);
    table->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    return table;
}

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

TDevicesForm::TDevicesForm(const QString& portInUse, QWidget* parent, DeviceScanner scanner)
    : QDialog(parent), scanner_(std::move(scanner)), portInUse_(portInUse) {
    setObjectName(QStringLiteral("DevicesForm"));
    setWindowTitle(kCaption);
    resize(760, 400);

    PortTable = MakeTable(
        "PortTable", {QStringLiteral("Port"), QStringLiteral("Device"), QStringLiteral("State")},
        this);
    PortTable->setSelectionMode(QAbstractItemView::NoSelection);
    PortTable->setMaximumHeight(130);
    DeviceTable = MakeTable("DeviceTable",
                            {QStringLiteral("Device"), QStringLiteral("Points at"),
                             QStringLiteral("Description"), QStringLiteral("Port")},
                            this);
    PortBox = new QComboBox(this);
    PortBox->setObjectName(QStringLiteral("PortBox"));
    for (const char* name : kComNames) PortBox->addItem(QString::fromLatin1(name));
    PortBox->setCurrentText(portInUse_);
    AssignButton = new QPushButton(QStringLiteral("&Assign"), this);
    AssignButton->setObjectName(QStringLiteral("AssignButton"));
    AssignButton->setEnabled(false);
    RefreshButton = new QPushButton(QStringLiteral("&Refresh"), this);
    RefreshButton->setObjectName(QStringLiteral("RefreshButton"));
    CloseButton = new QPushButton(QStringLiteral("&Close"), this);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));
    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName(QStringLiteral("StatusLabel"));
    StatusLabel->setWordWrap(true);
    StatusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* assignRow = new QHBoxLayout;
    assignRow->addWidget(new QLabel(QStringLiteral("Selected device to:"), this));
    assignRow->addWidget(PortBox);
    assignRow->addWidget(AssignButton);
    assignRow->addStretch(1);
    assignRow->addWidget(RefreshButton);
    assignRow->addWidget(CloseButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Ports"), this));
    layout->addWidget(PortTable);
    layout->addWidget(new QLabel(QStringLiteral("Devices found"), this));
    layout->addWidget(DeviceTable, 1);
    layout->addLayout(assignRow);
    layout->addWidget(StatusLabel);

    connect(DeviceTable, &QTreeWidget::itemSelectionChanged, this,
            [this] { AssignButton->setEnabled(!DeviceTable->selectedItems().isEmpty()); });
    connect(AssignButton, &QPushButton::clicked, this, &TDevicesForm::AssignButtonClick);
    connect(RefreshButton, &QPushButton::clicked, this, &TDevicesForm::Refresh);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);
    Refresh();
}

void TDevicesForm::Refresh() {
    PortTable->clear();
    for (const char* name : kComNames) {
        const std::string device = ComDevicePath(name);
        const bool configured = !ReadPortsEntry(name).empty();
        auto* row = new QTreeWidgetItem(
            PortTable, {QString::fromLatin1(name),
                        Text(device) + (configured ? QString() : QStringLiteral(" (default)")),
                        Text(CheckPort(device).StateText())});
        row->setToolTip(1, Text(device));
    }
    DeviceTable->clear();
    devices_ = scanner_.Scan();
    for (const SerialDevice& device : devices_) {
        QString pointsAt;
        if (device.node != device.path) {
            pointsAt =
                Text(device.node) + (device.present ? QString() : QStringLiteral(" (missing)"));
        }
        QStringList names;
        for (const std::string& name : ComNamesOf(device)) names << Text(name);
        auto* row =
            new QTreeWidgetItem(DeviceTable, {Text(device.path), pointsAt, Text(device.description),
                                              names.join(QStringLiteral(", "))});
        row->setToolTip(0, Text(device.path));
    }
    AssignButton->setEnabled(false);
}

void TDevicesForm::AssignButtonClick() {
    const int index = DeviceTable->indexOfTopLevelItem(DeviceTable->currentItem());
    if (index < 0 || index >= static_cast<int>(devices_.size()) ||
        DeviceTable->selectedItems().isEmpty()) {
        return;
    }
    const std::string path = devices_[static_cast<std::size_t>(index)].path;
    const QString port = PortBox->currentText();
    const std::string problem = WritePortsEntry(port.toStdString(), path);
    if (!problem.empty()) {
        StatusLabel->clear();
        QMessageBox::critical(this, kCaption, Text(problem));
        return;
    }
    Refresh();
    const QString pointsAt = QStringLiteral("%1 now points at %2.").arg(port, Text(path));
    if (port == portInUse_ &&
        QMessageBox::question(this, kCaption,
                              pointsAt + QStringLiteral("\n\nRe-open %1 now?").arg(port)) ==
            QMessageBox::Yes) {
        StatusLabel->setText(pointsAt + QStringLiteral(" It is re-opened."));
        emit ReopenRequested();
        return;
    }
    StatusLabel->setText(pointsAt +
                         QStringLiteral(" This takes effect when %1 is next opened.").arg(port));
}
