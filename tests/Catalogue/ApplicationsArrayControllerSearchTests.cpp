#include "Catalogue/CatalogueTestSupport.h"
#include "Code/Catalogue/ApplicationsArrayController.h"
#include "Code/Catalogue/PreviewApplication.h"
#include "Code/Catalogue/SearchQuery.h"

#include <QAbstractItemModelTester>
#include <QStringList>
#include <memory>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace {

/// The search strings of the listed applications (a preview application's is its name).
const QStringList allNames{"Café Éditeur", "File Manager for the Web", "File Sharing", "Text Editor",
                           "Web Browser",  "Web File Sharing Editor"};

struct Search {
    std::string_view name;
    QString text;
    QStringList listed;
};

class ApplicationsArrayControllerSearch : public testing::TestWithParam<Search> {};

TEST_P(ApplicationsArrayControllerSearch, ListsTheApplicationsContainingEveryWordAndPhrase) {
    const auto& [name, text, listed] = GetParam();
    ApplicationsSource::Applications content;
    for (const QString& applicationName : allNames) {
        content.insert(std::make_shared<PreviewApplication>(applicationName, applicationName));
    }
    ApplicationsArrayController list;
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::Fatal);
    list.setContent(&content);
    ASSERT_EQ(list.rowCount(), allNames.size());

    list.setFilterText(text);
    QStringList names;
    for (const auto& application : list.arrangedApplications()) {
        names.append(application->displayName());
    }
    names.sort();
    EXPECT_EQ(names, listed);
}

const QStringList webFileSharingEditor{"Web File Sharing Editor"};

INSTANTIATE_TEST_SUITE_P(
    Cases, ApplicationsArrayControllerSearch,
    testing::Values(
        Search{"Empty", "", allNames}, Search{"Blank", " \t\n ", allNames},
        Search{"OneWord", "editor", {"Text Editor", "Web File Sharing Editor"}},
        Search{"WordAndPhrase", R"(editor "web file sharing")", webFileSharingEditor},
        Search{"PhraseAndWord", R"("web file sharing" editor)", webFileSharingEditor},
        Search{
            "WordsInAnyOrderAndPlace", "web file", {"File Manager for the Web", "Web File Sharing Editor"}},
        Search{"PhraseInItsOrder", R"("file web")", {}},
        Search{"PhraseAcrossWords", R"("sharing edit")", webFileSharingEditor},
        // An unclosed quote makes the rest of the text one phrase.
        Search{"UnclosedPhrase", R"("web file)", webFileSharingEditor},
        Search{"WordAndUnclosedPhrase", R"(sharing "web file)", webFileSharingEditor},
        Search{"EmptyPhraseIgnored", R"(browser "")", {"Web Browser"}},
        Search{"LoneQuoteIgnored", R"(")", allNames}, Search{"OneWordMissing", "editor zebra", {}},
        Search{"CaseAndDiacriticsIgnored", "CAFE EDITEUR", {"Café Éditeur"}},
        Search{"PhraseIgnoringCaseAndDiacritics", R"("cafe édit")", {"Café Éditeur"}},
        Search{"CompatibilityCharacters", "ﬁle sharing", {"File Sharing", "Web File Sharing Editor"}},
        Search{"SeparatedByOtherWhiteSpace", "text\u3000editor", {"Text Editor"}}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(SearchQuery, FoldsEachWordAndPhraseAndSkipsBlankOnes) {
    // Spaces inside a phrase count; an unclosed phrase runs to the end of the text.
    EXPECT_EQ(SearchQuery(R"(Éditeur "Web  File" "" x "Open End )").foldedTerms(),
              (std::vector<QString>{"editeur", "web  file", "x", "open end "}));
    const SearchQuery blank(R"(" "  "" ")");
    EXPECT_TRUE(blank.isEmpty());
    EXPECT_TRUE(blank.matches(""));
}

} // namespace
