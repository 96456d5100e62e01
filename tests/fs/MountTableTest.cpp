// The mount-table filter behind the folder dialog's drive list: which mount points a user may
// start a walk from, and which of them holds the current folder.

#include "MountTable.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

struct MountCase {
    const char* name;
    const char* table;
    const char* cwd;
    std::vector<std::string> places;
    const char* current;
};

void PrintTo(const MountCase& c, std::ostream* out) {
    *out << c.name;
}

const MountCase kMountCases[] = {
    {"ContainerOverlayRootPseudoMountsDropped",
     "overlay / overlay rw 0 0\nproc /proc proc rw 0 0\nsysfs /sys sysfs ro 0 0\n"
     "tmpfs /dev/shm tmpfs rw 0 0\ncgroup /sys/fs/cgroup/cpu cgroup rw 0 0\n"
     "devpts /dev/pts devpts rw 0 0\n",
     "/work",
     {"/"},
     "/"},
    {"DesktopEscapesUndoneMemoryMountsUnderRunDroppedSorted",
     "/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /media/ann/USB\\040STICK vfat rw 0 0\n"
     "/dev/sda2 /home ext4 rw 0 0\ntmpfs /run/user/1000 tmpfs rw 0 0\n"
     "tmpfs /tmp tmpfs rw 0 0\n/dev/sdc1 /run/media/ann/DISK ext4 rw 0 0\n"
     "portal /run/user/1000/doc fuse.portal rw 0 0\n",
     "/home/ann/textures",
     {"/", "/home", "/media/ann/USB STICK", "/run/media/ann/DISK", "/tmp"},
     "/home"},
    {"PrefixOnlyOnAFolderBoundary",
     "/dev/sda1 / ext4 rw 0 0\n/dev/sda2 /home ext4 rw 0 0\n",
     "/homework",
     {"/", "/home"},
     "/"},
    {"CurrentFolderOnAPseudoMountKeepsThatMount",
     "/dev/sda1 / ext4 rw 0 0\ntmpfs /run/user/1000 tmpfs rw 0 0\n",
     "/run/user/1000/x",
     {"/", "/run/user/1000"},
     "/run/user/1000"},
    {"TopmostMountDecides",
     "/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /mnt ext4 rw 0 0\nproc /mnt proc rw 0 0\n"
     "proc /srv proc rw 0 0\n/dev/sdc1 /srv xfs rw 0 0\n",
     "/",
     {"/", "/srv"},
     "/"},
    {"NoRootLineBlankAndShortLines",
     "\n/dev/sda2 /data ext4 rw 0 0\nbroken line\n",
     "/data/x",
     {"/", "/data"},
     "/data"},
};

class MountTableStartPlaces : public testing::TestWithParam<MountCase> {};

TEST_P(MountTableStartPlaces, KeepsRealMountsAndFindsTheCurrentOne) {
    const MountCase& c = GetParam();
    const std::vector<std::string> got = StartPlaces(ParseMountTable(c.table), c.cwd);
    EXPECT_EQ(got, c.places);
    EXPECT_EQ(MountPointContaining(got, c.cwd), c.current);
}

INSTANTIATE_TEST_SUITE_P(MountTable, MountTableStartPlaces, testing::ValuesIn(kMountCases),
                         [](const auto& param) { return std::string(param.param.name); });

} // namespace
} // namespace quorvel
