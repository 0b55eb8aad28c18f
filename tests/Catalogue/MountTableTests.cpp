#include "Code/Catalogue/MountTable.h"

#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;
using ::testing::Field;

TEST(MountTable, ReadsMountPointsAndTypesPastTheOptionalFields) {
    const auto entries = MountTable::parse(
        "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw,errors=continue\n"
        "26 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
        "40 26 0:41 / /run/media/alice/My\\040Disk\\011\\134x ro shared:3 master:2 - vfat /dev/sdb1 rw\n"
        "41 26 0:42 / /media/caf\\351 rw - hfsplus /dev/sdc2 rw");
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0], (MountTable::Entry{36, "/mnt2", "ext3"}));
    EXPECT_EQ(entries[1], (MountTable::Entry{26, "/", "ext4"}));
    EXPECT_EQ(entries[2].mountPoint, "/run/media/alice/My Disk\t\\x");
    // Escapes give bytes, whatever their encoding.
    EXPECT_EQ(entries[3].mountPoint, std::string("/media/caf\xe9"));
}

TEST(MountTable, SkipsMalformedLines) {
    for (const char* line : {
             "",
             "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 ext3 /dev/root rw", // no separator
             "36 35 98:0 /mnt1 /mnt2 rw -",                                  // no type
             "x 35 98:0 / /mnt rw - ext4 /dev/vda rw",                       // identifier
             "36 35 98 / /mnt rw - ext4 /dev/vda rw",                        // device
             "36 35 98:0 / mnt rw - ext4 /dev/vda rw",                       // relative
             "36 35 98:0 / /m\\04 rw - ext4 /dev/vda rw",                    // short escape
             "36 35 98:0 / /m\\089 rw - ext4 /dev/vda rw",                   // not octal
             "36 35 98:0 / /m\\000 rw - ext4 /dev/vda rw",                   // NUL
             "36 35 98:0 / /m\\777 rw - ext4 /dev/vda rw",                   // too large
             "36 35 98:0 /",
         }) {
        EXPECT_FALSE(MountTable::parseLine(line).has_value()) << line;
    }
    EXPECT_THAT(MountTable::parse("garbage\n\n26 1 254:0 / / rw - ext4 /dev/vda rw\nmore garbage"),
                ElementsAre(Field(&MountTable::Entry::mountPoint, "/")));
}

TEST(MountTable, ReadsThisProcessTable) {
    const auto entries = MountTable::readCurrent();
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(),
                            [](const MountTable::Entry& entry) { return entry.mountPoint == "/"; }));
    EXPECT_TRUE(MountTable::isPseudoFileSystem("proc"));
    EXPECT_FALSE(MountTable::isPseudoFileSystem("ext4"));
}
