#pragma once

#include "Code/Model/Lumora.h"

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

/// Where a document's declarations and its application's sandbox disagree: connections the
/// sandbox will not let happen, and outgoing connections the sandbox allows but nothing declares.
namespace SandboxNotes {

enum class Kind : std::uint8_t {
    /// A declared incoming connection in a sandbox without com.apple.security.network.server.
    incomingNotAllowed,
    /// A declared outgoing connection in a sandbox without com.apple.security.network.client.
    outgoingNotAllowed,
    /// A sandbox with com.apple.security.network.client while no declaration lists an outgoing connection.
    outgoingAllowedButNoneDeclared,
};

struct Note {
    Kind kind;
    /// The connection the note stands beside: its source's index in Lumora::sources() and its
    /// index among that source's connections. Both none for a note about the whole document.
    std::optional<std::size_t> sourceIndex;
    std::optional<std::size_t> connectionIndex;

    bool operator==(const Note&) const = default;
};

/// The notes in source and connection order, the note about the whole document first; none when
/// the application is not sandboxed or its entitlements are unknown.
std::vector<Note> notes(const Lumora& document);

/// The English text of a note, also its key in the window's string tables.
std::string_view text(Kind kind);
/// The line shown for an application outside the sandbox.
inline constexpr std::string_view unsandboxedText =
    "Not sandboxed: the system does not limit the connections of this application.";

} // namespace SandboxNotes
