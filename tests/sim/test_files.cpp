// State and slot files: the text written, what a load reads back and where
// it stops on damaged input, and that a failed save keeps the old file (the
// one writer of every file that replaces another, under faults).
#include <dirent.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <type_traits>
#include <cstring>
#include <sstream>
#include <tuple>
#include <vector>

#include "persist/notice.h"
#include "persist/slotfile.h"
#include "persist/textio.h"
#include "experiment/checkpoint.h"
#include "persist/files.h"
#include "tests/support.h"

namespace {

using std::tuple;
std::vector<std::string> notices;

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    freshWorld();
    notices.clear();
    fileNoticeHook = [](const char* text) { notices.push_back(text); };
  }
  void TearDown() override { fileNoticeHook = nullptr; }
  std::vector<std::string> entries(const char* dir = ".") {
    std::vector<std::string> names;
    DIR* d = opendir(dir);
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
  }
  WorkFolder folder;
};

// Every stored value random, the floats on the six-decimal grid.
void scramble(uint32_t seed) {
  uint64_t s = seed * 2654435761u + 1;
  auto next = [&s] { return (int32_t)((s = s * 6364136223846793005u + 1442695040888963407u) >> 32); };
  for (int x = 0; x < kWorldWidth; ++x)
    for (int y = 0; y < kWorldHeight; ++y) setCell(x, y, next() % 9), setCount(x, y, next() % 9);
  for (int32_t* block : {units.posX, units.posY, units.targetX, units.targetY, units.homeX, units.homeY, units.awayX,
                         units.awayY, units.mode, units.searchRadius, units.sowTimer, units.status, units.age,
                         units.stock, units.paceCounter, units.spareA, units.spareB, &units.memory[0][0]})
    for (int u = 0; u < (block == &units.memory[0][0] ? kMaxUnits * kMemoryLength : kMaxUnits); ++u) block[u] = next();
  for (int u = 0; u < kMaxUnits; ++u) {
    units.energy[u] = (float)(next() % 100000) / 64.0f;
    for (int32_t& gene : units.genome[u]) gene = next();
  }
  simulation.foodDivisor = 1.25f;
}

const int64_t kFloatLine = 2212626;  // the first energy's line

}  // namespace

TEST_F(Files, SaveAndLoadRoundTrip) {
  scramble(7);
  ASSERT_TRUE(saveState("world.sav"));
  EXPECT_EQ(notices, std::vector<std::string>{"Saving..."});
  const std::string saved = readFile("world.sav");
  scramble(8);
  simulation.reseeding = 1;
  LoadReport report;
  ASSERT_TRUE(loadState("world.sav", &report));
  EXPECT_EQ(tuple(notices.back(), simulation.reseeding, report.valuesRead, report.stopLine),
            tuple("Loading...", 0, kStateFileLines, 0));
  ASSERT_TRUE(saveState("again.sav"));
  EXPECT_TRUE(readFile("again.sav") == saved) << "every value read back exactly";
  EXPECT_EQ(entries(), (std::vector<std::string>{"again.sav", "world.sav"})) << "no temporary file left";
}

TEST_F(Files, FreshWorldLineByLine) {
  units.energy[3] = 4e-7f, units.energy[4] = -4e-7f, units.energy[5] = 12.345678f;
  simulation.foodDivisor = 0.5f;
  raiseFoodDivisor();
  ASSERT_TRUE(saveState("tarn.sav"));
  std::vector<std::string> lines;
  std::istringstream text(readFile("tarn.sav"));
  for (std::string l; std::getline(text, l);) lines.push_back(l);
  ASSERT_EQ((int64_t)lines.size(), kStateFileLines);
  struct Line { int64_t number; const char* text; } expected[] = {
      {2176626, "0"},        {2181626, "300"},      {2181627, "0"},         {2182626, "-1"},
      {2212629, "0.000000"}, {2212630, "-0.000000"}, {2212631, "12.345678"}, {2213626, "0.550000"}};
  for (const Line& l : expected) EXPECT_EQ(lines[(size_t)l.number - 1], l.text) << "line " << l.number;
  units.energy[3] = 99.0f;
  ASSERT_TRUE(loadState("tarn.sav"));
  EXPECT_EQ(units.energy[3], 0.0f) << "a tiny energy reads back as zero";
}

