#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

/// A set of port numbers 0…65535, kept as sorted, disjoint, non-adjacent inclusive runs. The full
/// set stands for "any port".
class PortSet {
public:
    using Run = std::pair<std::uint16_t, std::uint16_t>;

    PortSet() = default;
    static PortSet allPorts();
    static PortSet withPort(std::uint16_t port);

    void addPort(std::uint16_t port) { addPorts(port, port); }
    /// Adds first…last, both included; nothing when first > last.
    void addPorts(std::uint16_t first, std::uint16_t last);

    bool isEmpty() const { return _runs.empty(); }
    bool isAllPorts() const;
    /// Neither empty nor all ports.
    bool isSpecific() const { return !isEmpty() && !isAllPorts(); }
    bool containsPort(std::uint16_t port) const;
    bool containsPorts(const PortSet& other) const;
    bool intersects(const PortSet& other) const;
    std::size_t count() const;
    const std::vector<Run>& runs() const { return _runs; }
    std::vector<std::uint16_t> ports() const;

    /// "*" for all ports; otherwise the ports ascending, runs of two or more as "first-last",
    /// joined by ", " ("80, 443, 8000-8080"). The empty set gives the empty text.
    std::string displayString() const;

    bool operator==(const PortSet& other) const = default;

private:
    std::vector<Run> _runs;
};
