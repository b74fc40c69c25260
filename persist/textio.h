// Plain-text number files, one value per line, read and written in bulk.
//
// The writer produces exactly the bytes that fprintf "%d\n" and "%f\n" give
// and replaces the target only after every byte reached the disk (through a
// ReplacingFile), so a failed save never destroys the previous file.
//
// The reader reads values as fscanf "%d" and "%f" do (white space of any
// kind between values, so LF and CR LF both read), except that an integer
// outside the 32-bit range or a float that is not finite counts as a value
// of the wrong kind. Reading stops for good at the first such value or at
// the end of the file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "persist/files.h"

// Appends the "%d" or "%f" text of a value to out and returns the new end.
// formatInt needs room for 11 bytes.
char* formatInt(char* out, int32_t value);
// formatFloat needs room for 48 bytes (39 integer digits of the largest float).
char* formatFloat(char* out, float value);

class TextWriter {
 public:
  // Creates the temporary file beside name. ok() tells whether it opened.
  explicit TextWriter(const char* name);
  ~TextWriter();  // an unfinished writer removes its temporary file
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;

  bool ok() const { return file_.stream() != nullptr && !failed_; }
  void putInt(int32_t value);
  void putFloat(float value);
  void putInts(const int32_t* values, size_t count);
  // Flushes, syncs and closes the temporary file, then renames it over the
  // target. Returns false (and says why on standard error) when any step
  // failed; the old file is then untouched and the temporary file removed.
  bool finish();

 private:
  void flushBuffer();
  void fail(const char* what, int error);

  std::string name_;
  ReplacingFile file_;
  bool failed_ = false;
  char* buffer_;
  size_t used_ = 0;
};

class TextReader {
 public:
  // Reads the file in pieces of readSize bytes (a small file in one), with
  // room for putBackRoom more (see readFloat); what is read never depends on
  // either size.
  explicit TextReader(const char* name, size_t readSize = 1 << 20, size_t putBackRoom = 1 << 16);
  ~TextReader();
  TextReader(const TextReader&) = delete;
  TextReader& operator=(const TextReader&) = delete;

  bool opened() const { return file_ != nullptr; }
  // The errno of a failed open (EISDIR for a directory), else 0.
  int openError() const { return openError_; }
  // The line (from 1) that holds the next unread text: where reading
  // stopped, once it has.
  int64_t line() const { return line_; }
  // True when anything but white space follows the values read so far.
  bool moreText();
  // Each returns false, leaving *value alone, once the values have stopped.
  bool readInt(int32_t* value);
  bool readFloat(float* value);
  // Reads count integers, stopping at the first that fails; returns how
  // many were stored.
  size_t readInts(int32_t* values, size_t count);

 private:
  int peek() {
    if (pos_ == end_ && !refill()) return EOF;
    return (unsigned char)buffer_[pos_];
  }
  bool refill();
  void skipSpace();

  std::FILE* file_ = nullptr;
  int openError_ = 0;
  int64_t line_ = 1;
  bool stopped_ = false;
  char* buffer_ = nullptr;
  size_t readSize_ = 0, capacity_ = 0;
  size_t pos_ = 0, end_ = 0;
};

// Tells on standard error that a save failed.
void reportSaveFailure(const char* name, const char* what, int error);