TEST(NumberText, IsPrintfsTextForEveryKindOfValue) {
  // The writer's text of each float against printf's "%f": both zeros, NaNs,
  // the infinities, the largest floats, subnormals, every exponent, values on
  // and beside the half-millionths where rounding goes up or to even, and a
  // spread of bit patterns. (Integers' text is pinned by the state digests.)
  auto check = [](float f) {
    char mine[64], printed[64];
    *formatFloat(mine, f) = 0;
    std::snprintf(printed, sizeof printed, "%f", (double)f);
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return std::strcmp(mine, printed) == 0 ? std::string() : std::string(mine) + " for " + printed;
  };
  auto fromBits = [](uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
  };
  std::vector<float> values = {0.0f, -0.0f, 1e38f, -1e38f, 3.4028235e38f, -3.4028235e38f, 1.17549435e-38f,
                               1.4e-45f, -1.4e-45f, 0.0078125f, 0.5f, 4294967296.0f, 4294967040.0f, -2.5e-7f,
                               std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()};
  for (uint32_t bits : {0x7fc00000u, 0xffc00000u, 0x7f800001u, 0xff800001u, 0x7fffffffu, 0xffffffffu,
                        0x007fffffu, 0x80000001u})
    values.push_back(fromBits(bits));
  for (uint32_t e = 0; e < 256; ++e)
    for (uint32_t m : {0u, 1u, 0x400000u, 0x7fffffu, 0x2aaaaau})
      values.push_back(fromBits(e << 23 | m)), values.push_back(fromBits(0x80000000u | e << 23 | m));
  for (int k = 0; k < 20000; ++k) {  // n/2^7 ties (0.0078125 ...) and the floats beside n + 0.5 millionths
    values.push_back((float)k / 128.0f);
    const float near = (float)((double)k * 1e-6 + 5e-7) * (float)(1 + k % 1000);
    values.push_back(near), values.push_back(std::nextafter(near, 0.0f)), values.push_back(std::nextafter(near, 1e9f));
  }
  for (uint32_t x = 12345, k = 0; k < 200000; ++k) values.push_back(fromBits(x = x * 1664525u + 1013904223u));
  int wrong = 0;
  for (float f : values) {
    const std::string differs = check(f);
    if (!differs.empty() && ++wrong <= 5) ADD_FAILURE() << "wrote " << differs;
  }
  EXPECT_EQ(wrong, 0);
}

