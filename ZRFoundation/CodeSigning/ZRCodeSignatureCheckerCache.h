#pragma once

#include "ZRFoundation/CodeSigning/ZRCodeSignatureCheckResult.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

/// The process-wide store of check results, keyed by file, options and extra anchors. An entry
/// is stale once its main executable's file status changes (modification or change time to the
/// nanosecond, size, or the file itself); when the store exceeds its capacity it keeps the most
/// recently used quarter.
class ZRCodeSignatureCheckerCache {
public:
    /// Room for every application a viewer finds on a well-stocked machine, each with a few
    /// nested bundles, so that reloading them all is answered from here.
    static constexpr std::size_t sharedCapacity = 256;

    /// What identifies one state of a file's contents without reading them. The change time
    /// moves with every write and cannot be set back by the file's owner.
    struct FileStamp {
        std::int64_t modificationSeconds = 0;
        std::int64_t modificationNanoseconds = 0;
        std::int64_t changeSeconds = 0;
        std::int64_t changeNanoseconds = 0;
        std::uint64_t size = 0;
        std::uint64_t device = 0;
        std::uint64_t inode = 0;

        bool operator==(const FileStamp&) const = default;
    };

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
        std::optional<FileStamp> lastMainExecutableStamp;
        /// Seconds since 2001-01-01 00:00:00 UTC.
        double lastAccessTime = 0;

        bool stale() const;
    };
    using Clock = std::function<double()>;

    static ZRCodeSignatureCheckerCache& sharedInstance();
    /// A separate cache with its own clock (seconds since 2001-01-01) and capacity, for tests.
    explicit ZRCodeSignatureCheckerCache(Clock clock, std::size_t capacity = sharedCapacity);

    std::shared_ptr<const ZRCodeSignatureCheckResult> cachedResultForKey(const Key& key);
    void cacheResultForKey(std::shared_ptr<const ZRCodeSignatureCheckResult> result, const Key& key);
    std::size_t count() const;
    void removeAllEntries();

    /// The file's stamp; none when its status cannot be read.
    static std::optional<FileStamp> fileStamp(const std::filesystem::path& path);

private:
    void prune();

    Clock _clock;
    std::size_t _capacity;
    mutable std::mutex _mutex;
    std::unordered_map<Key, Entry, KeyHash> _cache;
};
