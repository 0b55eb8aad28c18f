#include "Code/Tool/ToolOptions.h"

#include "ZRFoundation/CodeSigning/ZRTrustEvaluator.h"

namespace ToolOptions {

std::optional<std::string> consumeExtraTrustAnchors(const std::vector<std::string>& arguments,
                                                    std::size_t& index,
                                                    std::vector<std::vector<std::uint8_t>>& anchors) {
    if (index + 1 >= arguments.size()) {
        return "--extra-trust-anchors needs a certificate file";
    }
    std::string failure;
    auto read = ZRTrustEvaluator::readCertificateFile(arguments[++index], failure);
    if (!read) {
        return failure;
    }
    anchors.insert(anchors.end(), read->begin(), read->end());
    return std::nullopt;
}

} // namespace ToolOptions
