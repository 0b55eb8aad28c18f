#include "Code/Catalogue/ApplicationBundleFacts.h"

#include "Code/Catalogue/ApplicationFileTypes.h"
#include "Code/Catalogue/QtStrings.h"
#include "ZRFoundation/Bundle/ZRBundle.h"
#include "ZRFoundation/Bundle/ZRFileManager.h"

#include <string>

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

QString iconFilePathOfBundle(const ZRBundle& bundle) {
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
        if (ZRFileManager::fileExistsAtPath(file)) {
            return QtStrings::fromPath(file);
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
    facts.pageHeader.bundlePath = bundleURL.path();
    if (includingPageHeader) {
        facts.pageHeader = installedApplicationFacts(bundleURL.path());
    }
    if (const auto bundle = ZRBundle::bundleWithPath(bundleURL.path())) {
        if (const auto identifier = bundle->bundleIdentifier()) {
            facts.bundleIdentifier = QtStrings::toQString(*identifier);
        }
        facts.iconFilePath = iconFilePathOfBundle(*bundle);
    }
    return facts;
}

QString ApplicationBundleFacts::displayName(const ZRURL& bundleURL) {
    return QtStrings::toQString(displayNameOfBundle(bundleURL));
}
