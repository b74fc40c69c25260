#include "persist/textio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kBufferSize = 1 << 20;

bool isSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

// std::to_chars writes what printf's "%d" and "%f" write in the "C" locale:
// the float, widened to double, exactly rounded to six decimals (half to
// even), "inf", "-inf", "nan" or "-nan" for the values that are not finite.
char* formatInt(char* out, int32_t value) { return std::to_chars(out, out + 11, value).ptr; }

char* formatFloat(char* out, float value) {
  return std::to_chars(out, out + 48, (double)value, std::chars_format::fixed, 6).ptr;
}

void reportSaveFailure(const char* name, const char* what, int error) {
  std::fprintf(stderr, "tarn: could not save \"%s\": %s: %s; the previous file is kept\n", name, what,
               std::strerror(error));
}

// --- Writer ------------------------------------------------------------

TextWriter::TextWriter(const char* name) : name_(name), buffer_(new char[kBufferSize]) {
  if (!file_.open(name_)) fail(file_.failedStep(), file_.error());
}

TextWriter::~TextWriter() { delete[] buffer_; }

void TextWriter::fail(const char* what, int error) {
  if (!failed_) reportSaveFailure(name_.c_str(), what, error);
  failed_ = true;
}

void TextWriter::flushBuffer() {
  if (used_ == 0) return;
  if (ok() && std::fwrite(buffer_, 1, used_, file_.stream()) != used_) fail("write failed", errno);
  used_ = 0;
}

void TextWriter::putInt(int32_t value) {
  if (used_ + 16 > kBufferSize) flushBuffer();
  char* end = formatInt(buffer_ + used_, value);
  *end++ = '\n';
  used_ = (size_t)(end - buffer_);
}

void TextWriter::putFloat(float value) {
  if (used_ + 64 > kBufferSize) flushBuffer();
  char* end = formatFloat(buffer_ + used_, value);
  *end++ = '\n';
  used_ = (size_t)(end - buffer_);
}

void TextWriter::putInts(const int32_t* values, size_t count) {
  for (size_t i = 0; i < count; ++i) putInt(values[i]);
}

bool TextWriter::finish() {
  flushBuffer();
  if (!failed_ && !file_.commit()) fail(file_.failedStep(), file_.error());
  file_.discard();
  return !failed_;
}

// --- Reader ------------------------------------------------------------

// The buffer has room beyond a full read for the tail of a float text that
// is put back (see readFloat); a longer tail gets a larger buffer. A small
// file gets a small buffer, a file that did not open none.
TextReader::TextReader(const char* name, size_t readSize, size_t putBackRoom) {
  file_ = std::fopen(name, "r");
  if (!file_) {
    openError_ = errno;
    return;
  }
  // A directory opens but cannot be read: treat it as a file that could not
  // be opened.
  struct stat info;
  if (fstat(fileno(file_), &info) != 0 || S_ISDIR(info.st_mode)) {
    openError_ = EISDIR;
    std::fclose(file_);
    file_ = nullptr;
    return;
  }
  if (S_ISREG(info.st_mode) && info.st_size < (off_t)readSize - 4096) readSize = (size_t)info.st_size + 4096;
  readSize_ = readSize > 0 ? readSize : 1;
  capacity_ = readSize_ + (putBackRoom < readSize_ ? putBackRoom : readSize_);
  buffer_ = new char[capacity_];
}

TextReader::~TextReader() {
  if (file_) std::fclose(file_);
  delete[] buffer_;
}

bool TextReader::refill() {
  if (!file_ || stopped_) return false;
  end_ = std::fread(buffer_, 1, readSize_, file_);
  pos_ = 0;
  return end_ > 0;
}

void TextReader::skipSpace() {
  for (;;) {
    while (pos_ < end_ && isSpace((unsigned char)buffer_[pos_])) line_ += buffer_[pos_++] == '\n';
    if (pos_ < end_ || !refill()) return;
  }
}

bool TextReader::readInt(int32_t* value) {
  if (stopped_) return false;
  skipSpace();
  int c = peek();
  bool negative = false;
  if (c == '-' || c == '+') {
    negative = c == '-';
    ++pos_;
    c = peek();
  }
  if (c < '0' || c > '9') {
    stopped_ = true;
    return false;
  }
  // Digits are taken as long as they come, as "%d" does; the value is kept
  // only when it fits 32 bits.
  uint64_t magnitude = 0;
  bool tooLarge = false;
  while (c >= '0' && c <= '9') {
    if (!tooLarge) {
      magnitude = magnitude * 10 + (uint64_t)(c - '0');
      if (magnitude > 2147483648u) tooLarge = true;
    }
    ++pos_;
    c = peek();
  }
  if (tooLarge || (!negative && magnitude > 2147483647u)) {
    stopped_ = true;
    return false;
  }
  *value = negative ? (int32_t)(0u - (uint32_t)magnitude) : (int32_t)magnitude;
  return true;
}

bool TextReader::readFloat(float* value) {
  if (stopped_) return false;
  skipSpace();
  // The text up to the next white space (or NUL, where the library's
  // conversion would stop too) goes to the library's "%f" conversion; what
  // it leaves of that text is read as the next value. The text may be of
  // any length: "%f" takes every digit, however many.
  std::string text;
  for (int c = peek(); c != EOF && c != 0 && !isSpace(c); c = peek()) {
    size_t run = pos_;
    while (run < end_ && buffer_[run] != 0 && !isSpace((unsigned char)buffer_[run])) ++run;
    text.append(buffer_ + pos_, run - pos_);
    pos_ = run;
  }
  float parsed = 0.0f;
  int used = 0;
  if (text.empty() || std::sscanf(text.c_str(), "%f%n", &parsed, &used) != 1 || !std::isfinite(parsed)) {
    stopped_ = true;
    return false;
  }
  *value = parsed;
  size_t rest = text.size() - (size_t)used;
  if (rest > 0) {
    // Put the unread tail back in front of the buffer.
    if (pos_ >= rest) {
      pos_ -= rest;  // the tail is still in the buffer, just before pos_
    } else {
      const size_t kept = end_ - pos_;
      if (rest + kept > capacity_) {
        char* larger = new char[rest + kept];
        std::memcpy(larger + rest, buffer_ + pos_, kept);
        delete[] buffer_;
        buffer_ = larger;
        capacity_ = rest + kept;
      } else {
        std::memmove(buffer_ + rest, buffer_ + pos_, kept);
      }
      std::memcpy(buffer_, text.data() + used, rest);
      end_ = rest + kept;
      pos_ = 0;
    }
  }
  return true;
}

bool TextReader::moreText() {
  if (!file_) return false;
  const bool wasStopped = stopped_;
  stopped_ = false;  // look past a stop too: refill refuses once stopped
  skipSpace();
  const bool more = peek() != EOF;
  stopped_ = wasStopped;
  return more;
}

size_t TextReader::readInts(int32_t* values, size_t count) {
  size_t n = 0;
  while (n < count && readInt(&values[n])) ++n;
  return n;
}
