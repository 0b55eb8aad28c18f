#pragma once

#include "Code/Catalogue/Synchronized.h"
#include "ZRFoundation/URL/ZRURL.h"

#include <memory>
#include <string>
#include <unordered_map>

class InstalledApplication;

/// The live InstalledApplication of each bundle, so that every source reporting a bundle shares one
/// instance and with it one load state. Linux has no per-bundle object cache in the system to lean
/// on; this process-wide table stands in for it. Entries are weak: an application that nothing
/// reports any more goes away with its document, and its entry with it.
///
/// Nothing slow happens under the table's lock: a new instance is made (which reads its bundle)
/// before it is published, and when two threads race to publish for one bundle the first one wins.
class InstalledApplicationCache {
public:
    /// The table every InstalledApplication is made through.
    static InstalledApplicationCache& shared();

    /// The normalised path's bytes for a file URL, so that a directory URL and a plain URL of one
    /// folder meet, and names that are not valid UTF-8 stay apart; the whole URL otherwise.
    static std::string keyFor(const ZRURL& bundleURL);

    /// The live instance under `key`; null when there is none.
    std::shared_ptr<InstalledApplication> find(const std::string& key);
    /// Puts `candidate` under `key` unless a live instance is there already, and returns the one
    /// that is there afterwards: the candidate, or the instance another thread published first.
    std::shared_ptr<InstalledApplication> publish(const std::string& key,
                                                  const std::shared_ptr<InstalledApplication>& candidate);
    /// Drops the entry under `key` when its instance is gone; a newer instance that has taken the
    /// entry meanwhile stays.
    void removeIfReleased(const std::string& key);

private:
    Synchronized<std::unordered_map<std::string, std::weak_ptr<InstalledApplication>>> _applications;
};
