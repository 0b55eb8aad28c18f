#pragma once

#include "ZRFoundation/CodeSigning/ZRCodeSignatureCheckResult.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

/// The process-wide store of check results, keyed by file, options and extra anchors. An entry
/// is stale once its main executable's modification time (whole seconds) changes; when the store
/// exceeds 100 entries it keeps the most recently used quarter.
class ZRCodeSignatureCheckerCache {
public:
    static constexpr std::size_t capacity = 100;

    struct Key {
        std::filesystem::path fileURL;
        std::uint64_t options = 0;
        /// Identifies the extra trust anchors the check used (empty for none).
        std::string anchorsDigest;

        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const noexcept;
    };
    struct Entry {
        std::shared_ptr<const ZRCodeSignatureCheckResult> result;
        std::int64_t lastMainExecutableModificationTime = 0;
        /// Seconds since 2001-01-01 00:00:00 UTC.
        double lastAccessTime = 0;

        bool stale() const;
    };
    using Clock = std::function<double()>;

    static ZRCodeSignatureCheckerCache& sharedInstance();
    /// A separate cache with its own clock (seconds since 2001-01-01), for tests.
    explicit ZRCodeSignatureCheckerCache(Clock clock);

    std::shared_ptr<const ZRCodeSignatureCheckResult> cachedResultForKey(const Key& key);
    void cacheResultForKey(std::shared_ptr<const ZRCodeSignatureCheckResult> result, const Key& key);
    std::size_t count() const;
    void removeAllEntries();

    /// Whole seconds of a file's modification time; -1 when it cannot be read.
    static std::int64_t modificationTime(const std::filesystem::path& path);

private:
    void prune();

    Clock _clock;
    mutable std::mutex _mutex;
    std::unordered_map<Key, Entry, KeyHash> _cache;
};
