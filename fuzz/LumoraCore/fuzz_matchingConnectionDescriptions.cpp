// Documents and connections generated from fuzz input: matching never crashes, and its result
// keeps its promises (every result covers the connection, best first, only one exact match).

#include "Code/Model/LumoraMatching.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Match = Lumora::Match;
using Description = Lumora::ConnectionDescription;
using Rule = Description::HostMatchingRule;
using NetworkInformation = ConnectionInformation::NetworkInformation;
using Endpoint = NetworkInformation::RemoteEndpoint;

class ByteSource {
public:
    ByteSource(const std::uint8_t* data, std::size_t size)
        : _data(data)
        , _size(size) {}
    std::uint8_t byte() { return _offset < _size ? _data[_offset++] : 0; }
    bool flag() { return (byte() & 1) != 0; }
    std::uint16_t port() { return static_cast<std::uint16_t>(byte() << 8 | byte()); }
    // Short names drawn mostly from a few labels, so that rules and endpoints meet.
    std::string name() {
        static constexpr const char* labels[] = {"example", "com", "api", "*",   "?",
                                                 "a",       "",    "\\",  "cdn", "x*y"};
        std::string text;
        for (auto count = byte() % 5; count > 0; --count) {
            const auto choice = byte();
            if (!text.empty()) {
                text += '.';
            }
            if (choice < 200) {
                text += labels[choice % std::size(labels)];
            } else {
                text += static_cast<char>(byte());
            }
        }
        return text;
    }
    NQIPAddressSet addresses() {
        static constexpr const char* texts[] = {"192.168.0.0/16", "10.0.0.1", "203.0.113.0-203.0.113.9",
                                                "fe80::1",        "::/0",     "0.0.0.0/0"};
        if (const auto parsed = NQIPAddressSet::addressSetFromDisplayString(texts[byte() % std::size(texts)]);
            parsed && flag()) {
            return *parsed;
        }
        return {};
    }
    PortSet ports() {
        switch (byte() % 4) {
        case 0:
            return PortSet::allPorts();
        case 1:
            return {};
        default: {
            PortSet set;
            for (auto count = 1 + byte() % 3; count > 0; --count) {
                const auto first = port();
                set.addPorts(first, static_cast<std::uint16_t>(first + byte() % 4));
            }
            return set;
        }
        }
    }
    std::optional<NetworkProtocol> networkProtocol() {
        switch (byte() % 4) {
        case 0:
            return NetworkProtocol::tcp;
        case 1:
            return NetworkProtocol::udp;
        case 2:
            return NetworkProtocol::icmp;
        default:
            return std::nullopt;
        }
    }

private:
    const std::uint8_t* _data;
    std::size_t _size;
    std::size_t _offset = 0;
};

Rule makeRule(ByteSource& bytes) {
    switch (bytes.byte() % 8) {
    case 0:
        return Rule::host(bytes.name());
    case 1:
        return Rule::fuzzyDomainWildcard(bytes.name());
    case 2:
        return Rule::exactDomainWildcard(bytes.name());
    case 3:
        return Rule::ipAddresses(bytes.addresses());
    case 4:
        return Rule::localNetwork();
    case 5:
        return Rule::berkeleyPacketFilter();
    case 6:
        return Rule::fuzzyAnyConnectionWildcard();
    default:
        return Rule::exactAnyConnectionWildcard();
    }
}

Endpoint makeEndpoint(ByteSource& bytes) {
    switch (bytes.byte() % 5) {
    case 0:
        return Endpoint::domain(bytes.name());
    case 1:
        return Endpoint::host(bytes.name());
    case 2:
        return Endpoint::ipAddresses(bytes.addresses());
    case 3:
        return Endpoint::localNetwork();
    default:
        return Endpoint::berkeleyPacketFilter();
    }
}

