#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// Option handling shared by the commands.
namespace ToolOptions {

/// Handles "--extra-trust-anchors FILE" found at `arguments[index]`: moves `index` to FILE and
/// appends its certificates (PEM or DER, one or more) to `anchors`. The problem to report as a
/// usage error when FILE is missing, cannot be read or holds no certificate.
std::optional<std::string> consumeExtraTrustAnchors(const std::vector<std::string>& arguments,
                                                    std::size_t& index,
                                                    std::vector<std::vector<std::uint8_t>>& anchors);

} // namespace ToolOptions
