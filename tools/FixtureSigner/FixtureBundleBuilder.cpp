#include "tools/FixtureSigner/FixtureBundleBuilder.h"

#include "ZRFoundation/CodeSigning/ZRCodeSigningDigest.h"
#include "ZRFoundation/CodeSigning/ZREmbeddedSignature.h"
#include "ZRFoundation/CodeSigning/ZRMachOFile.h"
#include "ZRFoundation/CodeSigning/ZRResourceRule.h"
#include "ZRFoundation/PropertyList/ZRPropertyListWriter.h"
#include "tools/FixtureSigner/FixtureMachOBuilder.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Bundle = FixtureBundleBuilder::Bundle;

bool isFramework(const Bundle& bundle) {
    return bundle.name.ends_with(".framework");
}

bool isVersioned(const Bundle& bundle) {
    return isFramework(bundle) && bundle.versioned;
}

// The paths below take the folder the code lives in: the bundle folder, or one version folder of
// a versioned framework.
fs::path codeContentFolder(const fs::path& codeFolder, const Bundle& bundle) {
    return isFramework(bundle) ? codeFolder : codeFolder / "Contents";
}

fs::path executablePath(const fs::path& codeFolder, const Bundle& bundle) {
    return isFramework(bundle) ? codeFolder / bundle.executableName
                               : codeFolder / "Contents" / "MacOS" / bundle.executableName;
}

fs::path infoPlistPath(const fs::path& codeFolder, const Bundle& bundle) {
    return isFramework(bundle) ? codeFolder / "Resources" / "Info.plist"
                               : codeFolder / "Contents" / "Info.plist";
}

constexpr const char* currentVersion = "A";

void writeFile(const fs::path& path, const std::string& contents) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << contents;
}

std::vector<std::uint8_t> readFile(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

// The rules Apple's signing tools write by default (version 2 seal).
const std::vector<std::pair<std::string, ZRPropertyList>>& defaultRules2() {
    const auto rule = [](std::optional<double> weight, bool omit, bool optional, bool nested) {
        ZRPropertyListDictionary settings;
        if (nested) {
            settings.set("nested", ZRPropertyList::boolean(true));
        }
        if (omit) {
            settings.set("omit", ZRPropertyList::boolean(true));
        }
        if (optional) {
            settings.set("optional", ZRPropertyList::boolean(true));
        }
        if (weight) {
            settings.set("weight", ZRPropertyList::real(*weight));
        }
        return ZRPropertyList::dictionary(std::move(settings));
    };
    static const std::vector<std::pair<std::string, ZRPropertyList>> rules{
        {"^.*", ZRPropertyList::boolean(true)},
        {"^[^/]+$", rule(10, false, false, true)},
        {"^(Frameworks|SharedFrameworks|PlugIns|Plug-ins|XPCServices|Helpers|MacOS|Library/"
         "(Automator|Spotlight|LoginItems))/",
         rule(10, false, false, true)},
        {".*\\.dSYM($|/)", rule(11, false, false, false)},
        {"^(.*/)?\\.DS_Store$", rule(2000, true, false, false)},
        {"^Info\\.plist$", rule(20, true, false, false)},
        {"^version\\.plist$", rule(20, false, false, false)},
        {"^embedded\\.provisionprofile$", rule(20, false, false, false)},
        {"^Resources/", rule(20, false, false, false)},
        {"^PkgInfo$", rule(20, true, false, false)},
        {"^Resources/.*\\.lproj/", rule(1000, false, true, false)},
        {"^Resources/Base\\.lproj/", rule(1010, false, false, false)},
        {"^Resources/.*\\.lproj/locversion.plist$", rule(1100, true, false, false)},
    };
    return rules;
}

ZRResourceRuleSet compiledRules() {
    std::vector<ZRResourceRule> rules;
    for (const auto& [pattern, value] : defaultRules2()) {
        rules.push_back(*ZRResourceRule::rule(pattern, value));
    }
    return ZRResourceRuleSet(std::move(rules));
}

std::string infoPlistText(const Bundle& bundle) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
           "<key>CFBundleExecutable</key><string>" +
           bundle.executableName +
           "</string>\n"
           "<key>CFBundleIdentifier</key><string>" +
           bundle.identifier +
           "</string>\n"
           "<key>CFBundleName</key><string>" +
           bundle.executableName +
           "</string>\n"
           "<key>CFBundleShortVersionString</key><string>1.0</string>\n" +
           bundle.extraInfoPlistEntries + "</dict>\n</plist>\n";
}

// What a resource envelope records for nested code: its designated requirement and the hash of
// its code directory.
struct NestedSeal {
    std::string requirement;
    std::vector<std::uint8_t> cdhash;
};
using NestedSeals = std::map<std::string, NestedSeal>;

