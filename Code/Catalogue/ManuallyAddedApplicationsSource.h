#pragma once

#include "Code/Catalogue/ApplicationsSource.h"
#include "ZRFoundation/URL/ZRURL.h"

#include <memory>
#include <vector>

class SecurityScopedBookmarksStore;

/// The applications the user chose by hand, in the file dialog or by dropping them on the list.
/// Choosing an item also grants it through the bookmarks store (on Linux: remembers its path), so a
/// chosen folder lets the applications below it load without itself adding any. Main thread only.
class ManuallyAddedApplicationsSource : public ApplicationsSource {
public:
    /// Starts empty: the owner adds the applications among the store's loaded items.
    explicit ManuallyAddedApplicationsSource(std::shared_ptr<SecurityScopedBookmarksStore> store);

    const Applications& applications() const override { return _applications; }
    SecurityScopedBookmarksStore& securityScopedBookmarksStore() const {
        return *_securityScopedBookmarksStore;
    }

    /// Grants and remembers the items, then adds those that are applications.
    void add(const std::vector<ZRURL>& fileURLs);
    /// Adds the items that are application bundles or executables, without touching the store. An
    /// item is judged by what it is now, through symbolic links, since the user named it on purpose.
    template <typename FileURLs>
    void addApplications(const FileURLs& fileURLs) {
        for (const ZRURL& url : fileURLs) {
            addApplication(url);
        }
    }
    /// Forgets every grant and every application.
    void removeAll();

private:
    void addApplication(const ZRURL& fileURL);

    Applications _applications;
    std::shared_ptr<SecurityScopedBookmarksStore> _securityScopedBookmarksStore;
};
