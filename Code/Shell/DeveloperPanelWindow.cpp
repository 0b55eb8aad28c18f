#include "Code/Shell/DeveloperPanelWindow.h"

#include "Code/Catalogue/QtStrings.h"
#include "Code/Shell/ShellText.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

constexpr const char* developerPanelTable = "DeveloperPanel";

QString text(const char* key) {
    return ShellText::localized(key, developerPanelTable);
}

/// A label's text as a screen reader should say it: without the mnemonic marker and the colon.
QString accessibleNameForLabel(QString labelText) {
    labelText.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    labelText.remove(QLatin1Char('&'));
    labelText.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    labelText = labelText.trimmed();
    if (labelText.endsWith(QLatin1Char(':'))) {
        labelText.chop(1);
    }
    return labelText.trimmed();
}

// The endpoint kinds in the order of the model's raw values, with their menu texts.
struct MenuItem {
    int rawValue;
    const char* key;
};
constexpr MenuItem remoteEndpointTypeItems[] = {
    {0, "remoteEndpointType.none"},         {1, "remoteEndpointType.host"},
    {2, "remoteEndpointType.domain"},       {3, "remoteEndpointType.ipAddresses"},
    {4, "remoteEndpointType.localNetwork"}, {5, "remoteEndpointType.berkeleyPacketFilter"},
};
constexpr MenuItem networkProtocolItems[] = {
    {0, "networkProtocol.any"},
    {1, "networkProtocol.tcp"},
    {2, "networkProtocol.udp"},
    {3, "networkProtocol.icmp"},
};
constexpr int outgoingIndex = 0;
constexpr int incomingIndex = 1;

QComboBox* comboBox(const MenuItem* first, const MenuItem* last, QWidget* parent) {
    auto* box = new QComboBox(parent);
    for (const auto* item = first; item != last; ++item) {
        box->addItem(text(item->key), item->rawValue);
    }
    return box;
}

QLabel* buddyLabel(const char* key, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text(key), parent);
    label->setBuddy(buddy);
    buddy->setAccessibleName(accessibleNameForLabel(label->text()));
    return label;
}

} // namespace

DeveloperPanelWindow::DeveloperPanelWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool) {
    setWindowTitle(text("windowTitle"));
    setAccessibleName(windowTitle());
    buildControls();
    updateControlsFromModel();
    connectControls();
    _model.setChangeHandler([this](std::string_view) {
        updateControlsFromModel();
        emit connectionInformationDidChange();
    });
}

std::shared_ptr<const ConnectionInformation> DeveloperPanelWindow::connectionInformation() const {
    return _model.connectionInformation();
}

void DeveloperPanelWindow::showPanel() {
    show();
    raise();
    activateWindow();
    _model.postConnectionInformationDidChange();
}

void DeveloperPanelWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted()) {
        // The page asks whether the panel is open; it must hear of the change once it has closed.
        QMetaObject::invokeMethod(
            this, [this] { _model.postConnectionInformationDidChange(); }, Qt::QueuedConnection);
    }
}

