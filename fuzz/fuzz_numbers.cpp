// Fuzz target: the number reader and writer of the files, against fscanf and
// printf. Byte 0 is a pattern of kinds (bit i % 8 set: value i is a float),
// byte 1 how many values to ask for, byte 2 the reader's buffer sizes (small,
// so that values, put-back tails and the end of the text fall across
// refills); the rest is the text.
//
// The reader must read what "%lld" (within 32 bits) and "%f" (finite) read,
// stop where they stop, leave the value it could not read alone and read
// nothing more, and tell the line and whether text follows as the text
// shows. Every value read must be written as "%d" or "%f" writes it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/reference.h"
#include "persist/textio.h"

namespace {
std::string textName;
[[noreturn]] void fail(const char* what, long long at) { fuzzFail("fuzz_numbers", what, at); }
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  textName = std::string(fuzzDirectory()) + "/values.txt";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t* text = data + 3;
  const size_t length = size - 3;
  writeInput(textName.c_str(), text, length);
  TextReader reader(textName.c_str(), readSizeFor(data[2]), putBackRoomFor(data[2]));
  std::FILE* ref = std::fopen(textName.c_str(), "rb");
  if (!reader.opened() || !ref) std::abort();

  bool stopped = false;
  size_t end = 0;  // the offset after the last value fscanf read
  for (long long i = 0; i <= data[1] && !stopped; ++i) {
    const uint32_t untouched = 0x5a5a5a5a;
    uint32_t mine = untouched, theirs = 0;
    bool mineOk, theirsOk;
    char written[64], printed[64];
    if ((data[0] >> (i % 8)) & 1) {
      float f, g = 0;
      std::memcpy(&f, &mine, 4);
      mineOk = reader.readFloat(&f);
      theirsOk = referenceFloat(ref, &g, &end);
      std::memcpy(&mine, &f, 4);
      std::memcpy(&theirs, &g, 4);
      *formatFloat(written, g) = 0;
      std::snprintf(printed, sizeof printed, "%f", (double)g);
    } else {
      int32_t v = (int32_t)untouched, w = 0;
      mineOk = reader.readInt(&v);
      theirsOk = referenceInt(ref, &w, &end);
      mine = (uint32_t)v;
      theirs = (uint32_t)w;
      *formatInt(written, w) = 0;
      std::snprintf(printed, sizeof printed, "%d", w);
    }
    if (mineOk != theirsOk) fail(mineOk ? "the reader read a value fscanf did not" : "the reader stopped early", i);
    if (mineOk ? mine != theirs : mine != untouched) {
      std::fprintf(stderr, "fuzz_numbers: value %lld: reader 0x%08x, fscanf 0x%08x\n", i, mine, theirs);
      fail(mineOk ? "the reader and fscanf read different values" : "a failed read changed its value", i);
    }
    if (mineOk && std::strcmp(written, printed) != 0) {
      std::fprintf(stderr, "fuzz_numbers: wrote \"%s\", printf \"%s\"\n", written, printed);
      fail("the writer's text is not printf's", i);
    }
    stopped = !mineOk;
  }
  std::fclose(ref);

  // Reading stopped at the next text, or all values asked for were read:
  // then moreText tells whether text follows, and the reader stands before it.
  const size_t next = nextText(text, length, end);
  if (stopped) {
    int32_t v = 7;
    float f = 7;
    if (reader.readInt(&v) || reader.readFloat(&f) || reader.readInts(&v, 1) != 0 || v != 7 || f != 7)
      fail("the reader read on after it had stopped", 0);
  } else if (reader.moreText() != (next < length)) {
    fail("moreText is wrong", (long long)next);
  }
  if (reader.line() != lineAt(text, next)) fail("the reader's line is wrong", reader.line());
  return 0;
}
