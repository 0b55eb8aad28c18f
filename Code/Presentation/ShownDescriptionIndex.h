#pragma once

#include "Code/Model/LumoraConnectionDescription.h"

#include <optional>
#include <unordered_map>
#include <vector>

/// The connection descriptions a page shows, grouped by direction and host rule, for the
/// abbreviated headings: what a description must be told apart from. Built once for a page, it
/// answers for each description in time that depends on that description's rules, not on the
/// number of descriptions shown.
///
/// Another description here is one of the same direction that shares a host rule with the
/// description asked about and is not equal to it.
class ShownDescriptionIndex {
public:
    explicit ShownDescriptionIndex(const std::vector<const Lumora::ConnectionDescription*>& shown);

    /// Whether another shown description uses TCP.
    bool hasAnotherUsingTCP(const Lumora::ConnectionDescription& description) const;

    /// Whether another shown description leaves out some of the description's ports.
    bool hasAnotherMissingPorts(const Lumora::ConnectionDescription& description) const;

private:
    struct RuleKey {
        bool isIncoming;
        const Lumora::ConnectionDescription::HostMatchingRule* rule;
        bool operator==(const RuleKey& other) const {
            return isIncoming == other.isIncoming && *rule == *other.rule;
        }
    };
    struct RuleKeyHash {
        std::size_t operator()(const RuleKey& key) const noexcept;
    };
    struct Group {
        // Two TCP members that differ, enough to tell whether one differs from a given description.
        const Lumora::ConnectionDescription* firstUsingTCP = nullptr;
        const Lumora::ConnectionDescription* secondUsingTCP = nullptr;
        // The ports every member allows. A member equal to the description asked about allows all
        // of its ports, so it need not be left out of this.
        std::optional<PortSet> commonPorts;
    };

    const Group* group(bool isIncoming, const Lumora::ConnectionDescription::HostMatchingRule& rule) const;

    std::unordered_map<RuleKey, Group, RuleKeyHash> _groups;
};
