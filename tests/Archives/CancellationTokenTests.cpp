#include "Code/Archives/CancellationToken.h"

#include <thread>

#include <gtest/gtest.h>

#include <poll.h>

namespace {

bool wakes(const CancellationToken& token) {
    pollfd watched{token.wakeDescriptor(), POLLIN, 0};
    return ::poll(&watched, 1, 0) == 1 && (watched.revents & POLLIN) != 0;
}

TEST(CancellationToken, WakesAWaiterOnceCancelled) {
    CancellationToken token;
    ASSERT_GE(token.wakeDescriptor(), 0);
    EXPECT_FALSE(token.isCancelled());
    EXPECT_FALSE(wakes(token));
    std::thread([&] { token.cancel(); }).join();
    EXPECT_TRUE(token.isCancelled());
    EXPECT_TRUE(wakes(token));
    // It stays readable: every waiter, now and later, sees it.
    token.cancel();
    EXPECT_TRUE(wakes(token));
}

} // namespace
