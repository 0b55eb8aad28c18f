#include "Code/Presentation/ShownDescriptionIndex.h"

#include <functional>
#include <string>

namespace {

using Description = Lumora::ConnectionDescription;

PortSet intersection(const PortSet& a, const PortSet& b) {
    PortSet result;
    auto mine = a.runs().begin();
    auto theirs = b.runs().begin();
    while (mine != a.runs().end() && theirs != b.runs().end()) {
        const auto first = std::max(mine->first, theirs->first);
        const auto last = std::min(mine->second, theirs->second);
        result.addPorts(first, last);
        if (mine->second < theirs->second) {
            ++mine;
        } else {
            ++theirs;
        }
    }
    return result;
}

} // namespace

std::size_t ShownDescriptionIndex::RuleKeyHash::operator()(const RuleKey& key) const noexcept {
    std::size_t hash = std::hash<std::string>{}(key.rule->name());
    hash ^= key.rule->addresses().hash() + 0x9e3779b97f4a7c15ULL + (hash << 6) + (hash >> 2);
    hash ^= (static_cast<std::size_t>(key.rule->kind()) << 1 | (key.isIncoming ? 1 : 0)) +
            0x9e3779b97f4a7c15ULL + (hash << 6) + (hash >> 2);
    return hash;
}

ShownDescriptionIndex::ShownDescriptionIndex(const std::vector<const Description*>& shown) {
    for (const auto* description : shown) {
        const bool usesTCP = description->networkProtocol() == NetworkProtocol::tcp;
        for (const auto& rule : description->hostMatchingRules()) {
            auto& group = _groups[RuleKey{description->isIncoming(), &rule}];
            if (usesTCP) {
                if (group.firstUsingTCP == nullptr) {
                    group.firstUsingTCP = description;
                } else if (group.secondUsingTCP == nullptr && !(*description == *group.firstUsingTCP)) {
                    group.secondUsingTCP = description;
                }
            }
            group.commonPorts = group.commonPorts ? intersection(*group.commonPorts, description->ports())
                                                  : description->ports();
        }
    }
}

const ShownDescriptionIndex::Group*
ShownDescriptionIndex::group(bool isIncoming, const Description::HostMatchingRule& rule) const {
    const auto found = _groups.find(RuleKey{isIncoming, &rule});
    return found == _groups.end() ? nullptr : &found->second;
}

bool ShownDescriptionIndex::hasAnotherUsingTCP(const Description& description) const {
    for (const auto& rule : description.hostMatchingRules()) {
        const Group* members = group(description.isIncoming(), rule);
        if (members == nullptr || members->firstUsingTCP == nullptr) {
            continue;
        }
        // The second differs from the first: if the first is the description, the second is not.
        if (!(*members->firstUsingTCP == description) || members->secondUsingTCP != nullptr) {
            return true;
        }
    }
    return false;
}

bool ShownDescriptionIndex::hasAnotherMissingPorts(const Description& description) const {
    for (const auto& rule : description.hostMatchingRules()) {
        const Group* members = group(description.isIncoming(), rule);
        if (members != nullptr && members->commonPorts &&
            !members->commonPorts->containsPorts(description.ports())) {
            return true;
        }
    }
    return false;
}
