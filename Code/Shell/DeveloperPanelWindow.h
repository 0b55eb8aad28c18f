#pragma once

#include "Code/Model/DeveloperPanelModel.h"

#include <QWidget>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

/// The developer panel: a small utility window in which a developer describes one connection and
/// switches its simulation on, so that the document page shows only the declared connections that
/// cover it. Its controls are bound both ways to the panel's model, which keeps its entries while
/// the window is closed and reopened.
class DeveloperPanelWindow : public QWidget {
    Q_OBJECT

public:
    explicit DeveloperPanelWindow(QWidget* parent = nullptr);

    DeveloperPanelModel& model() { return _model; }
    /// The simulated connection, null while simulation is off.
    std::shared_ptr<const ConnectionInformation> connectionInformation() const;
    /// Shows and raises the window, then announces a change (the page redraws).
    void showPanel();

signals:
    /// Every change of an entry, once per assignment (Reset announces each of the five it sets);
    /// also after showPanel, and once after the window has closed (queued).
    void connectionInformationDidChange();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void connectControls();
    void updateControlsFromModel();

    DeveloperPanelModel _model;
    QCheckBox* _simulateConnectionCheckBox = nullptr;
    QComboBox* _directionComboBox = nullptr;
    QComboBox* _remoteEndpointTypeComboBox = nullptr;
    QLineEdit* _remoteEndpointArgumentField = nullptr;
    QComboBox* _networkProtocolComboBox = nullptr;
    QLineEdit* _portsField = nullptr;
    QPushButton* _resetButton = nullptr;
    QLabel* _introductionLabel = nullptr;
    QLabel* _directionLabel = nullptr;
    QLabel* _remoteEndpointTypeLabel = nullptr;
    QLabel* _remoteEndpointArgumentLabel = nullptr;
    QLabel* _networkProtocolLabel = nullptr;
    QLabel* _portsLabel = nullptr;
};