void DeveloperPanelWindow::buildControls() {
    _introductionLabel = new QLabel(text("introductionText"), this);
    _introductionLabel->setWordWrap(true);

    _simulateConnectionCheckBox = new QCheckBox(text("simulateConnectionButtonTitle"), this);
    _simulateConnectionCheckBox->setAccessibleName(
        accessibleNameForLabel(_simulateConnectionCheckBox->text()));

    _directionComboBox = new QComboBox(this);
    _directionComboBox->insertItem(outgoingIndex, text("direction.outgoing"));
    _directionComboBox->insertItem(incomingIndex, text("direction.incoming"));
    _directionLabel = buddyLabel("directionLabel", _directionComboBox, this);

    _remoteEndpointTypeComboBox =
        comboBox(std::begin(remoteEndpointTypeItems), std::end(remoteEndpointTypeItems), this);
    _remoteEndpointTypeLabel = buddyLabel("remoteEndpointTypeLabel", _remoteEndpointTypeComboBox, this);

    _remoteEndpointArgumentField = new QLineEdit(this);
    _remoteEndpointArgumentField->setPlaceholderText(text("remoteEndpointArgumentPlaceholder"));
    _remoteEndpointArgumentField->setClearButtonEnabled(true);
    _remoteEndpointArgumentLabel =
        buddyLabel("remoteEndpointArgumentLabel", _remoteEndpointArgumentField, this);

    _networkProtocolComboBox =
        comboBox(std::begin(networkProtocolItems), std::end(networkProtocolItems), this);
    _networkProtocolLabel = buddyLabel("networkProtocolLabel", _networkProtocolComboBox, this);

    _portsField = new QLineEdit(this);
    _portsField->setPlaceholderText(text("portsPlaceholder"));
    _portsLabel = buddyLabel("portsLabel", _portsField, this);

    _resetButton = new QPushButton(text("resetButtonTitle"), this);
    _resetButton->setAccessibleName(accessibleNameForLabel(_resetButton->text()));
    _resetButton->setAutoDefault(false);

    auto* form = new QFormLayout;
    form->addRow(_directionLabel, _directionComboBox);
    form->addRow(_remoteEndpointTypeLabel, _remoteEndpointTypeComboBox);
    form->addRow(_remoteEndpointArgumentLabel, _remoteEndpointArgumentField);
    form->addRow(_networkProtocolLabel, _networkProtocolComboBox);
    form->addRow(_portsLabel, _portsField);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(_resetButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(_introductionLabel);
    layout->addWidget(_simulateConnectionCheckBox);
    layout->addLayout(form);
    layout->addStretch();
    layout->addLayout(buttons);

    // Named after the model's keys, for tests and for style sheets.
    _simulateConnectionCheckBox->setObjectName(QStringLiteral("simulateConnection"));
    _directionComboBox->setObjectName(QStringLiteral("isIncoming"));
    _remoteEndpointTypeComboBox->setObjectName(QStringLiteral("remoteEndpointType"));
    _remoteEndpointArgumentField->setObjectName(QStringLiteral("remoteEndpointArgument"));
    _networkProtocolComboBox->setObjectName(QStringLiteral("networkProtocol"));
    _portsField->setObjectName(QStringLiteral("portsString"));
    _resetButton->setObjectName(QStringLiteral("reset"));

    setTabOrder(_simulateConnectionCheckBox, _directionComboBox);
    setTabOrder(_directionComboBox, _remoteEndpointTypeComboBox);
    setTabOrder(_remoteEndpointTypeComboBox, _remoteEndpointArgumentField);
    setTabOrder(_remoteEndpointArgumentField, _networkProtocolComboBox);
    setTabOrder(_networkProtocolComboBox, _portsField);
    setTabOrder(_portsField, _resetButton);
    setMinimumWidth(360);
}

void DeveloperPanelWindow::connectControls() {
    connect(_simulateConnectionCheckBox, &QCheckBox::toggled, this,
            [this](bool checked) { _model.setSimulateConnection(checked); });
    connect(_directionComboBox, &QComboBox::currentIndexChanged, this,
            [this](int index) { _model.setIsIncoming(index == incomingIndex); });
    connect(_remoteEndpointTypeComboBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        const auto type = DeveloperPanelModel::remoteEndpointTypeFromRawValue(
            _remoteEndpointTypeComboBox->itemData(index).toInt());
        if (type) {
            _model.setRemoteEndpointType(*type);
        }
    });
    // Text fields commit every change as it happens (typing, the clear button, undo), so that Reset
    // and the page always see the current text. Changes made from the model are blocked below.
    connect(_remoteEndpointArgumentField, &QLineEdit::textChanged, this, [this](const QString& argument) {
        _model.setRemoteEndpointArgument(QtStrings::toStdString(argument));
    });
    connect(_networkProtocolComboBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        const auto networkProtocol = DeveloperPanelModel::networkProtocolFromRawValue(
            _networkProtocolComboBox->itemData(index).toInt());
        if (networkProtocol) {
            _model.setNetworkProtocol(*networkProtocol);
        }
    });
    connect(_portsField, &QLineEdit::textChanged, this,
            [this](const QString& ports) { _model.setPortsString(QtStrings::toStdString(ports)); });
    connect(_resetButton, &QPushButton::clicked, this, [this] { _model.reset(); });
}

void DeveloperPanelWindow::updateControlsFromModel() {
    const QSignalBlocker blockSimulate(_simulateConnectionCheckBox);
    const QSignalBlocker blockDirection(_directionComboBox);
    const QSignalBlocker blockType(_remoteEndpointTypeComboBox);
    const QSignalBlocker blockProtocol(_networkProtocolComboBox);
    const QSignalBlocker blockArgument(_remoteEndpointArgumentField);
    const QSignalBlocker blockPorts(_portsField);

    _simulateConnectionCheckBox->setChecked(_model.simulateConnection());
    _directionComboBox->setCurrentIndex(_model.isIncoming() ? incomingIndex : outgoingIndex);
    _remoteEndpointTypeComboBox->setCurrentIndex(
        _remoteEndpointTypeComboBox->findData(static_cast<int>(_model.remoteEndpointType())));
    _networkProtocolComboBox->setCurrentIndex(
        _networkProtocolComboBox->findData(static_cast<int>(_model.networkProtocol())));
    // Setting the same text again would move the cursor of a field being typed in.
    const QString argument = QtStrings::toQString(_model.remoteEndpointArgument());
    if (_remoteEndpointArgumentField->text() != argument) {
        _remoteEndpointArgumentField->setText(argument);
    }
    const QString ports = QtStrings::toQString(_model.portsString());
    if (_portsField->text() != ports) {
        _portsField->setText(ports);
    }
    // The text stays while the field is disabled; it counts again when the kind takes an argument.
    const bool acceptsArgument = _model.remoteEndpointTypeAcceptsArgument();
    _remoteEndpointArgumentField->setEnabled(acceptsArgument);
    _remoteEndpointArgumentLabel->setEnabled(acceptsArgument);
}
