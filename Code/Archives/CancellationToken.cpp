// CancellationToken: the cancellation flag and its eventfd.
#include "Code/Archives/CancellationToken.h"

#include <cerrno>
#include <cstdint>

#include <sys/eventfd.h>
#include <unistd.h>

CancellationToken::CancellationToken()
    : _eventDescriptor(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CancellationToken::~CancellationToken() {
    if (_eventDescriptor >= 0) {
        ::close(_eventDescriptor);
    }
}

void CancellationToken::cancel() {
    _cancelled.store(true, std::memory_order_release);
    if (_eventDescriptor < 0) {
        return;
    }
    // The counter is never read back, so it stays readable from the first cancel() on; a full
    // counter (EAGAIN) is readable too.
    const std::uint64_t one = 1;
    while (::write(_eventDescriptor, &one, sizeof one) < 0 && errno == EINTR) {
    }
}