// One files2 entry for the item at `path`, or none when the rules leave it out.
void sealItem(const fs::path& path, const std::string& relativePath, const ZRResourceRuleSet& rules,
              const NestedSeals& nestedSeals, ZRPropertyListDictionary& files2, std::size_t depth);

void sealFolder(const fs::path& folder, const std::string& prefix, const ZRResourceRuleSet& rules,
                const NestedSeals& nestedSeals, ZRPropertyListDictionary& files2, std::size_t depth) {
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(folder)) {
        entries.push_back(entry.path());
    }
    std::sort(entries.begin(), entries.end());
    for (const auto& entry : entries) {
        sealItem(entry, prefix + entry.filename().string(), rules, nestedSeals, files2, depth);
    }
}

void sealItem(const fs::path& path, const std::string& relativePath, const ZRResourceRuleSet& rules,
              const NestedSeals& nestedSeals, ZRPropertyListDictionary& files2, std::size_t depth) {
    if (depth == 0 && (relativePath == "_CodeSignature" || relativePath == "CodeResources")) {
        return;
    }
    // Fixture rules are few and plain; they never meet the matching limit.
    const auto* rule = rules.ruleForPath(relativePath).rule;
    struct stat status {};
    lstat(path.c_str(), &status);
    if (const auto nested = nestedSeals.find(relativePath); nested != nestedSeals.end()) {
        files2.set(relativePath, ZRPropertyList::dictionary(
                                     {{"cdhash", ZRPropertyList::data(nested->second.cdhash)},
                                      {"requirement", ZRPropertyList::string(nested->second.requirement)}}));
        return;
    }
    if (S_ISDIR(status.st_mode)) {
        sealFolder(path, relativePath + "/", rules, nestedSeals, files2, depth + 1);
        return;
    }
    if (rule == nullptr || rule->hasFlag(ZRResourceRule::omitted) ||
        rule->hasFlag(ZRResourceRule::exclusion)) {
        return;
    }
    ZRPropertyListDictionary entry;
    if (S_ISLNK(status.st_mode)) {
        entry.set("symlink", ZRPropertyList::string(fs::read_symlink(path).string()));
    } else {
        const auto bytes = readFile(path);
        entry.set("hash",
                  ZRPropertyList::data(ZRCodeSigningDigest::digest(ZRCodeSigningDigest::sha1, bytes)));
        entry.set("hash2",
                  ZRPropertyList::data(ZRCodeSigningDigest::digest(ZRCodeSigningDigest::sha256, bytes)));
    }
    if (rule->hasFlag(ZRResourceRule::optional)) {
        entry.set("optional", ZRPropertyList::boolean(true));
    }
    files2.set(relativePath, ZRPropertyList::dictionary(std::move(entry)));
}

std::string codeResourcesText(const fs::path& contents, const std::string& mainExecutable,
                              const NestedSeals& nestedSeals) {
    const auto rules = compiledRules();
    ZRPropertyListDictionary files2;
    sealFolder(contents, "", rules, nestedSeals, files2, 0);
    files2 = [&] {
        ZRPropertyListDictionary withoutExecutable;
        for (const auto& [key, value] : files2) {
            if (key != mainExecutable) {
                withoutExecutable.set(key, value);
            }
        }
        return withoutExecutable;
    }();
    ZRPropertyListDictionary files;
    for (const auto& [key, value] : files2) {
        const auto* hash = value.dictionaryValue() ? value.dictionaryValue()->find("hash") : nullptr;
        if (hash != nullptr && key.starts_with("Resources/")) {
            files.set(key, *hash);
        }
    }
    ZRPropertyListDictionary rules2;
    for (const auto& [pattern, value] : defaultRules2()) {
        rules2.set(pattern, value);
    }
    ZRPropertyListDictionary rules1{{"^Resources/", ZRPropertyList::boolean(true)},
                                    {"^version.plist$", ZRPropertyList::boolean(true)}};
    ZRPropertyListDictionary envelope{{"files", ZRPropertyList::dictionary(files)},
                                      {"files2", ZRPropertyList::dictionary(files2)},
                                      {"rules", ZRPropertyList::dictionary(rules1)},
                                      {"rules2", ZRPropertyList::dictionary(rules2)}};
    return ZRPropertyListWriter::xmlData(ZRPropertyList::dictionary(std::move(envelope)));
}

// The hash of the best code directory of the signed executable at `path` (as the checker reports
// it); empty when the file is missing or unsigned, as after a test removed it.
std::vector<std::uint8_t> codeDirectoryHash(const fs::path& path) {
    const auto bytes = readFile(path);
    const auto file = ZRMachOFile::parse(bytes);
    if (!file || file->slices().empty()) {
        return {};
    }
    const auto signature = ZREmbeddedSignature::parse(file->slices().front().signatureBytes());
    return signature ? signature->bestCodeDirectory().cdhash() : std::vector<std::uint8_t>{};
}

