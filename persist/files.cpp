#include "persist/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

std::string reason(int error) { return std::strerror(error); }

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool isFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

int createTemporaryBeside(const std::string& path, const std::string& ending, std::string* name) {
  static std::atomic<unsigned> counter{0};
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string base = "." + (slash == std::string::npos ? path : path.substr(slash + 1)) + "." +
                           std::to_string(getpid()) + ".";
  for (int attempt = 0; attempt < 1000; ++attempt) {
    *name = folder + base + std::to_string(counter.fetch_add(1)) + ".part" + ending;
    const int fd = open(name->c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// --- ReplacingFile ---------------------------------------------------------

ReplacingFile::~ReplacingFile() { discard(); }

bool ReplacingFile::fail(const char* step, int error) {
  if (error_ == 0) error_ = error != 0 ? error : EIO, step_ = step;
  discard();
  return false;
}

bool ReplacingFile::open(const std::string& target, const std::string& ending) {
  discard();
  target_ = target, error_ = 0, step_ = "";
  const int fd = createTemporaryBeside(target, ending, &temporary_);
  if (fd < 0) {
    temporary_.clear();
    return fail("cannot create a temporary file beside it", errno);
  }
  file_ = fdopen(fd, "w");
  if (!file_) {
    const int why = errno;
    ::close(fd);
    return fail("cannot create a temporary file beside it", why);
  }
  return true;
}

bool ReplacingFile::write(const void* data, size_t size) {
  if (!file_) return false;
  return std::fwrite(data, 1, size, file_) == size || fail("write failed", errno);
}

// Flushes, syncs and closes the file: false, with the failure noted, when
// anything written was lost.
bool ReplacingFile::close() {
  if (temporary_.empty()) return fail("write failed", EBADF);
  if (!file_) return true;
  int why = std::ferror(file_) ? EIO : 0;
  if (why == 0 && std::fflush(file_) != 0) why = errno;
  if (why == 0 && fsync(fileno(file_)) != 0) why = errno;
  if (std::fclose(file_) != 0 && why == 0) why = errno;
  file_ = nullptr;
  return why == 0 || fail("write failed", why);
}

bool ReplacingFile::commit() {
  if (!close()) return false;
  if (std::rename(temporary_.c_str(), target_.c_str()) != 0) return fail("cannot replace it", errno);
  temporary_.clear();
  syncFolder(folderOf(target_));
  return true;
}

bool ReplacingFile::commitAsNew(bool* existed) {
  *existed = false;
  if (!close()) return false;
  // A link never replaces a file: the name is taken only where none has it.
  if (link(temporary_.c_str(), target_.c_str()) != 0) {
    *existed = errno == EEXIST;
    return fail("cannot replace it", errno);
  }
  unlink(temporary_.c_str());
  temporary_.clear();
  syncFolder(folderOf(target_));
  return true;
}

void ReplacingFile::discard() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  if (!temporary_.empty()) unlink(temporary_.c_str());
  temporary_.clear();
}

std::string ReplacingFile::message() const { return "cannot write " + target_ + ": " + reason(error_); }

// --- Whole files -------------------------------------------------------------

bool writeFileSafely(const std::string& path, const std::string& text, std::string* error) {
  if (isSpecialFile(path)) {
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    int failure = fd < 0 ? errno : 0;
    for (size_t done = 0; failure == 0 && done < text.size();) {
      const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno != EINTR) failure = errno;
      if (n > 0) done += (size_t)n;
    }
    if (fd >= 0 && close(fd) != 0 && failure == 0) failure = errno;
    if (failure != 0) *error = "writing " + path + " failed: " + reason(failure);
    return failure == 0;
  }
  ReplacingFile file;
  if (file.open(path) && file.write(text.data(), text.size()) && file.commit()) return true;
  *error = "writing " + path + " failed: " + reason(file.error());
  return false;
}

bool readWholeFile(const std::string& name, std::string* text, std::string* error) {
  auto failed = [&](int why) {
    *error = "cannot read " + name + ": " + std::strerror(why);
    return false;
  };
  const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return failed(errno);
  struct stat info;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    const int why = S_ISDIR(info.st_mode) ? EISDIR : errno;
    close(fd);
    return failed(why);
  }
  text->clear();
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int why = errno;
      close(fd);
      return failed(why);
    }
    text->append(buffer, (size_t)n);
  }
  close(fd);
  return true;
}

bool isSpecialFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

