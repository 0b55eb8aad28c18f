#include "Code/Catalogue/ReadPermissionFolderProposals.h"

#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct ProposalCase {
    const char* name;
    std::vector<std::string> bundlePaths;
    std::vector<std::string> folders;
};

void PrintTo(const ProposalCase& testCase, std::ostream* stream) {
    *stream << testCase.name;
}

class FolderProposals : public testing::TestWithParam<ProposalCase> {};

TEST_P(FolderProposals, ProposesTheFoldersThatReachTheBundles) {
    EXPECT_EQ(ReadPermissionFolderProposals::proposedFolders(GetParam().bundlePaths), GetParam().folders);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, FolderProposals,
    testing::Values(
        ProposalCase{"None", {}, {}},
        ProposalCase{"ApplicationsFolderAndUserFolder",
                     {"/Users/anna/Apps/Notes.app", "/Applications/Utilities/Terminal.app"},
                     {"/Applications/", "/Users/anna/"}},
        ProposalCase{
            "HomesAndVolumes",
            {"/Volumes/Backup/Apps/Old.app", "/home/anna/Apps/New.app", "/mnt/disk/X.app",
             "/media/anna/Stick/Y.app", "/run/media/anna/Card/Z.app"},
            {"/home/anna/", "/mnt/disk/", "/Volumes/Backup/", "/media/anna/Stick/", "/run/media/anna/Card/"}},
        ProposalCase{"OneFolderPerGroup", {"/home/anna/A.app", "/home/anna/Deep/B.app"}, {"/home/anna/"}},
        ProposalCase{"SharedParentOfTwoFolders", {"/opt/a/One.app", "/opt/b/Two.app/"}, {"/opt/"}},
        ProposalCase{"NothingSharedButTheRoot", {"/opt/a/One.app", "/srv/b/Two.app"}, {"/opt/a/", "/srv/b/"}},
        ProposalCase{"RootStaysApart", {"/X.app", "/opt/a/One.app"}, {"/", "/opt/a/"}},
        ProposalCase{
            "NumbersCompareAsNumbers", {"/Apps 10/A.app", "/Apps 9/B.app"}, {"/Apps 9/", "/Apps 10/"}},
        // A folder of many applications counts only when the bundle lies below it.
        ProposalCase{"BundleDirectlyInMedia", {"/media/Loose.app"}, {"/media/"}},
        ProposalCase{"HomeFolderItself", {"/home/anna"}, {"/home/anna"}},
        ProposalCase{"ExecutableOutsideABundle", {"/usr/local/bin/tool"}, {"/usr/local/bin/tool"}}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

} // namespace