TEST_F(Files, LoadStopsAtTheFirstBadValue) {
  // Each text opens the file (integers: the first cells) or follows the
  // values before the energies (floats); the values before the stop are
  // read, the rest keep 77 or 7.5.
  struct Case { bool floats; std::string text; int read; std::vector<double> values; } cases[] = {
      {false, "2147483647\n-2147483648\n2147483648\n5\n", 2, {2147483647, -2147483648.0}},
      {false, "-2147483649\n1\n", 0, {}},
      {false, "99999999999999999999\n1\n", 0, {}},
      {false, "+0\r\n-0\r\n+7\n-\n8\n", 3, {0, 0, 7}},
      {false, "0x10\n", 1, {0}},
      {false, " 1\t2\r\n3\v4\f5 \n", 5, {1, 2, 3, 4, 5}},
      {false, std::string("5\0\n6\n", 5), 1, {5}},
      {false, "1.5\n", 1, {1}},  // 1, then ".5" is no integer: stop
      {true, "1e39\n1\n", 0, {}},
      {true, "  +2.5e1\t\v\f-0x1p-2 nan\n", 2, {25, -0.25}},
      {true, "0.25-\n3\n", 1, {0.25}},  // 0.25, then "-" is no number: stop
      {true, "1" + std::string(70000, 'x') + "\n", 1, {1}},
      {true, "0." + std::string(70000, '0') + "1\n5.5\nnan\n", 2, {0, 5.5}},
      {true, "2.5" + std::string(200000, 'y'), 1, {2.5}},
      // A token that a buffer refill (every 1 MiB) cuts after its tenth byte;
      // "%f" takes its "1", the rest is the next value.
      {true, std::string(5242870 - 2 * (kFloatLine - 1), ' ') + "1-0." + std::string(19996, '0') + "5\n2.5\n", 3,
       {1, 0, 2.5}},
      // The same token cut after 70,000 bytes, with a full buffer after it:
      // the tail put back is longer than the room kept for it.
      {true,
       std::string(5242880 - 70000 - 2 * (kFloatLine - 1), ' ') + "1-0." + std::string(140000, '0') + "5\n2.5\n" +
           std::string(1100000, ' '),
       3, {1, 0, 2.5}},
  };
  std::string beforeFloats;
  for (int64_t i = 1; i < kFloatLine; ++i) beforeFloats += "0\n";
  for (const Case& c : cases) {
    writeFile("bad.sav", (c.floats ? beforeFloats : "") + c.text);
    for (int k = 0; k < 6; ++k) setCell(0, k, 77), units.energy[k] = 7.5f;
    simulation.reseeding = 1;
    LoadReport report;
    ASSERT_TRUE(loadState("bad.sav", &report));
    EXPECT_EQ(simulation.reseeding, 0);
    EXPECT_EQ(report.valuesRead, (c.floats ? kFloatLine - 1 : 0) + c.read) << c.text.substr(0, 20);
    for (int k = 0; k < 6; ++k) {
      const double want = k < (int)c.values.size() ? c.values[k] : c.floats ? 7.5 : 77;
      EXPECT_EQ(c.floats ? (double)units.energy[k] : (double)cellAt(0, k), want) << c.text.substr(0, 20) << ", value " << k;
    }
  }
  // A missing file or a folder changes nothing and shows no notice.
  notices.clear();
  simulation.reseeding = 1;
  EXPECT_FALSE(loadState("usersaved.sav") || loadState("."));
  EXPECT_EQ(tuple(simulation.reseeding, notices.size()), tuple(1, 0u));
}

TEST_F(Files, FailedSavesKeepThePreviousFile) {
  runFrames(200);  // a world of some megabytes of text
  ASSERT_TRUE(saveState("keep.sav"));
  ASSERT_TRUE(saveSlotFile("sample0.dna", 0));
  const std::string good = readFile("keep.sav"), goodSlot = readFile("sample0.dna");
  ASSERT_EQ(mkdir("folder.sav", 0755), 0);
  runFrames(10);
  units.genome[0][0] = -5;
  testing::internal::CaptureStderr();
  notices.clear();
  EXPECT_FALSE(saveState("gone/keep.sav") || saveSlotFile("gone/sample0.dna", 0));
  EXPECT_TRUE(notices.empty()) << "no notice for a save that cannot start";
  EXPECT_FALSE(saveState("folder.sav"));
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("could not save \"folder.sav\": cannot replace it: Is a directory; the previous file is "
                        "kept"),
            std::string::npos)
      << errors;
  EXPECT_NE(errors.find("could not save \"gone/keep.sav\": cannot create a temporary file beside it: No such file"),
            std::string::npos)
      << errors;
  EXPECT_EQ(entries(), (std::vector<std::string>{"folder.sav", "keep.sav", "sample0.dna"})) << "nothing left beside";
  EXPECT_EQ(readFile("keep.sav"), good);
  EXPECT_EQ(readFile("sample0.dna"), goodSlot);
  EXPECT_TRUE(saveState("keep.sav")) << "the world saves on as usual";
}

