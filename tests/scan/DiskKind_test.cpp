#include "scan/DiskKind.h"

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "TempTree.h"

namespace fs = std::filesystem;

namespace {

// A made-up /sys: disks under devices/, dev/block/MAJOR:MINOR linking to
// them, as the kernel lays them out.
class FakeSys {
 public:
  const std::string& Root() const { return tree_.Root(); }

  // A disk at devices/`where`, with its queue's `rotational` and, when
  // given, its vendor and model.
  void Disk(const std::string& where, const std::string& number, int rotational,
            const std::string& vendor = "", const std::string& model = "") {
    const fs::path disk = fs::path(tree_.Path("devices")) / where;
    fs::create_directories(disk / "queue");
    Write(disk / "queue" / "rotational", std::to_string(rotational));
    if (!vendor.empty()) {
      fs::create_directories(disk / "device");
      Write(disk / "device" / "vendor", vendor);
      Write(disk / "device" / "model", model);
    }
    Link(where, number);
  }
  // A partition of the disk at devices/`disk`.
  void Partition(const std::string& disk, const std::string& name, const std::string& number) {
    const fs::path part = fs::path(tree_.Path("devices")) / disk / name;
    fs::create_directories(part);
    Write(part / "partition", "1");
    Link(disk + "/" + name, number);
  }
  // A device made of others (each a path under devices/).
  void Mapped(const std::string& where, const std::string& number,
              std::initializer_list<std::string> under) {
    const fs::path node = fs::path(tree_.Path("devices")) / where;
    fs::create_directories(node / "slaves");
    fs::create_directories(node / "queue");
    Write(node / "queue" / "rotational", "1");  // what the kernel leaves for these
    for (const std::string& slave : under) {
      fs::create_symlink(fs::path(tree_.Path("devices")) / slave,
                         node / "slaves" / fs::path(slave).filename());
    }
    Link(where, number);
  }
  // The driver bound to the device at devices/`where`.
  void Driver(const std::string& where, const std::string& driver) {
    fs::create_symlink(tree_.Path("bus/drivers/" + driver),
                       fs::path(tree_.Path("devices")) / where / "driver");
  }

 private:
  static void Write(const fs::path& file, const std::string& text) {
    std::ofstream(file) << text << "\n";
  }
  void Link(const std::string& where, const std::string& number) {
    fs::create_directories(tree_.Path("dev/block"));
    fs::create_symlink("../../devices/" + where, tree_.Path("dev/block/" + number));
  }

  TempTree tree_;
};

const std::string kAta = "pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/";

}  // namespace

TEST(DiskKind, OnlyARealDiskWithMovingHeadsSpins) {
  FakeSys sys;
  sys.Disk(kAta + "sda", "8:0", 1, "ATA     ", "WDC WD10EZEX-08W");
  sys.Partition(kAta + "sda", "sda1", "8:1");
  sys.Disk(kAta + "sdb", "8:16", 0, "ATA     ", "Samsung SSD 870");
  // The disks a virtual machine's host makes up often claim to spin.
  sys.Disk("pci0000:00/0000:00:01.1/ata2/host1/target1:0:0/1:0:0:0/block/sdc", "8:32", 1,
           "ATA     ", "QEMU HARDDISK   ");
  sys.Disk("pci0000:00/0000:00:02.0/virtio1/block/vda", "254:0", 1);
  sys.Partition("pci0000:00/0000:00:02.0/virtio1/block/vda", "vda1", "254:1");
  // Known by its controller's driver alone.
  sys.Disk("pci0000:00/0000:00:10.0/host2/target2:0:0/2:0:0:0/block/sdd", "8:48", 1, "SEAGATE ",
           "ST2000NM0033");
  sys.Driver("pci0000:00/0000:00:10.0", "vmw_pvscsi");

  EXPECT_EQ(BlockDeviceKind(sys.Root(), 8, 0), DiskKind::Spinning);
  EXPECT_EQ(BlockDeviceKind(sys.Root(), 8, 1), DiskKind::Spinning);
  EXPECT_EQ(BlockDeviceKind(sys.Root(), 8, 16), DiskKind::Parallel);
  EXPECT_EQ(BlockDeviceKind(sys.Root(), 8, 32), DiskKind::Parallel);
  EXPECT_EQ(BlockDeviceKind(sys.Root(), 254, 0), DiskKind::Parallel);
  EXPECT_EQ(BlockDeviceKind(sys.Root(), 254, 1), DiskKind::Parallel);
  EXPECT_EQ(BlockDeviceKind(sys.Root(), 8, 48), DiskKind::Parallel);
  EXPECT_EQ(BlockDeviceKind(sys.Root(), 9, 9), DiskKind::Unknown);
}

TEST(DiskKind, MappedDevicesAreAsTheDisksTheyAreMadeOf) {
  FakeSys sys;
  sys.Disk(kAta + "sda", "8:0", 1, "ATA     ", "ST4000DM004-2CV1");
  sys.Partition(kAta + "sda", "sda2", "8:2");
  sys.Disk("pci0000:00/0000:00:02.0/virtio1/block/vda", "254:0", 1);
  sys.Partition("pci0000:00/0000:00:02.0/virtio1/block/vda", "vda2", "254:2");
  sys.Mapped("virtual/block/dm-0", "253:0", {kAta + "sda/sda2"});
  sys.Mapped("virtual/block/dm-1", "253:1", {"pci0000:00/0000:00:02.0/virtio1/block/vda/vda2"});
  // A mirror with one spinning half is read as a spinning disk.
  sys.Mapped("virtual/block/md0", "9:0",
             {kAta + "sda/sda2", "pci0000:00/0000:00:02.0/virtio1/block/vda/vda2"});
  sys.Disk("virtual/block/nbd0", "43:0", 1);  // a disk over the network

  EXPECT_EQ(BlockDeviceKind(sys.Root(), 253, 0), DiskKind::Spinning);
  EXPECT_EQ(BlockDeviceKind(sys.Root(), 253, 1), DiskKind::Parallel);
  EXPECT_EQ(BlockDeviceKind(sys.Root(), 9, 0), DiskKind::Spinning);
  EXPECT_EQ(BlockDeviceKind(sys.Root(), 43, 0), DiskKind::Parallel);
}
