#include "Catalogue/LoopbackHTTPSServer.h"
#include "Code/Catalogue/LoadProgress.h"
#include "Code/Catalogue/PreviewApplicationsSource.h"
#include "Code/Shell/PreviewApplicationsLoadingSheet.h"
#include "Code/Shell/ShellText.h"
#include "ShellTestSupport.h"

#include <QPointer>
#include <QPushButton>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

QString sheetText(const char* key) {
    return ShellText::localized(key, ShellText::previewApplicationsLoadingSheetTable);
}

/// A featured list on the loopback and a sheet over a window for its next load.
class PreviewApplicationsLoadingSheetTest : public ::testing::Test {
protected:
    void SetUp() override { _window.show(); }

    void serve(LoopbackHTTPSServer::Response response) {
        _server.setResponse(QStringLiteral("/featured.json"), std::move(response));
        PreviewApplicationsSource::Options options;
        options.extraCertificateAuthorities = {_server.certificateAuthority()};
        options.languageCode = QStringLiteral("en");
        _source = PreviewApplicationsSource::make(_server.url(QStringLiteral("/featured.json")), options);
        _source->setWillLoadListHandler([this](LoadProgress& progress) {
            _sheet = new PreviewApplicationsLoadingSheet(*_source, progress, &_window);
            _sheet->open();
        });
        _source->startUpdating([](AsyncApplicationsSource&, bool) {});
    }

    bool waitForTheLoad() {
        return ShellTestSupport::waitUntil([this] { return !_source->isLoadingList(); },
                                           std::chrono::seconds(20));
    }

    LoopbackHTTPSServer _server;
    QWidget _window;
    std::shared_ptr<PreviewApplicationsSource> _source;
    QPointer<PreviewApplicationsLoadingSheet> _sheet;
};

const QByteArray twoApplications =
    R"({"applications": [)"
    R"({"name": {"en": "One"}, "developerName": "D", "applicationDescription": {"en": "d"},)"
    R"( "url": "https://example.com/1", "bundleIdentifier": "com.example.one"},)"
    R"({"name": {"en": "Two"}, "developerName": "D", "applicationDescription": {"en": "d"},)"
    R"( "url": "https://example.com/2", "bundleIdentifier": "com.example.two"}]})";

} // namespace

TEST_F(PreviewApplicationsLoadingSheetTest, ShowsLoadingThenHowManyWereLoaded) {
    serve(LoopbackHTTPSServer::json(twoApplications));
    ASSERT_NE(_sheet, nullptr);
    EXPECT_EQ(_sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(_sheet->statusText(), sheetText("loading"));
    EXPECT_EQ(_sheet->buttonText(), sheetText("cancelButtonTitle"));
    ASSERT_TRUE(waitForTheLoad());
    EXPECT_EQ(_sheet->statusText(), sheetText("loadingFinishedFormat %lld").replace("%lld", "2"));
    EXPECT_EQ(_sheet->buttonText(), sheetText("doneButtonTitle"));
    _sheet->findChild<QPushButton*>()->click();
    EXPECT_FALSE(_sheet && _sheet->isVisible());
}

TEST_F(PreviewApplicationsLoadingSheetTest, ReportsAListThatCouldNotBeLoaded) {
    serve(LoopbackHTTPSServer::Response{404, "Not here", {}, false, false});
    ASSERT_TRUE(waitForTheLoad());
    ASSERT_NE(_sheet, nullptr);
    EXPECT_EQ(_sheet->statusText(), sheetText("loadError"));
    EXPECT_EQ(_sheet->buttonText(), sheetText("doneButtonTitle"));
}

TEST_F(PreviewApplicationsLoadingSheetTest, CancelStopsTheLoad) {
    LoopbackHTTPSServer::Response silent;
    silent.neverAnswers = true;
    serve(silent);
    ASSERT_NE(_sheet, nullptr);
    ASSERT_EVENTUALLY(_server.countOfRequests(QStringLiteral("/featured.json")) > 0,
                      "the list was not requested");
    EXPECT_EQ(_sheet->buttonText(), sheetText("cancelButtonTitle"));
    _sheet->findChild<QPushButton*>()->click();
    EXPECT_TRUE(waitForTheLoad());
}
