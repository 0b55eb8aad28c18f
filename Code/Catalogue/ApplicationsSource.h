#pragma once

#include "Code/Catalogue/Application.h"

#include <functional>
#include <memory>
#include <unordered_set>

/// Something that finds applications for the list. Its set is read and changed on the main thread
/// only.
class ApplicationsSource {
public:
    /// Unordered, and unique by application identity (`Application::isEqual`), so that the list can
    /// merge sources without caring where an entry came from.
    using Applications = std::unordered_set<std::shared_ptr<Application>, ApplicationHash, ApplicationEqual>;

    virtual ~ApplicationsSource() = default;

    /// The current content.
    virtual const Applications& applications() const = 0;

protected:
    ApplicationsSource() = default;
    ApplicationsSource(const ApplicationsSource&) = default;
    ApplicationsSource& operator=(const ApplicationsSource&) = default;
};

/// A source whose content arrives later, reported through a handler.
class AsyncApplicationsSource : public ApplicationsSource {
public:
    /// Called on the main thread after `applications` changed. The flag says that this call delivers
    /// a complete result, one that may end the list's initial loading.
    using UpdateHandler = std::function<void(AsyncApplicationsSource& source, bool mayEndInitialLoading)>;

    /// False until the first complete result has been delivered; never false again afterwards.
    virtual bool isInitialUpdateFinished() const = 0;
    /// Replaces the handler and begins work.
    virtual void startUpdating(UpdateHandler updateHandler) = 0;
    /// Drops the handler (and stops any live work the source keeps going).
    virtual void stopUpdating() = 0;
};