// Every file that replaces another is written by one ReplacingFile: what
// goes wrong while it writes (a disk that fills, one that turns read-only,
// a writer killed outright) leaves the previous file whole and, but for the
// killed writer's hidden temporary, nothing beside it.
TEST(ReplacingFiles, AFullOrReadOnlyDiskKeepsThePreviousFile) {
  WorkFolder work;
  if (geteuid() != 0) GTEST_SKIP() << "a small file system to fill is mounted here, which needs root";
  ASSERT_EQ(mkdir("disk", 0755), 0);
  ASSERT_EQ(mount("tmpfs", "disk", "tmpfs", 0, "size=64k"), 0);
  std::string error;
  ASSERT_TRUE(writeFileSafely("disk/keep.txt", "the previous file\n", &error)) << error;
  EXPECT_FALSE(writeFileSafely("disk/keep.txt", std::string(100000, 'x'), &error));
  EXPECT_EQ(error, "writing disk/keep.txt failed: No space left on device");
  ASSERT_EQ(mount("tmpfs", "disk", "tmpfs", MS_REMOUNT | MS_RDONLY, "size=64k"), 0);
  ReplacingFile file;
  EXPECT_FALSE(file.open("disk/keep.txt"));
  EXPECT_EQ(std::make_tuple(file.message(), std::string(file.failedStep())),
            std::make_tuple(std::string("cannot write disk/keep.txt: Read-only file system"),
                            std::string("cannot create a temporary file beside it")));
  EXPECT_EQ(readFile("disk/keep.txt"), "the previous file\n");
  DIR* d = opendir("disk");
  std::vector<std::string> names;
  while (dirent* e = readdir(d)) names.push_back(e->d_name);
  closedir(d);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "keep.txt"})) << "no temporary left";
  umount2("disk", MNT_DETACH);
}

TEST(ReplacingFiles, AKilledWritersTemporaryIsHarmlessAndTheUmaskHolds) {
  WorkFolder work;
  std::string error;
  ASSERT_TRUE(writeFileSafely("keep.txt", "the previous file\n", &error)) << error;
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t writer = fork();
  if (writer == 0) {  // writes half a file, then waits to be killed
    ReplacingFile file;
    if (file.open("keep.txt")) std::fputs("half of a new", file.stream()), std::fflush(file.stream());
    (void)!write(ready[1], "x", 1);
    for (;;) pause();
  }
  char x;
  ASSERT_EQ(read(ready[0], &x, 1), 1);
  kill(writer, SIGKILL);
  waitpid(writer, nullptr, 0);
  close(ready[0]), close(ready[1]);
  std::string stray;
  DIR* d = opendir(".");
  while (dirent* e = readdir(d))
    if (std::string(e->d_name).rfind(".keep.txt." + std::to_string(writer) + ".", 0) == 0) stray = e->d_name;
  closedir(d);
  EXPECT_EQ(readFile(stray), "half of a new") << "the temporary: a hidden file that names its writer";
  EXPECT_EQ(readFile("keep.txt"), "the previous file\n");
  // A later writer makes a name of its own and leaves the stray alone; the
  // file it makes has the permissions the umask gives a new file.
  const mode_t mask = umask(027);
  ASSERT_TRUE(writeFileSafely("keep.txt", "the next file\n", &error)) << error;
  umask(mask);
  struct stat info;
  ASSERT_EQ(stat("keep.txt", &info), 0);
  EXPECT_EQ(std::make_tuple(readFile("keep.txt"), info.st_mode & 0777, readFile(stray)),
            std::make_tuple(std::string("the next file\n"), (mode_t)0640, std::string("half of a new")));
}

