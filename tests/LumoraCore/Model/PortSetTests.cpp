#include "Code/Model/PortSet.h"

#include <gtest/gtest.h>

namespace {

TEST(PortSet, MergesRunsAndWritesThem) {
    PortSet ports;
    ports.addPort(443);
    ports.addPorts(8000, 8080);
    ports.addPort(80);
    ports.addPort(81);
    EXPECT_EQ(ports.displayString(), "80-81, 443, 8000-8080");
    ports.addPorts(82, 442);
    EXPECT_EQ(ports.displayString(), "80-443, 8000-8080");
    ports.addPorts(10, 9);
    EXPECT_EQ(ports.count(), 364U + 81U);
    EXPECT_TRUE(ports.isSpecific());
    EXPECT_TRUE(ports.containsPort(443));
    EXPECT_FALSE(ports.containsPort(444));
    EXPECT_FALSE(ports.containsPort(0));
    EXPECT_TRUE(ports.containsPort(8080));
    EXPECT_FALSE(ports.containsPort(65535));
}

TEST(PortSet, KnowsTheFullAndTheEmptySet) {
    PortSet ports;
    EXPECT_TRUE(ports.isEmpty());
    EXPECT_FALSE(ports.isSpecific());
    EXPECT_EQ(ports.displayString(), "");
    ports.addPorts(0, 100);
    ports.addPorts(101, 65535);
    EXPECT_TRUE(ports.isAllPorts());
    EXPECT_EQ(ports, PortSet::allPorts());
    EXPECT_EQ(ports.displayString(), "*");
    EXPECT_EQ(ports.count(), 65536U);
}

TEST(PortSet, ComparesSets) {
    PortSet web;
    web.addPort(80);
    web.addPort(443);
    EXPECT_TRUE(PortSet::allPorts().containsPorts(web));
    EXPECT_FALSE(web.containsPorts(PortSet::allPorts()));
    EXPECT_TRUE(web.containsPorts(PortSet::withPort(443)));
    EXPECT_TRUE(web.containsPorts(PortSet()));
    EXPECT_TRUE(web.intersects(PortSet::withPort(80)));
    EXPECT_FALSE(web.intersects(PortSet::withPort(81)));
    EXPECT_FALSE(web.intersects(PortSet()));
    EXPECT_EQ(web.ports(), (std::vector<std::uint16_t>{80, 443}));
}

} // namespace
