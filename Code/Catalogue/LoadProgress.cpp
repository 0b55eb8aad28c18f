#include "Code/Catalogue/LoadProgress.h"

#include <algorithm>

LoadProgress::LoadProgress(qint64 totalUnitCount, QObject* parent)
    : QObject(parent)
    , _totalUnitCount(totalUnitCount) {}

LoadProgress::~LoadProgress() = default;

void LoadProgress::setTotalUnitCount(qint64 totalUnitCount) {
    if (totalUnitCount == _totalUnitCount) {
        return;
    }
    _totalUnitCount = totalUnitCount;
    emit changed();
}

void LoadProgress::setCompletedUnitCount(qint64 completedUnitCount) {
    if (completedUnitCount == _completedUnitCount) {
        return;
    }
    _completedUnitCount = completedUnitCount;
    emit changed();
}

void LoadProgress::finish() {
    if (_totalUnitCount <= 0) {
        _totalUnitCount = 1;
    }
    setCompletedUnitCount(std::max(_completedUnitCount, _totalUnitCount));
}

LoadProgress* LoadProgress::addChild(qint64 totalUnitCount, qint64 unitsOfParent) {
    // Owned by this progress through Qt's parent relation.
    auto* const child = new LoadProgress(totalUnitCount, this);
    child->_unitsOfParent = std::max<qint64>(unitsOfParent, 0);
    connect(child, &LoadProgress::changed, this, [this, child] { childChanged(*child); });
    if (_isCancelled) {
        child->cancel();
    }
    return child;
}

void LoadProgress::childChanged(LoadProgress& child) {
    if (child.isFinished() && !child._addedToParent) {
        child._addedToParent = true;
        _completedUnitCount += child._unitsOfParent;
    }
    emit changed();
}

bool LoadProgress::isFinished() const {
    return _totalUnitCount > 0 && _completedUnitCount >= _totalUnitCount;
}

double LoadProgress::fractionCompleted() const {
    if (_totalUnitCount <= 0) {
        return 0;
    }
    double completed = static_cast<double>(std::min(_completedUnitCount, _totalUnitCount));
    for (const auto* child : findChildren<LoadProgress*>(Qt::FindDirectChildrenOnly)) {
        if (!child->_addedToParent) {
            completed += static_cast<double>(child->_unitsOfParent) * child->fractionCompleted();
        }
    }
    return std::clamp(completed / static_cast<double>(_totalUnitCount), 0.0, 1.0);
}

void LoadProgress::cancel() {
    if (_isCancelled) {
        return;
    }
    _isCancelled = true;
    for (auto* child : findChildren<LoadProgress*>(Qt::FindDirectChildrenOnly)) {
        child->cancel();
    }
    // A copy, so that the action may replace or clear the handler while it runs.
    if (const auto handler = _cancellationHandler) {
        handler();
    }
    emit changed();
}

void LoadProgress::setCancellationHandler(std::function<void()> cancellationHandler) {
    _cancellationHandler = std::move(cancellationHandler);
    if (_isCancelled && _cancellationHandler) {
        const auto handler = _cancellationHandler;
        handler();
    }
}