bool probeWritable(const std::string& path, std::string* error) {
  if (isFolder(path)) {
    *error = "cannot write " + path + ": it is a folder";
    return false;
  }
  if (isSpecialFile(path)) {
    if (access(path.c_str(), W_OK) == 0) return true;
    *error = "cannot write " + path + ": " + reason(errno);
    return false;
  }
  ReplacingFile probe;
  if (probe.open(path)) return true;
  *error = probe.message();
  return false;
}

void syncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

bool prepareNewFolder(const std::string& folder, bool* made, std::string* error) {
  *made = false;
  struct stat info;
  if (stat(folder.c_str(), &info) == 0) {
    if (!S_ISDIR(info.st_mode)) {
      *error = folder + " exists and is not a folder";
      return false;
    }
    DIR* d = opendir(folder.c_str());
    if (!d) {
      *error = "cannot read the folder " + folder + ": " + reason(errno);
      return false;
    }
    bool empty = true;
    while (dirent* e = readdir(d))
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) empty = false;
    closedir(d);
    if (!empty) {
      *error = folder + " is not empty: give a new folder (an experiment is never written over)";
      return false;
    }
    return true;
  }
  std::error_code failure;
  std::filesystem::create_directories(folder, failure);
  if (failure) {
    *error = "cannot make the folder " + folder + ": " + failure.message();
    return false;
  }
  *made = true;
  return true;
}

std::string folderName(std::string name) {
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  return name;
}

// --- StreamFile ----------------------------------------------------------------

StreamFile::~StreamFile() {
  if (file_ && file_ != replacing_.stream()) std::fclose(file_);
  if (created_) unlink(path_.c_str());
}

void StreamFile::noteError() {
  if (error_ == 0) error_ = errno != 0 ? errno : EIO;
}

bool StreamFile::create(const std::string& path, bool inFolder, std::string* error) {
  path_ = path;
  if (isFolder(path)) {
    *error = "cannot write " + path + ": it is a folder";
    return false;
  }
  if (!inFolder && !isSpecialFile(path)) {
    if (!replacing_.open(path)) {
      *error = replacing_.message();
      return false;
    }
    file_ = replacing_.stream();
    return true;
  }
  const bool special = !inFolder;
  const int fd = special ? open(path.c_str(), O_WRONLY | O_CLOEXEC)
                         : open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    *error = "cannot write " + path + ": " + reason(errno);
    return false;
  }
  created_ = !special;
  file_ = fdopen(fd, "w");
  if (!file_) {
    *error = "cannot write " + path + ": " + reason(errno);
    close(fd);
    return false;
  }
  return true;
}

bool StreamFile::reopen(const std::string& path, int64_t length, std::string* error) {
  path_ = path;
  const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  struct stat info;
  if (fd < 0 || fstat(fd, &info) != 0) {
    *error = "cannot reopen " + path + ": " + reason(errno);
    if (fd >= 0) close(fd);
    return false;
  }
  if (length < 0 || info.st_size < length) {
    *error = path + " is shorter than its checkpoint recorded";
    close(fd);
    return false;
  }
  if (ftruncate(fd, (off_t)length) != 0 || lseek(fd, (off_t)length, SEEK_SET) != (off_t)length) {
    *error = "cannot cut back " + path + ": " + reason(errno);
    close(fd);
    return false;
  }
  file_ = fdopen(fd, "w");
  if (!file_) {
    *error = "cannot reopen " + path + ": " + reason(errno);
    close(fd);
    return false;
  }
  return true;
}

void StreamFile::write(const std::string& text) {
  if (file_ && error_ == 0 && std::fwrite(text.data(), 1, text.size(), file_) != text.size()) noteError();
}

bool StreamFile::sync(int64_t* length) {
  if (!file_) return false;
  if (error_ == 0 && (std::fflush(file_) != 0 || (fsync(fileno(file_)) != 0 && errno != EINVAL))) noteError();
  const long at = std::ftell(file_);
  if (at < 0) noteError();
  *length = at;
  return error_ == 0;
}

bool StreamFile::finish(std::string* error) {
  if (!file_) {
    *error = "cannot write " + path_;
    return false;
  }
  if (file_ == replacing_.stream()) {
    file_ = nullptr;
    if (error_ == 0 && !replacing_.commit()) error_ = replacing_.error();
    replacing_.discard();
  } else {
    if (error_ == 0 && std::fflush(file_) != 0) noteError();
    if (error_ == 0 && fsync(fileno(file_)) != 0 && errno != EINVAL) noteError();
    if (std::fclose(file_) != 0) noteError();
    file_ = nullptr;
  }
  if (error_ != 0) {
    *error = "writing " + path_ + " failed: " + reason(error_);
    return false;
  }
  created_ = false;
  return true;
}
