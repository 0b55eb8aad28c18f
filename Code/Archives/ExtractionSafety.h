// ExtractionSafety: the rules an archive's entries must pass before anything is written for them:
// names that stay below the extraction folder, symbolic links whose targets do too, and bounds on
// the contents' total size, count, depth and compression ratio.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class SevenZipListing;

class ExtractionSafety {
public:
    static constexpr std::size_t defaultDepth = 64;

    struct Limits {
        std::uint64_t totalSize = std::uint64_t{8} << 30;
        std::size_t entryCount = 1'000'000;
        /// Components in an entry's path.
        std::size_t depth = defaultDepth;
        /// Contents larger than `ratioMinimumSize` may expand at most this many times their packed
        /// size: smaller contents may compress as well as they like.
        std::uint64_t compressionRatio = 1000;
        std::uint64_t ratioMinimumSize = std::uint64_t{100} << 20;
    };

    /// What an archive's listing adds up to.
    struct Totals {
        std::uint64_t size = 0;
        std::uint64_t packedSize = 0;
        std::size_t entryCount = 0;
        std::size_t depth = 0;
    };

    /// Safe, or an English sentence saying which rule or limit refused.
    struct [[nodiscard]] Verdict {
        std::string refusal;
        /// The refusal is one of the limits (not a rule about names or links).
        bool exceedsLimit = false;

        bool isSafe() const { return refusal.empty(); }
    };

    /// An entry's path (relative, '/'-separated) may be created below the extraction folder: it is
    /// not empty or absolute, holds no NUL and no ".." component, and has at most `maximumDepth`
    /// components ("." and empty components do not count). A backslash counts as a separator for
    /// the ".." rule, since an archive made on Windows may separate with it.
    static Verdict checkEntryPath(std::string_view path, std::size_t maximumDepth = defaultDepth);

    /// A symbolic link at `linkPath` pointing at `target` stays inside the extraction folder when
    /// resolved from the link's own folder, by the text alone; an absolute target leaves it. The
    /// folders on the way are taken as the text names them: `checkListing` refuses entries below
    /// a link, so no folder on the way is itself a link.
    static Verdict checkLinkTarget(std::string_view linkPath, std::string_view target);

    static Verdict checkTotals(const Totals& totals, const Limits& limits);

    /// Every rule above over a whole listing: each entry's path, each link's target (when the
    /// listing shows it) and hard link's target, no entry below a symbolic link, and the totals.
    /// A folder entry naming the extraction folder itself (".", which payloads begin with) passes;
    /// a device, FIFO or socket (by the mode the listing shows) is refused.
    static Verdict checkListing(const SevenZipListing& listing, const Limits& limits);

    /// The number of components in `path` that are neither "." nor empty.
    static std::size_t depth(std::string_view path);
};
