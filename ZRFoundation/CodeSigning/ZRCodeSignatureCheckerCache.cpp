#include "ZRFoundation/CodeSigning/ZRCodeSignatureCheckerCache.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include <sys/stat.h>

namespace {

/// Seconds between the Unix epoch and 2001-01-01 00:00:00 UTC.
constexpr double referenceDateOffset = 978307200.0;

double now() {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration<double>(since).count() - referenceDateOffset;
}

} // namespace

std::size_t ZRCodeSignatureCheckerCache::KeyHash::operator()(const Key& key) const noexcept {
    return std::filesystem::hash_value(key.fileURL) ^ static_cast<std::size_t>(key.options) ^
           std::hash<std::string>{}(key.anchorsDigest);
}

std::optional<ZRCodeSignatureCheckerCache::FileStamp>
ZRCodeSignatureCheckerCache::fileStamp(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return FileStamp{
        static_cast<std::int64_t>(status.st_mtim.tv_sec), static_cast<std::int64_t>(status.st_mtim.tv_nsec),
        static_cast<std::int64_t>(status.st_ctim.tv_sec), static_cast<std::int64_t>(status.st_ctim.tv_nsec),
        static_cast<std::uint64_t>(status.st_size),       static_cast<std::uint64_t>(status.st_dev),
        static_cast<std::uint64_t>(status.st_ino)};
}

bool ZRCodeSignatureCheckerCache::Entry::stale() const {
    return !result || !result->mainExecutableFileURL() || !lastMainExecutableStamp ||
           fileStamp(*result->mainExecutableFileURL()) != lastMainExecutableStamp;
}

ZRCodeSignatureCheckerCache& ZRCodeSignatureCheckerCache::sharedInstance() {
    static ZRCodeSignatureCheckerCache instance(now);
    return instance;
}

ZRCodeSignatureCheckerCache::ZRCodeSignatureCheckerCache(Clock clock, std::size_t capacity)
    : _clock(std::move(clock))
    , _capacity(capacity) {
    _cache.reserve(std::min<std::size_t>(_capacity, 128));
}

std::shared_ptr<const ZRCodeSignatureCheckResult>
ZRCodeSignatureCheckerCache::cachedResultForKey(const Key& key) {
    std::lock_guard lock(_mutex);
    const auto found = _cache.find(key);
    if (found == _cache.end()) {
        return nullptr;
    }
    if (found->second.stale()) {
        _cache.erase(found);
        return nullptr;
    }
    found->second.lastAccessTime = _clock();
    return found->second.result;
}

void ZRCodeSignatureCheckerCache::cacheResultForKey(std::shared_ptr<const ZRCodeSignatureCheckResult> result,
                                                    const Key& key) {
    std::lock_guard lock(_mutex);
    if (!result || !result->mainExecutableFileURL()) {
        // Without a main executable there is nothing to judge staleness by: forget the key.
        _cache.erase(key);
        return;
    }
    Entry entry{result, fileStamp(*result->mainExecutableFileURL()), _clock()};
    _cache.insert_or_assign(key, std::move(entry));
    prune();
}

void ZRCodeSignatureCheckerCache::prune() {
    if (_cache.size() <= _capacity) {
        return;
    }
    std::vector<double> times;
    times.reserve(_cache.size());
    for (const auto& [key, entry] : _cache) {
        times.push_back(entry.lastAccessTime);
    }
    std::sort(times.begin(), times.end());
    const double threshold = times[times.size() * 3 / 4];
    std::unordered_map<Key, Entry, KeyHash> kept;
    kept.reserve(_cache.size() / 4 + 1);
    for (auto& [key, entry] : _cache) {
        if (entry.lastAccessTime >= threshold && !entry.stale()) {
            kept.emplace(key, std::move(entry));
        }
    }
    _cache = std::move(kept);
}

std::size_t ZRCodeSignatureCheckerCache::count() const {
    std::lock_guard lock(_mutex);
    return _cache.size();
}

void ZRCodeSignatureCheckerCache::removeAllEntries() {
    std::lock_guard lock(_mutex);
    _cache.clear();
}
