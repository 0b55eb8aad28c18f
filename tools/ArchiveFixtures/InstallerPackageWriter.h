#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

/// Writes flat component packages for tests: a xar archive holding `PackageInfo` (with the
/// install location) and `Payload`, a cpio archive compressed with gzip (older packages) or as
/// a pbzx stream of xz chunks (newer ones).
class InstallerPackageWriter {
public:
    enum class PayloadEncoding { gzip, pbzx };

    struct Component {
        std::string identifier = "com.example.fixture.pkg";
        std::string version = "1.0";
        std::string installLocation = "/Applications";
        /// The cpio archive (see `CpioWriter`).
        std::vector<std::uint8_t> archive;
        PayloadEncoding encoding = PayloadEncoding::gzip;
        /// The size of the pbzx stream's chunks.
        std::uint64_t pbzxChunkSize = 16 * 1024 * 1024;
    };

    static std::vector<std::uint8_t> componentPackage(const Component& component);
    static std::string packageInfo(const Component& component);
    static std::vector<std::uint8_t> payload(const Component& component);
    /// `bytes` as a gzip stream (header, deflate data, CRC-32 and size).
    static std::vector<std::uint8_t> gzip(std::span<const std::uint8_t> bytes);
};
