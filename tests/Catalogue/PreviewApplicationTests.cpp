#include "CatalogueTestSupport.h"
#include "Code/Catalogue/LoadProgress.h"
#include "Code/Catalogue/PreviewApplication.h"
#include "Code/Catalogue/PreviewApplicationsSource.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <map>
#include <string>
#include <variant>

#include <gmock/gmock.h>

using namespace CatalogueTestSupport;
using ::testing::HasSubstr;

namespace {

QString errorOf(const PreviewApplication::DecodedList& decoded) {
    const auto* const error = std::get_if<QString>(&decoded);
    return error != nullptr ? *error : QString();
}

PreviewApplication::JSONRepresentation representation(QMap<QString, QString> name,
                                                      QMap<QString, QString> description) {
    return {std::move(name),
            QStringLiteral("Dev"),
            std::move(description),
            std::nullopt,
            QUrl(QStringLiteral("https://example.org/app")),
            QStringLiteral("org.example.App")};
}

} // namespace

TEST(PreviewApplicationListDecoding, decodesEveryFieldAndIgnoresUnknownKeysAndANullIcon) {
    const auto decoded = PreviewApplication::decodeList(
        previewList({previewEntry("org.example.One", "One", R"(, "icon": "one.png", "rating": 5)"),
                     previewEntry("org.example.Two", "Two", R"(, "icon": null)")}));
    ASSERT_TRUE(std::holds_alternative<PreviewApplication::JSONList>(decoded))
        << errorOf(decoded).toStdString();
    const auto& list = std::get<PreviewApplication::JSONList>(decoded);
    ASSERT_EQ(list.applications.size(), 2U);
    const auto& one = list.applications[0];
    EXPECT_EQ(std::tie(one.name, one.developerName, one.applicationDescription, one.icon, one.url,
                       one.bundleIdentifier),
              std::tuple(QMap<QString, QString>{{"en", "One"}}, "Dev",
                         QMap<QString, QString>{{"en", "About"}}, QString("one.png"),
                         QUrl("https://example.org/org.example.One"), "org.example.One"));
    EXPECT_EQ(list.applications[1].icon, std::nullopt);
    EXPECT_EQ(list.ignoredApplicationCount, 0);
}

TEST(PreviewApplicationListDecoding, failsTheWholeListOnBadJSONMissingKeysAndWrongTypes) {
    // A valid entry with one member replaced, or left out when the replacement is undefined.
    const auto entryWith = [](const QString& key, const QJsonValue& value) {
        QJsonObject entry{{"name", QJsonObject()},
                          {"developerName", "D"},
                          {"applicationDescription", QJsonObject()},
                          {"url", "https://a/"},
                          {"bundleIdentifier", "b"}};
        entry.remove(key);
        if (!value.isUndefined()) {
            entry.insert(key, value);
        }
        return previewList({QJsonDocument(entry).toJson(QJsonDocument::Compact)});
    };
    const QJsonValue none(QJsonValue::Undefined);
    const std::vector<std::pair<QByteArray, const char*>> cases{
        {"", "offset 0"},
        {"{\"applications\": [", "offset"},
        {"\xff\xfe{}", "offset"},
        {"[]", "not a JSON object"},
        {"{}", "\"applications\" is missing"},
        {R"({"applications": {}})", "\"applications\" is not an array"},
        {previewList({previewEntry("org.example.Good", "Good"), "7"}), "application 1: it is not an object"},
        {entryWith("name", none), "\"name\" is missing"},
        {entryWith("name", "One"), "\"name\" is not an object"},
        {entryWith("name", QJsonObject{{"en", 1}}), "\"name.en\" is not a string"},
        {entryWith("developerName", 3), "\"developerName\" is not a string"},
        {entryWith("applicationDescription", none), "\"applicationDescription\" is missing"},
        {entryWith("url", "relative/path"), "\"url\" is not an absolute URL"},
        {entryWith("url", ""), "\"url\" is not an absolute URL"},
        {entryWith("bundleIdentifier", none), "\"bundleIdentifier\" is missing"},
        {entryWith("bundleIdentifier", QJsonValue::Null), "\"bundleIdentifier\" is not a string"},
        {previewList({previewEntry("b", "B", R"(, "icon": ["x"])")}), "\"icon\" is not a string"},
    };
    for (const auto& [data, expected] : cases) {
        const auto decoded = PreviewApplication::decodeList(data);
        EXPECT_THAT(errorOf(decoded).toStdString(), HasSubstr(expected)) << data.toStdString();
    }
}

TEST(PreviewApplicationListDecoding, takesTheFirstThousandOfAHundredThousandEntriesWithoutLookingFurther) {
    std::vector<QByteArray> entries;
    for (int index = 0; index < 100000; ++index) {
        // Past the limit the entries are not even objects: they are never looked at.
        entries.push_back(index < 1000 ? previewEntry("org.example.App" + QByteArray::number(index), "App")
                                       : QByteArray("0"));
    }
    const auto decoded = PreviewApplication::decodeList(previewList(entries));
    ASSERT_TRUE(std::holds_alternative<PreviewApplication::JSONList>(decoded))
        << errorOf(decoded).toStdString();
    const auto& list = std::get<PreviewApplication::JSONList>(decoded);
    EXPECT_EQ(list.applications.size(), 1000U);
    EXPECT_EQ(list.ignoredApplicationCount, 99000);
}

