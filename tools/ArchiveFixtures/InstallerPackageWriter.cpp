#include "tools/ArchiveFixtures/InstallerPackageWriter.h"

#include "tools/ArchiveFixtures/PbzxWriter.h"
#include "tools/ArchiveFixtures/XarWriter.h"

#include <stdexcept>

#include <zlib.h>

std::vector<std::uint8_t> InstallerPackageWriter::componentPackage(const Component& component) {
    return XarWriter()
        .addFile("PackageInfo", packageInfo(component))
        .addFile("Payload", payload(component))
        .bytes();
}

std::string InstallerPackageWriter::packageInfo(const Component& component) {
    std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
    text.append("<pkg-info format-version=\"2\" identifier=\"")
        .append(component.identifier)
        .append("\" version=\"")
        .append(component.version)
        .append("\" install-location=\"")
        .append(component.installLocation)
        .append("\" auth=\"root\">\n");
    text.append("    <payload installKBytes=\"")
        .append(std::to_string((component.archive.size() + 1023) / 1024))
        .append("\"/>\n</pkg-info>\n");
    return text;
}

std::vector<std::uint8_t> InstallerPackageWriter::payload(const Component& component) {
    switch (component.encoding) {
    case PayloadEncoding::gzip:
        return gzip(component.archive);
    case PayloadEncoding::pbzx:
        return PbzxWriter::encode(component.archive, component.pbzxChunkSize);
    }
    throw std::invalid_argument("unknown payload encoding");
}

std::vector<std::uint8_t> InstallerPackageWriter::gzip(std::span<const std::uint8_t> bytes) {
    z_stream stream{};
    // 16 added to the window bits asks for a gzip header and trailer instead of zlib's.
    if (deflateInit2(&stream, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("gzip compression could not start");
    }
    std::vector<std::uint8_t> compressed(deflateBound(&stream, static_cast<uLong>(bytes.size())) + 32);
    stream.next_in = const_cast<Bytef*>(bytes.data());
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = compressed.data();
    stream.avail_out = static_cast<uInt>(compressed.size());
    const int result = deflate(&stream, Z_FINISH);
    compressed.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) {
        throw std::runtime_error("gzip compression failed");
    }
    return compressed;
}