std::shared_ptr<const Lumora::Source> makeSource(ByteSource& bytes, std::size_t number) {
    std::vector<Description> descriptions;
    for (auto count = bytes.byte() % 9; count > 0; --count) {
        if (!descriptions.empty() && bytes.byte() % 6 == 0) {
            descriptions.push_back(descriptions[bytes.byte() % descriptions.size()]);
            continue;
        }
        std::vector<Rule> rules;
        for (auto ruleCount = bytes.byte() % 4; ruleCount > 0; --ruleCount) {
            rules.push_back(makeRule(bytes));
        }
        const bool isIncoming = bytes.byte() % 5 == 0;
        auto networkProtocol = bytes.networkProtocol();
        descriptions.emplace_back(isIncoming, std::move(rules), networkProtocol, bytes.ports(),
                                  Description::Relevance::default_,
                                  "purpose " + std::to_string(descriptions.size()), std::nullopt);
    }
    static constexpr const char* names[] = {"Helper 2", "helper 10", "Sync", "sync", "\xc3\x84rger", "Z"};
    const std::string path = "/nonexistent/" + std::to_string(bytes.byte() % 3 == 0 ? 0 : number) + "/" +
                             names[bytes.byte() % std::size(names)] + ".app";
    return std::make_shared<const Lumora::Source>(
        Lumora::Source::SourceType::internal, ZRURL::fileURL(path, true),
        ZRURL::fileURL(path + "/Contents/Resources/Lumora.plist", false), std::nullopt, std::nullopt,
        "Purpose.", std::move(descriptions), std::vector<Lumora::ServiceDescription>{}, std::nullopt);
}

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteSource bytes(data, size);
    std::vector<std::shared_ptr<const Lumora::Source>> sources;
    for (std::size_t count = 1 + bytes.byte() % 4, number = 0; number < count; ++number) {
        sources.push_back(makeSource(bytes, number));
    }
    if (sources.size() > 1 && bytes.byte() % 8 == 0) {
        sources.push_back(sources[1]);
    }
    const Lumora document(sources.front(), std::vector(sources.begin() + 1, sources.end()));

    std::optional<NetworkInformation> networkInformation;
    if (bytes.byte() % 8 != 0) {
        std::vector<Endpoint> endpoints;
        for (auto count = bytes.byte() % 4; count > 0; --count) {
            endpoints.push_back(makeEndpoint(bytes));
        }
        const bool isIncoming = bytes.byte() % 5 == 0;
        auto networkProtocol = bytes.networkProtocol();
        networkInformation.emplace(isIncoming, std::move(endpoints), networkProtocol, bytes.ports());
    }
    const ConnectionInformation connection(ConnectionInformation::ProcessInformation("/"),
                                           networkInformation);

    const auto matches = document.matchingConnectionDescriptions(connection);
    std::vector<LumoraMatching::DescriptionMatch> ratings;
    for (const auto& match : matches) {
        const auto& list = match.source->connectionDescriptions();
        check(match.description.get() >= list.data() && match.description.get() < list.data() + list.size());
        ratings.push_back(networkInformation
                              ? LumoraMatching::descriptionMatch(*match.description, *networkInformation)
                              : LumoraMatching::DescriptionMatch{Match::fuzzy, 0});
        check(ratings.back().match != Match::none);
        if (networkInformation) {
            const auto hosts = LumoraMatching::matchingHostMatchingRules(
                match.description->hostMatchingRules(), networkInformation->remoteEndpoints());
            check(hosts.size() <= match.description->hostMatchingRules().size());
        }
    }
    for (std::size_t index = 1; index < ratings.size(); ++index) {
        const auto& previous = ratings[index - 1];
        const auto& current = ratings[index];
        check(previous.match >= current.match);
        check(previous.match != current.match || previous.quality >= current.quality);
    }
    bool anyCovers = false;
    for (const auto& source : document.sources()) {
        for (const auto& description : source->connectionDescriptions()) {
            anyCovers =
                anyCovers || !networkInformation ||
                LumoraMatching::descriptionMatch(description, *networkInformation).match != Match::none;
        }
    }
    check(anyCovers == !matches.empty());
    check(ratings.empty() || ratings.front().match != Match::exact || ratings.size() == 1);
    check(ratings.empty() || ratings.front().match != Match::fuzzy || ratings.back().match == Match::fuzzy);
    return 0;
}
