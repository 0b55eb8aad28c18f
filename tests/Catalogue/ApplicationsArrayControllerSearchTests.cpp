#include "Catalogue/CatalogueTestSupport.h"
#include "Code/Catalogue/ApplicationsArrayController.h"
#include "Code/Catalogue/PreviewApplication.h"
#include "Code/Catalogue/SearchQuery.h"

#include <QAbstractItemModelTester>
#include <QStringList>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

namespace {

/// The search strings of the listed applications (a preview application's is its name).
const QStringList allNames{"Café Éditeur", "File Manager for the Web", "File Sharing", "Text Editor",
                           "Web Browser",  "Web File Sharing Editor"};

const QStringList webFileSharingEditor{"Web File Sharing Editor"};

TEST(ApplicationsArrayControllerSearch, ListsTheApplicationsContainingEveryWordAndPhrase) {
    ApplicationsSource::Applications content;
    for (const QString& applicationName : allNames) {
        content.insert(std::make_shared<PreviewApplication>(applicationName, applicationName));
    }
    ApplicationsArrayController list;
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::Fatal);
    list.setContent(&content);
    ASSERT_EQ(list.rowCount(), allNames.size());
    const std::pair<QString, QStringList> cases[] = {
        {"", allNames},
        {" \t\n ", allNames},
        {"editor", {"Text Editor", "Web File Sharing Editor"}},
        {R"(editor "web file sharing")", webFileSharingEditor},
        {R"("web file sharing" editor)", webFileSharingEditor},
        // Words in any order and place; a phrase in its order, also across words.
        {"web file", {"File Manager for the Web", "Web File Sharing Editor"}},
        {R"("file web")", {}},
        {R"("sharing edit")", webFileSharingEditor},
        // An unclosed quote makes the rest of the text one phrase.
        {R"("web file)", webFileSharingEditor},
        {R"(sharing "web file)", webFileSharingEditor},
        // An empty phrase and a lone quote are ignored.
        {R"(browser "")", {"Web Browser"}},
        {R"(")", allNames},
        {"editor zebra", {}},
        // Case, diacritics and compatibility characters are ignored; any white space separates.
        {"CAFE EDITEUR", {"Café Éditeur"}},
        {R"("cafe édit")", {"Café Éditeur"}},
        {"ﬁle sharing", {"File Sharing", "Web File Sharing Editor"}},
        {"text\u3000editor", {"Text Editor"}}};
    for (const auto& [text, listed] : cases) {
        list.setFilterText(text);
        QStringList names;
        for (const auto& application : list.arrangedApplications()) {
            names.append(application->displayName());
        }
        names.sort();
        EXPECT_EQ(names, listed) << text.toStdString();
    }
}

TEST(SearchQuery, FoldsEachWordAndPhraseAndSkipsBlankOnes) {
    // Spaces inside a phrase count; an unclosed phrase runs to the end of the text.
    EXPECT_EQ(SearchQuery(R"(Éditeur "Web  File" "" x "Open End )").foldedTerms(),
              (std::vector<QString>{"editeur", "web  file", "x", "open end "}));
    const SearchQuery blank(R"(" "  "" ")");
    EXPECT_TRUE(blank.isEmpty());
    EXPECT_TRUE(blank.matches(""));
}

} // namespace
