#include "persist/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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
