// lumora check and lumora show: load applications the way the viewer does, with every signature
// and sealed file verified, and report each one's state or print its document.

#include "Code/Loading/LumoraLoader.h"
#include "Code/Loading/ZRBundleResourceVerifier.h"
#include "Code/Model/LumoraSource.h"
#include "Code/Tool/LumoraDocumentJSON.h"
#include "Code/Tool/LumoraDocumentText.h"
#include "Code/Tool/LumoraTool.h"
#include "Code/Tool/TerminalText.h"
#include "Code/Tool/ToolDocumentLoading.h"
#include "Code/Tool/ToolJSON.h"
#include "Code/Tool/ToolOptions.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureCheckError.h"
#include "ZRFoundation/Support/ZRParallelFor.h"

#include <filesystem>
#include <iostream>

#include <unistd.h>

namespace LumoraTool {

namespace {

using json = nlohmann::ordered_json;

constexpr std::size_t maximumConcurrentLoads = 8;

struct CheckOptions {
    bool asJSON = false;
    LumoraLoader::Options loading;
    std::vector<std::string> paths;
};

std::optional<std::string> parseOptions(std::string_view command, const std::vector<std::string>& arguments,
                                        CheckOptions& options) {
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const auto& argument = arguments[index];
        if (argument == "--json") {
            options.asJSON = true;
        } else if (argument == "--extra-trust-anchors") {
            if (auto problem = ToolOptions::consumeExtraTrustAnchors(arguments, index,
                                                                     options.loading.extraTrustAnchors)) {
                return problem;
            }
        } else if (argument.starts_with("-")) {
            return "unknown option " + argument;
        } else {
            options.paths.push_back(argument);
        }
    }
    if (options.paths.empty()) {
        return "no path given";
    }
    if (command == "show" && options.paths.size() != 1) {
        return "show takes one path";
    }
    return std::nullopt;
}

json trustedThrough(const ToolDocumentLoading::Checked& checked) {
    if (!checked.document) {
        return nullptr;
    }
    return checked.document->isTrustedThroughExtraAnchor() ? "extraAnchor" : "apple";
}

} // namespace

int runCheck(const std::vector<std::string>& arguments) {
    CheckOptions options;
    if (const auto problem = parseOptions("check", arguments, options)) {
        return usageError("check", *problem);
    }
    // Loaded side by side, as many at once as the viewer's load queue runs; reported in order.
    std::vector<ToolDocumentLoading::Checked> results(options.paths.size());
    ZRParallelFor(results.size(), maximumConcurrentLoads, [&](std::size_t index) {
        try {
            results[index] = ToolDocumentLoading::loadApplication(options.paths[index], options.loading);
        } catch (const std::exception& failure) {
            results[index].state = "loadFailed";
            results[index].errorText = failure.what();
        }
    });
    bool allLoaded = true;
    json list = json::array();
    for (std::size_t index = 0; index < results.size(); ++index) {
        const auto& path = options.paths[index];
        const auto& checked = results[index];
        allLoaded = allLoaded && checked.state == "loaded";
        if (options.asJSON) {
            json entry = json::object();
            ToolJSON::appendPath(entry, path);
            entry["state"] = checked.state;
            entry["error"] = checked.error;
            entry["trustedThrough"] = trustedThrough(checked);
            entry["document"] =
                checked.document ? LumoraDocumentJSON::documentJSON(*checked.document) : json();
            list.push_back(std::move(entry));
            continue;
        }
        TerminalText line;
        line << path << ": " << checked.state;
        if (checked.document) {
            const auto count = checked.document->sources().size();
            line << " (" << count << (count == 1 ? " declaration" : " declarations")
                 << (checked.document->isTrustedThroughExtraAnchor()
                         ? ", trusted only through an extra anchor"
                         : "")
                 << ")";
        }
        if (!checked.errorText.empty()) {
            line << ": " << checked.errorText;
        }
        std::cout << (line << TerminalText::newline).string();
    }
    if (options.asJSON) {
        std::cout << ToolJSON::dump(list) << '\n';
    }
    return allLoaded ? exitSuccess : exitFailure;
}

int runShow(const std::vector<std::string>& arguments) {
    CheckOptions options;
    if (const auto problem = parseOptions("show", arguments, options)) {
        return usageError("show", *problem);
    }
    const auto checked = ToolDocumentLoading::loadApplication(options.paths.front(), options.loading);
    if (!checked.document) {
        const std::string message = options.paths.front() + ": " + checked.state +
                                    (checked.errorText.empty() ? "" : ": " + checked.errorText);
        return reportDocumentFailure(
            options.asJSON,
            ToolDocumentLoading::Failure{
                checked.error.is_null()
                    ? json{{"type", checked.state}, {"case", nullptr}, {"description", message}}
                    : checked.error,
                message});
    }
    if (options.asJSON) {
        auto output = LumoraDocumentJSON::documentJSON(*checked.document);
        output["trustedThrough"] = trustedThrough(checked);
        std::cout << ToolJSON::dump(output) << '\n';
    } else {
        TerminalText text;
        if (checked.document->isTrustedThroughExtraAnchor()) {
            text << "Note: accepted only through an extra trust anchor, not through Apple."
                 << TerminalText::newline << TerminalText::newline;
        }
        std::cout << (text << LumoraDocumentText::documentText(*checked.document)).string();
    }
    return exitSuccess;
}

} // namespace LumoraTool
