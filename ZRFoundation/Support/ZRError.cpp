#include "ZRFoundation/Support/ZRError.h"

const char* ZRError::what() const noexcept {
    try {
        _whatText = errorDescription();
    } catch (...) {
        _whatText = "error";
    }
    return _whatText.c_str();
}