fs::path currentCodeFolder(const fs::path& bundlePath, const Bundle& bundle) {
    return isVersioned(bundle) ? bundlePath / "Versions" / currentVersion : bundlePath;
}

void signBundle(const fs::path& bundlePath, const Bundle& bundle, const FixtureSigner::Options& signing) {
    const auto contents = codeContentFolder(bundlePath, bundle);
    NestedSeals nestedSeals;
    for (const auto& [relativeFolder, nested, nestedSigning] : bundle.nestedBundles) {
        const auto nestedPath = contents / relativeFolder / nested.name;
        nestedSeals[relativeFolder + "/" + nested.name] = {
            FixtureBundleBuilder::designatedRequirement(nested.identifier, nestedSigning.value_or(signing)),
            codeDirectoryHash(executablePath(currentCodeFolder(nestedPath, nested), nested))};
    }
    const auto executable = executablePath(bundlePath, bundle);
    const std::string executableKey = executable.lexically_relative(contents).string();
    const std::string envelope = codeResourcesText(contents, executableKey, nestedSeals);
    writeFile(contents / "_CodeSignature" / "CodeResources", envelope);

    FixtureSigner::Options options = signing;
    options.identifier = bundle.identifier;
    options.bundleInfoPlist = readFile(infoPlistPath(bundlePath, bundle));
    options.resourceDirectory = std::vector<std::uint8_t>(envelope.begin(), envelope.end());
    if (options.kind == FixtureSigner::Kind::certificate && !options.designatedRequirement) {
        options.designatedRequirement =
            FixtureBundleBuilder::designatedRequirement(bundle.identifier, signing);
    }
    FixtureMachOBuilder::Executable machO;
    machO.seed = bundle.seed;
    const auto signedBytes = FixtureSigner::sign(machO, options);
    fs::create_directories(executable.parent_path());
    std::ofstream(executable, std::ios::binary)
        .write(reinterpret_cast<const char*>(signedBytes.data()),
               static_cast<std::streamsize>(signedBytes.size()));
}

} // namespace

std::string FixtureBundleBuilder::designatedRequirement(const std::string& identifier,
                                                        const FixtureSigner::Options& signing) {
    if (signing.kind != FixtureSigner::Kind::certificate) {
        return "identifier \"" + identifier + "\"";
    }
    return FixtureSigner::developerIDRequirement(identifier, signing.teamIdentifier.value_or("FIXTURE123"));
}

// Writes one copy of the bundle's code and resources into `codeFolder` and signs it.
void writeCode(const fs::path& codeFolder, const Bundle& bundle, const FixtureSigner::Options& signing) {
    const auto contents = codeContentFolder(codeFolder, bundle);
    writeFile(infoPlistPath(codeFolder, bundle), infoPlistText(bundle));
    for (const auto& file : bundle.files) {
        writeFile(contents / file.path, file.contents);
    }
    for (const auto& link : bundle.symlinks) {
        fs::create_directories((contents / link.path).parent_path());
        fs::create_symlink(link.target, contents / link.path);
    }
    for (const auto& [relativeFolder, nested, ownSigning] : bundle.nestedBundles) {
        FixtureSigner::Options nestedSigning = ownSigning.value_or(signing);
        nestedSigning.designatedRequirement.reset();
        FixtureBundleBuilder::write(contents / relativeFolder, nested, nestedSigning);
    }
    signBundle(codeFolder, bundle, signing);
}

fs::path FixtureBundleBuilder::write(const fs::path& parentFolder, const Bundle& bundle,
                                     const FixtureSigner::Options& signing) {
    const auto bundlePath = parentFolder / bundle.name;
    if (!isVersioned(bundle)) {
        writeCode(bundlePath, bundle, signing);
        return bundlePath;
    }
    for (const auto& version : bundle.otherVersions) {
        writeCode(bundlePath / "Versions" / version, bundle, signing);
    }
    writeCode(bundlePath / "Versions" / currentVersion, bundle, signing);
    fs::create_symlink(currentVersion, bundlePath / "Versions" / "Current");
    for (const std::string& name : {bundle.executableName, std::string("Resources")}) {
        fs::create_symlink("Versions/Current/" + name, bundlePath / name);
    }
    return bundlePath;
}

void FixtureBundleBuilder::resign(const fs::path& bundlePath, const Bundle& bundle,
                                  const FixtureSigner::Options& signing) {
    signBundle(currentCodeFolder(bundlePath, bundle), bundle, signing);
}
