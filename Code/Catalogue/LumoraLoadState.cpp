#include "Code/Catalogue/LumoraLoadState.h"

LumoraLoadState LumoraLoadState::loaded(std::shared_ptr<const Lumora> lumora) {
    LumoraLoadState state(Case::loaded);
    state._payload = std::move(lumora);
    return state;
}

std::string_view LumoraLoadState::caseName(Case stateCase) {
    switch (stateCase) {
    case Case::loadFailed:
        return "loadFailed";
    case Case::loaded:
        return "loaded";
    case Case::loadPending:
        return "loadPending";
    case Case::noReadPermission:
        return "noReadPermission";
    case Case::unavailable:
        return "unavailable";
    }
    return "unavailable";
}

std::shared_ptr<const Lumora> LumoraLoadState::lumora() const {
    if (const auto* held = std::get_if<std::shared_ptr<const Lumora>>(&_payload)) {
        return *held;
    }
    if (const auto* weak = std::get_if<std::weak_ptr<const Lumora>>(&_payload)) {
        return weak->lock();
    }
    return nullptr;
}

LumoraLoadState LumoraLoadState::holdingDocumentWeakly() const {
    LumoraLoadState state = *this;
    if (const auto* held = std::get_if<std::shared_ptr<const Lumora>>(&_payload)) {
        state._payload = std::weak_ptr<const Lumora>(*held);
    }
    return state;
}
