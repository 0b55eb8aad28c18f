// Symbolic link targets read from a bundle, judged against the restriction on where links may
// point: any text is judged without crashing, and an accepted target never leads out of the
// bundle or outside the system folders. The input is "link path inside the bundle\ntarget".

#include "ZRFoundation/CodeSigning/ZRResourceEnvelopeValidator.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto split = input.find('\n');
    if (split == std::string_view::npos) {
        return 0;
    }
    // The walk only ever meets links inside the bundle: a relative path without "..".
    const std::filesystem::path linkInBundle(std::string(input.substr(0, split)));
    if (linkInBundle.empty() || linkInBundle.has_root_path() ||
        std::any_of(linkInBundle.begin(), linkInBundle.end(),
                    [](const auto& part) { return part == ".."; })) {
        return 0;
    }
    const std::filesystem::path boundary = "/bundles/X.app";
    const std::string target(input.substr(split + 1));
    const auto link = boundary / linkInBundle;
    const ZRResourceEnvelopeValidator::SymlinkRestriction restriction{boundary};
    if (!ZRResourceEnvelopeValidator::symlinkIsAllowed(link, target, restriction)) {
        return 0;
    }
    const auto resolved = target.front() == '/' ? std::filesystem::path(target).lexically_normal()
                                                : (link.parent_path() / target).lexically_normal();
    const std::string text = resolved.string();
    const bool inSystem = text.starts_with("/System/") || text.starts_with("/Library/");
    const bool inBundle = text == boundary.string() || text.starts_with(boundary.string() + "/");
    if (!(target.front() == '/' ? inSystem : inBundle)) {
        std::abort();
    }
    return 0;
}
