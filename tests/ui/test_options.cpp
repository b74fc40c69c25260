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

// Status, standard error, the options as a line of their fields, and the
// rules that differ from the defaults.
struct Parsed { int status; std::string error, fields, rules; };

Parsed parse(std::vector<std::string> words) {
  std::vector<char*> argv = commandLine("tarn", words);
  ProgramOptions o;
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  const int status = parseOptions((int)words.size(), argv.data(), o);
  testing::internal::GetCapturedStdout();  // --help's text
  const std::string error = testing::internal::GetCapturedStderr();
  char fields[200];
  std::snprintf(fields, sizeof fields,
                "windowed %d seeded %d seed %u autosave %d fps %d check %d rate %d fast %d frames %lld load '%s'",
                o.windowed, o.seeded, o.seed, o.autosaveSeconds, o.showFrameRate, o.checkFrames, o.inputRate, o.fast,
                (long long)o.testFrames, o.load.c_str());
  std::string rules;
  for (const auto& [name, value] : differingParams(o.rules)) rules += name + "=" + value + " ";
  return {status, error, fields, rules};
}

TEST(ProgramOptionsTest, EachOptionSetsItsOwnFieldAndNothingGivenLeavesTheDefaults) {
  WorkFolder work;
  writeFile("world.sav", "");
  const struct {
    std::vector<std::string> words;
    const char* fields;
  } cases[] = {
      {{}, "windowed 0 seeded 0 seed 0 autosave 600 fps 0 check 0 rate 60 fast 0 frames 0 load ''"},
      {{"--windowed", "--seed", "4294967295", "--input-rate", "0", "--fast", "--fps", "--load", "world.sav"},
       "windowed 1 seeded 1 seed 4294967295 autosave 600 fps 1 check 0 rate 0 fast 1 frames 0 load 'world.sav'"},
      {{"--seed", "0", "--input-rate", "1000"},
       "windowed 0 seeded 1 seed 0 autosave 600 fps 0 check 0 rate 1000 fast 0 frames 0 load ''"},
  };
  for (const auto& c : cases) {
    const Parsed p = parse(c.words);
    EXPECT_EQ(p.status, -1) << p.error;
    EXPECT_EQ(p.fields, c.fields);
  }
  // The test aids, read from the environment.
  setenv("TARN_TEST_AUTOSAVE_SECONDS", "1", 1);
  setenv("TARN_TEST_CHECK_FRAMES", "1", 1);
  setenv("TARN_TEST_FRAMES", "1000000000000", 1);
  EXPECT_EQ(parse({}).fields,
            "windowed 0 seeded 0 seed 0 autosave 1 fps 0 check 1 rate 60 fast 0 frames 1000000000000 load ''");
  unsetenv("TARN_TEST_AUTOSAVE_SECONDS"), unsetenv("TARN_TEST_FRAMES");
  setenv("TARN_TEST_CHECK_FRAMES", "0", 1);
  EXPECT_EQ(parse({}).fields, cases[0].fields);
  unsetenv("TARN_TEST_CHECK_FRAMES");
}

TEST(ProgramOptionsTest, BadUsesAreRefusedWithTheirOwnMessage) {
  WorkFolder work;
  const struct {
    std::vector<std::string> words;
    const char* aid;  // an environment setting: NAME=VALUE
    const char* message;
  } cases[] = {
      {{"--seed", "1", "--seed", "2"}, "", "--seed is given more than once"},
      {{"--input-rate", "1", "--input-rate", "2"}, "", "--input-rate is given more than once"},
      {{"--load", "a", "--load", "b"}, "", "--load is given more than once"},
      {{"--input-rate", "5", "--load", "a", "--load", "b"}, "", "--load is given more than once"},
      {{"--seed", "5", "--input-rate", "5", "--load"}, "", "--load needs a file"},
      {{"--seed"}, "", "--seed needs a value"},
      {{"--input-rate"}, "", "--input-rate needs a value"},
      {{"--seed", "4294967296"}, "", "--seed must be a whole number from 0 to 4294967295"},
      {{"--seed", "-1"}, "", "--seed must be a whole number from 0 to 4294967295"},
      {{"--input-rate", "1001"}, "", "--input-rate must be a whole number from 0 to 1000"},
      {{"--input-rate", "6x"}, "", "--input-rate must be a whole number from 0 to 1000"},
      {{"--input-rate", ""}, "", "--input-rate must be a whole number from 0 to 1000"},
      {{"--fps=1"}, "", "--fps takes no value"},
      {{"--fast=1"}, "", "--fast takes no value"},
      {{"--windowed=1"}, "", "--windowed takes no value"},
      {{"--frobnicate"}, "", "unknown option or argument: --frobnicate"},
      {{"--windowed", "extra", "words"}, "", "unknown option or argument: extra words"},
      {{}, "TARN_TEST_AUTOSAVE_SECONDS=86401",
       "TARN_TEST_AUTOSAVE_SECONDS must be a whole number of seconds from 1 to 86400"},
      {{}, "TARN_TEST_CHECK_FRAMES=2", "TARN_TEST_CHECK_FRAMES must be 0 or 1"},
      {{}, "TARN_TEST_FRAMES=0", "TARN_TEST_FRAMES must be a whole number of frames from 1 to 1000000000000"},
  };
  for (const auto& c : cases) {
    std::string line = c.aid;
    for (const std::string& w : c.words) line += " " + w;
    const std::string aid = c.aid, name = aid.substr(0, aid.find('='));
    if (!aid.empty()) setenv(name.c_str(), aid.substr(aid.find('=') + 1).c_str(), 1);
    const Parsed p = parse(c.words);
    if (!aid.empty()) unsetenv(name.c_str());
    EXPECT_EQ(p.status, 2) << line;
    EXPECT_EQ(p.error, std::string("tarn: ") + c.message + " (tarn --help lists the options)\n") << line;
  }
  const Parsed missing = parse({"--load", "no such file.sav"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.error.rfind("tarn: cannot read no such file.sav: ", 0), 0u) << missing.error;
}

// The window takes the rules as the headless runner does: a file, then
// single values, each refusal with the file and line or the setting.
TEST(ProgramOptionsTest, RulesFromAParameterFileAndSettings) {
  WorkFolder work;
  writeFile("harsh.toml", "[regulation]\ncull_at = 400\n");
  const Parsed p = parse({"--params", "harsh.toml", "--set", "contests.kin_tolerance=3", "--set", "regulation.cull_at=500"});
  EXPECT_EQ(std::make_tuple(p.status, p.rules), std::make_tuple(-1, std::string("regulation.cull_at=500 contests.kin_tolerance=3 ")));
  EXPECT_EQ(parse({}).rules, "");
  const std::pair<std::vector<std::string>, const char*> refused[] = {
      {{"--params", "missing.toml"}, "tarn: cannot read missing.toml: No such file or directory\n"},
      {{"--set", "regulation.cul_at=4"},
       "tarn: --set regulation.cul_at=4: regulation.cul_at is not a parameter (did you mean regulation.cull_at?)\n"},
      {{"--params", "a", "--params", "b"}, "tarn: --params is given more than once (tarn --help lists the options)\n"},
  };
  for (const auto& [words, message] : refused) {
    const Parsed q = parse(words);
    EXPECT_EQ(std::make_tuple(q.status, q.error), std::make_tuple(2, std::string(message)));
  }
}

}  // namespace
