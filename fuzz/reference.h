// Helpers of the fuzz targets: a plain reference reader built on fscanf
// that the readers are checked against, and the files of a run.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

// The reference: one value read with fscanf "%lld" or "%f". False where a
// reader must stop: a failed conversion, an integer outside the 32-bit range
// (beyond 64 bits "%lld" gives LLONG_MIN or LLONG_MAX, outside it too), a
// float that is not finite. A value read moves *offset past its text. (After
// a failed conversion fscanf's own offset can lie past the start of the bad
// text: it does not put back all it took.)
bool referenceInt(std::FILE* in, int32_t* value, size_t* offset);
bool referenceFloat(std::FILE* in, float* value, size_t* offset);
// Up to `count` values from the start of the file, those with an index in
// [floatFrom, floatTo] floats, until one fails; *end (0 before) becomes the
// offset after the last.
std::vector<uint32_t> referenceRead(std::FILE* in, int64_t count, int64_t floatFrom, int64_t floatTo, size_t* end);

// The first offset from `at` on that is not white space (size if none), and
// the line (from 1) of an offset.
size_t nextText(const uint8_t* text, size_t size, size_t at);
int64_t lineAt(const uint8_t* text, size_t at);

// The reader's read size (1 to 32) and put-back room, chosen by one byte.
inline size_t readSizeFor(uint8_t choice) { return 1 + choice % 32; }
inline size_t putBackRoomFor(uint8_t choice) { return choice / 32 * 3; }

// Picks the inputs that get the costly checks, so that a finding reproduces
// from its file.
inline size_t inputHash(const uint8_t* data, size_t size) {
  return std::hash<std::string_view>()(std::string_view((const char*)data, size));
}

void writeInput(const char* name, const uint8_t* data, size_t size);
// A fresh directory for a target's files, under $TARN_FUZZ_TMP, else
// /dev/shm, else /tmp; removed at exit.
const char* fuzzDirectory();
// Prints the message and aborts: a finding.
[[noreturn]] void fuzzFail(const char* target, const char* what, long long at);
