#include "ZRFoundation/CodeSigning/ZRCMSCertificateSplit.h"

namespace {

// ASN.1 identifier octets met on the way to the certificates.
constexpr std::uint8_t sequenceTag = 0x30;
constexpr std::uint8_t setTag = 0x31;
constexpr std::uint8_t integerTag = 0x02;
constexpr std::uint8_t objectIdentifierTag = 0x06;
constexpr std::uint8_t contextZeroTag = 0xa0; // [0] constructed: the explicit content, the certificates
constexpr std::uint8_t constructedBit = 0x20;
// Indefinite lengths nest; a signature needs a handful of levels.
constexpr int maximumDepth = 32;

/// One element: where it starts, where its contents lie and where it ends (past the
/// end-of-contents octets of an indefinite length).
struct Element {
    std::uint8_t tag = 0;
    std::size_t start = 0;
    std::size_t contentStart = 0;
    std::size_t contentEnd = 0;
    std::size_t end = 0;
    bool indefinite = false;

    std::size_t headerSize() const { return contentStart - start; }
};

/// The element at `offset`, which must end by `limit`; none when it does not.
std::optional<Element> readElement(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t limit,
                                   int depth = 0) {
    if (depth > maximumDepth || limit > bytes.size() || offset >= limit || limit - offset < 2) {
        return std::nullopt;
    }
    Element element;
    element.start = offset;
    element.tag = bytes[offset];
    if ((element.tag & 0x1f) == 0x1f) {
        return std::nullopt; // tag numbers above 30 never occur on this path
    }
    const std::uint8_t first = bytes[offset + 1];
    std::size_t position = offset + 2;
    if (first == 0x80) {
        if ((element.tag & constructedBit) == 0) {
            return std::nullopt;
        }
        element.indefinite = true;
        element.contentStart = position;
        while (true) {
            if (limit - position >= 2 && bytes[position] == 0 && bytes[position + 1] == 0) {
                element.contentEnd = position;
                element.end = position + 2;
                return element;
            }
            const auto child = readElement(bytes, position, limit, depth + 1);
            if (!child) {
                return std::nullopt;
            }
            position = child->end;
        }
    }
    std::size_t length = first;
    if (first > 0x80) {
        const std::size_t octets = first & 0x7f;
        if (octets > 4 || limit - position < octets) {
            return std::nullopt;
        }
        length = 0;
        for (std::size_t index = 0; index < octets; ++index) {
            length = length << 8 | bytes[position++];
        }
    }
    if (length > limit - position) {
        return std::nullopt;
    }
    element.contentStart = position;
    element.contentEnd = position + length;
    element.end = element.contentEnd;
    return element;
}

std::optional<Element> expect(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t limit,
                              std::uint8_t tag) {
    auto element = readElement(bytes, offset, limit);
    return element && element->tag == tag ? element : std::nullopt;
}

/// The shortest definite length encoding.
void appendLength(std::vector<std::uint8_t>& output, std::size_t length) {
    if (length < 0x80) {
        output.push_back(static_cast<std::uint8_t>(length));
        return;
    }
    std::uint8_t octets[sizeof(std::size_t)];
    std::size_t count = 0;
    for (std::size_t rest = length; rest != 0; rest >>= 8) {
        octets[count++] = static_cast<std::uint8_t>(rest & 0xff);
    }
    output.push_back(static_cast<std::uint8_t>(0x80 | count));
    while (count > 0) {
        output.push_back(octets[--count]);
    }
}

/// Writes the header of `element` for contents `shrink` bytes shorter; how much shorter the
/// whole element becomes.
std::size_t appendHeader(std::vector<std::uint8_t>& output, std::span<const std::uint8_t> bytes,
                         const Element& element, std::size_t shrink) {
    if (element.indefinite) {
        output.insert(output.end(), bytes.begin() + static_cast<std::ptrdiff_t>(element.start),
                      bytes.begin() + static_cast<std::ptrdiff_t>(element.contentStart));
        return shrink;
    }
    const std::size_t before = output.size();
    output.push_back(element.tag);
    appendLength(output, element.contentEnd - element.contentStart - shrink);
    return shrink + element.headerSize() - (output.size() - before);
}

} // namespace

std::optional<ZRCMSCertificateSplit> ZRCMSCertificateSplit::split(std::span<const std::uint8_t> bytes) {
    // ContentInfo ::= SEQUENCE { contentType OBJECT IDENTIFIER, content [0] EXPLICIT SignedData }
    const auto contentInfo = expect(bytes, 0, bytes.size(), sequenceTag);
    if (!contentInfo) {
        return std::nullopt;
    }
    const auto contentType =
        expect(bytes, contentInfo->contentStart, contentInfo->contentEnd, objectIdentifierTag);
    const auto content =
        contentType ? expect(bytes, contentType->end, contentInfo->contentEnd, contextZeroTag) : std::nullopt;
    // SignedData ::= SEQUENCE { version, digestAlgorithms SET, encapContentInfo SEQUENCE,
    //                           certificates [0] IMPLICIT SET OPTIONAL, crls [1] OPTIONAL, signerInfos SET }
    const auto signedData =
        content ? expect(bytes, content->contentStart, content->contentEnd, sequenceTag) : std::nullopt;
    if (!signedData) {
        return std::nullopt;
    }
    const auto version = expect(bytes, signedData->contentStart, signedData->contentEnd, integerTag);
    const auto digestAlgorithms =
        version ? expect(bytes, version->end, signedData->contentEnd, setTag) : std::nullopt;
    const auto encapsulated = digestAlgorithms
                                  ? expect(bytes, digestAlgorithms->end, signedData->contentEnd, sequenceTag)
                                  : std::nullopt;
    const auto certificates = encapsulated
                                  ? expect(bytes, encapsulated->end, signedData->contentEnd, contextZeroTag)
                                  : std::nullopt;
    if (!certificates) {
        return std::nullopt;
    }
    ZRCMSCertificateSplit split;
    for (std::size_t position = certificates->contentStart; position < certificates->contentEnd;) {
        // Plain certificates of definite length only; other choices go to the whole decoder.
        const auto certificate = readElement(bytes, position, certificates->contentEnd);
        if (!certificate || certificate->tag != sequenceTag || certificate->indefinite) {
            return std::nullopt;
        }
        split.certificates.push_back(
            bytes.subspan(certificate->start, certificate->end - certificate->start));
        position = certificate->end;
    }

    auto& output = split.withoutCertificates;
    output.reserve(bytes.size());
    const auto copy = [&](std::size_t from, std::size_t to) {
        output.insert(output.end(), bytes.begin() + static_cast<std::ptrdiff_t>(from),
                      bytes.begin() + static_cast<std::ptrdiff_t>(to));
    };
    // Headers are written inside out to know each level's new length, then put in order.
    const std::size_t removed = certificates->end - certificates->start;
    std::vector<std::uint8_t> signedDataHeader;
    const std::size_t signedDataShrink = appendHeader(signedDataHeader, bytes, *signedData, removed);
    std::vector<std::uint8_t> contentHeader;
    const std::size_t contentShrink = appendHeader(contentHeader, bytes, *content, signedDataShrink);
    appendHeader(output, bytes, *contentInfo, contentShrink);
    copy(contentInfo->contentStart, content->start);
    output.insert(output.end(), contentHeader.begin(), contentHeader.end());
    copy(content->contentStart, signedData->start);
    output.insert(output.end(), signedDataHeader.begin(), signedDataHeader.end());
    copy(signedData->contentStart, certificates->start);
    copy(certificates->end, bytes.size());
    return split;
}