TEST(PreviewApplicationRecord, usesTheLanguageThenEnglishAndDropsEntriesWithNeither) {
    const QMap<QString, QString> germanAndEnglish{{QStringLiteral("de"), QStringLiteral("Deutsch")},
                                                  {QStringLiteral("en"), QStringLiteral("English")}};
    const QMap<QString, QString> englishOnly{{QStringLiteral("en"), QStringLiteral("English")}};
    const QMap<QString, QString> frenchOnly{{QStringLiteral("fr"), QStringLiteral("Français")}};

    const auto german =
        PreviewApplication::make(representation(germanAndEnglish, englishOnly), "de", nullptr);
    ASSERT_NE(german, nullptr);
    EXPECT_EQ(std::tuple(german->displayName(), german->applicationDescription(), german->identifier(),
                         german->bundleIdentifier(), german->searchString(), german->isLumoraLoaded(),
                         german->developerName(), german->url()),
              std::tuple("Deutsch", "English", "org.example.App", "org.example.App", "Deutsch", true, "Dev",
                         QUrl("https://example.org/app")));

    const auto fallback = PreviewApplication::make(representation(englishOnly, englishOnly), "de", nullptr);
    ASSERT_NE(fallback, nullptr);
    EXPECT_EQ(fallback->displayName(), QStringLiteral("English"));

    EXPECT_EQ(PreviewApplication::make(representation(frenchOnly, englishOnly), "de", nullptr), nullptr);
    EXPECT_EQ(PreviewApplication::make(representation(englishOnly, frenchOnly), "de", nullptr), nullptr);
}

TEST(PreviewApplicationRecord, startsTheIconLoadOnceWhetherReadOrTriggered) {
    int loads = 0;
    PreviewApplication application(QStringLiteral("org.example.App"), QStringLiteral("App"), {}, {},
                                   QStringLiteral("app.png"), {}, [&loads](PreviewApplication&) { ++loads; });
    EXPECT_FALSE(application.didStartLoadingImage());
    EXPECT_TRUE(application.iconData().isEmpty());
    EXPECT_TRUE(application.iconData().isEmpty());
    application.startLoadingImage();
    EXPECT_EQ(loads, 1);
    EXPECT_TRUE(application.didStartLoadingImage());

    QSignalSpy changes(&application, &PreviewApplication::iconChanged);
    application.setIconData("image");
    application.setIconData("image");
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(application.iconData(), QByteArray("image"));
    EXPECT_TRUE(application.iconFilePath().isEmpty());
}

TEST(PreviewApplicationIconURL, isTheFileInTheIconFolderBesideTheList) {
    const QUrl list(QStringLiteral("https://example.org/resources/lumora/featured-applications.json?v=2"));
    EXPECT_EQ(PreviewApplicationsSource::iconURL(list, QStringLiteral("org.example.App.png")),
              QUrl(QStringLiteral("https://example.org/resources/lumora/app-icons/org.example.App.png?v=2")));
    EXPECT_EQ(PreviewApplicationsSource::iconURL(QUrl(QStringLiteral("https://example.org/list.json")),
                                                 QStringLiteral("a b.png"))
                  .toString(QUrl::FullyEncoded),
              QStringLiteral("https://example.org/app-icons/a%20b.png"));
    // URL syntax in a name is only ever part of the file name.
    const QUrl syntax = PreviewApplicationsSource::iconURL(list, QStringLiteral("x%2F%2e%2e?y#z.png"));
    EXPECT_EQ(syntax.path(QUrl::FullyEncoded),
              QStringLiteral("/resources/lumora/app-icons/x%252F%252e%252e%3Fy%23z.png"));
    EXPECT_EQ(syntax.query(), QStringLiteral("v=2"));
}

TEST(PreviewApplicationIconURL, isEmptyForNamesThatCouldLeaveTheIconFolder) {
    const QUrl list(QStringLiteral("https://example.org/resources/lumora/featured-applications.json"));
    for (const char* name :
         {"", ".", "..", "../list.json", "a/b.png", "/etc/passwd", "a..png", "..\\x.png", "a\\b"}) {
        EXPECT_TRUE(PreviewApplicationsSource::iconURL(list, QString::fromUtf8(name)).isEmpty()) << name;
    }
}

TEST(LoadProgress, addsChildrenByTheirWorthAndCancelsThemWithTheParent) {
    LoadProgress overall(10);
    LoadProgress* const download = overall.addChild(100, 8);
    LoadProgress* const parse = overall.addChild(2, 2);
    QSignalSpy changes(&overall, &LoadProgress::changed);

    download->setCompletedUnitCount(50);
    EXPECT_DOUBLE_EQ(overall.fractionCompleted(), 0.4);
    EXPECT_EQ(overall.completedUnitCount(), 0);
    download->finish();
    EXPECT_EQ(overall.completedUnitCount(), 8);
    EXPECT_DOUBLE_EQ(overall.fractionCompleted(), 0.8);
    parse->finish();
    EXPECT_TRUE(overall.isFinished());
    EXPECT_DOUBLE_EQ(overall.fractionCompleted(), 1.0);
    EXPECT_EQ(changes.count(), 3);

    LoadProgress cancelled(10);
    int cancellations = 0;
    cancelled.setCancellationHandler([&cancellations] { ++cancellations; });
    LoadProgress* const child = cancelled.addChild(0, 8);
    EXPECT_DOUBLE_EQ(cancelled.fractionCompleted(), 0.0);
    cancelled.cancel();
    cancelled.cancel();
    EXPECT_EQ(cancellations, 1);
    EXPECT_TRUE(child->isCancelled());
    EXPECT_TRUE(cancelled.addChild(2, 2)->isCancelled());
}
