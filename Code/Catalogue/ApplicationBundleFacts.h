#pragma once

#include "Code/Presentation/DocumentPage.h"
#include "ZRFoundation/URL/ZRURL.h"

#include <QString>
#include <optional>
#include <string>

/// What the catalogue shows of an application bundle besides its document: the facts its Info.plist
/// and resources declare. Linux keeps no system cache of bundle information, so every read goes to
/// the disk; an InstalledApplication reads the facts off the main thread and keeps them until its
/// next load. A URL that is not a file URL has no facts.
struct ApplicationBundleFacts {
    /// Null when the bundle declares none.
    QString bundleIdentifier;
    /// The icon file the bundle names when it exists; empty otherwise.
    QString iconFilePath;
    /// When that file was last modified, in nanoseconds since the epoch: an application updated in
    /// place keeps its icon's path.
    qint64 iconModificationTime = 0;
    /// What the page's header shows besides the bundle's folder; read only with
    /// `includingPageHeader`. Kept apart from the page's own structure, which a long list would
    /// otherwise hold once per application with all its empty fields.
    struct PageHeader {
        bool infoDictionaryReadable = false;
        std::optional<std::string> version;
        std::optional<std::string> copyright;
    };
    PageHeader pageHeader;

    static ApplicationBundleFacts read(const ZRURL& bundleURL, bool includingPageHeader);

    /// What a user sees for the bundle: the name it declares for display, in the user's language,
    /// else its file name, without an exact ".app" suffix either way. The last path component as it
    /// is for a URL that is not a file URL.
    static QString displayName(const ZRURL& bundleURL);
};
