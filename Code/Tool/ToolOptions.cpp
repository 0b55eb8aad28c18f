#include "Code/Tool/ToolOptions.h"

#include "ZRFoundation/CodeSigning/ZRTrustEvaluator.h"

namespace ToolOptions {

std::optional<std::string> appendExtraTrustAnchors(const std::string& file,
                                                   std::vector<std::vector<std::uint8_t>>& anchors) {
    std::string failure;
    auto read = ZRTrustEvaluator::readCertificateFile(file, failure);
    if (!read) {
        return failure;
    }
    anchors.insert(anchors.end(), read->begin(), read->end());
    return std::nullopt;
}

} // namespace ToolOptions
