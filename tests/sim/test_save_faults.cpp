// Saves that fail part way: a full disk, a read-only disk, a target that is
// a folder, a folder that does not exist. Each must keep the previous good
// file byte for byte, leave no temporary file behind, say why on standard
// error and return false; the simulation goes on and the next good save
// works. The full and read-only disks are small tmpfs mounts, so those cases
// need the right to mount (the tests run as root) and are skipped without it.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "genome/genome.h"
#include "persist/slotfile.h"
#include "persist/statefile.h"
#include "units/units.h"
#include "world/cellfield.h"

namespace {

std::string readFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> entries(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.push_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

uint64_t freeBytes(const std::string& dir) {
  struct statvfs s;
  if (statvfs(dir.c_str(), &s) != 0) return 0;
  return (uint64_t)s.f_bavail * s.f_frsize;
}

// Writes a filler file until the file system has at most `spare` bytes left.
void fillDisk(const std::string& dir, uint64_t spare) {
  FILE* f = std::fopen((dir + "/filler").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::vector<char> block(4096, 'x');
  while (freeBytes(dir) > spare) {
    if (std::fwrite(block.data(), 1, block.size(), f) != block.size() || std::fflush(f) != 0) break;
  }
  std::fclose(f);
}

// A populated world, so that a save is some megabytes of varied text.
void makeWorld() {
  initGeneTable();
  resetSimulation();
  seedRandom(11);
  for (int frame = 0; frame < 300; ++frame) {
    simulateFrame();
    regulatePopulation();
  }
}

class SaveFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarn-faults-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override {
    if (mounted) umount2(dir.c_str(), MNT_DETACH);
    std::string command = "rm -rf '" + dir + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }
  // Mounts a tmpfs of the given size on the test folder.
  bool mountDisk(const char* size) {
    std::string options = std::string("size=") + size;
    mounted = mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) == 0;
    return mounted;
  }
  std::string path(const char* name) const { return dir + "/" + name; }

  // Runs a save that must fail; returns what it wrote on standard error.
  template <typename Save>
  std::string failingSave(Save save) {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(save());
    return testing::internal::GetCapturedStderr();
  }

  std::string dir;
  bool mounted = false;
};

TEST_F(SaveFaults, FullDiskKeepsThePreviousStateAndSlotFiles) {
  if (!mountDisk("24m")) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  makeWorld();
  std::string state = path("tarn.sav"), slot = path("sample0.dna");
  ASSERT_TRUE(saveState(state.c_str()));
  ASSERT_TRUE(saveSlotFile(slot.c_str(), 0));
  const std::string goodState = readFile(state), goodSlot = readFile(slot);
  ASSERT_GT(goodState.size(), 4000000u);

  // The world moves on, so a new save would differ; then the disk fills up
  // to leave room for only part of it.
  for (int frame = 0; frame < 30; ++frame) simulateFrame();
  for (int g = 0; g < kGeneCount; ++g) units.genome[0][g] = -1000000000 - g;
  unitTableChanged();
  fillDisk(dir, goodState.size() / 2);
  std::string errors = failingSave([&] { return saveState(state.c_str()); });
  EXPECT_NE(errors.find("could not save \"" + state + "\""), std::string::npos) << errors;
  EXPECT_NE(errors.find("No space left on device"), std::string::npos) << errors;
  EXPECT_NE(errors.find("the previous file is kept"), std::string::npos) << errors;

  // No room at all: even the few bytes of a slot file do not fit.
  fillDisk(dir, 0);
  errors = failingSave([&] { return saveSlotFile(slot.c_str(), 0); });
  EXPECT_NE(errors.find("could not save \"" + slot + "\""), std::string::npos) << errors;

  EXPECT_EQ(readFile(state), goodState);
  EXPECT_EQ(readFile(slot), goodSlot);
  EXPECT_EQ(entries(dir), (std::vector<std::string>{"filler", "sample0.dna", "tarn.sav"}));

  // Once there is room again, the simulation saves as usual.
  ASSERT_EQ(unlink(path("filler").c_str()), 0);
  simulateFrame();
  EXPECT_TRUE(saveState(state.c_str()));
  EXPECT_TRUE(saveSlotFile(slot.c_str(), 0));
  EXPECT_NE(readFile(state), goodState);
  EXPECT_EQ(readFile(slot).substr(0, 12), "-1000000000\n");
  EXPECT_EQ(entries(dir), (std::vector<std::string>{"sample0.dna", "tarn.sav"}));
}

TEST_F(SaveFaults, ReadOnlyDiskKeepsThePreviousFiles) {
  if (!mountDisk("24m")) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  makeWorld();
  std::string state = path("tarn.sav"), slot = path("sample6.dna");
  ASSERT_TRUE(saveState(state.c_str()));
  ASSERT_TRUE(saveSlotFile(slot.c_str(), 3));
  const std::string goodState = readFile(state), goodSlot = readFile(slot);
  ASSERT_EQ(mount("tmpfs", dir.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=24m"), 0) << std::strerror(errno);

  simulateFrame();
  std::string errors = failingSave([&] { return saveState(state.c_str()); });
  EXPECT_NE(errors.find("Read-only file system"), std::string::npos) << errors;
  errors = failingSave([&] { return saveSlotFile(slot.c_str(), 4); });
  EXPECT_NE(errors.find("could not save \"" + slot + "\""), std::string::npos) << errors;
  EXPECT_EQ(readFile(state), goodState);
  EXPECT_EQ(readFile(slot), goodSlot);
  EXPECT_EQ(entries(dir), (std::vector<std::string>{"sample6.dna", "tarn.sav"}));
}

TEST_F(SaveFaults, FolderTargetsAndMissingFolders) {
  makeWorld();
  // A good file beside the folder that stands where the save should go.
  std::string good = path("tarn.sav");
  ASSERT_TRUE(saveState(good.c_str()));
  const std::string goodState = readFile(good);
  ASSERT_EQ(mkdir(path("usersaved.sav").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(path("sample2.dna").c_str(), 0755), 0);

  simulateFrame();
  std::string errors = failingSave([&] { return saveState(path("usersaved.sav").c_str()); });
  EXPECT_NE(errors.find("usersaved.sav"), std::string::npos) << errors;
  errors = failingSave([&] { return saveSlotFile(path("sample2.dna").c_str(), 1); });
  EXPECT_NE(errors.find("sample2.dna"), std::string::npos) << errors;
  errors = failingSave([&] { return saveState(path("gone/tarn.sav").c_str()); });
  EXPECT_NE(errors.find("gone/tarn.sav"), std::string::npos) << errors;
  errors = failingSave([&] { return saveSlotFile(path("gone/sample2.dna").c_str(), 1); });
  EXPECT_NE(errors.find("gone/sample2.dna"), std::string::npos) << errors;

  EXPECT_EQ(readFile(good), goodState);
  EXPECT_EQ(entries(dir), (std::vector<std::string>{"sample2.dna", "tarn.sav", "usersaved.sav"}));
  EXPECT_TRUE(entries(path("usersaved.sav")).empty());
  EXPECT_TRUE(entries(path("sample2.dna")).empty());

  // The failed saves changed nothing in the world: it runs and saves on.
  simulateFrame();
  EXPECT_TRUE(saveState(good.c_str()));
  EXPECT_TRUE(loadState(good.c_str()));
}

}  // namespace
