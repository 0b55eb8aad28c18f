#pragma once

#include "Code/Model/NetworkProtocol.h"
#include "Code/Model/PortSet.h"
#include "ZRFoundation/IPAddress/NQIPAddressSet.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// One network connection as a firewall sees it: the process that makes it (possibly through a
/// helper) and, when known, its direction, remote endpoints, protocol and ports. Records are
/// shared as `std::shared_ptr<const ConnectionInformation>`; equality compares their values.
class ConnectionInformation {
public:
    class ProcessInformation;
    class NetworkInformation;

    ConnectionInformation(ProcessInformation processInformation,
                          std::optional<NetworkInformation> networkInformation);
    ConnectionInformation(const ConnectionInformation&) = default;
    ConnectionInformation(ConnectionInformation&&) = default;
    ConnectionInformation& operator=(const ConnectionInformation&) = delete;
    ConnectionInformation& operator=(ConnectionInformation&&) = delete;
    virtual ~ConnectionInformation();

    const ProcessInformation& processInformation() const { return *_processInformation; }
    /// Null when nothing is known about the network side.
    const NetworkInformation* networkInformation() const { return _networkInformation.get(); }

    const std::string& processPath() const;
    const std::optional<std::string>& viaProcessPath() const;

    /// " processInformation: … networkInformation: …" (with a leading space).
    std::string description() const;

    /// Equal when `other` is of exactly the same class and holds equal process and network
    /// information.
    bool operator==(const ConnectionInformation& other) const;

private:
    // Held through pointers because the nested classes are complete only further down; both are
    // immutable, so copies of a record may share them.
    std::shared_ptr<const ProcessInformation> _processInformation;
    std::shared_ptr<const NetworkInformation> _networkInformation;
};

/// The process that makes a connection. Details that are not given are derived from the process
/// path when the record is built.
class ConnectionInformation::ProcessInformation {
public:
    /// Every detail derived from `processPath`; no helper process.
    explicit ProcessInformation(std::string processPath);
    /// Absent optional arguments are derived: the bundle path from the executable path, the bundle
    /// identifier from that bundle, the display names from the file manager. `isViaXPC` is kept
    /// only together with a `viaProcessPath`.
    ProcessInformation(std::string processPath, std::optional<std::string> processBundlePath,
                       std::optional<std::string> bundleIdentifier, std::optional<std::string> viaProcessPath,
                       bool isViaXPC, std::optional<std::string> processDisplayName = std::nullopt,
                       std::optional<std::string> viaProcessDisplayName = std::nullopt);

    const std::string& processPath() const { return _processPath; }
    const std::optional<std::string>& processBundlePath() const { return _processBundlePath; }
    const std::optional<std::string>& bundleIdentifier() const { return _bundleIdentifier; }
    const std::optional<std::string>& viaProcessPath() const { return _viaProcessPath; }
    bool isViaXPC() const { return _isViaXPC; }
    const std::string& processDisplayName() const { return _processDisplayName; }
    const std::optional<std::string>& viaProcessDisplayName() const { return _viaProcessDisplayName; }

    /// The bundle that holds the executable at `executablePath`, or the path itself (without one
    /// trailing "/") when it is not a bundle's main executable.
    static std::string bundlePathForExecutablePath(std::string_view executablePath);

    /// "processPath: …, bundleIdentifier: …, viaProcessPath: …, isViaXPC: …".
    std::string description() const;

    bool operator==(const ProcessInformation&) const = default;

private:
    std::string _processPath;
    std::optional<std::string> _processBundlePath;
    std::optional<std::string> _bundleIdentifier;
    std::optional<std::string> _viaProcessPath;
    bool _isViaXPC;
    std::string _processDisplayName;
    std::optional<std::string> _viaProcessDisplayName;
};

/// The network side of a connection.
class ConnectionInformation::NetworkInformation {
public:
    using NetworkProtocol = ::NetworkProtocol;
    class RemoteEndpoint;

    /// `networkProtocol`: none for unknown or any. `ports`: the remote ports; all ports for any.
    NetworkInformation(bool isIncoming, std::vector<RemoteEndpoint> remoteEndpoints,
                       std::optional<NetworkProtocol> networkProtocol, PortSet ports);

    bool isIncoming() const { return _isIncoming; }
    /// Empty when the remote side is unknown.
    const std::vector<RemoteEndpoint>& remoteEndpoints() const { return _remoteEndpoints; }
    const std::optional<NetworkProtocol>& networkProtocol() const { return _networkProtocol; }
    const PortSet& ports() const { return _ports; }

    /// "remoteEndpoints: [ … ], ports: N indexes, protocol: …, incoming: …".
    std::string description() const;

    bool operator==(const NetworkInformation& other) const;

private:
    bool _isIncoming;
    std::vector<RemoteEndpoint> _remoteEndpoints;
    std::optional<NetworkProtocol> _networkProtocol;
    PortSet _ports;
};

/// Where a connection goes.
class ConnectionInformation::NetworkInformation::RemoteEndpoint {
public:
    enum class Kind : std::uint8_t { domain, host, ipAddresses, localNetwork, berkeleyPacketFilter };

    /// Some host inside the domain `name`.
    static RemoteEndpoint domain(std::string name) { return {Kind::domain, std::move(name), {}}; }
    static RemoteEndpoint host(std::string name) { return {Kind::host, std::move(name), {}}; }
    /// One of these addresses.
    static RemoteEndpoint ipAddresses(NQIPAddressSet addresses) {
        return {Kind::ipAddresses, {}, std::move(addresses)};
    }
    static RemoteEndpoint localNetwork() { return {Kind::localNetwork, {}, {}}; }
    /// Raw packet capture: no transport protocol, no ports.
    static RemoteEndpoint berkeleyPacketFilter() { return {Kind::berkeleyPacketFilter, {}, {}}; }

    Kind kind() const { return _kind; }
    /// The domain or host name; empty for the other kinds.
    const std::string& name() const { return _name; }
    /// The addresses of an `ipAddresses` endpoint; empty for the other kinds.
    const NQIPAddressSet& addresses() const { return _addresses; }

    /// "domain …", "host …", the address set's display string, "local network" or
    /// "Berkeley Packet Filter".
    std::string description() const;

    bool operator==(const RemoteEndpoint& other) const {
        return _kind == other._kind && _name == other._name && _addresses == other._addresses;
    }

private:
    RemoteEndpoint(Kind kind, std::string name, NQIPAddressSet addresses)
        : _kind(kind)
        , _name(std::move(name))
        , _addresses(std::move(addresses)) {}
    Kind _kind;
    std::string _name;
    NQIPAddressSet _addresses;
};
