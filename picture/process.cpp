#include "picture/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

extern char** environ;

namespace {

// The last few lines the child printed on standard error, on one line.
std::string errorTail(std::FILE* errors) {
  if (!errors) return "";
  std::fflush(errors);
  if (std::fseek(errors, 0, SEEK_END) != 0) return "";
  const long size = std::ftell(errors);
  const long keep = size > 600 ? 600 : size;
  std::string text((size_t)(keep > 0 ? keep : 0), '\0');
  if (keep <= 0 || std::fseek(errors, size - keep, SEEK_SET) != 0 ||
      std::fread(&text[0], 1, text.size(), errors) != text.size())
    return "";
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

void closeChild(ChildProcess& child) {
  if (child.input >= 0) close(child.input);
  child.input = -1;
  if (child.errors) std::fclose(child.errors);
  child.errors = nullptr;
  child.pid = -1;
}

// Waits for the child; returns its wait status, or -1.
int reap(ChildProcess& child) {
  int status = 0;
  struct rusage usage {};
  pid_t got;
  do {
    got = wait4(child.pid, &status, 0, &usage);
  } while (got < 0 && errno == EINTR);
  if (got != child.pid) return -1;
  child.cpuSeconds = (double)usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 +
                     (double)usage.ru_stime.tv_sec + usage.ru_stime.tv_usec * 1e-6;
  return status;
}

}  // namespace

bool startChild(ChildProcess& child, const std::vector<std::string>& args, std::string& error) {
  child = ChildProcess{};
  if (args.empty()) {
    error = "no program to start";
    return false;
  }
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
    error = std::string("cannot make a pipe: ") + std::strerror(errno);
    return false;
  }
  child.input = pipeEnds[1];
  child.errors = std::tmpfile();
  if (!child.errors) {
    error = std::string("cannot make a temporary file: ") + std::strerror(errno);
    close(pipeEnds[0]);
    closeChild(child);
    return false;
  }
  fcntl(fileno(child.errors), F_SETFD, FD_CLOEXEC);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fileno(child.errors), 2);
  // The child starts with the default signal actions, whatever this
  // process ignores.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigdefault(&attributes, &all);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  // A process group of its own: Ctrl-C in the terminal (or a closed
  // terminal) stops this program, which then finishes its video or plot,
  // rather than killing the child halfway through.
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const int result = posix_spawnp(&child.pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(pipeEnds[0]);
  if (result != 0) {
    error = "cannot start " + args[0] + ": " + std::strerror(result);
    if (result == ENOENT) error += " (is it installed? tools/deps.sh installs it)";
    closeChild(child);
    return false;
  }
  return true;
}

bool writeToChild(ChildProcess& child, const void* data, size_t size) {
  if (child.input < 0) return false;
  // A child that has gone makes the write fail with EPIPE; the signal that
  // comes with it is held back on this thread and taken away, so that the
  // program goes on to report the failure.
  sigset_t pipeSignal, previous;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
  const char* bytes = static_cast<const char*>(data);
  bool ok = true;
  while (size > 0) {
    const ssize_t n = write(child.input, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (errno == EPIPE) {
        const struct timespec noWait {};
        sigtimedwait(&pipeSignal, nullptr, &noWait);
      }
      ok = false;
      break;
    }
    bytes += n;
    size -= (size_t)n;
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (!ok) {
    close(child.input);
    child.input = -1;
  }
  return ok;
}

bool finishChild(ChildProcess& child, std::string& error) {
  if (child.pid < 0) {
    error = "the program was not started";
    return false;
  }
  if (child.input >= 0) close(child.input);
  child.input = -1;
  const int status = reap(child);
  bool ok = status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!ok) {
    if (status < 0)
      error = "lost track of the program";
    else if (WIFEXITED(status))
      error = "it ended with exit status " + std::to_string(WEXITSTATUS(status));
    else if (WIFSIGNALED(status))
      error = std::string("it was ended by signal ") + strsignal(WTERMSIG(status));
    const std::string said = errorTail(child.errors);
    if (!said.empty()) error += ": " + said;
  }
  closeChild(child);
  return ok;
}

void stopChild(ChildProcess& child) {
  if (child.pid < 0) return;
  if (child.input >= 0) close(child.input);
  child.input = -1;
  kill(child.pid, SIGTERM);
  reap(child);
  closeChild(child);
}