TEST_F(Files, SlotFilesCarryGenomesIntoUnits) {
  for (int g = 0; g < kGeneCount; ++g) units.genome[4][g] = g * 1000 - 7;
  units.genome[4][0] = INT32_MIN;
  ASSERT_TRUE(saveSlotFile("sample2.dna", 4));
  const std::string slot = readFile("sample2.dna");
  EXPECT_EQ(slot.substr(0, 18), "-2147483648\n993\n19");
  EXPECT_EQ(std::count(slot.begin(), slot.end(), '\n'), 36);
  // Loading sets the genes and resets age, spareA, energy (gene 5) and the
  // anchors; position and status stay. A bad line stops the genes there.
  std::string text;
  for (int g = 0; g < kGeneCount; ++g) text += std::to_string(g == 0 ? 200 : g + 1) + "\n";
  writeFile("sample3.dna", text);
  units.status[9] = Alive, units.posX[9] = 17, units.age[9] = 50, units.spareA[9] = 3;
  notices.clear();
  ASSERT_TRUE(loadSlotFile("sample3.dna", 9));
  EXPECT_EQ(notices, std::vector<std::string>{"Loading..."});
  EXPECT_EQ(tuple(units.genome[9][35], units.age[9], units.spareA[9], units.energy[9], units.homeX[9], units.awayY[9],
                  units.posX[9]),
            tuple(36, 0, 0, 6.0f, 815, 124, 17));
  writeFile("sample3.dna", "5\n6\n99999999999\n1\n");
  units.age[9] = 8;
  ASSERT_TRUE(loadSlotFile("sample3.dna", 9));
  EXPECT_EQ(tuple(units.genome[9][1], units.genome[9][2], units.age[9]), tuple(6, 3, 0));
  EXPECT_FALSE(loadSlotFile("sample6.dna", 9) || loadSlotFile("sample3.dna", kMaxUnits));
  EXPECT_FALSE(saveSlotFile("sample3.dna", kMaxUnits) || saveSlotFile("sample3.dna", -1));
  // The slot panel's re-read: a file written outside the program is taken,
  // one removed leaves the genome as it was.
  writeFile("sample4.dna", "1\n2\n3\n");
  slotGenomes[4].fill(-5);
  EXPECT_TRUE(refreshSlotGenomes(4));
  EXPECT_EQ(slotGenomes[4][2], 3);
  EXPECT_EQ(slotGenomes[4][3], -5);
  std::remove("sample4.dna");
  EXPECT_FALSE(refreshSlotGenomes(4));
  EXPECT_EQ(slotGenomes[4][0], 1);
}

// The simulation's state goes through one list of fields: each field in
// turn, given a value other than its start value, must make the world differ
// from the autosave's snapshot, go back to its start value with a reset, and
// come back exactly from a checkpoint.
TEST(SimulationState, EveryFieldIsComparedResetAndCheckpointed) {
  static auto snapshot = std::make_unique<StateSnapshot>();
  const SimulationState start;
  forEachStateField([&](const char* name, auto member, int64_t low, int64_t high, const char*) {
    freshWorld(3);
    runFrames(5);
    auto& field = simulation.*member;
    auto bytesOf = [](const auto& value) {
      const auto* p = (const unsigned char*)&value;
      return std::vector<unsigned char>(p, p + sizeof value);
    };
    using T = std::decay_t<decltype(field)>;
    if constexpr (std::is_same_v<T, float>) field = 0.0f;
    takeStateSnapshot(*snapshot);
    EXPECT_TRUE(stateMatchesSnapshot(*snapshot)) << name;
    if constexpr (std::is_same_v<T, float>)
      field = -0.0f;  // equal to 0 as a number, not as a text in the state file
    else if constexpr (std::is_same_v<T, int32_t>)
      field = field == high ? low : high;
    else if constexpr (std::is_same_v<T, bool>)
      field = !field;
    else
      field.fill(-7);
    const std::vector<unsigned char> changed = bytesOf(field);
    EXPECT_FALSE(stateMatchesSnapshot(*snapshot)) << name;
    const uint32_t generator = randomState;
    const nlohmann::json saved = captureSimulation();
    EXPECT_TRUE(saved.contains(name)) << name;
    resetSimulation();
    randomState = 0;
    EXPECT_EQ(bytesOf(field), bytesOf(start.*member)) << name << " after a reset";
    restoreSimulation(saved);
    EXPECT_EQ(tuple(bytesOf(field), randomState), tuple(changed, generator)) << name << " from a checkpoint";
  });
}

