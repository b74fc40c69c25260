// The window's command line, word by word: what each option sets, what is
// refused with which message, and what is left at its default when an option
// is not given (the clock seeds the generator unless --seed is).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/app.h"
#include "tests/support.h"

namespace {

struct Parsed {
  int status = 0;
  std::string error;
  ProgramOptions options;
};

Parsed parse(std::vector<std::string> words) {
  words.insert(words.begin(), "tarn");
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  Parsed p;
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  p.status = parseOptions((int)words.size(), argv.data(), p.options);
  testing::internal::GetCapturedStdout();
  p.error = testing::internal::GetCapturedStderr();
  return p;
}

TEST(ProgramOptionsTest, NothingGivenLeavesEveryDefault) {
  const Parsed p = parse({});
  EXPECT_EQ(p.status, -1);
  EXPECT_EQ(p.error, "");
  const ProgramOptions o = p.options;
  EXPECT_FALSE(o.windowed);
  EXPECT_FALSE(o.seeded);  // the clock seeds the generator
  EXPECT_EQ(o.seed, 0u);
  EXPECT_EQ(o.autosaveSeconds, 600);
  EXPECT_FALSE(o.showFrameRate);
  EXPECT_FALSE(o.checkFrames);
  EXPECT_EQ(o.inputRate, 60);
  EXPECT_FALSE(o.fast);
  EXPECT_EQ(o.testFrames, 0);
  EXPECT_EQ(o.load, "");
}

TEST(ProgramOptionsTest, EachOptionSetsItsOwnField) {
  WorkFolder work;
  writeFile("world.sav", "");
  const Parsed p = parse({"--windowed", "--seed", "4294967295", "--input-rate", "0", "--fast", "--fps", "--load",
                          "world.sav"});
  ASSERT_EQ(p.status, -1) << p.error;
  EXPECT_TRUE(p.options.windowed);
  EXPECT_TRUE(p.options.seeded);
  EXPECT_EQ(p.options.seed, 4294967295u);
  EXPECT_EQ(p.options.inputRate, 0);
  EXPECT_TRUE(p.options.fast);
  EXPECT_TRUE(p.options.showFrameRate);
  EXPECT_EQ(p.options.load, "world.sav");
  EXPECT_FALSE(p.options.checkFrames);

  const Parsed q = parse({"--seed", "0", "--input-rate", "1000"});
  ASSERT_EQ(q.status, -1) << q.error;
  EXPECT_TRUE(q.options.seeded);
  EXPECT_EQ(q.options.seed, 0u);
  EXPECT_EQ(q.options.inputRate, 1000);
  EXPECT_FALSE(q.options.windowed);
  EXPECT_FALSE(q.options.fast);

  EXPECT_EQ(parse({"--help"}).status, 0);
}

TEST(ProgramOptionsTest, BadUsesAreRefusedWithTheirOwnMessage) {
  WorkFolder work;
  const struct {
    std::vector<std::string> words;
    const char* message;
  } cases[] = {
      {{"--seed", "1", "--seed", "2"}, "--seed is given more than once"},
      {{"--input-rate", "1", "--input-rate", "2"}, "--input-rate is given more than once"},
      {{"--load", "a", "--load", "b"}, "--load is given more than once"},
      {{"--input-rate", "5", "--load", "a", "--load", "b"}, "--load is given more than once"},
      {{"--seed", "5", "--input-rate", "5", "--load"}, "--load needs a file"},
      {{"--load"}, "--load needs a file"},
      {{"--seed"}, "--seed needs a value"},
      {{"--input-rate"}, "--input-rate needs a value"},
      {{"--seed", "4294967296"}, "--seed must be a whole number from 0 to 4294967295"},
      {{"--seed", "-1"}, "--seed must be a whole number from 0 to 4294967295"},
      {{"--input-rate", "1001"}, "--input-rate must be a whole number from 0 to 1000"},
      {{"--input-rate", "6x"}, "--input-rate must be a whole number from 0 to 1000"},
      {{"--input-rate", ""}, "--input-rate must be a whole number from 0 to 1000"},
      {{"--fps=1"}, "--fps takes no value"},
      {{"--fast=1"}, "--fast takes no value"},
      {{"--windowed=1"}, "--windowed takes no value"},
      {{"--frobnicate"}, "unknown option or argument: --frobnicate"},
      {{"--windowed", "extra", "words"}, "unknown option or argument: extra words"},
  };
  for (const auto& c : cases) {
    std::string line;
    for (const std::string& w : c.words) line += " " + w;
    const Parsed p = parse(c.words);
    EXPECT_EQ(p.status, 2) << line;
    EXPECT_EQ(p.error, std::string("tarn: ") + c.message + " (tarn --help lists the options)\n") << line;
  }
  const Parsed missing = parse({"--load", "no such file.sav"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.error.rfind("tarn: cannot read no such file.sav: ", 0), 0u) << missing.error;
}

// The test aids, read from the environment: their values and their limits.
TEST(ProgramOptionsTest, TestAidsAreReadWithinTheirLimits) {
  struct Aid {
    const char* name;
    const char* good;
    const char* bad;
    const char* message;
  };
  const Aid aids[] = {
      {"TARN_TEST_AUTOSAVE_SECONDS", "86400", "86401",
       "TARN_TEST_AUTOSAVE_SECONDS must be a whole number of seconds from 1 to 86400"},
      {"TARN_TEST_CHECK_FRAMES", "1", "2", "TARN_TEST_CHECK_FRAMES must be 0 or 1"},
      {"TARN_TEST_FRAMES", "1", "0", "TARN_TEST_FRAMES must be a whole number of frames from 1 to 1000000000000"},
  };
  for (const Aid& a : aids) {
    setenv(a.name, a.good, 1);
    const Parsed good = parse({});
    setenv(a.name, a.bad, 1);
    const Parsed bad = parse({});
    unsetenv(a.name);
    EXPECT_EQ(good.status, -1) << a.name << good.error;
    EXPECT_EQ(bad.status, 2) << a.name;
    EXPECT_EQ(bad.error, std::string("tarn: ") + a.message + " (tarn --help lists the options)\n");
  }
  setenv("TARN_TEST_AUTOSAVE_SECONDS", "1", 1);
  setenv("TARN_TEST_CHECK_FRAMES", "1", 1);
  setenv("TARN_TEST_FRAMES", "1000000000000", 1);
  const Parsed p = parse({});
  unsetenv("TARN_TEST_AUTOSAVE_SECONDS");
  unsetenv("TARN_TEST_CHECK_FRAMES");
  unsetenv("TARN_TEST_FRAMES");
  EXPECT_EQ(p.options.autosaveSeconds, 1);
  EXPECT_TRUE(p.options.checkFrames);
  EXPECT_EQ(p.options.testFrames, 1000000000000);
  setenv("TARN_TEST_CHECK_FRAMES", "0", 1);
  EXPECT_FALSE(parse({}).options.checkFrames);
  unsetenv("TARN_TEST_CHECK_FRAMES");
}

}  // namespace
