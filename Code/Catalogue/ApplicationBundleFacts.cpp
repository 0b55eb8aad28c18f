#include "Code/Catalogue/ApplicationBundleFacts.h"

#include "Code/Catalogue/ApplicationFileTypes.h"
#include "Code/Catalogue/QtStrings.h"
#include "ZRFoundation/Bundle/ZRBundle.h"
#include "ZRFoundation/Bundle/ZRFileManager.h"

#include <string>
#include <tuple>
#include <utility>

#include <sys/stat.h>

namespace {

std::string removingApplicationExtension(std::string name) {
    using ApplicationFileTypes::applicationExtension;
    if (name.ends_with(applicationExtension)) {
        name.erase(name.size() - applicationExtension.size());
    }
    return name;
}

std::string displayNameOfBundle(const ZRURL& bundleURL) {
    if (!bundleURL.isFileURL()) {
        return bundleURL.lastPathComponent();
    }
    if (const auto bundle = ZRBundle::bundleWithPath(bundleURL.path())) {
        const auto info = bundle->localizedInfoDictionary();
        const auto* value = info.find("CFBundleDisplayName");
        const auto* name = value ? value->stringValue() : nullptr;
        if (name && !name->empty()) {
            return removingApplicationExtension(*name);
        }
    }
    return removingApplicationExtension(ZRFileManager::displayNameAtPath(bundleURL.path()));
}

/// The icon file the bundle names, with its modification time; none when it names none that exists.
std::pair<QString, qint64> iconFileOfBundle(const ZRBundle& bundle) {
    if (!bundle.resourcePath()) {
        return {};
    }
    for (const char* key : {"CFBundleIconFile", "CFBundleIconName"}) {
        const auto* value = bundle.infoDictionary().find(key);
        const auto* name = value ? value->stringValue() : nullptr;
        if (!name || name->empty()) {
            continue;
        }
        std::filesystem::path file = *bundle.resourcePath() / *name;
        if (file.extension().empty()) {
            file += ".icns";
        }
        struct stat status {};
        if (::stat(file.c_str(), &status) == 0) {
            return {QtStrings::fromPath(file),
                    static_cast<qint64>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec};
        }
    }
    return {};
}

} // namespace

ApplicationBundleFacts ApplicationBundleFacts::read(const ZRURL& bundleURL, bool includingPageHeader) {
    ApplicationBundleFacts facts;
    if (!bundleURL.isFileURL()) {
        return facts;
    }
    if (includingPageHeader) {
        auto header = installedApplicationFacts(bundleURL.path());
        facts.pageHeader = {header.infoDictionaryReadable, std::move(header.version),
                            std::move(header.copyright)};
    }
    if (const auto bundle = ZRBundle::bundleWithPath(bundleURL.path())) {
        if (const auto identifier = bundle->bundleIdentifier()) {
            facts.bundleIdentifier = QtStrings::toQString(*identifier);
        }
        std::tie(facts.iconFilePath, facts.iconModificationTime) = iconFileOfBundle(*bundle);
    }
    return facts;
}

QString ApplicationBundleFacts::displayName(const ZRURL& bundleURL) {
    return QtStrings::toQString(displayNameOfBundle(bundleURL));
}
