#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// Option handling shared by the commands.
namespace ToolOptions {

/// Appends the certificates (PEM or DER, one or more) of `file` to `anchors`; the problem to report
/// as a usage error when the file cannot be read or holds no certificate.
std::optional<std::string> appendExtraTrustAnchors(const std::string& file,
                                                   std::vector<std::vector<std::uint8_t>>& anchors);

} // namespace ToolOptions
