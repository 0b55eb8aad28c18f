#pragma once

#include <QObject>
#include <QtGlobal>
#include <functional>

/// How far a piece of work has come, in units of the work's own choosing, for a progress bar and
/// its cancel button. A progress can have children, each worth a number of its parent's units: the
/// parent's fraction includes the children's fractions, and a child that finishes adds its units to
/// the parent's completed count. Cancelling a progress cancels its children too.
///
/// Lives on the thread that made it; children are owned by their parent.
class LoadProgress : public QObject {
    Q_OBJECT
    Q_PROPERTY(double fractionCompleted READ fractionCompleted NOTIFY changed)
    Q_PROPERTY(bool cancelled READ isCancelled NOTIFY changed)

public:
    explicit LoadProgress(qint64 totalUnitCount, QObject* parent = nullptr);
    ~LoadProgress() override;

    /// Zero or less while the amount of work is not known.
    qint64 totalUnitCount() const { return _totalUnitCount; }
    void setTotalUnitCount(qint64 totalUnitCount);
    /// The units done by this progress itself plus those of its finished children.
    qint64 completedUnitCount() const { return _completedUnitCount; }
    void setCompletedUnitCount(qint64 completedUnitCount);
    /// Marks all units done.
    void finish();

    /// A new child, owned by this progress, worth `unitsOfParent` of this progress's units.
    LoadProgress* addChild(qint64 totalUnitCount, qint64 unitsOfParent);

    /// Between 0 and 1; 0 while the total is unknown.
    double fractionCompleted() const;
    bool isFinished() const;

    bool isCancelled() const { return _isCancelled; }
    /// Cancels this progress and its children, then runs the cancellation action. Further calls do
    /// nothing.
    void cancel();
    /// What cancelling stops, for example a download. Runs at once when already cancelled.
    void setCancellationHandler(std::function<void()> cancellationHandler);

signals:
    /// Any of the counts, the fraction (also through a child) or the cancelled state changed.
    void changed();

private:
    void childChanged(LoadProgress& child);

    qint64 _totalUnitCount;
    qint64 _completedUnitCount = 0;
    bool _isCancelled = false;
    std::function<void()> _cancellationHandler;
    /// Units of the parent that this progress is worth, and whether they were added to the parent's
    /// completed count.
    qint64 _unitsOfParent = 0;
    bool _addedToParent = false;
};
