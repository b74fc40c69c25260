// Programs that pictures are handed to (the video encoder, the plotter):
// started without a shell, fed through a pipe on their standard input. What
// they print on standard error is kept for the message when they fail.
#pragma once
#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

struct ChildProcess {
  pid_t pid = -1;
  int input = -1;                // write end of the child's standard input
  std::FILE* errors = nullptr;   // the child's standard error, a temporary file
  double cpuSeconds = 0;         // the child's user and system time, once finished
};

// Starts args[0], found on the PATH, with the rest as its arguments, in a
// process group of its own. Its standard output is discarded. Returns false with a message when it cannot
// be started (a program that is not installed among them).
bool startChild(ChildProcess& child, const std::vector<std::string>& args, std::string& error);

// Writes all of data to the child's standard input. Returns false when the
// child no longer reads it (it ended, or failed); finishChild then says why.
bool writeToChild(ChildProcess& child, const void* data, size_t size);

// Closes the child's input and waits for it to end. Returns true when it
// exited with status 0; otherwise error names the program, its exit status
// and the last lines it printed on standard error.
bool finishChild(ChildProcess& child, std::string& error);

// Ends a child that is no longer wanted and waits for it.
void stopChild(ChildProcess& child);
