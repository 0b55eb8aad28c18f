#include "ZRFoundation/CodeSigning/ZRCodeResources.h"

#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"

namespace {

constexpr std::size_t maximumRuleCount = 1024;

bool fail(std::string* failure, std::string description) {
    if (failure != nullptr) {
        *failure = std::move(description);
    }
    return false;
}

bool digestOfLength(const ZRPropertyList& value, std::size_t length, std::vector<std::uint8_t>& digest) {
    const auto* data = value.dataValue();
    if (data == nullptr || data->size() != length) {
        return false;
    }
    digest = *data;
    return true;
}

// One "files"/"files2" value: bare data (SHA-1), or a dictionary with "hash"/"hash2", "symlink",
// or "requirement" (and "cdhash"), any of them with "optional".
std::optional<ZRResourceSeal> seal(const ZRPropertyList& value) {
    ZRResourceSeal result;
    if (value.isData()) {
        if (!digestOfLength(value, 20, result.sha1)) {
            return std::nullopt;
        }
        return result;
    }
    const auto* entry = value.dictionaryValue();
    if (entry == nullptr) {
        return std::nullopt;
    }
    if (const auto* optional = entry->find("optional")) {
        const auto flag = optional->booleanValue();
        if (!flag) {
            return std::nullopt;
        }
        result.optional = *flag;
    }
    if (const auto* target = entry->find("symlink")) {
        if (!target->isString()) {
            return std::nullopt;
        }
        result.kind = ZRResourceSeal::Kind::symlink;
        result.symlinkTarget = *target->stringValue();
        return result;
    }
    if (const auto* requirement = entry->find("requirement")) {
        if (!requirement->isString()) {
            return std::nullopt;
        }
        result.kind = ZRResourceSeal::Kind::nestedCode;
        result.requirement = *requirement->stringValue();
        return result;
    }
    const auto* sha1 = entry->find("hash");
    const auto* sha256 = entry->find("hash2");
    if ((sha1 == nullptr && sha256 == nullptr) ||
        (sha1 != nullptr && !digestOfLength(*sha1, 20, result.sha1)) ||
        (sha256 != nullptr && !digestOfLength(*sha256, 32, result.sha256))) {
        return std::nullopt;
    }
    return result;
}

bool isSafeRelativePath(const std::string& path) {
    if (path.empty() || path.front() == '/' || path.find('\0') != std::string::npos) {
        return false;
    }
    std::size_t start = 0;
    for (;;) {
        const auto end = path.find('/', start);
        const auto component = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (component.empty() || component == "." || component == "..") {
            return false;
        }
        if (end == std::string::npos) {
            return true;
        }
        start = end + 1;
    }
}

} // namespace

std::optional<ZRCodeResources> ZRCodeResources::codeResources(const ZRPropertyList& envelope,
                                                              std::string* failure) {
    const auto* top = envelope.dictionaryValue();
    if (top == nullptr) {
        fail(failure, "resource envelope is not a dictionary");
        return std::nullopt;
    }
    const auto* files2 = top->find("files2");
    const auto* rules2 = top->find("rules2");
    const bool isVersion2 = files2 != nullptr && rules2 != nullptr;
    const auto* files = isVersion2 ? files2 : top->find("files");
    const auto* rules = isVersion2 ? rules2 : top->find("rules");
    const auto* fileEntries = files ? files->dictionaryValue() : nullptr;
    const auto* ruleEntries = rules ? rules->dictionaryValue() : nullptr;
    if (fileEntries == nullptr || ruleEntries == nullptr) {
        fail(failure, "resource envelope has no files and rules dictionaries");
        return std::nullopt;
    }
    if (ruleEntries->size() > maximumRuleCount) {
        fail(failure, "resource envelope has more than " + std::to_string(maximumRuleCount) + " rules");
        return std::nullopt;
    }
    std::vector<ZRResourceRule> ruleList;
    for (const auto& [pattern, value] : *ruleEntries) {
        auto rule = ZRResourceRule::rule(pattern, value);
        if (!rule) {
            fail(failure, "resource rule '" + pattern + "' is malformed");
            return std::nullopt;
        }
        ruleList.push_back(std::move(*rule));
    }
    std::map<std::string, ZRResourceSeal> seals;
    for (const auto& [path, value] : *fileEntries) {
        auto entry = seal(value);
        if (!entry || !isSafeRelativePath(path)) {
            fail(failure, "resource seal for '" + path + "' is malformed");
            return std::nullopt;
        }
        seals.emplace(path, std::move(*entry));
    }
    return ZRCodeResources(isVersion2, ZRResourceRuleSet(std::move(ruleList)), std::move(seals),
                           isVersion2 ? *fileEntries : ZRPropertyListDictionary());
}

std::optional<ZRCodeResources> ZRCodeResources::codeResourcesFromData(std::span<const std::uint8_t> bytes,
                                                                      std::string* failure) {
    const auto read = ZRPropertyListReader::readPropertyList(bytes);
    if (!read) {
        fail(failure, "resource envelope unreadable: " + read.errorDescription);
        return std::nullopt;
    }
    return codeResources(*read.value, failure);
}
