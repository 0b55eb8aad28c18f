#pragma once

#include "Code/Model/Lumora.h"
#include "Code/Model/NetworkProtocol.h"
#include "Code/Model/PortSet.h"
#include "ZRFoundation/IPAddress/NQIPAddressSet.h"

#include <optional>
#include <string>
#include <vector>

/// One declared connection: where it goes, how, why, and what denying it costs.
class Lumora::ConnectionDescription {
public:
    /// One host pattern of a connection description.
    class HostMatchingRule {
    public:
        enum class Kind : std::uint8_t {
            host,
            fuzzyDomainWildcard,
            exactDomainWildcard,
            ipAddresses,
            localNetwork,
            berkeleyPacketFilter,
            fuzzyAnyConnectionWildcard,
            exactAnyConnectionWildcard,
        };

        static HostMatchingRule host(std::string name) { return {Kind::host, std::move(name), {}}; }
        static HostMatchingRule fuzzyDomainWildcard(std::string name) {
            return {Kind::fuzzyDomainWildcard, std::move(name), {}};
        }
        static HostMatchingRule exactDomainWildcard(std::string name) {
            return {Kind::exactDomainWildcard, std::move(name), {}};
        }
        static HostMatchingRule ipAddresses(NQIPAddressSet addresses) {
            return {Kind::ipAddresses, {}, std::move(addresses)};
        }
        static HostMatchingRule localNetwork() { return {Kind::localNetwork, {}, {}}; }
        static HostMatchingRule berkeleyPacketFilter() { return {Kind::berkeleyPacketFilter, {}, {}}; }
        static HostMatchingRule fuzzyAnyConnectionWildcard() {
            return {Kind::fuzzyAnyConnectionWildcard, {}, {}};
        }
        static HostMatchingRule exactAnyConnectionWildcard() {
            return {Kind::exactAnyConnectionWildcard, {}, {}};
        }

        Kind kind() const { return _kind; }
        /// The host or domain name; empty for the other kinds.
        const std::string& name() const { return _name; }
        /// The address set of an `ipAddresses` rule; empty for the other kinds.
        const NQIPAddressSet& addresses() const { return _addresses; }

        bool operator==(const HostMatchingRule& other) const {
            return _kind == other._kind && _name == other._name && _addresses == other._addresses;
        }

    private:
        HostMatchingRule(Kind kind, std::string name, NQIPAddressSet addresses)
            : _kind(kind)
            , _name(std::move(name))
            , _addresses(std::move(addresses)) {}
        Kind _kind;
        std::string _name;
        NQIPAddressSet _addresses;
    };

    // `default` is a keyword, hence the trailing underscore.
    enum class Relevance : std::uint8_t { default_, essential, analytics };

    /// An empty rule list is replaced by the single rule `fuzzyAnyConnectionWildcard`.
    ConnectionDescription(bool isIncoming, std::vector<HostMatchingRule> hostMatchingRules,
                          std::optional<NetworkProtocol> networkProtocol, PortSet ports, Relevance relevance,
                          std::string localizedPurpose, std::optional<std::string> localizedDenyConsequences);

    bool isIncoming() const { return _isIncoming; }
    const std::vector<HostMatchingRule>& hostMatchingRules() const { return _hostMatchingRules; }
    const std::optional<NetworkProtocol>& networkProtocol() const { return _networkProtocol; }
    const PortSet& ports() const { return _ports; }
    Relevance relevance() const { return _relevance; }
    const std::string& localizedPurpose() const { return _localizedPurpose; }
    const std::optional<std::string>& localizedDenyConsequences() const { return _localizedDenyConsequences; }

    bool operator==(const ConnectionDescription&) const = default;

private:
    bool _isIncoming;
    std::vector<HostMatchingRule> _hostMatchingRules;
    std::optional<NetworkProtocol> _networkProtocol;
    PortSet _ports;
    Relevance _relevance;
    std::string _localizedPurpose;
    std::optional<std::string> _localizedDenyConsequences;
};
