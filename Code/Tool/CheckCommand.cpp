// lumora check and lumora show: load applications the way the viewer does, with every signature
// and sealed file verified, and report each one's state or print its document.

#include "Code/Loading/LumoraLoader.h"
#include "Code/Loading/ZRBundleResourceVerifier.h"
#include "Code/Model/LumoraSource.h"
#include "Code/Tool/LumoraDocumentJSON.h"
#include "Code/Tool/LumoraDocumentText.h"
#include "Code/Tool/LumoraTool.h"
#include "Code/Tool/TerminalText.h"
#include "Code/Tool/ToolArchiveExtraction.h"
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
    std::optional<std::string> applicationName;
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
        } else if (std::optional<std::string> problem;
                   command == "show" && ToolArchiveExtraction::consumeApplicationName(
                                            arguments, index, options.applicationName, problem)) {
            if (problem) {
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

/// The target loaded, or the archive's failure as a load failure.
ToolDocumentLoading::Checked load(const ToolArchiveExtraction::Target& target,
                                  const LumoraLoader::Options& options) {
    if (target.failed()) {
        ToolDocumentLoading::Checked checked;
        checked.state = "loadFailed";
        checked.error = target.error;
        checked.errorText = target.errorText;
        return checked;
    }
    return ToolDocumentLoading::loadApplication(target.bundle.string(), options);
}

/// The facts of the "signature" JSON object on one line.
std::string signatureText(const LumoraSignatureSummary& signature) {
    std::string text(LumoraSignatureSummary::kindName(signature.kind));
    for (const auto& [label, value] :
         {std::pair{"", signature.author}, std::pair{"team ", signature.teamIdentifier},
          std::pair{"secure timestamp ", signature.secureTimestampText()}, std::pair{"", signature.error}}) {
        if (value) {
            text.append(", ").append(label).append(*value);
        }
    }
    return text;
}

/// The exit status: an interrupted run ends as the signal's would.
int exitStatus(int status) {
    const auto signalNumber = ToolArchiveExtraction::interruption();
    return signalNumber != 0 ? 128 + signalNumber : status;
}

} // namespace

int runCheck(const std::vector<std::string>& arguments) {
    CheckOptions options;
    if (const auto problem = parseOptions("check", arguments, options)) {
        return usageError("check", *problem);
    }
    ToolArchiveExtraction archives;
    std::vector<ToolArchiveExtraction::Target> targets;
    for (const auto& path : options.paths) {
        auto more = archives.targets(path);
        targets.insert(targets.end(), std::make_move_iterator(more.begin()),
                       std::make_move_iterator(more.end()));
    }
    // Loaded side by side, as many at once as the viewer's load queue runs; reported in order.
    std::vector<ToolDocumentLoading::Checked> results(targets.size());
    ZRParallelFor(results.size(), maximumConcurrentLoads, [&](std::size_t index) {
        try {
            results[index] = load(targets[index], options.loading);
        } catch (const std::exception& failure) {
            results[index].state = "loadFailed";
            results[index].errorText = failure.what();
        }
    });
    bool allLoaded = true;
    json list = json::array();
    for (std::size_t index = 0; index < results.size(); ++index) {
        const auto& target = targets[index];
        const auto& checked = results[index];
        allLoaded = allLoaded && checked.state == "loaded";
        if (options.asJSON) {
            json entry = json::object();
            ToolJSON::appendPath(entry, target.path);
            if (target.pathInArchive) {
                ToolJSON::appendExactText(entry, "pathInArchive", *target.pathInArchive);
            } else {
                entry["pathInArchive"] = nullptr;
            }
            entry["state"] = checked.state;
            entry["error"] = checked.error;
            entry["trustedThrough"] = trustedThrough(checked);
            entry["signature"] = LumoraDocumentJSON::signatureJSON(checked.signature);
            entry["document"] =
                checked.document ? LumoraDocumentJSON::documentJSON(*checked.document) : json();
            target.show(entry["error"]);
            target.show(entry["document"]);
            list.push_back(std::move(entry));
            continue;
        }
        TerminalText line;
        line << target.path << ": ";
        if (target.pathInArchive) {
            line << *target.pathInArchive << ": ";
        }
        line << checked.state;
        if (checked.document) {
            const auto count = checked.document->sources().size();
            line << " (" << count << (count == 1 ? " declaration" : " declarations")
                 << (checked.document->isTrustedThroughExtraAnchor()
                         ? ", trusted only through an extra anchor"
                         : "")
                 << ")";
        }
        if (!checked.errorText.empty()) {
            line << ": " << target.shown(checked.errorText);
        }
        line << TerminalText::newline;
        if (checked.signature) {
            line << "  signature: " << signatureText(*checked.signature) << TerminalText::newline;
        }
        std::cout << line.string();
    }
    if (options.asJSON) {
        std::cout << ToolJSON::dump(list) << '\n';
    }
    return exitStatus(allLoaded ? exitSuccess : exitFailure);
}

int runShow(const std::vector<std::string>& arguments) {
    CheckOptions options;
    if (const auto problem = parseOptions("show", arguments, options)) {
        return usageError("show", *problem);
    }
    ToolArchiveExtraction archives;
    auto choice = archives.choose(options.paths.front(), options.applicationName);
    if (!choice.target) {
        return exitStatus(usageError("show", choice.problem));
    }
    const auto& target = *choice.target;
    const auto checked = load(target, options.loading);
    if (!checked.document) {
        const std::string message = options.paths.front() + ": " + checked.state +
                                    (checked.errorText.empty() ? "" : ": " + target.shown(checked.errorText));
        auto error = checked.error.is_null()
                         ? json{{"type", checked.state}, {"case", nullptr}, {"description", message}}
                         : checked.error;
        target.show(error);
        return exitStatus(
            reportDocumentFailure(options.asJSON, ToolDocumentLoading::Failure{error, message}));
    }
    if (options.asJSON) {
        auto output = LumoraDocumentJSON::documentJSON(*checked.document);
        output["trustedThrough"] = trustedThrough(checked);
        output["signature"] = LumoraDocumentJSON::signatureJSON(checked.signature);
        target.show(output);
        if (target.pathInArchive) {
            ToolJSON::appendExactText(output, "pathInArchive", *target.pathInArchive);
        } else {
            output["pathInArchive"] = nullptr;
        }
        std::cout << ToolJSON::dump(output) << '\n';
    } else {
        TerminalText text;
        if (checked.document->isTrustedThroughExtraAnchor()) {
            text << "Note: accepted only through an extra trust anchor, not through Apple."
                 << TerminalText::newline << TerminalText::newline;
        }
        std::cout << target.shown((text << LumoraDocumentText::documentText(*checked.document)).string());
    }
    return exitStatus(exitSuccess);
}

} // namespace LumoraTool
