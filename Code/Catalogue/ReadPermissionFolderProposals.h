#pragma once

#include <string>
#include <vector>

/// Which folders to offer when installed applications could not be read, so that one grant reaches
/// as many of them as it sensibly can. On Linux the folders that hold applications of many kinds
/// count as such: a home folder below /home, a removable volume below /media, /run/media or /mnt,
/// and the folders of the bundles' home platform (/Applications, a user below /Users, a volume below
/// /Volumes) wherever such a layout is mounted. Pure functions on path text.
namespace ReadPermissionFolderProposals {

/// The folder to propose for one bundle path: the first of those folders that the bundle lies
/// below, else the folder that holds an ".app" bundle, else the path itself. Ends in "/" unless it
/// is the path itself.
std::string candidateFolder(const std::string& bundlePath);

/// The folders to propose for the bundle paths, each ending in "/", without duplicates: candidates
/// that share a folder other than "/" are proposed as that folder. The shallowest come first, then
/// by name as people count.
std::vector<std::string> proposedFolders(const std::vector<std::string>& bundlePaths);

} // namespace ReadPermissionFolderProposals
