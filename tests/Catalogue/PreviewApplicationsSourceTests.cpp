#include "CatalogueTestSupport.h"
#include "Code/Catalogue/LoadProgress.h"
#include "Code/Catalogue/PreviewApplication.h"
#include "Code/Catalogue/PreviewApplicationsSource.h"
#include "LoopbackHTTPSServer.h"

#include <QPointer>
#include <QSignalSpy>
#include <algorithm>
#include <vector>

#include <gmock/gmock.h>

using namespace CatalogueTestSupport;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Optional;

namespace {

constexpr int generousWait = 20000;
const QString listPath = QStringLiteral("/resources/lumora/featured-applications.json");
const QString iconFolder = QStringLiteral("/resources/lumora/app-icons/");

std::vector<QString> displayNames(const ApplicationsSource::Applications& applications) {
    std::vector<QString> names;
    for (const auto& application : applications) {
        names.push_back(application->displayName());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::shared_ptr<PreviewApplication> findApplication(const ApplicationsSource::Applications& applications,
                                                    const QString& identifier) {
    for (const auto& application : applications) {
        if (application->identifier() == identifier) {
            return std::static_pointer_cast<PreviewApplication>(application);
        }
    }
    return nullptr;
}

class PreviewApplicationsSourceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(_server.isListening()); }

    std::shared_ptr<PreviewApplicationsSource> makeSource(PreviewApplicationsSource::Options options = {}) {
        options.extraCertificateAuthorities = {_server.certificateAuthority()};
        if (options.languageCode.isEmpty()) {
            options.languageCode = QStringLiteral("en");
        }
        return PreviewApplicationsSource::make(_server.url(listPath), std::move(options));
    }

    /// Starts the source and waits for its first report; the number of reports so far.
    void startAndWait(PreviewApplicationsSource& source) {
        source.startUpdating([this](AsyncApplicationsSource& reporting, bool mayEndInitialLoading) {
            EXPECT_TRUE(mayEndInitialLoading);
            EXPECT_FALSE(static_cast<PreviewApplicationsSource&>(reporting).isLoadingList());
            ++_reports;
        });
        waitForLoad(source);
    }
    void waitForLoad(PreviewApplicationsSource& source) {
        QSignalSpy loading(&source, &PreviewApplicationsSource::loadingListChanged);
        while (source.isLoadingList()) {
            ASSERT_TRUE(loading.wait(generousWait));
        }
    }
    void waitForRequests(int count) {
        QSignalSpy requests(&_server, &LoopbackHTTPSServer::requestReceived);
        while (_server.requestedPaths().size() < count) {
            ASSERT_TRUE(requests.wait(generousWait));
        }
    }
    int iconRequestCount() const {
        return static_cast<int>(
            std::count_if(_server.requestedPaths().begin(), _server.requestedPaths().end(),
                          [](const QString& path) { return path.startsWith(iconFolder); }));
    }
    void expectFailedLoad(PreviewApplicationsSource& source, const char* errorText) {
        EXPECT_TRUE(source.applications().empty());
        EXPECT_TRUE(source.isInitialUpdateFinished());
        EXPECT_EQ(_reports, 1);
        ASSERT_TRUE(source.loadListError().has_value());
        EXPECT_THAT(source.loadListError()->toStdString(), HasSubstr(errorText));
    }

    LoopbackHTTPSServer _server;
    /// Every test's log, also where it checks none: icons the server does not have fail loudly.
    LogCapture _log;
    int _reports = 0;
};

} // namespace

