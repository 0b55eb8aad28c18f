#include "Code/Model/PortSet.h"

#include <algorithm>

PortSet PortSet::allPorts() {
    PortSet set;
    set._runs.emplace_back(0, 65535);
    return set;
}

PortSet PortSet::withPort(std::uint16_t port) {
    PortSet set;
    set.addPort(port);
    return set;
}

void PortSet::addPorts(std::uint16_t first, std::uint16_t last) {
    if (first > last) {
        return;
    }
    // Runs that overlap first…last or touch it merge into one.
    auto begin = std::partition_point(
        _runs.begin(), _runs.end(), [&](const Run& run) { return run.second + 1 < static_cast<int>(first); });
    auto end = begin;
    std::uint16_t mergedFirst = first;
    std::uint16_t mergedLast = last;
    while (end != _runs.end() && static_cast<int>(end->first) <= last + 1) {
        mergedFirst = std::min(mergedFirst, end->first);
        mergedLast = std::max(mergedLast, end->second);
        ++end;
    }
    const auto position = _runs.erase(begin, end);
    _runs.insert(position, Run{mergedFirst, mergedLast});
}

bool PortSet::isAllPorts() const {
    return _runs.size() == 1 && _runs[0].first == 0 && _runs[0].second == 65535;
}

bool PortSet::containsPort(std::uint16_t port) const {
    const auto run = std::partition_point(_runs.begin(), _runs.end(),
                                          [&](const Run& candidate) { return candidate.second < port; });
    return run != _runs.end() && run->first <= port;
}

bool PortSet::containsPorts(const PortSet& other) const {
    return std::all_of(other._runs.begin(), other._runs.end(), [&](const Run& run) {
        const auto mine = std::partition_point(
            _runs.begin(), _runs.end(), [&](const Run& candidate) { return candidate.second < run.first; });
        return mine != _runs.end() && mine->first <= run.first && run.second <= mine->second;
    });
}

bool PortSet::intersects(const PortSet& other) const {
    auto mine = _runs.begin();
    auto theirs = other._runs.begin();
    while (mine != _runs.end() && theirs != other._runs.end()) {
        if (mine->first <= theirs->second && theirs->first <= mine->second) {
            return true;
        }
        if (mine->second < theirs->second) {
            ++mine;
        } else {
            ++theirs;
        }
    }
    return false;
}

std::size_t PortSet::count() const {
    std::size_t total = 0;
    for (const auto& [first, last] : _runs) {
        total += static_cast<std::size_t>(last - first) + 1;
    }
    return total;
}

std::vector<std::uint16_t> PortSet::ports() const {
    std::vector<std::uint16_t> result;
    for (const auto& [first, last] : _runs) {
        for (std::uint32_t port = first; port <= last; ++port) {
            result.push_back(static_cast<std::uint16_t>(port));
        }
    }
    return result;
}

std::string PortSet::displayString() const {
    if (isAllPorts()) {
        return "*";
    }
    std::string text;
    for (const auto& [first, last] : _runs) {
        if (!text.empty()) {
            text += ", ";
        }
        text += std::to_string(first);
        if (last != first) {
            text.append(1, '-').append(std::to_string(last));
        }
    }
    return text;
}
