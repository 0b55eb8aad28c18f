#include "Code/Model/LumoraConnectionDescription.h"

Lumora::ConnectionDescription::ConnectionDescription(bool isIncoming,
                                                     std::vector<HostMatchingRule> hostMatchingRules,
                                                     std::optional<NetworkProtocol> networkProtocol,
                                                     PortSet ports, Relevance relevance,
                                                     std::string localizedPurpose,
                                                     std::optional<std::string> localizedDenyConsequences)
    : _isIncoming(isIncoming)
    , _hostMatchingRules(std::move(hostMatchingRules))
    , _networkProtocol(networkProtocol)
    , _ports(std::move(ports))
    , _relevance(relevance)
    , _localizedPurpose(std::move(localizedPurpose))
    , _localizedDenyConsequences(std::move(localizedDenyConsequences)) {
    if (_hostMatchingRules.empty()) {
        _hostMatchingRules.push_back(HostMatchingRule::fuzzyAnyConnectionWildcard());
    }
}
