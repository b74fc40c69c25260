#include "record/outfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

std::string reason(int error) { return std::strerror(error); }

std::string folderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// mkstemp beside path, with the permissions a new file of the user's gets.
int createTemporary(const std::string& path, std::string* name) {
  *name = path + ".XXXXXX";
  int fd = mkstemp(&(*name)[0]);
  if (fd < 0) return -1;
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  return fd;
}

bool isFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

bool isSpecialFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

StreamFile::~StreamFile() {
  if (file_) std::fclose(file_);
  if (created_) unlink(writing_.c_str());
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
  int fd;
  const bool special = !inFolder && isSpecialFile(path);
  if (special) {
    writing_ = path;
    fd = open(path.c_str(), O_WRONLY);
  } else if (inFolder) {
    writing_ = path;
    fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  } else {
    fd = createTemporary(path, &writing_);
  }
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
  path_ = writing_ = path;
  int fd = open(path.c_str(), O_WRONLY);
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
  long at = std::ftell(file_);
  if (at < 0) noteError();
  *length = at;
  return error_ == 0;
}

bool StreamFile::finish(std::string* error) {
  if (!file_) {
    *error = "cannot write " + path_;
    return false;
  }
  if (error_ == 0 && std::fflush(file_) != 0) noteError();
  if (error_ == 0 && fsync(fileno(file_)) != 0 && errno != EINVAL) noteError();
  if (std::fclose(file_) != 0) noteError();
  file_ = nullptr;
  if (error_ == 0 && writing_ != path_ && std::rename(writing_.c_str(), path_.c_str()) != 0) noteError();
  if (error_ != 0) {
    *error = "writing " + path_ + " failed: " + reason(error_);
    return false;
  }
  created_ = false;
  return true;
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
  std::string temporary;
  int fd = createTemporary(path, &temporary);
  if (fd < 0) {
    *error = "cannot write " + path + ": " + reason(errno);
    return false;
  }
  close(fd);
  unlink(temporary.c_str());
  return true;
}

bool writeFileSafely(const std::string& path, const std::string& text, std::string* error) {
  std::string temporary;
  const bool special = isSpecialFile(path);
  int fd = special ? open(path.c_str(), O_WRONLY) : createTemporary(path, &temporary);
  if (fd < 0) {
    *error = "cannot write " + path + ": " + reason(errno);
    return false;
  }
  size_t done = 0;
  int failure = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      failure = errno;
      break;
    }
    done += (size_t)n;
  }
  if (failure == 0 && !special && fsync(fd) != 0) failure = errno;
  if (close(fd) != 0 && failure == 0) failure = errno;
  if (special) {
    if (failure == 0) return true;
    *error = "writing " + path + " failed: " + reason(failure);
    return false;
  }
  if (failure == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) failure = errno;
  if (failure == 0) syncFolder(folderOf(path));
  if (failure != 0) {
    unlink(temporary.c_str());
    *error = "writing " + path + " failed: " + reason(failure);
    return false;
  }
  return true;
}

void syncFolder(const std::string& folder) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
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
