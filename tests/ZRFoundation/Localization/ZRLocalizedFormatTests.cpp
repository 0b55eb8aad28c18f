#include "ZRFoundation/Localization/ZRLocalizedFormat.h"

#include <gtest/gtest.h>

namespace {

using ZRLocalizedFormat::format;

TEST(ZRLocalizedFormat, FillsTextAndIntegerConversionsInAnyOrder) {
    EXPECT_EQ(format("%@ to %@", {std::string("TCP"), std::string("example.com")}), "TCP to example.com");
    EXPECT_EQ(format("port %lu", {std::uint64_t{443}}), "port 443");
    EXPECT_EQ(format("%d|%ld|%lld|%u|%zu", {std::int64_t{-1}, std::int64_t{2}, std::int64_t{3},
                                            std::uint64_t{4}, std::uint64_t{5}}),
              "-1|2|3|4|5");
    EXPECT_EQ(format("100%% sure", {}), "100% sure");
    // Translations may reorder the arguments.
    EXPECT_EQ(format("%2$@ von %1$@", {std::string("a"), std::string("b")}), "b von a");
    EXPECT_EQ(format("%3$lu-%1$@", {std::string("x"), std::string("y"), std::uint64_t{7}}), "7-x");
}

TEST(ZRLocalizedFormat, NeverFailsOnBadFormats) {
    EXPECT_EQ(format("%@ %@ %@", {std::string("only")}), "only  ");
    EXPECT_EQ(format("%s %n %x %", {std::string("a")}), "%s %n %x %");
    EXPECT_EQ(format("%9$@ %0$@", {std::string("a")}), " %0$@");
    EXPECT_EQ(format("%lu", {std::string("text")}), "text");
    EXPECT_EQ(format("%@", {std::uint64_t{12}}), "12");
    EXPECT_EQ(format("%99999999$@", {std::string("a")}), "%99999999$@");
    EXPECT_EQ(format("", {std::string("a")}), "");
}

} // namespace