// Reading from a value on, as a resumed read of a file's tail does: the
// values go to their own places in the tables, those before keep theirs.
TEST_F(Files, ReadingFromAValueOnPutsEachValueInItsPlace) {
  scramble(9);
  ASSERT_TRUE(saveState("whole.sav"));
  std::vector<std::string> whole;
  std::istringstream text(readFile("whole.sav"));
  for (std::string l; std::getline(text, l);) whole.push_back(l);
  ASSERT_EQ((int64_t)whole.size(), kStateFileLines);
  for (const int64_t first : {int64_t(1), int64_t(kCellCount) + 7, kFloatLine - 1, kStateFileLines - 40}) {
    scramble(10);
    ASSERT_TRUE(saveState("before.sav"));
    std::string tail;
    for (size_t i = (size_t)first; i < whole.size(); ++i) tail += whole[i] + "\n";
    writeFile("tail.sav", tail);
    LoadReport report;
    readStateValues(*std::make_unique<TextReader>("tail.sav"), first, &report);
    EXPECT_EQ(tuple(report.valuesRead, report.stopLine), tuple(kStateFileLines - first, 0));
    ASSERT_TRUE(saveState("after.sav"));
    std::istringstream before(readFile("before.sav")), after(readFile("after.sav"));
    std::string b, a;
    int64_t line = 0, wrong = 0;
    for (; std::getline(before, b) && std::getline(after, a); ++line)
      wrong += a != (line < first ? b : whole[(size_t)line]);
    EXPECT_EQ(line, kStateFileLines);
    EXPECT_EQ(wrong, 0) << "from value " << first;
  }
}

// A world loaded over one that was running goes on exactly as the same
// world loaded at the start: nothing of the old world is left in force.
TEST_F(Files, LoadingOverARunningWorldIsLoadingItAfresh) {
  runFrames(400);
  ASSERT_TRUE(saveState("b.sav"));
  freshWorld(4);
  runFrames(60);
  const SimulationState before = simulation;
  seedRandom(9);
  ASSERT_TRUE(loadState("b.sav"));
  runFrames(40);
  const std::string over = stateDigest();
  const std::vector<unsigned char> overState = simulationStateBytes();

  freshWorld(4);
  simulation = before;
  seedRandom(9);
  ASSERT_TRUE(loadState("b.sav"));
  runFrames(40);
  EXPECT_EQ(stateDigest(), over);
  EXPECT_TRUE(simulationStateBytes() == overState) << "the state beyond the tables and the generator";
}

// What a damaged file's load says, numbers grouped by thousands.
TEST_F(Files, LoadProblemsAreOneSentence) {
  LoadReport cut;
  cut.stopLine = 1234, cut.valuesRead = 1233;
  EXPECT_EQ(loadProblem("w.sav", cut), "w.sav: reading stopped at line 1,234: 1,233 of the 2,249,626 values were "
                                       "read; the rest keep their start values");
  cut.stopLine = 0, cut.trailing = true;
  EXPECT_EQ(loadProblem("w.sav", cut), "w.sav: text follows the 2,249,626 values; it was not read");
  // Slot numbers outside the panel read nothing, even where such a file lies.
  writeFile("sample-1.dna", "1 2 3\n");
  writeFile("sample" + std::to_string(kSlotCount) + ".dna", "1 2 3\n");
  EXPECT_FALSE(refreshSlotGenomes(-1));
  EXPECT_FALSE(refreshSlotGenomes(kSlotCount));
}

// An output named as a device or a pipe (--stats /dev/stdout) is written
// straight into it: nothing is made beside it, nothing renamed over it.
TEST_F(Files, OutputsWriteStraightIntoDevicesAndPipes) {
  ASSERT_EQ(mkfifo("pipe", 0600), 0);
  std::string error, piped;
  {
    std::unique_ptr<FILE, int (*)(FILE*)> reader(popen("cat pipe", "r"), pclose);
    StreamFile out;
    ASSERT_TRUE(out.create("pipe", false, &error)) << error;
    out.write("frame,alive\n1,2\n");
    EXPECT_TRUE(out.finish(&error)) << error;
    char text[64] = "";
    piped = fgets(text, sizeof text, reader.get()) ? text : "";
  }
  EXPECT_EQ(piped, "frame,alive\n");
  StreamFile null;
  ASSERT_TRUE(null.create("/dev/null", false, &error)) << error;
  null.write("anything\n");
  EXPECT_TRUE(null.finish(&error)) << error;
  EXPECT_EQ(entries(), std::vector<std::string>{"pipe"});
}
