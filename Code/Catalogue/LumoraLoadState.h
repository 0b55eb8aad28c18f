#pragma once

#include "Code/Loading/LumoraLoadFailure.h"
#include "Code/Loading/LumoraSignatureSummary.h"
#include "Code/Model/Lumora.h"

#include <QMetaType>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <variant>

/// Where an installed application's document load stands. Two states are equal when they have the
/// same case: the payloads (a document, an error) never make a difference to whoever observes changes.
class LumoraLoadState {
public:
    /// In this order, which the interface's ordering of states relies on.
    enum class Case : std::uint8_t { loadFailed, loaded, loadPending, noReadPermission, unavailable };

    static LumoraLoadState loadFailed(LumoraLoadFailure error) { return LumoraLoadState(std::move(error)); }
    static LumoraLoadState loaded(std::shared_ptr<const Lumora> lumora);
    static LumoraLoadState loadPending() { return LumoraLoadState(Case::loadPending); }
    static LumoraLoadState noReadPermission() { return LumoraLoadState(Case::noReadPermission); }
    static LumoraLoadState unavailable() { return LumoraLoadState(Case::unavailable); }

    /// `unavailable`, the state of an application whose load has not started.
    LumoraLoadState()
        : LumoraLoadState(Case::unavailable) {}

    Case stateCase() const { return _case; }
    /// "loadFailed", "loaded", …: the words the command line prints.
    static std::string_view caseName(Case stateCase);
    std::string_view caseName() const { return caseName(_case); }

    /// The error of `loadFailed`; none for the other cases.
    const LumoraLoadFailure* error() const { return std::get_if<LumoraLoadFailure>(&_payload); }
    /// The document of `loaded`; null for the other cases, and for a state holding its document
    /// weakly once nobody else holds it.
    std::shared_ptr<const Lumora> lumora() const;
    /// The same state, holding its document only while someone else does: a long list keeps the
    /// states of all its applications but the documents of only those in use.
    LumoraLoadState holdingDocumentWeakly() const;
    /// Who signed the main executable, when a finished load could read the signature.
    const std::optional<LumoraSignatureSummary>& signature() const { return _signature; }
    void setSignature(std::optional<LumoraSignatureSummary> signature) { _signature = std::move(signature); }

    bool operator==(const LumoraLoadState& other) const { return _case == other._case; }

private:
    explicit LumoraLoadState(Case stateCase)
        : _case(stateCase) {}
    explicit LumoraLoadState(LumoraLoadFailure error)
        : _case(Case::loadFailed)
        , _payload(std::move(error)) {}

    Case _case;
    std::variant<std::monostate, LumoraLoadFailure, std::shared_ptr<const Lumora>,
                 std::weak_ptr<const Lumora>>
        _payload;
    std::optional<LumoraSignatureSummary> _signature;
};

/// A change of case, old and new.
struct LumoraLoadStateChange {
    LumoraLoadState oldValue;
    LumoraLoadState newValue;
};

Q_DECLARE_METATYPE(LumoraLoadState)
Q_DECLARE_METATYPE(LumoraLoadStateChange)
