#include "Code/Shell/DeveloperPanelWindow.h"
#include "MissingLocalizationReport.h"
#include "ShellTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <vector>

#include <gtest/gtest.h>

namespace {

using RemoteEndpointType = DeveloperPanelModel::RemoteEndpointType;
using PanelProtocol = DeveloperPanelModel::NetworkProtocol;

class DeveloperPanelWindowTest : public ::testing::Test {
protected:
    template <typename Control>
    Control* control(const char* name) {
        auto* found = window.findChild<Control*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QCheckBox* simulateSwitch() { return control<QCheckBox>("simulateConnection"); }
    QComboBox* direction() { return control<QComboBox>("isIncoming"); }
    QComboBox* endpointType() { return control<QComboBox>("remoteEndpointType"); }
    QLineEdit* argumentField() { return control<QLineEdit>("remoteEndpointArgument"); }
    QComboBox* protocol() { return control<QComboBox>("networkProtocol"); }
    QLineEdit* portsField() { return control<QLineEdit>("portsString"); }
    QPushButton* resetButton() { return control<QPushButton>("reset"); }

    std::vector<QWidget*> allControls() {
        return {simulateSwitch(), direction(),  endpointType(), argumentField(),
                protocol(),       portsField(), resetButton()};
    }

    DeveloperPanelWindow window;
};

TEST_F(DeveloperPanelWindowTest, ControlsDriveTheModel) {
    QSignalSpy changes(&window, &DeveloperPanelWindow::connectionInformationDidChange);
    simulateSwitch()->click();
    direction()->setCurrentIndex(1);
    endpointType()->setCurrentIndex(2);
    QTest::keyClicks(argumentField(), "example.com");
    protocol()->setCurrentIndex(1);
    QTest::keyClicks(portsField(), "443");

    const auto& model = window.model();
    EXPECT_TRUE(model.simulateConnection());
    EXPECT_TRUE(model.isIncoming());
    EXPECT_EQ(model.remoteEndpointType(), RemoteEndpointType::domain);
    EXPECT_EQ(model.remoteEndpointArgument(), "example.com");
    EXPECT_EQ(model.networkProtocol(), PanelProtocol::tcp);
    EXPECT_EQ(model.portsString(), "443");
    // One announcement per assignment: three switches and menus, eleven plus three typed keys.
    EXPECT_EQ(changes.count(), 4 + 11 + 3);

    const auto information = window.connectionInformation();
    ASSERT_NE(information, nullptr);
    ASSERT_NE(information->networkInformation(), nullptr);
    EXPECT_EQ(information->networkInformation()->ports(), PortSet::withPort(443));
}

TEST_F(DeveloperPanelWindowTest, ModelDrivesTheControlsInTheMenusOrder) {
    auto& model = window.model();
    const std::vector<std::pair<RemoteEndpointType, int>> kinds = {
        {RemoteEndpointType::none, 0},         {RemoteEndpointType::host, 1},
        {RemoteEndpointType::domain, 2},       {RemoteEndpointType::ipAddresses, 3},
        {RemoteEndpointType::localNetwork, 4}, {RemoteEndpointType::berkeleyPacketFilter, 5}};
    for (const auto& [kind, index] : kinds) {
        model.setRemoteEndpointType(kind);
        EXPECT_EQ(endpointType()->currentIndex(), index);
    }
    EXPECT_EQ(endpointType()->count(), 6);
    for (const auto& [panelProtocol, index] :
         std::vector<std::pair<PanelProtocol, int>>{{PanelProtocol::icmp, 3},
                                                    {PanelProtocol::udp, 2},
                                                    {PanelProtocol::tcp, 1},
                                                    {PanelProtocol::any, 0}}) {
        model.setNetworkProtocol(panelProtocol);
        EXPECT_EQ(protocol()->currentIndex(), index);
    }
    EXPECT_EQ(protocol()->count(), 4);

    model.setSimulateConnection(true);
    model.setIsIncoming(true);
    model.setPortsString("8080");
    EXPECT_TRUE(simulateSwitch()->isChecked());
    EXPECT_EQ(direction()->currentIndex(), 1);
    EXPECT_EQ(portsField()->text(), QStringLiteral("8080"));
    // Showing the controls' new values changes nothing in the model again.
    EXPECT_EQ(model.portsString(), "8080");
    EXPECT_TRUE(model.isIncoming());
}

TEST_F(DeveloperPanelWindowTest, ArgumentFieldFollowsTheKindAndKeepsItsText) {
    endpointType()->setCurrentIndex(1);
    ASSERT_TRUE(argumentField()->isEnabled());
    QTest::keyClicks(argumentField(), "updates.example.com");
    for (const int takesArgument : {1, 2, 3}) {
        endpointType()->setCurrentIndex(takesArgument);
        EXPECT_TRUE(argumentField()->isEnabled()) << takesArgument;
    }
    for (const int takesNone : {0, 4, 5}) {
        endpointType()->setCurrentIndex(takesNone);
        EXPECT_FALSE(argumentField()->isEnabled()) << takesNone;
    }
    EXPECT_EQ(argumentField()->text(), QStringLiteral("updates.example.com"));
    EXPECT_EQ(window.model().remoteEndpointArgument(), "updates.example.com");

    // The field's clear button empties the model's entry too.
    endpointType()->setCurrentIndex(1);
    auto* clearButton = argumentField()->findChild<QToolButton*>();
    ASSERT_NE(clearButton, nullptr);
    clearButton->click();
    EXPECT_TRUE(argumentField()->text().isEmpty());
    EXPECT_EQ(window.model().remoteEndpointArgument(), "");
}

TEST_F(DeveloperPanelWindowTest, ResetSetsFiveEntriesAndLeavesTheSwitchOn) {
    simulateSwitch()->click();
    direction()->setCurrentIndex(1);
    endpointType()->setCurrentIndex(1);
    QTest::keyClicks(argumentField(), "example.com");
    protocol()->setCurrentIndex(2);
    QTest::keyClicks(portsField(), "53");

    QSignalSpy changes(&window, &DeveloperPanelWindow::connectionInformationDidChange);
    resetButton()->click();
    EXPECT_EQ(changes.count(), 5);
    EXPECT_TRUE(simulateSwitch()->isChecked());
    EXPECT_TRUE(window.model().simulateConnection());
    EXPECT_EQ(direction()->currentIndex(), 0);
    EXPECT_EQ(endpointType()->currentIndex(), 0);
    EXPECT_TRUE(argumentField()->text().isEmpty());
    EXPECT_EQ(protocol()->currentIndex(), 0);
    EXPECT_TRUE(portsField()->text().isEmpty());

    // Also when nothing changes, each entry is announced.
    resetButton()->click();
    EXPECT_EQ(changes.count(), 10);
}

TEST_F(DeveloperPanelWindowTest, ShowingAnnouncesAndClosingAnnouncesOnceAfterTheClose) {
    QSignalSpy changes(&window, &DeveloperPanelWindow::connectionInformationDidChange);
    window.showPanel();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(changes.count(), 1);

    bool visibleWhenAnnounced = true;
    QObject::connect(&window, &DeveloperPanelWindow::connectionInformationDidChange, &window,
                     [&] { visibleWhenAnnounced = window.isVisible(); });
    ASSERT_TRUE(window.close());
    EXPECT_EQ(changes.count(), 1) << "announced before the close completed";
    ASSERT_EVENTUALLY(changes.count() == 2, "the close was not announced");
    EXPECT_FALSE(visibleWhenAnnounced);
    QCoreApplication::processEvents();
    EXPECT_EQ(changes.count(), 2);
}

TEST_F(DeveloperPanelWindowTest, TabReachesEveryControlInOrder) {
    endpointType()->setCurrentIndex(1);
    window.showPanel();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    simulateSwitch()->setFocus(Qt::TabFocusReason);

    std::vector<QWidget*> reached{window.focusWidget()};
    for (std::size_t step = 1; step < allControls().size(); ++step) {
        QTest::keyClick(window.focusWidget(), Qt::Key_Tab);
        reached.push_back(window.focusWidget());
    }
    EXPECT_EQ(reached, allControls());
}

TEST_F(DeveloperPanelWindowTest, EveryControlAndTheWindowHaveNamesFromTheTable) {
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Developer Panel"));
    for (QWidget* widget : allControls()) {
        EXPECT_FALSE(widget->accessibleName().isEmpty()) << widget->objectName().toStdString();
        EXPECT_FALSE(widget->accessibleName().contains(QLatin1Char('&')));
    }
    EXPECT_EQ(portsField()->accessibleName(), QStringLiteral("Port"));
}

TEST(DeveloperPanelStrings, EveryKeyTheWindowUsesIsInTheTable) {
    EXPECT_EQ(missingLocalizationsReported("DeveloperPanel", [] { DeveloperPanelWindow window; }), "");
}

} // namespace
