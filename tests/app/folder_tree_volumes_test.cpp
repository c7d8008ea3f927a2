// Which mounted volumes the folder tree offers below the computer entry.
#include <gtest/gtest.h>

#include "app/folder_tree.h"

namespace lormex {
namespace {

struct VolumeCase {
  const char* root;
  const char* type;
  const char* device;
  bool offered;
};

class UserVolumeTest : public ::testing::TestWithParam<VolumeCase> {};

TEST_P(UserVolumeTest, DisksAndSharesButNoPseudoFileSystems) {
  const VolumeCase& c = GetParam();
  const VolumeInfo volume{QString::fromUtf8(c.root), QString::fromUtf8(c.type),
                          QString::fromUtf8(c.device), QString()};
  EXPECT_EQ(IsUserVolume(volume), c.offered) << c.root;
}

// Only folders that exist on every machine stand in for mount points here ("/tmp", "/usr").
INSTANTIATE_TEST_SUITE_P(
    Volumes, UserVolumeTest,
    ::testing::Values(
        VolumeCase{"/", "overlay", "overlay", true}, VolumeCase{"/tmp", "ext4", "/dev/sdb1", true},
        VolumeCase{"/usr", "nfs4", "server:/photos", true},
        VolumeCase{"/usr", "cifs", "//nas/photos", true},
        VolumeCase{"/tmp", "tmpfs", "tmpfs", false}, VolumeCase{"/proc", "proc", "proc", false},
        VolumeCase{"/sys", "sysfs", "sysfs", false}, VolumeCase{"/dev", "devtmpfs", "udev", false},
        VolumeCase{"/run", "tmpfs", "tmpfs", false},
        VolumeCase{"/boot", "ext4", "/dev/sda1", false},
        VolumeCase{"/boot/efi", "vfat", "/dev/sda2", false},
        VolumeCase{"/usr", "squashfs", "/dev/loop3", false},
        // A file mounted over a file (containers do this) is no folder.
        VolumeCase{"/etc/hostname", "ext4", "/dev/vda", false},
        VolumeCase{"/no/such/folder", "ext4", "/dev/sdc1", false}));

}  // namespace
}  // namespace lormex
