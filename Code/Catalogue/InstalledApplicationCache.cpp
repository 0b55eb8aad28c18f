#include "Code/Catalogue/InstalledApplicationCache.h"

InstalledApplicationCache& InstalledApplicationCache::shared() {
    static InstalledApplicationCache cache;
    return cache;
}

std::string InstalledApplicationCache::keyFor(const ZRURL& bundleURL) {
    return bundleURL.isFileURL() ? bundleURL.path().lexically_normal().string() : bundleURL.absoluteString();
}

std::shared_ptr<InstalledApplication> InstalledApplicationCache::find(const std::string& key) {
    return _applications.with([&](auto& applications) -> std::shared_ptr<InstalledApplication> {
        const auto entry = applications.find(key);
        return entry != applications.end() ? entry->second.lock() : nullptr;
    });
}

std::shared_ptr<InstalledApplication>
InstalledApplicationCache::publish(const std::string& key,
                                   const std::shared_ptr<InstalledApplication>& candidate) {
    return _applications.with([&](auto& applications) {
        auto& entry = applications[key];
        if (auto published = entry.lock()) {
            return published;
        }
        entry = candidate;
        return candidate;
    });
}

void InstalledApplicationCache::removeIfReleased(const std::string& key) {
    _applications.with([&](auto& applications) {
        const auto entry = applications.find(key);
        if (entry != applications.end() && entry->second.expired()) {
            applications.erase(entry);
        }
    });
}
