#include "Code/Catalogue/ReadPermissionFolderProposals.h"

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using Paths = std::vector<std::string>;

TEST(ReadPermissionFolderProposals, ProposesTheFoldersThatReachTheBundles) {
    const std::pair<Paths, Paths> cases[] = {
        {{}, {}},
        {{"/Users/anna/Apps/Notes.app", "/Applications/Utilities/Terminal.app"},
         {"/Applications/", "/Users/anna/"}},
        {{"/Volumes/Backup/Apps/Old.app", "/home/anna/Apps/New.app", "/mnt/disk/X.app",
          "/media/anna/Stick/Y.app", "/run/media/anna/Card/Z.app"},
         {"/home/anna/", "/mnt/disk/", "/Volumes/Backup/", "/media/anna/Stick/", "/run/media/anna/Card/"}},
        // One folder for each group; a shared parent; nothing shared but the root, which stays apart.
        {{"/home/anna/A.app", "/home/anna/Deep/B.app"}, {"/home/anna/"}},
        {{"/opt/a/One.app", "/opt/b/Two.app/"}, {"/opt/"}},
        {{"/opt/a/One.app", "/srv/b/Two.app"}, {"/opt/a/", "/srv/b/"}},
        {{"/X.app", "/opt/a/One.app"}, {"/", "/opt/a/"}},
        // Numbers compare as numbers.
        {{"/Apps 10/A.app", "/Apps 9/B.app"}, {"/Apps 9/", "/Apps 10/"}},
        // A folder of many applications counts only when the bundle lies below it.
        {{"/media/Loose.app"}, {"/media/"}},
        {{"/home/anna"}, {"/home/anna"}},
        {{"/usr/local/bin/tool"}, {"/usr/local/bin/tool"}}};
    for (const auto& [bundlePaths, folders] : cases) {
        EXPECT_EQ(ReadPermissionFolderProposals::proposedFolders(bundlePaths), folders)
            << testing::PrintToString(bundlePaths);
    }
}

} // namespace
