// SevenZip: lists and extracts archives by running 7-Zip's program (`7zz`) in a child process under
// limits, and tells its failures apart (not installed, encrypted, not an archive, damaged, ...).
#pragma once

#include "Code/Archives/ExtractionSafety.h"
#include "Code/Archives/SevenZipListing.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CancellationToken;

class SevenZip {
public:
    struct Limits {
        ExtractionSafety::Limits contents;
        /// Each run of 7zz (the listing, then the extraction) gets this long.
        std::chrono::milliseconds deadline{std::chrono::minutes(10)};
        std::uint64_t cpuSeconds = 600;
        std::uint64_t addressSpace = std::uint64_t{4} << 30;
        /// The listing's text (about 400 bytes an entry).
        std::size_t listingOutputLimit = std::size_t{64} << 20;
    };

    enum class Failure {
        none,
        /// The program `7zz` is not in PATH.
        notInstalled,
        /// The archive or its entries need a password.
        encrypted,
        /// 7-Zip does not recognise the file as any archive.
        cannotOpen,
        /// 7-Zip opened the archive but reported errors in it (truncated, bad checksums), or failed
        /// on it.
        damaged,
        timedOut,
        cancelled,
        /// The contents exceed one of the limits (size, entries, depth, compression ratio), or
        /// 7-Zip's output or its resource limits were exceeded.
        limitExceeded,
        /// An entry's name or a link would reach outside the destination folder.
        unsafeEntry,
        /// Anything else: 7zz could not be started, the destination is unusable, the listing could
        /// not be read.
        failed,
    };

    struct [[nodiscard]] ListResult {
        Failure failure = Failure::none;
        /// An English sentence for the user; empty on success.
        std::string message;
        std::optional<SevenZipListing> listing;
    };

    struct [[nodiscard]] ExtractResult {
        Failure failure = Failure::none;
        std::string message;
        /// What was extracted (as listed before extraction); set on success.
        std::optional<SevenZipListing> listing;
    };

    /// The failure's name as programs read it ("notInstalled", "encrypted", ...).
    static const char* failureName(Failure failure);

    /// The entries to write when not all are wanted: those `includes` accepts among the files and
    /// links (folders follow from them). Their names are handed to 7-Zip in a list file written
    /// at `listFile`, outside the destination.
    struct Selection {
        std::function<bool(const SevenZipListing::Entry&)> includes;
        std::filesystem::path listFile;
    };

    /// Told the share of an extraction done, in percent, as 7-Zip reports it (on the thread that
    /// extracts).
    using Progress = std::function<void(int percent)>;

    /// The last percentage in a piece of 7-Zip's progress output (`-bsp1`: " 42% 3 - name" lines
    /// redrawn with backspaces), or none.
    static std::optional<int> progressPercent(std::string_view output);

    /// Runs `7zz` as found in the PATH of `environment` ("NAME=value" entries; none: this
    /// process's environment).
    explicit SevenZip(std::optional<std::vector<std::string>> environment = std::nullopt);

    /// Whether `7zz` is found in PATH.
    bool isInstalled() const;

    /// Lists `archive` (`7zz l -slt -ba`). An archive any of whose entries is encrypted is
    /// refused as encrypted. No exception is thrown but std::bad_alloc.
    ListResult list(const std::filesystem::path& archive, const Limits& limits,
                    const CancellationToken* cancellation = nullptr) const;

    /// Lists `archive`, checks the listing against `ExtractionSafety`, then extracts it into
    /// `destinationFolder`, which must be an existing, empty folder. What was written is checked
    /// again (its links' targets, which zip listings do not show, its total size and count). On
    /// any failure the folder is emptied again. No exception is thrown but std::bad_alloc.
    ExtractResult extract(const std::filesystem::path& archive,
                          const std::filesystem::path& destinationFolder, const Limits& limits,
                          const CancellationToken* cancellation = nullptr,
                          const Selection* selection = nullptr, const Progress& progress = {}) const;

private:
    std::optional<std::vector<std::string>> _environment;
};
