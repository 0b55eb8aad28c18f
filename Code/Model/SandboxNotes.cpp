#include "Code/Model/SandboxNotes.h"

#include "Code/Model/LumoraSource.h"

namespace SandboxNotes {

std::vector<Note> notes(const Lumora& document) {
    const auto& entitlements = document.entitlements();
    if (!entitlements || !entitlements->appSandbox) {
        return {};
    }
    std::vector<Note> beside;
    bool declaresOutgoing = false;
    const auto sources = document.sources();
    for (std::size_t sourceIndex = 0; sourceIndex < sources.size(); ++sourceIndex) {
        const auto& connections = sources[sourceIndex]->connectionDescriptions();
        for (std::size_t index = 0; index < connections.size(); ++index) {
            const bool incoming = connections[index].isIncoming();
            declaresOutgoing = declaresOutgoing || !incoming;
            if (incoming && !entitlements->networkServer) {
                beside.push_back({Kind::incomingNotAllowed, sourceIndex, index});
            } else if (!incoming && !entitlements->networkClient) {
                beside.push_back({Kind::outgoingNotAllowed, sourceIndex, index});
            }
        }
    }
    std::vector<Note> all;
    if (entitlements->networkClient && !declaresOutgoing) {
        all.push_back({Kind::outgoingAllowedButNoneDeclared, std::nullopt, std::nullopt});
    }
    all.insert(all.end(), beside.begin(), beside.end());
    return all;
}

std::string_view text(Kind kind) {
    switch (kind) {
    case Kind::incomingNotAllowed:
        return "The sandbox does not allow incoming connections: this connection cannot happen.";
    case Kind::outgoingNotAllowed:
        return "The sandbox does not allow outgoing connections: this connection cannot happen.";
    case Kind::outgoingAllowedButNoneDeclared:
        return "The sandbox allows outgoing connections, but the declaration lists none.";
    }
    return {};
}

} // namespace SandboxNotes