TEST_F(PreviewApplicationsSourceTest, loadsTheListInTheLanguageOrInEnglishAndReportsProgress) {
    _server.setResponse(
        listPath,
        LoopbackHTTPSServer::json(previewList(
            {R"({"name": {"de": "Zeichnen", "en": "Draw"}, "developerName": "D", "applicationDescription": {"en": "About"}, "url": "https://example.org/draw", "bundleIdentifier": "org.example.Draw", "icon": "draw.png"})",
             previewEntry("org.example.Paint", "Paint"),
             R"({"name": {"fr": "Écrire"}, "developerName": "D", "applicationDescription": {"en": "About"}, "url": "https://example.org/", "bundleIdentifier": "org.example.Write"})"})));
    const auto source = makeSource({{}, 30000, 8 * 1024 * 1024, 1024 * 1024, QStringLiteral("de")});
    QPointer<LoadProgress> progress;
    int willLoadCalls = 0;
    source->setWillLoadListHandler([&](LoadProgress& started) {
        ++willLoadCalls;
        progress = &started;
        EXPECT_EQ(started.totalUnitCount(), 10);
        EXPECT_TRUE(source->isLoadingList());
    });
    QSignalSpy errorChanges(source.get(), &PreviewApplicationsSource::loadListErrorChanged);
    EXPECT_FALSE(source->isInitialUpdateFinished());

    startAndWait(*source);
    EXPECT_EQ(_reports, 1);
    EXPECT_EQ(willLoadCalls, 1);
    EXPECT_TRUE(source->isInitialUpdateFinished());
    EXPECT_EQ(source->loadListError(), std::nullopt);
    EXPECT_EQ(errorChanges.count(), 0);
    EXPECT_THAT(displayNames(source->applications()),
                ElementsAre(QStringLiteral("Paint"), QStringLiteral("Zeichnen")));
    ASSERT_TRUE(progress);
    EXPECT_TRUE(progress->isFinished());
    EXPECT_EQ(progress->completedUnitCount(), 10);
    EXPECT_DOUBLE_EQ(progress->fractionCompleted(), 1.0);

    // The icons of both come at once, the entry's own and the one named after the bundle.
    waitForRequests(3);
    EXPECT_EQ(_server.countOfRequests(iconFolder + QStringLiteral("draw.png")), 1);
    EXPECT_EQ(_server.countOfRequests(iconFolder + QStringLiteral("org.example.Paint.png")), 1);
}

TEST_F(PreviewApplicationsSourceTest, loadsTheFirstTwentyIconsByNameAtOnceAndTheOthersOnceWhenRead) {
    std::vector<QByteArray> entries;
    for (int index = 30; index >= 1; --index) {
        // An empty icon name counts as none.
        entries.push_back(previewEntry("org.example.App" + QByteArray::number(index),
                                       "App " + QByteArray::number(index),
                                       index == 25 ? R"(, "icon": "")" : ""));
    }
    _server.setResponse(listPath, LoopbackHTTPSServer::json(previewList(entries)));
    _server.setResponse(iconFolder + QStringLiteral("org.example.App25.png"),
                        {200, "PNG bytes", {}, false, false});
    const auto source = makeSource();
    startAndWait(*source);
    ASSERT_EQ(source->applications().size(), 30U);
    for (const auto& application : source->applications()) {
        const int number = application->displayName().mid(4).toInt();
        // Numbers compare as numbers: "App 2" comes before "App 10".
        EXPECT_EQ(static_cast<PreviewApplication&>(*application).didStartLoadingImage(), number <= 20)
            << application->displayName().toStdString();
    }
    waitForRequests(1 + 20);
    EXPECT_EQ(_server.countOfRequests(iconFolder + QStringLiteral("org.example.App21.png")), 0);

    const auto late = findApplication(source->applications(), QStringLiteral("org.example.App25"));
    QSignalSpy iconChanges(late.get(), &PreviewApplication::iconChanged);
    EXPECT_TRUE(late->iconData().isEmpty());
    late->iconData();
    ASSERT_TRUE(iconChanges.wait(generousWait));
    EXPECT_EQ(late->iconData(), QByteArray("PNG bytes"));
    EXPECT_EQ(_server.countOfRequests(iconFolder + QStringLiteral("org.example.App25.png")), 1);
    EXPECT_EQ(iconRequestCount(), 21);
}

TEST_F(PreviewApplicationsSourceTest, ignoresASecondLoadWhileOneIsRunning) {
    _server.setResponse(listPath, LoopbackHTTPSServer::json(previewList({})));
    const auto source = makeSource();
    int willLoadCalls = 0;
    source->setWillLoadListHandler([&](LoadProgress&) { ++willLoadCalls; });
    source->startUpdating([this](AsyncApplicationsSource&, bool) { ++_reports; });
    source->loadList();
    waitForLoad(*source);
    EXPECT_EQ(willLoadCalls, 1);
    EXPECT_EQ(_reports, 1);
    EXPECT_EQ(_server.countOfRequests(listPath), 1);
    // An empty list is no error.
    EXPECT_TRUE(source->applications().empty());
    EXPECT_EQ(source->loadListError(), std::nullopt);
    EXPECT_TRUE(source->isInitialUpdateFinished());

    // Once finished, it loads again and reports again.
    source->loadList();
    waitForLoad(*source);
    EXPECT_EQ(willLoadCalls, 2);
    EXPECT_EQ(_reports, 2);
}

TEST_F(PreviewApplicationsSourceTest, aFailedLoadEmptiesTheSetAndSaysWhy) {
    QUrl plainRedirect = _server.url(QStringLiteral("/moved.json"));
    plainRedirect.setScheme(QStringLiteral("http"));
    const QByteArray tooLong(8 * 1024 * 1024 + 1, ' ');
    struct Case {
        LoopbackHTTPSServer::Response response;
        const char* error;
        int timeout = 30000;
    };
    const std::vector<Case> cases{
        {LoopbackHTTPSServer::redirect(plainRedirect), "nsecure redirect"},
        // The decoder's own errors are its tests'; one shows that they reach the source.
        {LoopbackHTTPSServer::json("<html>Oops</html>"), "offset"},
        // An error status, even when its page happens to decode.
        {{404, previewList({previewEntry("org.example.A", "A")}), {}, false, false}, "Not Found"},
        // Too large, announced in advance; and not announced and never ended, which only stopping
        // at the limit ends before the timeout.
        {LoopbackHTTPSServer::json(tooLong), "larger than 8388608 bytes"},
        {{200, tooLong, {}, true, false}, "larger than 8388608 bytes"},
        // No answer at all, and part of one and then nothing more.
        {{200, {}, {}, false, true}, "timed out", 1000},
        {{200, R"({"applications": [)", {}, true, false}, "timed out", 1000},
    };
    for (const auto& [response, error, timeout] : cases) {
        SCOPED_TRACE(error);
        // The good list comes through a redirect to HTTPS.
        _server.setResponse(listPath,
                            LoopbackHTTPSServer::redirect(_server.url(QStringLiteral("/moved.json"))));
        _server.setResponse(QStringLiteral("/moved.json"),
                            LoopbackHTTPSServer::json(previewList({previewEntry("org.example.A", "A")})));
        const auto source = makeSource({{}, timeout, 8 * 1024 * 1024, 1024 * 1024, {}});
        _reports = 0;
        startAndWait(*source);
        ASSERT_EQ(source->applications().size(), 1U);
        _server.setResponse(listPath, response);
        QSignalSpy errorChanges(source.get(), &PreviewApplicationsSource::loadListErrorChanged);
        _reports = 0;
        source->loadList();
        waitForLoad(*source);
        expectFailedLoad(*source, error);
        EXPECT_GE(errorChanges.count(), 1);
    }
}

TEST_F(PreviewApplicationsSourceTest, refusesAPlainHTTPAddressAndAServerItDoesNotTrust) {
    _server.setResponse(listPath,
                        LoopbackHTTPSServer::json(previewList({previewEntry("org.example.A", "A")})));
    QUrl plain = _server.url(listPath);
    plain.setScheme(QStringLiteral("http"));
    const auto refused = PreviewApplicationsSource::make(plain);
    int willLoadCalls = 0;
    refused->setWillLoadListHandler([&](LoadProgress&) { ++willLoadCalls; });
    startAndWait(*refused);
    expectFailedLoad(*refused, "Only HTTPS");
    EXPECT_EQ(willLoadCalls, 1);
    EXPECT_TRUE(_server.requestedPaths().isEmpty());

    _reports = 0;
    const auto untrusting = PreviewApplicationsSource::make(_server.url(listPath));
    startAndWait(*untrusting);
    expectFailedLoad(*untrusting, "SSL");
}

TEST_F(PreviewApplicationsSourceTest, keepsTheFirstThousandOfALongerListAndLogsTheRest) {
    std::vector<QByteArray> entries;
    for (int index = 0; index < 1200; ++index) {
        entries.push_back(
            previewEntry("org.example.App" + QByteArray::number(index), "App " + QByteArray::number(index)));
    }
    _server.setResponse(listPath, LoopbackHTTPSServer::json(previewList(entries)));
    const auto source = makeSource();
    startAndWait(*source);
    EXPECT_EQ(source->applications().size(), 1000U);
    EXPECT_EQ(source->loadListError(), std::nullopt);
    EXPECT_GT(_log.count("has 200 more applications than the 1000 that are shown"), 0U);
}

TEST_F(PreviewApplicationsSourceTest, neverRequestsAnIconOutsideTheIconFolder) {
    _server.setResponse(
        listPath, LoopbackHTTPSServer::json(previewList(
                      {previewEntry("org.example.A", "A", R"(, "icon": "../featured-applications.json")"),
                       previewEntry("org.example.B", "B", R"(, "icon": "/etc/passwd")"),
                       previewEntry("org.example.C", "C", R"(, "icon": "sub/c.png")")})));
    const auto source = makeSource();
    startAndWait(*source);
    EXPECT_EQ(source->applications().size(), 3U);
    EXPECT_GT(_log.count("\"../featured-applications.json\" of org.example.A"), 0U);
    EXPECT_GT(_log.count("\"/etc/passwd\" of org.example.B"), 0U);
    EXPECT_GT(_log.count("\"sub/c.png\" of org.example.C"), 0U);
    EXPECT_THAT(_server.requestedPaths(), ElementsAre(listPath));
}

TEST_F(PreviewApplicationsSourceTest, keepsThePlaceholderForAnIconThatFailsOrIsTooLarge) {
    _server.setResponse(listPath,
                        LoopbackHTTPSServer::json(previewList({previewEntry("org.example.Big", "Big"),
                                                               previewEntry("org.example.Gone", "Gone")})));
    _server.setResponse(iconFolder + QStringLiteral("org.example.Big.png"),
                        {200, QByteArray(1024 * 1024 + 1, 'x'), {}, true, false});
    const auto source = makeSource();
    startAndWait(*source);
    const std::string iconBase =
        std::string("Error loading ").append(_server.url(iconFolder).toDisplayString().toStdString());
    ASSERT_TRUE(
        _log.waitForLine(iconBase + "org.example.Big.png: The response is larger than 1048576 bytes."));
    ASSERT_TRUE(_log.waitForLine(iconBase + "org.example.Gone.png: "));
    for (const auto& application : source->applications()) {
        EXPECT_TRUE(static_cast<PreviewApplication&>(*application).iconData().isEmpty());
    }
}

TEST_F(PreviewApplicationsSourceTest, stopCancelsEveryDownloadAndClearsTheError) {
    _server.setResponse(listPath, LoopbackHTTPSServer::json("not JSON"));
    const auto source = makeSource();
    startAndWait(*source);
    ASSERT_TRUE(source->loadListError().has_value());
    QSignalSpy errorChanges(source.get(), &PreviewApplicationsSource::loadListErrorChanged);
    source->stopUpdating();
    EXPECT_EQ(source->loadListError(), std::nullopt);
    EXPECT_EQ(errorChanges.count(), 1);

    // A list download that never ends, and one of an icon.
    _server.setResponse(listPath,
                        LoopbackHTTPSServer::json(previewList({previewEntry("org.example.A", "A")})));
    _server.setResponse(iconFolder + QStringLiteral("org.example.A.png"), {200, {}, {}, false, true});
    source->startUpdating([this](AsyncApplicationsSource&, bool) { ++_reports; });
    waitForLoad(*source);
    waitForRequests(3);
    _server.setResponse(listPath, {200, {}, {}, false, true});
    QPointer<LoadProgress> progress;
    source->setWillLoadListHandler([&](LoadProgress& started) { progress = &started; });
    source->loadList();
    waitForRequests(4);

    const int reports = _reports;
    source->stopUpdating();
    EXPECT_FALSE(source->isLoadingList());
    ASSERT_TRUE(progress);
    EXPECT_TRUE(progress->isCancelled());
    // Both connections end on the server's side.
    QSignalSpy closed(&_server, &LoopbackHTTPSServer::connectionClosed);
    while (_server.openConnectionCount() > 0) {
        ASSERT_TRUE(closed.wait(generousWait));
    }
    // Started again at once: the cancelled load's end neither reports nor ends the new load.
    _server.setResponse(listPath,
                        LoopbackHTTPSServer::json(previewList({previewEntry("org.example.B", "B")})));
    source->startUpdating([this](AsyncApplicationsSource&, bool) { ++_reports; });
    waitForLoad(*source);
    EXPECT_EQ(_reports, reports + 1);
    EXPECT_THAT(displayNames(source->applications()), ElementsAre(QStringLiteral("B")));
    // The cancelled icon download is no error.
    EXPECT_EQ(_log.count("org.example.A.png"), 0U);
}

TEST_F(PreviewApplicationsSourceTest, cancellingTheProgressEndsTheLoadWithoutAnError) {
    _server.setResponse(listPath, {200, {}, {}, false, true});
    const auto source = makeSource();
    source->setWillLoadListHandler([](LoadProgress& progress) { progress.cancel(); });
    startAndWait(*source);
    EXPECT_EQ(_reports, 1);
    EXPECT_TRUE(source->applications().empty());
    EXPECT_TRUE(source->isInitialUpdateFinished());
    EXPECT_EQ(source->loadListError(), std::nullopt);
}

TEST_F(PreviewApplicationsSourceTest, aSourceDestroyedDuringItsLoadsReportsNothing) {
    _server.setResponse(listPath, {200, {}, {}, false, true});
    auto source = makeSource();
    source->startUpdating([this](AsyncApplicationsSource&, bool) { ++_reports; });
    waitForRequests(1);
    QSignalSpy closed(&_server, &LoopbackHTTPSServer::connectionClosed);
    source.reset();
    ASSERT_TRUE(closed.wait(generousWait));
    EXPECT_EQ(_reports, 0);
}
